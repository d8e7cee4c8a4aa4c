// The exports of the visible tab's rows: "Экспорт в Excel" (.xls) and, beside it, .xlsx and CSV.
#include <QFileInfo>

#include "core/programstate.h"
#include "output/export/exportformat.h"
#include "output/export/tableexport.h"
#include "store/measurement/measurementdocument.h"
#include "ui/dialogs.h"
#include "ui/measurementtabs.h"
#include "ui/rowcommands.h"

namespace vkt {

namespace {

QString csv_filter(output::CsvStyle style) {
  return QStringLiteral("Текст CSV, разделитель «%1», десятичный знак «%2»|*.csv")
      .arg(QString(QLatin1Char(style.separator)), QString(QLatin1Char(style.decimal)));
}

}  // namespace

void RowCommands::tell_exported(const QString& caption, const QString& name) {
  context_.dialogs->information(
      context_.window, caption,
      QStringLiteral("Экспорт в файл ") + QFileInfo(name).fileName() + QStringLiteral(" завершен успешно."));
}

void RowCommands::Excel1Click() {
  if (context_.showing_rows()) {
    exp2excel();
  }
}

void RowCommands::exp2excel() {
  Dialogs::FileRequest request;
  request.filter = QStringLiteral("Книга Excel|*.xls");
  request.default_suffix = QStringLiteral("xls");
  request.directory = context_.work_dir();
  // A workbook of the same name may be someone's work: ask before replacing it.
  request.confirm_overwrite = true;
  const QString name = context_.dialogs->save_file(context_.window, request);
  if (name.isEmpty()) {
    return;
  }
  try {
    context_.tabs->post_pending();
    N33Click();
    output::export_table_to_file(context_.document->table(), context_.state->device_code, name.toStdString());
  } catch (const std::exception& e) {
    context_.show_failure(e);
    context_.tabs->reload();
    return;
  }
  context_.tabs->reload();
  tell_exported(QStringLiteral("Экспорт в Excel"), name);
}

void RowCommands::Xlsx1Click() {
  export_rows(static_cast<int>(output::ExportFormat::Xlsx), QStringLiteral("Книга Excel 2007|*.xlsx"),
              QStringLiteral("xlsx"), QStringLiteral("Экспорт в Excel"));
}

void RowCommands::Csv1Click() {
  // The dialog offers both conventions, the locale's first.
  export_rows(static_cast<int>(output::ExportFormat::Csv), QString(), QStringLiteral("csv"),
              QStringLiteral("Экспорт в CSV"));
}

void RowCommands::export_rows(int format, const QString& filter, const QString& suffix,
                              const QString& caption) {
  if (!context_.showing_rows()) {
    return;
  }
  Dialogs::FileRequest request;
  request.filter = filter;
  request.default_suffix = suffix;
  request.directory = context_.work_dir();
  request.confirm_overwrite = true;
  // Numbers as the user's locale writes them (a decimal comma goes with semicolons), or the other way.
  const output::CsvStyle local = output::csv_style_for_decimal(system_decimal_point().toLatin1());
  const output::CsvStyle other = output::csv_style_for_decimal(local.decimal == ',' ? '.' : ',');
  int chosen = 0;
  if (static_cast<output::ExportFormat>(format) == output::ExportFormat::Csv) {
    request.filter = csv_filter(local) + QLatin1Char('|') + csv_filter(other);
    request.chosen_filter = &chosen;
  }
  const QString name = context_.dialogs->save_file(context_.window, request);
  if (name.isEmpty()) {
    return;
  }
  output::ExportRequest what;
  what.format = static_cast<output::ExportFormat>(format);
  what.device_code = context_.state->device_code;
  what.csv = chosen == 1 ? other : local;
  try {
    context_.tabs->post_pending();
    // The rows go out in file order, as for the Excel 97-2003 workbook.
    N33Click();
    output::export_table(context_.document->table(), what, name.toStdString());
  } catch (const std::exception& e) {
    context_.show_failure(e);
    context_.tabs->reload();
    return;
  }
  context_.tabs->reload();
  tell_exported(caption, name);
}

}  // namespace vkt
