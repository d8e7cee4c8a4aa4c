#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/report/reportdataset.h"
#include "output/report/reportdocument.h"
#include "output/report/reportlayouts.h"

class QAction;
class QLabel;
class QPrinter;
class QPrintPreviewWidget;
class QWidget;

namespace vkt {

class Dialogs;
struct ProgramState;

// What printing a report needs from its surroundings; tests hand in their own.
struct ReportPrinting {
  Dialogs* dialogs = nullptr;
  // Whether the system has a printer at all; empty: ask the system.
  std::function<bool()> printer_installed;
  // The printer the print dialog sets up; empty: the default printer at high resolution.
  std::function<std::unique_ptr<QPrinter>()> make_printer;
  // Where the dialog for saving the pages as PDF starts (asked each time; empty: the current one).
  std::function<QString()> pdf_directory;
  // The measurement file the pages come from, which saving as PDF must never overwrite.
  std::function<QString()> source_file;
};

// Prints prepared pages: the print dialog (printer, copies, collation, page ranges), then the
// pages. Nothing when no printer is installed or the dialog is cancelled. True when printed.
bool print_report(QWidget* parent, const report::ReportDocument& document, const ReportPrinting& printing);

// Asks for a file name and writes the pages there as PDF; an error box when that fails. True when
// written.
bool save_report_pdf(QWidget* parent, const report::ReportDocument& document, const ReportPrinting& printing);

// The preview window: the pages at the width of the window, zoom, page by page, print, save as
// PDF and close.
class ReportPreview : public QDialog {
  Q_OBJECT
 public:
  ReportPreview(const report::ReportDocument& document, const ReportPrinting& printing,
                QWidget* parent = nullptr);
  ~ReportPreview() override;

  const report::ReportDocument& document() const { return document_; }
  QPrintPreviewWidget* preview() const { return preview_; }
  QAction* action(const QString& object_name) const;

 public slots:
  void zoom_in();
  void zoom_out();
  void fit_width();
  void fit_page();
  void previous_page();
  void next_page();
  void print();
  // Asks for a file name and writes the pages there as PDF.
  void save_pdf();

 private:
  void paint_pages(QPrinter* printer);
  void show_page_number();
  QAction* add_action(const QString& name, const QString& text, const QKeySequence& shortcut = {});

  const report::ReportDocument& document_;
  ReportPrinting printing_;
  std::unique_ptr<QPrinter> screen_printer_;
  QPrintPreviewWidget* preview_ = nullptr;
  QLabel* page_label_ = nullptr;
  QList<QAction*> actions_;
};

// What the report commands need of the main window; tests hand in their own.
struct ReportServices {
  ProgramState* state = nullptr;
  QWidget* parent = nullptr;
  // The table of the open file is open.
  std::function<bool()> table_open;
  // The visible tab: 0 device A, 1 device B, -1 none.
  std::function<int()> visible_tab;
  // The rows of the visible tab in the table's current order, with (at least) these fields.
  std::function<std::unique_ptr<report::ReportDataset>(const std::vector<std::string>& fields)> rows;
  ReportPrinting printing;
  // Shows the preview window modally; empty: exec().
  std::function<void(ReportPreview&)> show_preview;
};

// The commands "Предварительный просмотр" and "Печать" of the main window.
class ReportCommands : public QObject {
  Q_OBJECT
 public:
  explicit ReportCommands(ReportServices services, QObject* parent = nullptr);

  // The layout the open file and the visible tab call for; nothing when there is nothing to print.
  std::optional<report::ReportKind> chosen_report() const;

 public slots:
  void N8Click();  // preview
  void N9Click();  // print
  // "Сохранить как PDF": the pages the preview would show, straight into a PDF file.
  void SavePdfClick();

 signals:
  // A line for the status bar: "Печать" without a printer prints nothing and says so there.
  void told(const QString& text);

 private:
  struct Prepared {
    std::unique_ptr<report::ReportDataset> rows;
    std::unique_ptr<report::ReportDocument> document;
  };
  std::optional<Prepared> prepare() const;

  ReportServices services_;
};

}  // namespace vkt
