#include "ui/measurementgrid.h"

#include "ui/measurementmodel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace vkt {

namespace {

constexpr int kFooterPadding = 6;

// Paints the column's colour under the cell; marked rows keep their filled look.
class ColumnColorDelegate : public QStyledItemDelegate {
 public:
  explicit ColumnColorDelegate(MeasurementGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!(option.state & QStyle::State_Selected)) {
      if (auto color = grid_->column_color(index.column())) {
        painter->fillRect(option.rect, *color);
      }
    }
    QStyledItemDelegate::paint(painter, option, index);
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    emit grid_->edit_started();
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

 private:
  MeasurementGrid* grid_;
};

}  // namespace

GridHeader::GridHeader(int title_lines, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), title_lines_(title_lines) {
  setSectionsClickable(true);
  setSectionsMovable(false);
  setHighlightSections(false);
  setSectionResizeMode(QHeaderView::Interactive);
  setMinimumSectionSize(2);
}

QSize GridHeader::sizeHint() const {
  QSize size = QHeaderView::sizeHint();
  size.setHeight(fontMetrics().lineSpacing() * title_lines_ + 8);
  return size;
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logical_index) const {
  // The frame and background of the section as the style draws it, then our own text.
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.rect = rect;
  option.section = logical_index;
  option.text.clear();
  option.sortIndicator = QStyleOptionHeader::None;
  style()->drawControl(QStyle::CE_Header, &option, painter, this);

  const SortMark mark = marks_ != nullptr ? marks_->value(logical_index) : SortMark::None;
  QRect text_rect = rect.adjusted(3, 2, -3, -2);
  if (mark != SortMark::None) {
    const int size = 7;
    const QPoint c(text_rect.right() - size / 2, text_rect.center().y());
    QPolygon arrow;
    if (mark == SortMark::Up) {
      arrow << QPoint(c.x() - size / 2, c.y() + 2) << QPoint(c.x() + size / 2, c.y() + 2)
            << QPoint(c.x(), c.y() - 3);
    } else {
      arrow << QPoint(c.x() - size / 2, c.y() - 2) << QPoint(c.x() + size / 2, c.y() - 2)
            << QPoint(c.x(), c.y() + 3);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::ButtonText));
    painter->drawPolygon(arrow);
    painter->restore();
    text_rect.setRight(text_rect.right() - size - 2);
  }
  const QString title =
      model() != nullptr ? model()->headerData(logical_index, orientation()).toString() : QString();
  painter->save();
  painter->setClipRect(rect);
  painter->setPen(palette().color(QPalette::ButtonText));
  painter->drawText(text_rect, Qt::AlignCenter | Qt::TextWordWrap, title);
  painter->restore();
}

GridFooter::GridFooter(QTableView* grid) : QWidget(grid), grid_(grid) {
  setObjectName(QStringLiteral("Footer"));
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
}

void GridFooter::set_texts(const QStringList& texts) {
  texts_ = texts;
  update();
}

void GridFooter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(192, 192, 192));
  painter.drawLine(0, 0, width(), 0);
  painter.setPen(palette().color(QPalette::ButtonText));
  const QHeaderView* header = grid_->horizontalHeader();
  for (int column = 0; column < texts_.size(); ++column) {
    if (texts_[column].isEmpty() || header->isSectionHidden(column)) {
      continue;
    }
    const int x = header->sectionViewportPosition(column);
    const QRect cell(x + 2, 1, header->sectionSize(column) - 4, height() - 2);
    painter.drawText(cell, Qt::AlignCenter, texts_[column]);
  }
}

MeasurementGrid::MeasurementGrid(DeviceKind kind, QWidget* parent)
    : QTableView(parent), kind_(kind), columns_(grid_columns(kind)) {
  setObjectName(kind == DeviceKind::A ? QStringLiteral("Grid1") : QStringLiteral("Grid2"));
  header_ = new GridHeader(kind == DeviceKind::A ? 3 : 2, this);
  setHorizontalHeader(header_);
  header_->set_marks(&marks_);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWordWrap(false);
  setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; }"));
  setItemDelegate(new ColumnColorDelegate(this));

  footer_ = new GridFooter(this);

  for (const GridColumn& c : columns_) {
    shares_.append(c.width);
    marks_.append(SortMark::None);
    colors_.append(std::nullopt);
  }
  connect(header_, &QHeaderView::sectionClicked, this, [this](int column) {
    emit title_clicked(column, QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier));
  });
  connect(header_, &QHeaderView::sectionResized, this, &MeasurementGrid::section_resized_by_user);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, footer_, qOverload<>(&QWidget::update));
}

void MeasurementGrid::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  hide_columns();
  if (model != nullptr) {
    connect(model, &QAbstractItemModel::modelReset, this, &MeasurementGrid::hide_columns);
  }
}

void MeasurementGrid::hide_columns() {
  for (int i = 0; i < int(columns_.size()); ++i) {
    setColumnHidden(i, !columns_[i].shown);
  }
  fit_columns();
}

int MeasurementGrid::column_of(std::string_view field) const {
  for (int i = 0; i < int(columns_.size()); ++i) {
    if (columns_[i].field == field) {
      return i;
    }
  }
  return -1;
}

