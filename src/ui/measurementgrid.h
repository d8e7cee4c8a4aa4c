#pragma once

#include <QColor>
#include <QHeaderView>
#include <QList>
#include <QStringList>
#include <QTableView>
#include <optional>

#include "store/columnlayout.h"
#include "store/gridcolumns.h"

namespace vkt {

// The column titles of a measurement grid: wrapped on up to a fixed number of lines, with the
// column's sort mark drawn beside the text (up: the rows run from the largest value down).
class GridHeader : public QHeaderView {
  Q_OBJECT
 public:
  GridHeader(int title_lines, QWidget* parent);

  void set_marks(const QList<SortMark>* marks) { marks_ = marks; }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logical_index) const override;
  QSize sizeHint() const override;

 private:
  int title_lines_;
  const QList<SortMark>* marks_ = nullptr;
};

// The line under the rows that shows the statistics of some columns. A text wider than its
// column takes the room of the empty footers beside it; where that is not enough, the footer
// grows a second line. A number is never cut.
class GridFooter : public QWidget {
  Q_OBJECT
 public:
  explicit GridFooter(QTableView* grid);

  void set_texts(const QStringList& texts);
  const QStringList& texts() const { return texts_; }

  // Where each column's text is drawn, in the footer's coordinates (empty for no text), and the
  // lines the footer needs for all of them.
  struct Placement {
    QList<QRect> rects;
    QStringList lines;  // each column's text as drawn, "\n" where it wraps
    int line_count = 1;
  };
  Placement placement() const;

 signals:
  void texts_changed();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTableView* grid_;
  QStringList texts_;
};

// A measurement grid (Grid1, Grid2): the columns of one device kind, titles on several lines,
// a footer line, sort marks and colours per column, several rows markable at once, columns
// sharing the grid's width in proportion to their widths.
class MeasurementGrid : public QTableView {
  Q_OBJECT
 public:
  MeasurementGrid(DeviceKind kind, QWidget* parent = nullptr);

  DeviceKind kind() const { return kind_; }
  int column_of(std::string_view field) const;

  // Whether the evaluation columns (s/v, the verdict) are shown: for files that have something
  // to show in them.
  void show_evaluation(bool shown);
  bool evaluation_shown() const { return evaluation_shown_; }

  // Sort marks: at most one column carries one.
  SortMark sort_mark(int column) const { return marks_.value(column); }
  void set_sort_mark(int column, SortMark mark);
  void clear_sort_marks();
  int sorted_column() const;

  // Column colours; none is the grid's normal colour.
  std::optional<QColor> column_color(int column) const { return colors_.value(column); }
  void set_column_color(int column, std::optional<QColor> color);
  void clear_colors();

  // Every column, hidden ones included, gets the same width; then the visible columns share the
  // grid's width in equal parts.
  void align_columns();

  // The stored layout of every column, and applying one (columns matched by field name, letter
  // case ignored; stored columns without a match are passed over).
  QList<StoredColumn> layout() const;
  void apply_layout(const QList<StoredColumn>& stored);

  GridFooter* footer() const { return footer_; }

  // The narrowest a visible column may be: its title on the header's lines with no word broken
  // and room for the sort mark, and every value shown in it so far, except a long free text
  // ("Примечание"), which is elided with its full text in a tooltip.
  int minimum_width(int column) const;

  void setModel(QAbstractItemModel* model) override;

  // Rows of the selection: the marked rows, or the current row alone (empty when there is none).
  QList<int> selected_rows() const;

 signals:
  // A click on a column title; ctrl when Ctrl was held.
  void title_clicked(int column, bool ctrl);
  // An in-place edit begins in a cell.
  void edit_started();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;
  bool viewportEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void fit_columns();
  // Widens the minimum of a column whose values on screen need more room, and fits the columns.
  void measure_shown_rows();
  int title_width(int column) const;
  bool may_elide(int column) const;

  void hide_columns();
  void section_resized_by_user(int column, int old_size, int new_size);

  DeviceKind kind_;
  std::span<const GridColumn> columns_;
  GridHeader* header_ = nullptr;
  GridFooter* footer_ = nullptr;
  QList<double> shares_;
  QList<SortMark> marks_;
  QList<std::optional<QColor>> colors_;
  // Per column: the widest value shown since the rows were loaded, and the title's width (0: not
  // measured yet).
  QList<int> value_widths_;
  mutable QList<int> title_widths_;
  // Per column: the width the user dragged it to or a stored layout gave it (0: none), which
  // holds while the columns are wider than the grid.
  QList<int> chosen_widths_;
  bool fitting_ = false;
  bool evaluation_shown_ = false;
};

}  // namespace vkt
