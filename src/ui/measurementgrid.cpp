#include "ui/measurementgrid.h"

#include "ui/measurementmodel.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

namespace vkt {

namespace {

constexpr int kFooterPadding = 6;
// Room around a title: the text's margins and the sort mark beside it.
constexpr int kTitleMargin = 3;
constexpr int kSortMarkSize = 7;
constexpr int kTitleRoom = 2 * kTitleMargin + kSortMarkSize + 3;
// The remark: free text, elided in a narrow column with its whole text in a tooltip.
constexpr std::string_view kFreeTextField = "COMMENT";

// The line of a footer text that wraps: broken after the last '/' that leaves a first line
// no wider than width (after the first '/' when none does).
QString wrapped_footer(const QString& text, const QFontMetrics& fm, int width) {
  qsizetype cut = -1;
  for (qsizetype i = text.size() - 1; i > 0; --i) {
    if (text[i - 1] != QLatin1Char('/')) {
      continue;
    }
    cut = i;
    if (fm.horizontalAdvance(text.left(i)) <= width) {
      break;
    }
  }
  return cut < 0 ? text : text.left(cut) + QLatin1Char('\n') + text.mid(cut);
}

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
  QRect text_rect = rect.adjusted(kTitleMargin, 2, -kTitleMargin, -2);
  if (mark != SortMark::None) {
    const int size = kSortMarkSize;
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
  emit texts_changed();
  update();
}

GridFooter::Placement GridFooter::placement() const {
  Placement p;
  p.rects.resize(texts_.size());
  p.lines = texts_;
  const QHeaderView* header = grid_->horizontalHeader();
  const QFontMetrics fm = fontMetrics();
  const int count = std::min<int>(int(texts_.size()), header->count());
  QList<bool> taken(count);
  for (int column = 0; column < count; ++column) {
    taken[column] = !texts_[column].isEmpty() || header->isSectionHidden(column);
  }
  // Takes the footer beside visual position v when it is empty; hidden ones are passed over.
  const auto take = [&](int& v, int step) -> int {
    while (v >= 0 && v < header->count() && header->isSectionHidden(header->logicalIndex(v))) {
      v += step;
    }
    if (v < 0 || v >= header->count() || taken.value(header->logicalIndex(v), true)) {
      return 0;
    }
    const int logical = header->logicalIndex(v);
    taken[logical] = true;
    v += step;
    return header->sectionSize(logical);
  };
  for (int column = 0; column < count; ++column) {
    if (texts_[column].isEmpty() || header->isSectionHidden(column)) {
      continue;
    }
    int left = header->sectionViewportPosition(column);
    int right = left + header->sectionSize(column);
    const int need = fm.horizontalAdvance(texts_[column]) + 4;
    int to_left = header->visualIndex(column) - 1;
    int to_right = header->visualIndex(column) + 1;
    while (right - left < need) {
      const int gained_left = take(to_left, -1);
      left -= gained_left;
      const int gained_right = right - left < need ? take(to_right, 1) : 0;
      right += gained_right;
      if (gained_left == 0 && gained_right == 0) {
        break;
      }
    }
    p.rects[column] = QRect(left + 2, 1, right - left - 4, height() - 2);
    if (right - left < need) {
      p.lines[column] = wrapped_footer(texts_[column], fm, right - left - 4);
      p.line_count = 2;
    }
  }
  return p;
}

void GridFooter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(192, 192, 192));
  painter.drawLine(0, 0, width(), 0);
  painter.setPen(palette().color(QPalette::ButtonText));
  const Placement p = placement();
  for (int column = 0; column < p.rects.size(); ++column) {
    if (!p.rects[column].isEmpty()) {
      painter.drawText(p.rects[column], Qt::AlignCenter, p.lines[column]);
    }
  }
}

