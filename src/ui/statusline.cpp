#include "ui/statusline.h"

#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "core/programstate.h"
#include "store/measurement/measurementdocument.h"
#include "ui/measurementgrid.h"
#include "ui/measurementtabs.h"

namespace vkt {

namespace {

constexpr int kMessageMs = 5000;

}  // namespace

StatusLine::StatusLine(QMainWindow& window, const WindowContext& context)
    : QObject(&window), window_(window), context_(context) {
  QStatusBar* bar = window.statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  file_ = new QLabel(bar);
  file_->setObjectName(QStringLiteral("StatusFile"));
  rows_ = new QLabel(bar);
  rows_->setObjectName(QStringLiteral("StatusRows"));
  sort_ = new QLabel(bar);
  sort_->setObjectName(QStringLiteral("StatusSort"));
  // The path gives way first on a narrow window; the counts stay whole.
  file_->setMinimumWidth(0);
  file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar->addWidget(file_, 1);
  bar->addPermanentWidget(rows_);
  bar->addPermanentWidget(sort_);
  refresh();
}

void StatusLine::refresh() {
  file_->setText(file_text());
  file_->setToolTip(file_->text());
  rows_->setText(rows_text());
  sort_->setText(sort_text());
  rows_->setVisible(!rows_->text().isEmpty());
  sort_->setVisible(!sort_->text().isEmpty());
}

void StatusLine::tell(const QString& text) {
  window_.statusBar()->showMessage(text, kMessageMs);
}

QString StatusLine::file_text() const {
  if (!context_.state->db_open || !context_.document->is_open()) {
    return QString();
  }
  QString path = QDir::toNativeSeparators(QString::fromStdU16String(context_.document->path().u16string()));
  if (context_.document->read_only()) {
    path += QStringLiteral(" (только чтение)");
  }
  return path;
}

QString StatusLine::rows_text() const {
  const MeasurementGrid* grid = context_.tabs->visible_grid();
  if (grid == nullptr) {
    return QString();
  }
  return QStringLiteral("Строк: %1").arg(grid->model()->rowCount());
}

QString StatusLine::sort_text() const {
  const MeasurementGrid* grid = context_.tabs->visible_grid();
  if (grid == nullptr || grid->sorted_column() < 0) {
    return QString();
  }
  const int column = grid->sorted_column();
  const QString title = grid->model()->headerData(column, Qt::Horizontal).toString().simplified();
  const QString order = grid->sort_mark(column) == SortMark::Up ? QStringLiteral("по убыванию")
                                                                : QStringLiteral("по возрастанию");
  return QStringLiteral("Сортировка: %1, %2").arg(title, order);
}

}  // namespace vkt
