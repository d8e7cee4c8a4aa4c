// report_samples DIR: writes device-a.pdf, device-b.pdf and older-model.pdf of sample rows into DIR.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "output/report/reportlayouts.h"
#include "output/report/reportoutput.h"
#include "sampledata.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_samples DIR\n");
    return 2;
  }
  using namespace vkt::report;
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const MemoryDataset a = sample_device_a_rows(40);
  const MemoryDataset b = sample_device_b_rows(30);
  const struct {
    const ReportLayout& layout;
    const ReportDataset& data;
    const char* name;
  } samples[] = {
      {report1(), a, "device-a.pdf"}, {report2(), b, "device-b.pdf"}, {report3(), b, "older-model.pdf"}};
  for (const auto& s : samples) {
    QString error;
    if (!write_pdf(ReportDocument(s.layout, s.data, {system_decimal_separator()}), dir.filePath(s.name),
                   &error)) {
      std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