MeasurementGrid::MeasurementGrid(DeviceKind kind, QWidget* parent)
    : QTableView(parent), kind_(kind), columns_(window_columns(kind)) {
  setObjectName(kind == DeviceKind::A ? QStringLiteral("Grid1") : QStringLiteral("Grid2"));
  header_ = new GridHeader(kind == DeviceKind::A ? 3 : 2, this);
  setHorizontalHeader(header_);
  header_->set_marks(&marks_);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // A double click opens the row's graph; typing or F2 edits the cell.
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWordWrap(false);
  setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; }"));
  setItemDelegate(new ColumnColorDelegate(this));

  footer_ = new GridFooter(this);

  for (const GridColumn& c : columns_) {
    shares_.append(c.width);
    marks_.append(SortMark::None);
    colors_.append(std::nullopt);
    value_widths_.append(0);
    title_widths_.append(0);
    chosen_widths_.append(0);
  }
  connect(header_, &QHeaderView::sectionClicked, this, [this](int column) {
    emit title_clicked(column, QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier));
  });
  connect(header_, &QHeaderView::sectionResized, this, &MeasurementGrid::section_resized_by_user);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, footer_, qOverload<>(&QWidget::update));
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &MeasurementGrid::measure_shown_rows);
  connect(footer_, &GridFooter::texts_changed, this, &MeasurementGrid::updateGeometries);
}

void MeasurementGrid::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  hide_columns();
  if (model != nullptr) {
    connect(model, &QAbstractItemModel::modelReset, this, &MeasurementGrid::hide_columns);
    connect(model, &QAbstractItemModel::dataChanged, this, &MeasurementGrid::measure_shown_rows);
  }
}

void MeasurementGrid::hide_columns() {
  // Hiding a column reports it resized to nothing; fitting the others while the header is still
  // hiding it would leave the hidden column a length of its own, a gap in every row.
  fitting_ = true;
  for (int i = 0; i < int(columns_.size()); ++i) {
    setColumnHidden(i, !columns_[i].shown || (!evaluation_shown_ && is_evaluation_column(columns_[i].field)));
    value_widths_[i] = 0;
  }
  fitting_ = false;
  fit_columns();
  measure_shown_rows();
}

void MeasurementGrid::show_evaluation(bool shown) {
  if (shown != evaluation_shown_) {
    evaluation_shown_ = shown;
    hide_columns();
  }
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
  // The width is divided among all the file's columns, hidden ones too, the remainder dropped;
  // the evaluation columns get as much as each of those.
  const int w = std::max(2, viewport()->width() / std::max<int>(1, int(grid_columns(kind_).size())));
  for (double& share : shares_) {
    share = w;
  }
  std::fill(chosen_widths_.begin(), chosen_widths_.end(), 0);
  fit_columns();
}

bool MeasurementGrid::may_elide(int column) const {
  return columns_[std::size_t(column)].field == kFreeTextField;
}

int MeasurementGrid::title_width(int column) const {
  if (title_widths_[column] > 0) {
    return title_widths_[column];
  }
  const QString title =
      model() != nullptr ? model()->headerData(column, Qt::Horizontal).toString() : QString();
  const QFontMetrics fm = header_->fontMetrics();
  const int lines = kind_ == DeviceKind::A ? 3 : 2;
  // From the longest word up to the whole title on one line: the narrowest width at which the
  // title, wrapped at spaces, takes no more than the header's lines.
  int narrow = 0;
  for (const QString& word : title.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
    narrow = std::max(narrow, fm.horizontalAdvance(word));
  }
  // Drawn glyphs may reach a pixel or two beyond their advance.
  int wide = std::max(narrow, fm.horizontalAdvance(title)) + 4;
  const auto fits = [&](int width) {
    const QRect r = fm.boundingRect(QRect(0, 0, width, 1 << 20), Qt::AlignCenter | Qt::TextWordWrap, title);
    return r.width() <= width && qRound(double(r.height()) / fm.lineSpacing()) <= lines;
  };
  while (narrow < wide) {
    const int middle = (narrow + wide) / 2;
    if (fits(middle)) {
      wide = middle;
    } else {
      narrow = middle + 1;
    }
  }
  title_widths_[column] = wide + kTitleRoom;
  return title_widths_[column];
}

int MeasurementGrid::minimum_width(int column) const {
  return std::max({2, title_width(column), value_widths_.value(column)});
}

