// The export's workload: 65,536 rows × 19 cells built through Cells/Value and saved as ".xls".
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "output/xls/writer.h"
#include "workload.h"

namespace {

using namespace vkt::xls;
namespace fs = std::filesystem;

fs::path target() {
  return fs::temp_directory_path() / "vkt_xls_bench.xls";
}

void reportFile(benchmark::State& state) {
  state.counters["file_MB"] = static_cast<double>(fs::file_size(target())) / 1e6;
  state.counters["peak_RSS_MB"] = static_cast<double>(bench::peakMemoryKiB()) / 1024.0;
}

void BM_Build(benchmark::State& state) {
  for (auto _ : state) {
    XlsWorkbook book;
    bench::buildExportSheet(book, bench::kExportRows);
    benchmark::DoNotOptimize(book.sheet(0).range_count());
  }
  state.counters["cells"] = bench::kExportRows * bench::kExportColumns;
}
BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Save(benchmark::State& state) {
  XlsWorkbook book;
  bench::buildExportSheet(book, bench::kExportRows);
  ExcelWriter writer;
  for (auto _ : state) {
    writer.Save(book, target().string());
  }
  reportFile(state);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_BuildAndSave(benchmark::State& state) {
  ExcelWriter writer;
  for (auto _ : state) {
    XlsWorkbook book;
    bench::buildExportSheet(book, bench::kExportRows);
    writer.Save(book, target().string());
  }
  reportFile(state);
  fs::remove(target());
}
BENCHMARK(BM_BuildAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
