// The device A import of a full download (438 records) into a measurement file on disk.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "store/measurement/measurementfile.h"

namespace {

namespace fs = std::filesystem;
using namespace vkt::image;

constexpr std::size_t kFullDownload = 438;

std::unique_ptr<vkt::ProgramState> full_download() {
  std::vector<DeviceARecord> records(kFullDownload);
  for (std::size_t k = 0; k < records.size(); ++k) {
    DeviceARecord& r = records[k];
    for (std::size_t j = 0; j < r.samples.size(); ++j) {
      r.samples[j] = static_cast<std::uint32_t>(k * 7919 + j * 31);
    }
    r.dependency = static_cast<std::uint8_t>(k % 13);
    r.material = static_cast<std::uint8_t>(k % 16);
    r.mu = static_cast<std::uint8_t>(k);
    r.modulus = {120, 118, 121, 122};
    r.displacement = {410, 400, 415, 416};
    r.force = {7070, 7000, 7100, static_cast<std::uint16_t>(7000 + k)};
    r.time = {static_cast<std::uint8_t>(k % 60), static_cast<std::uint8_t>(k / 60), 10};
    r.date = {12, 5, 11};
  }
  auto state = std::make_unique<vkt::ProgramState>();
  const auto image = build_image(records);
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size() + 4;
  return state;
}

fs::path bench_file(const char* name) {
  const fs::path dir = fs::temp_directory_path() / "vkt_image_bench";
  fs::create_directories(dir);
  return dir / name;
}

// Mode 0 into a freshly created file; creating the file and the closing flush are not timed.
void BM_ImportNewFile(benchmark::State& bench) {
  auto state = full_download();
  const fs::path path = bench_file("new.db");
  vkt::dbf::Table table;
  for (auto _ : bench) {
    bench.PauseTiming();
    vkt::measurement::create_measurement_file(table, path);
    bench.ResumeTiming();
    const ImportResult result = flash2lmf(table, *state, ImportMode::kNewFile, ",");
    bench.PauseTiming();
    if (result.appended != kFullDownload) {
      bench.SkipWithError("rows missing");
    }
    table.close();
    bench.ResumeTiming();
  }
  fs::remove(path);
}
BENCHMARK(BM_ImportNewFile)->Unit(benchmark::kMillisecond);

// Mode 1 against a file that already holds the whole download: every record is skipped.
void BM_ImportAppendSkipsAll(benchmark::State& bench) {
  auto state = full_download();
  const fs::path path = bench_file("append.db");
  vkt::dbf::Table table;
  vkt::measurement::create_measurement_file(table, path);
  flash2lmf(table, *state, ImportMode::kNewFile, ",");
  for (auto _ : bench) {
    const ImportResult result = flash2lmf(table, *state, ImportMode::kAppend, ",");
    if (result.skipped != kFullDownload) {
      bench.SkipWithError("a record was not skipped");
    }
  }
  table.close();
  fs::remove(path);
}
BENCHMARK(BM_ImportAppendSkipsAll)->Unit(benchmark::kMillisecond);

}  // namespace
