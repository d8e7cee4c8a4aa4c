// Sorting a measurement table of 100,000 rows through its production index, and what keeping the
// index in step with one changed row costs (moving one key) next to building every tag again.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "store/mdx/tableindex.h"
#include "store/measurement/measurementschema.h"

namespace {

using namespace vkt;

constexpr std::uint32_t kRows = 100000;

// One table for all cases, written once.
std::filesystem::path benchTablePath() {
  return std::filesystem::temp_directory_path() / "vkt-mdx-table-bench.db";
}

const std::filesystem::path& table_path() {
  static const std::filesystem::path path = [] {
    const auto p = benchTablePath();
    dbf::Table table;
    table.create(p, measurement::measurement_field_specs());
    std::mt19937 random(4);
    for (std::uint32_t i = 0; i < kRows; ++i) {
      table.append();
      table.set_double("N", i + 1);
      table.set_double("P", static_cast<int>(random() % 2000000) / 100.0 - 10000);
      table.set_text("DATE", std::to_string(random() % 28 + 10) + ".01.2024");
      table.set_integer("NB_TYPE", static_cast<std::int64_t>(random() % 2));
      table.post();
    }
    table.close();
    return p;
  }();
  return path;
}

// Builds the tag from the rows, writes the .mdx, selects the order and walks the record numbers
// in tag order.
void BM_TagAndWalk100k(benchmark::State& state, const char* field) {
  dbf::Table table;
  table.open(table_path());
  mdx::TableIndex index(table);
  index.attach();
  std::size_t size = 0;
  for (auto _ : state) {
    index.add_tag("tab1", field, true);
    index.select_order("tab1");
    std::uint64_t sum = 0;
    for (std::uint32_t recno : index.record_order("tab1")) {
      sum += recno;
    }
    benchmark::DoNotOptimize(sum);
    size = std::filesystem::file_size(mdx::TableIndex::index_path_for(table_path()));
  }
  state.counters["mdx_bytes"] = static_cast<double>(size);
  index.remove_index_file();
  index.detach();
  table.close();
}
BENCHMARK_CAPTURE(BM_TagAndWalk100k, P, "P")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TagAndWalk100k, DATE, "DATE")->Unit(benchmark::kMillisecond);

// Visiting every row of the table in tag order: the rows are read in the order of the keys, not
// of the file.
void BM_TableRowsInTagOrder100k(benchmark::State& state, const char* field) {
  dbf::Table table;
  table.open(table_path());
  mdx::TableIndex index(table);
  index.attach();
  index.add_tag("tab1", field, true);
  index.select_order("tab1");
  for (auto _ : state) {
    double sum = 0;
    if (table.first()) {
      do {
        sum += table.read_double(std::size_t{6}).value_or(0);
      } while (table.next());
    }
    benchmark::DoNotOptimize(sum);
  }
  index.remove_index_file();
  index.detach();
  table.close();
}
BENCHMARK_CAPTURE(BM_TableRowsInTagOrder100k, P, "P")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_TableRowsInTagOrder100k, DATE, "DATE")->Unit(benchmark::kMillisecond)->Iterations(1);

// One edited row with a tag over 100,000 rows: the key moves in the kept tree and the file is
// written again.
void BM_EditOneRowUpdate(benchmark::State& state) {
  dbf::Table table;
  table.open(table_path());
  mdx::TableIndex index(table);
  index.attach();
  index.add_tag("tab1", "P", true);
  double value = 0;
  for (auto _ : state) {
    table.go_to(500);
    table.edit();
    table.set_double("P", value += 1);
    table.post();
  }
  index.remove_index_file();
  index.detach();
  table.close();
}
BENCHMARK(BM_EditOneRowUpdate)->Unit(benchmark::kMillisecond);

// The alternative: every tag built again from the rows.
void BM_RebuildTag(benchmark::State& state) {
  dbf::Table table;
  table.open(table_path());
  mdx::TableIndex index(table);
  index.attach();
  index.add_tag("tab1", "P", true);
  for (auto _ : state) {
    index.rebuild();
  }
  index.remove_index_file();
  index.detach();
  table.close();
}
BENCHMARK(BM_RebuildTag)->Unit(benchmark::kMillisecond);

struct Cleanup {
  ~Cleanup() {
    std::error_code ec;
    std::filesystem::remove(mdx::TableIndex::index_path_for(benchTablePath()), ec);
    std::filesystem::remove(benchTablePath(), ec);
  }
} cleanup;

}  // namespace
