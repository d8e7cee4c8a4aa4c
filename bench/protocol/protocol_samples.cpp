// protocol_samples OUT.pdf: a protocol of three simulated points with the object's parameters
// filled in, as the README shows it (docs/protocol.png is its first page at 80 dpi).
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "output/protocol/protocoldata.h"
#include "output/protocol/protocolpdf.h"
#include "sim/measurements.h"
#include "store/measurement/measurementdocument.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: protocol_samples OUT.pdf\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  auto state = std::make_unique<vkt::ProgramState>();
  const std::vector<std::uint8_t> image = vkt::image::build_image(vkt::sim::make_measurements(3, 11));
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size();
  vkt::measurement::MeasurementDocument document;
  document.reserve(std::filesystem::path(dir.filePath(QStringLiteral("field.db")).toStdString()));
  document.create(*state, ",");
  document.set_filter("NB_TYPE=0");
  vkt::measurement::ObjectParameters parameters;
  parameters.instrument_firmware = "07.12.03";
  parameters.object = "Автодорога М-11, ПК 124+40, правая полоса";
  parameters.layer = "Щебёночное основание, слой 2";
  parameters.operator_name = "Петров И. С.";
  parameters.instrument_serial = "0457";
  parameters.required_modulus = 100;
  const std::vector<std::uint32_t> rows = document.rows();
  QString error;
  if (!vkt::protocol::write_pdf(vkt::protocol::read_protocol(document, rows, parameters),
                                QString::fromLocal8Bit(argv[1]), &error)) {
    std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
