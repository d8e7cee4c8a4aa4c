// Building and walking a tag over 100,000 rows, the size of a large measurement file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/mdx/mdxfile.h"

namespace {

using namespace vkt::mdx;

constexpr std::size_t kRows = 100000;

// N 18.9 field texts as the table stores them.
std::vector<std::string> numericFieldTexts() {
  std::mt19937 random(1);
  std::uniform_int_distribution<int> pick(-500000, 500000);
  std::vector<std::string> texts;
  texts.reserve(kRows);
  char buffer[32];
  for (std::size_t i = 0; i < kRows; ++i) {
    std::snprintf(buffer, sizeof buffer, "%18.9f", pick(random) / 100.0);
    texts.emplace_back(buffer);
  }
  return texts;
}

std::vector<std::string> dateFieldTexts() {
  std::mt19937 random(2);
  std::vector<std::string> texts;
  texts.reserve(kRows);
  char buffer[32];
  for (std::size_t i = 0; i < kRows; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04u", static_cast<unsigned>(random() % 28 + 1),
                  static_cast<unsigned>(random() % 12 + 1), static_cast<unsigned>(2000 + random() % 25));
    texts.emplace_back(buffer);
  }
  return texts;
}

Tag numericTag(const std::vector<std::string>& texts) {
  Tag tag{{"TAB1", "P", KeyType::Numeric, kNumericKeyLength, true}, {}};
  tag.entries.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const NumericKey key = numeric_key_from_text(texts[i]);
    tag.entries.push_back({std::string(key.begin(), key.end()), static_cast<std::uint32_t>(i + 1)});
  }
  return tag;
}

Tag characterTag(const std::vector<std::string>& texts, std::size_t width) {
  Tag tag{{"TAB1", "DATE", KeyType::Character, width, false}, {}};
  tag.entries.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    tag.entries.push_back({character_key(texts[i], width), static_cast<std::uint32_t>(i + 1)});
  }
  return tag;
}

void buildWriteAndWalk(benchmark::State& state, const std::vector<std::string>& texts, bool numeric,
                       std::size_t width) {
  const auto path = std::filesystem::temp_directory_path() / "vkt-mdx-bench.mdx";
  std::size_t size = 0;
  for (auto _ : state) {
    write_mdx_file(path, "BENCH", {numeric ? numericTag(texts) : characterTag(texts, width)});
    const MdxContents read = read_mdx_file(path);
    std::uint64_t sum = 0;
    for (const IndexEntry& e : read.tags.front().entries) {
      sum += e.record;
    }
    benchmark::DoNotOptimize(sum);
    size = std::filesystem::file_size(path);
  }
  state.counters["mdx_bytes"] = static_cast<double>(size);
  std::filesystem::remove(path);
}

void BM_NumericTag100k(benchmark::State& state) {
  static const auto texts = numericFieldTexts();
  buildWriteAndWalk(state, texts, true, 0);
}
BENCHMARK(BM_NumericTag100k)->Unit(benchmark::kMillisecond);

void BM_DateTag100k(benchmark::State& state) {
  static const auto texts = dateFieldTexts();
  buildWriteAndWalk(state, texts, false, 10);
}
BENCHMARK(BM_DateTag100k)->Unit(benchmark::kMillisecond);

void BM_CommentTag100k(benchmark::State& state) {
  static const auto texts = dateFieldTexts();
  buildWriteAndWalk(state, texts, false, 100);
}
BENCHMARK(BM_CommentTag100k)->Unit(benchmark::kMillisecond);

}  // namespace
