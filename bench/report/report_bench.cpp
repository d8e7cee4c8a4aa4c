#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "output/report/reportlayouts.h"
#include "output/report/reportoutput.h"
#include "sampledata.h"

namespace vkt::report {
namespace {

constexpr int kRows = 10'000;

QGuiApplication* app() {
  static int argc = 1;
  static char arg0[] = "report_bench";
  static char* argv[] = {arg0, nullptr};
  static QGuiApplication* instance = new QGuiApplication(argc, argv);
  return instance;
}

const MemoryDataset& rows() {
  static const MemoryDataset data = sample_device_a_rows(kRows);
  return data;
}

// Preparing the pages: counting them and composing every page's cells and texts.
void BM_PreparePages(benchmark::State& state) {
  const MemoryDataset& data = rows();
  for (auto _ : state) {
    const ReportDocument doc(report1(), data, {","});
    std::size_t cells = 0;
    for (int p = 0; p < doc.page_count(); ++p) {
      cells += doc.page_cells(p).size();
    }
    benchmark::DoNotOptimize(cells);
    state.counters["pages"] = doc.page_count();
  }
}
BENCHMARK(BM_PreparePages)->Unit(benchmark::kMillisecond);

// Pagination alone.
void BM_Paginate(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(paginate(report1(), kRows));
  }
}
BENCHMARK(BM_Paginate)->Unit(benchmark::kMicrosecond);

void BM_WritePdf(benchmark::State& state) {
  app();
  const MemoryDataset& data = rows();
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("report.pdf"));
  for (auto _ : state) {
    const ReportDocument doc(report1(), data, {","});
    if (!write_pdf(doc, file)) {
      state.SkipWithError("writing the PDF failed");
      return;
    }
    state.counters["pages"] = doc.page_count();
  }
  state.counters["MB"] = static_cast<double>(QFileInfo(file).size()) / 1e6;
}
BENCHMARK(BM_WritePdf)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace vkt::report
