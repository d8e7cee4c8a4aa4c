#include "ui/reportpreview.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QToolBar>
#include <QVBoxLayout>
#include <filesystem>

#include "core/programstate.h"
#include "output/report/reportoutput.h"
#include "output/report/reportpainter.h"
#include "store/measurement/measurementdocument.h"
#include "ui/dialogs.h"

namespace vkt {

namespace {

constexpr qreal kZoomStep = 1.25;

bool any_printer(const ReportPrinting& printing) {
  return printing.printer_installed ? printing.printer_installed()
                                    : !QPrinterInfo::availablePrinterNames().isEmpty();
}

}  // namespace

bool print_report(QWidget* parent, const report::ReportDocument& document, const ReportPrinting& printing) {
  if (printing.dialogs == nullptr || !any_printer(printing)) {
    return false;
  }
  std::unique_ptr<QPrinter> printer =
      printing.make_printer ? printing.make_printer() : std::make_unique<QPrinter>(QPrinter::HighResolution);
  report::set_up_printer(*printer, document.layout());
  printer->setCopyCount(1);
  printer->setFromTo(1, document.page_count());
  if (!printing.dialogs->print_setup(parent, printer.get())) {
    return false;
  }
  if (!report::print_document(*printer, document)) {
    printing.dialogs->error(
        parent, QStringLiteral("Ошибка"),
        QStringLiteral("Не удалось напечатать отчёт на принтере %1.").arg(printer->printerName()));
    return false;
  }
  return true;
}

ReportPreview::ReportPreview(const report::ReportDocument& document, const ReportPrinting& printing,
                             QWidget* parent)
    : QDialog(parent),
      document_(document),
      printing_(printing),
      screen_printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setObjectName(QStringLiteral("ReportPreview"));
  setWindowTitle(QStringLiteral("Предварительный просмотр"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  resize(1000, 760);

  report::set_up_printer(*screen_printer_, document_.layout());
  preview_ = new QPrintPreviewWidget(screen_printer_.get(), this);
  preview_->setObjectName(QStringLiteral("PreviewPages"));
  connect(preview_, &QPrintPreviewWidget::paintRequested, this, &ReportPreview::paint_pages);
  connect(preview_, &QPrintPreviewWidget::previewChanged, this, &ReportPreview::show_page_number);

  auto* toolbar = new QToolBar(this);
  toolbar->setObjectName(QStringLiteral("PreviewToolBar"));
  toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto add = [&](const QString& name, const QString& text, auto slot, const QKeySequence& key = {}) {
    QAction* a = add_action(name, text, key);
    connect(a, &QAction::triggered, this, slot);
    toolbar->addAction(a);
    return a;
  };
  add(QStringLiteral("PreviewZoomIn"), QStringLiteral("Увеличить"), &ReportPreview::zoom_in,
      QKeySequence::ZoomIn);
  add(QStringLiteral("PreviewZoomOut"), QStringLiteral("Уменьшить"), &ReportPreview::zoom_out,
      QKeySequence::ZoomOut);
  add(QStringLiteral("PreviewFitWidth"), QStringLiteral("По ширине"), &ReportPreview::fit_width);
  add(QStringLiteral("PreviewFitPage"), QStringLiteral("Страница целиком"), &ReportPreview::fit_page);
  toolbar->addSeparator();
  add(QStringLiteral("PreviewPriorPage"), QStringLiteral("Предыдущая"), &ReportPreview::previous_page,
      QKeySequence::MoveToPreviousPage);
  page_label_ = new QLabel(toolbar);
  page_label_->setObjectName(QStringLiteral("PreviewPageNumber"));
  page_label_->setContentsMargins(8, 0, 8, 0);
  toolbar->addWidget(page_label_);
  add(QStringLiteral("PreviewNextPage"), QStringLiteral("Следующая"), &ReportPreview::next_page,
      QKeySequence::MoveToNextPage);
  toolbar->addSeparator();
  QAction* print_action = add(QStringLiteral("PreviewPrint"), QStringLiteral("Печать"), &ReportPreview::print,
                              QKeySequence::Print);
  print_action->setEnabled(any_printer(printing_));
  add(QStringLiteral("PreviewSavePdf"), QStringLiteral("Сохранить в PDF"), &ReportPreview::save_pdf,
      QKeySequence::Save);
  toolbar->addSeparator();
  add(QStringLiteral("PreviewClose"), QStringLiteral("Закрыть"), &ReportPreview::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolbar);
  layout->addWidget(preview_, 1);

  preview_->fitToWidth();
  preview_->updatePreview();
}

ReportPreview::~ReportPreview() = default;

QAction* ReportPreview::add_action(const QString& name, const QString& text, const QKeySequence& shortcut) {
  auto* a = new QAction(text, this);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) {
    a->setShortcut(shortcut);
  }
  addAction(a);
  actions_.append(a);
  return a;
}

QAction* ReportPreview::action(const QString& object_name) const {
  for (QAction* a : actions_) {
    if (a->objectName() == object_name) {
      return a;
    }
  }
  return nullptr;
}

void ReportPreview::paint_pages(QPrinter* printer) {
  QPainter painter(printer);
  report::ReportPainter report_painter(printer);
  for (int i = 0; i < document_.page_count(); ++i) {
    if (i > 0) {
      printer->newPage();
    }
    report_painter.paint_page(painter, document_, i);
  }
}

void ReportPreview::show_page_number() {
  page_label_->setText(
      QStringLiteral("Стр. %1 из %2").arg(preview_->currentPage()).arg(preview_->pageCount()));
}

void ReportPreview::zoom_in() {
  preview_->zoomIn(kZoomStep);
}

void ReportPreview::zoom_out() {
  preview_->zoomOut(kZoomStep);
}

void ReportPreview::fit_width() {
  preview_->fitToWidth();
}

void ReportPreview::fit_page() {
  preview_->fitInView();
}

void ReportPreview::previous_page() {
  preview_->setCurrentPage(preview_->currentPage() - 1);
  show_page_number();
}

void ReportPreview::next_page() {
  preview_->setCurrentPage(preview_->currentPage() + 1);
  show_page_number();
}

void ReportPreview::print() {
  print_report(this, document_, printing_);
}

void ReportPreview::save_pdf() {
  save_report_pdf(this, document_, printing_);
}

bool save_report_pdf(QWidget* parent, const report::ReportDocument& document,
                     const ReportPrinting& printing) {
  if (printing.dialogs == nullptr) {
    return false;
  }
  Dialogs::FileRequest request;
  request.caption = QStringLiteral("Сохранить как PDF");
  request.filter = QStringLiteral("Документы PDF|*.pdf");
  request.default_suffix = QStringLiteral("pdf");
  request.directory = printing.pdf_directory ? printing.pdf_directory() : QString();
  request.confirm_overwrite = true;
  const QString file = printing.dialogs->save_file(parent, request);
  if (file.isEmpty()) {
    return false;
  }
  if (printing.source_file &&
      measurement::is_same_file(std::filesystem::path(printing.source_file().toStdU16String()),
                                std::filesystem::path(file.toStdU16String()))) {
    printing.dialogs->error(
        parent, QStringLiteral("Ошибка"),
        QStringLiteral("Файл \"%1\" — это сам файл измерений: он не будет перезаписан").arg(file));
    return false;
  }
  QString error;
  if (!report::write_pdf(document, file, &error)) {
    printing.dialogs->error(parent, QStringLiteral("Ошибка"), error);
    return false;
  }
  return true;
}

ReportCommands::ReportCommands(ReportServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
  setObjectName(QStringLiteral("ReportCommands"));
}

std::optional<report::ReportKind> ReportCommands::chosen_report() const {
  if (services_.state == nullptr) {
    return std::nullopt;
  }
  const bool table_open = services_.table_open && services_.table_open();
  const int tab = services_.visible_tab ? services_.visible_tab() : -1;
  return report::choose_report(services_.state->db_open, table_open, tab, services_.state->device_code);
}

std::optional<ReportCommands::Prepared> ReportCommands::prepare() const {
  const auto kind = chosen_report();
  if (!kind || !services_.rows) {
    return std::nullopt;
  }
  const report::ReportLayout& layout = report::layout_of(*kind);
  Prepared prepared;
  prepared.rows = services_.rows(report::fields_used(layout));
  if (!prepared.rows) {
    return std::nullopt;
  }
  prepared.document = std::make_unique<report::ReportDocument>(
      layout, *prepared.rows, report::RenderOptions{report::system_decimal_separator()});
  return prepared;
}

void ReportCommands::N8Click() {
  const auto prepared = prepare();
  if (!prepared) {
    return;
  }
  ReportPreview preview(*prepared->document, services_.printing, services_.parent);
  if (services_.show_preview) {
    services_.show_preview(preview);
  } else {
    preview.exec();
  }
}

void ReportCommands::N9Click() {
  if (!chosen_report()) {
    return;
  }
  // Told before the rows are read: without a printer they would be read for nothing.
  if (!any_printer(services_.printing)) {
    emit told(
        QStringLiteral("Принтер не установлен: отчёт не напечатан (в файл: Сервис → Сохранить как PDF)."));
    return;
  }
  const auto prepared = prepare();
  if (!prepared) {
    return;
  }
  print_report(services_.parent, *prepared->document, services_.printing);
}

void ReportCommands::SavePdfClick() {
  const auto prepared = prepare();
  if (!prepared) {
    return;
  }
  save_report_pdf(services_.parent, *prepared->document, services_.printing);
}

}  // namespace vkt