void MeasurementGrid::set_sort_mark(int column, SortMark mark) {
  for (int i = 0; i < marks_.size(); ++i) {
    marks_[i] = i == column ? mark : SortMark::None;
  }
  header_->viewport()->update();
}

void MeasurementGrid::clear_sort_marks() {
  set_sort_mark(-1, SortMark::None);
}

int MeasurementGrid::sorted_column() const {
  for (int i = 0; i < marks_.size(); ++i) {
    if (marks_[i] != SortMark::None) {
      return i;
    }
  }
  return -1;
}

void MeasurementGrid::set_column_color(int column, std::optional<QColor> color) {
  if (column < 0 || column >= colors_.size()) {
    return;
  }
  colors_[column] = color;
  viewport()->update();
}

void MeasurementGrid::clear_colors() {
  for (auto& c : colors_) {
    c.reset();
  }
  viewport()->update();
}

void MeasurementGrid::align_columns() {
  // The width is divided among all columns, hidden ones too, the remainder dropped.
  const int w = std::max(2, viewport()->width() / std::max<int>(1, int(columns_.size())));
  for (double& share : shares_) {
    share = w;
  }
  fit_columns();
}

void MeasurementGrid::fit_columns() {
  if (model() == nullptr) {
    return;
  }
  double total = 0;
  for (int i = 0; i < int(columns_.size()); ++i) {
    if (!isColumnHidden(i)) {
      total += shares_[i];
    }
  }
  if (total <= 0) {
    return;
  }
  const int available = viewport()->width();
  fitting_ = true;
  int used = 0;
  int last_visible = -1;
  for (int i = 0; i < int(columns_.size()); ++i) {
    if (isColumnHidden(i)) {
      continue;
    }
    const int w = std::max(2, int(available * shares_[i] / total));
    setColumnWidth(i, w);
    used += w;
    last_visible = i;
  }
  // The last visible column takes what rounding left over, so the columns fill the grid.
  if (last_visible >= 0 && used < available) {
    setColumnWidth(last_visible, columnWidth(last_visible) + available - used);
  }
  fitting_ = false;
  footer_->update();
}

void MeasurementGrid::section_resized_by_user(int column, int, int new_size) {
  footer_->update();
  if (fitting_ || column < 0 || column >= shares_.size()) {
    return;
  }
  // A column dragged wider takes its new share of the width; the others keep theirs.
  double total = 0;
  for (int i = 0; i < int(columns_.size()); ++i) {
    if (!isColumnHidden(i) && i != column) {
      total += shares_[i];
    }
  }
  const int others = std::max(1, viewport()->width() - new_size);
  shares_[column] = total * new_size / others;
  fit_columns();
}

QList<StoredColumn> MeasurementGrid::layout() const {
  QList<StoredColumn> out;
  for (int i = 0; i < int(columns_.size()); ++i) {
    StoredColumn c;
    c.field = QString::fromUtf8(columns_[i].field.data(), qsizetype(columns_[i].field.size()));
    c.width = isColumnHidden(i) ? int(shares_[i]) : columnWidth(i);
    c.color = colors_[i];
    c.sort = marks_[i];
    c.position = horizontalHeader()->visualIndex(i);
    c.alignment = int(MeasurementModel::alignment_of(columns_[i].alignment));
    c.font = font().toString();
    out.append(c);
  }
  return out;
}

void MeasurementGrid::apply_layout(const QList<StoredColumn>& stored) {
  for (const StoredColumn& s : stored) {
    for (int i = 0; i < int(columns_.size()); ++i) {
      const QString field = QString::fromUtf8(columns_[i].field.data(), qsizetype(columns_[i].field.size()));
      if (field.compare(s.field, Qt::CaseInsensitive) != 0) {
        continue;
      }
      if (s.width > 0) {
        shares_[i] = s.width;
      }
      colors_[i] = s.color;
      marks_[i] = s.sort;
    }
  }
  fit_columns();
  header_->viewport()->update();
  viewport()->update();
}

QList<int> MeasurementGrid::selected_rows() const {
  QList<int> rows;
  if (selectionModel() != nullptr) {
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
      rows.append(index.row());
    }
  }
  std::sort(rows.begin(), rows.end());
  if (rows.size() <= 1 && currentIndex().isValid()) {
    return {currentIndex().row()};
  }
  return rows;
}

void MeasurementGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  fit_columns();
}

void MeasurementGrid::updateGeometries() {
  QTableView::updateGeometries();
  if (footer_ == nullptr) {
    return;  // still being built
  }
  // The table sets the margins for its headers; the footer line takes its own under the rows.
  const int footer_height = fontMetrics().height() + kFooterPadding;
  const QMargins margins = viewportMargins();
  if (margins.bottom() != footer_height) {
    setViewportMargins(margins.left(), margins.top(), margins.right(), footer_height);
  }
  const QRect vp = viewport()->geometry();
  footer_->setGeometry(vp.left(), vp.bottom() + 1, vp.width(), footer_height);
}

}  // namespace vkt
