// The exports beside "Экспорт в Excel": .xlsx, CSV, and the report saved as PDF.

#include <QAction>
#include <QFileInfo>

#include "core/programstate.h"
#include "output/export/exportformat.h"
#include "store/measurement/measurementdocument.h"
#include "ui/dialogs.h"
#include "ui/mainwindow.h"
#include "ui/measurementmodel.h"
#include "ui/reportpreview.h"

namespace vkt {

namespace {

QString csv_filter(output::CsvStyle style) {
  return QStringLiteral("Текст CSV, разделитель «%1», десятичный знак «%2»|*.csv")
      .arg(QString(QLatin1Char(style.separator)), QString(QLatin1Char(style.decimal)));
}

}  // namespace

void MainWindow::Xlsx1Click() {
  export_rows(static_cast<int>(output::ExportFormat::Xlsx), QStringLiteral("Книга Excel 2007|*.xlsx"),
              QStringLiteral("xlsx"), QStringLiteral("Экспорт в Excel"));
}

void MainWindow::Csv1Click() {
  // The dialog offers both conventions, the locale's first.
  export_rows(static_cast<int>(output::ExportFormat::Csv), QString(), QStringLiteral("csv"),
              QStringLiteral("Экспорт в CSV"));
}

void MainWindow::export_rows(int format, const QString& filter, const QString& suffix,
                             const QString& caption) {
  if (!services_.state->db_open || !document_->is_open() || visible_grid() == nullptr) {
    return;
  }
  Dialogs::FileRequest request;
  request.filter = filter;
  request.default_suffix = suffix;
  request.directory = QString::fromStdString(services_.state->work_dir);
  request.confirm_overwrite = true;
  // Numbers as the user's locale writes them (a decimal comma goes with semicolons), or the other way.
  const output::CsvStyle local = output::csv_style_for_decimal(decimal_point().toLatin1());
  const output::CsvStyle other = output::csv_style_for_decimal(local.decimal == ',' ? '.' : ',');
  int chosen = 0;
  if (static_cast<output::ExportFormat>(format) == output::ExportFormat::Csv) {
    request.filter = csv_filter(local) + QLatin1Char('|') + csv_filter(other);
    request.chosen_filter = &chosen;
  }
  const QString name = services_.dialogs->save_file(this, request);
  if (name.isEmpty()) {
    return;
  }
  output::ExportRequest what;
  what.format = static_cast<output::ExportFormat>(format);
  what.device_code = services_.state->device_code;
  what.csv = chosen == 1 ? other : local;
  try {
    post_pending();
    // The rows go out in file order, as for the Excel 97-2003 workbook.
    N33Click();
    output::export_table(document_->table(), what, name.toStdString());
  } catch (const std::exception& e) {
    show_failure(e);
    reload_models();
    return;
  }
  reload_models();
  services_.dialogs->information(
      this, caption,
      QStringLiteral("Экспорт в файл ") + QFileInfo(name).fileName() + QStringLiteral(" завершен успешно."));
}

}  // namespace vkt
