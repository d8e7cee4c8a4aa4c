// A protocol of 100 measurement points with their waveforms: reading the points from the file
// and writing the 101 pages as PDF. The goal is at most 2 s for the whole.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "output/protocol/protocoldata.h"
#include "output/protocol/protocolpdf.h"
#include "sim/measurements.h"
#include "store/measurement/measurementdocument.h"

namespace vkt::protocol {
namespace {

constexpr std::size_t kPoints = 100;

QGuiApplication* app() {
  static int argc = 1;
  static char arg0[] = "protocol_bench";
  static char* argv[] = {arg0, nullptr};
  static QGuiApplication* instance = new QGuiApplication(argc, argv);
  return instance;
}

// A file of 100 points as a download makes it, with its waveform file, open read-only.
struct Field {
  QTemporaryDir dir;
  measurement::MeasurementDocument document;
  std::vector<std::uint32_t> rows;
  measurement::ObjectParameters parameters;

  Field() {
    auto state = std::make_unique<ProgramState>();
    const std::vector<std::uint8_t> image = image::build_image(sim::make_measurements(kPoints, 5));
    std::copy(image.begin(), image.end(), state->mem_image.begin());
    state->image_length = image.size();
    const std::filesystem::path db(dir.filePath(QStringLiteral("field.db")).toStdString());
    document.reserve(db);
    document.create(*state, ",");
    document.close();
    document.open(db, measurement::Access::ReadOnly);
    document.set_filter("NB_TYPE=0");
    rows = document.rows();
    parameters.object = "Дорога М-11, ПК 12+40";
    parameters.layer = "Щебёночное основание";
    parameters.operator_name = "Петров И. С.";
    parameters.required_modulus = 100;
  }
};

Field& field() {
  static Field f;
  return f;
}

double fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

// What `vkt-rs7 protocol` does after opening the file: the points read, the pages written.
void BM_Protocol100Points(benchmark::State& state) {
  app();
  Field& f = field();
  const QString file = f.dir.filePath(QStringLiteral("protocol.pdf"));
  for (auto _ : state) {
    const Protocol protocol = read_protocol(f.document, f.rows, f.parameters);
    if (!write_pdf(protocol, file)) {
      state.SkipWithError("writing the PDF failed");
      return;
    }
    state.counters["pages"] = protocol.page_count();
  }
}
BENCHMARK(BM_Protocol100Points)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

// The reading alone: stored values, waveforms scaled, drops analysed.
void BM_Read100Points(benchmark::State& state) {
  Field& f = field();
  for (auto _ : state) {
    benchmark::DoNotOptimize(read_protocol(f.document, f.rows, f.parameters));
  }
}
BENCHMARK(BM_Read100Points)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vkt::protocol
