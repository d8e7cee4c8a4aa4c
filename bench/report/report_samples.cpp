// report_samples DIR: writes measurement files of sample rows (device-a.db, device-b.db) and their
// reports (device-a.pdf, device-b.pdf) the way the command line does, and the older model's layout
// over the device B rows (older-model.pdf), into DIR.
#include <QDir>
#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "output/report/reportlayouts.h"
#include "output/report/reportoutput.h"
#include "output/report/tablerows.h"
#include "sampledata.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"

namespace {

using namespace vkt;

void write_table(const report::MemoryDataset& rows, const QString& path) {
  dbf::Table table;
  measurement::create_measurement_file(table, std::filesystem::path(path.toStdU16String()));
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    table.append();
    for (const std::string& name : rows.fields()) {
      const std::size_t field = table.field_index(name);
      const report::FieldValue value = rows.value(r, name);
      if (const auto* number = std::get_if<double>(&value)) {
        if (table.fields()[field].decimals == 0) {
          table.set_integer(field, std::llround(*number));
        } else {
          table.set_double(field, *number);
        }
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        table.set_text(field, *text);
      }
    }
    table.post();
  }
  table.close();
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_samples DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const std::string separator = report::system_decimal_separator();
  const report::MemoryDataset a = report::sample_device_a_rows(40);
  const report::MemoryDataset b = report::sample_device_b_rows(30);
  try {
    write_table(a, dir.filePath(QStringLiteral("device-a.db")));
    write_table(b, dir.filePath(QStringLiteral("device-b.db")));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  QString error;
  const bool ok = report::write_measurement_report(dir.filePath(QStringLiteral("device-a.db")),
                                                   dir.filePath(QStringLiteral("device-a.pdf")),
                                                   report::DeviceKind::A, separator, &error) &&
                  report::write_measurement_report(dir.filePath(QStringLiteral("device-b.db")),
                                                   dir.filePath(QStringLiteral("device-b.pdf")),
                                                   report::DeviceKind::B, separator, &error) &&
                  report::write_pdf(report::ReportDocument(report::report3(), b, {separator}),
                                    dir.filePath(QStringLiteral("older-model.pdf")), &error);
  if (!ok) {
    std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
