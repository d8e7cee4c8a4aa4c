// What `export` writes: the format asked for or the output's, and the CSV marks asked for or the
// locale's.

#include <QLocale>

#include "app/subcommands.h"
#include "output/export/exportformat.h"

namespace vkt {

output::ExportRequest export_request(const CommandLine& command, std::uint8_t device_code) {
  output::ExportRequest request;
  request.device_code = device_code;
  request.format = command.export_format.isEmpty()
                       ? output::export_format_for_file(command.output.toStdString())
                       : output::export_format_named(command.export_format.toStdString())
                             .value_or(output::ExportFormat::Xls);
  const QString locale_decimal = QLocale::system().decimalPoint();
  const char decimal = command.csv_decimal.isEmpty() ? (locale_decimal == QLatin1String(",") ? ',' : '.')
                                                     : command.csv_decimal[0].toLatin1();
  request.csv = output::csv_style_for_decimal(decimal);
  if (!command.csv_separator.isEmpty()) {
    request.csv.separator = command.csv_separator[0].toLatin1();
  }
  return request;
}

}  // namespace vkt