void MeasurementGrid::measure_shown_rows() {
  if (model() == nullptr || fitting_ || model()->rowCount() == 0) {
    return;
  }
  const int first = std::max(0, rowAt(0));
  int last = rowAt(viewport()->height() - 1);
  if (last < 0) {
    last = model()->rowCount() - 1;
  }
  const QFontMetrics fm = fontMetrics();
  const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
  bool grew = false;
  for (int column = 0; column < int(columns_.size()); ++column) {
    if (isColumnHidden(column) || may_elide(column)) {
      continue;
    }
    for (int row = first; row <= last; ++row) {
      const int w = fm.horizontalAdvance(model()->index(row, column).data().toString()) + margins;
      if (w > value_widths_[column]) {
        value_widths_[column] = w;
        grew = true;
      }
    }
  }
  if (grew) {
    fit_columns();
  }
}

void MeasurementGrid::fit_columns() {
  if (model() == nullptr) {
    return;
  }
  QList<int> shown;
  for (int i = 0; i < int(columns_.size()); ++i) {
    if (!isColumnHidden(i)) {
      shown.append(i);
    }
  }
  if (shown.isEmpty()) {
    return;
  }
  // The shares divide what the columns held at their minimum leave; a column whose share would
  // be narrower than its minimum gets the minimum, and the rest is divided again.
  const int available = viewport()->width();
  QList<int> widths(columns_.size(), 0);
  QList<bool> at_minimum(columns_.size(), false);
  for (bool changed = true; changed;) {
    changed = false;
    int room = available;
    double total = 0;
    for (int i : shown) {
      if (at_minimum[i]) {
        room -= minimum_width(i);
      } else {
        total += shares_[i];
      }
    }
    for (int i : shown) {
      if (at_minimum[i]) {
        widths[i] = minimum_width(i);
        continue;
      }
      widths[i] = total > 0 ? int(std::max(0, room) * shares_[i] / total) : 0;
      if (widths[i] < minimum_width(i)) {
        at_minimum[i] = changed = true;
      }
    }
  }
  int used = 0;
  for (int i : shown) {
    used += widths[i];
  }
  if (used > available) {
    // Too narrow a grid for every column's minimum: each column is as wide as its minimum or as
    // the user made it, and a scroll bar shows the rest.
    used = 0;
    for (int i : shown) {
      widths[i] = std::max(minimum_width(i), chosen_widths_[i]);
      used += widths[i];
    }
  }
  // The last visible column takes what rounding left over, so the columns fill the grid; when
  // the minimums need more than the grid's width, a scroll bar shows the rest.
  if (used < available) {
    widths[shown.back()] += available - used;
  }
  fitting_ = true;
  for (int i : shown) {
    setColumnWidth(i, widths[i]);
  }
  fitting_ = false;
  setHorizontalScrollBarPolicy(used > available ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  footer_->update();
  updateGeometries();
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
  // When the columns do not fit anyway, the width the user gave a column is its width.
  chosen_widths_[column] = new_size;
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
        chosen_widths_[i] = s.width;
      }
      colors_[i] = s.color;
      // The evaluation columns are not in the file, so no index sorts them.
      marks_[i] = is_evaluation_column(columns_[i].field) ? SortMark::None : s.sort;
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
  measure_shown_rows();
}

bool MeasurementGrid::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // A value its column cannot show whole (a long remark) is shown whole in a tooltip.
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.data().toString();
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    if (index.isValid() && fontMetrics().horizontalAdvance(text) + margins > columnWidth(index.column())) {
      QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QTableView::viewportEvent(event);
}

void MeasurementGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    std::fill(title_widths_.begin(), title_widths_.end(), 0);
    std::fill(value_widths_.begin(), value_widths_.end(), 0);
    fit_columns();
    measure_shown_rows();
  }
}

void MeasurementGrid::updateGeometries() {
  QTableView::updateGeometries();
  if (footer_ == nullptr) {
    return;  // still being built
  }
  // The table sets the margins for its headers; the footer line takes its own under the rows.
  const int footer_height = footer_->placement().line_count * fontMetrics().height() + kFooterPadding;
  const QMargins margins = viewportMargins();
  if (margins.bottom() != footer_height) {
    setViewportMargins(margins.left(), margins.top(), margins.right(), footer_height);
  }
  const QRect vp = viewport()->geometry();
  footer_->setGeometry(vp.left(), vp.bottom() + 1, vp.width(), footer_height);
}

}  // namespace vkt
