#pragma once

#include <QPoint>
#include <QTabWidget>
#include <exception>
#include <functional>

#include "store/gridstatistics.h"

namespace vkt {

namespace measurement {
class MeasurementDocument;
}

class AppSettings;
class MeasurementGrid;
class MeasurementModel;

// The two tabs of a measurement file's rows (PageControl1): the device A grid (TabSheet1,
// "ВКТ-РС7") and the device B grid (TabSheet2, "ЗРН2-РС7"). Only the tab of the file's kind of
// rows is shown; its footers carry the statistics of the rows shown or marked.
class MeasurementTabs : public QTabWidget {
  Q_OBJECT
 public:
  MeasurementTabs(measurement::MeasurementDocument& document, QChar decimal_point, QWidget* parent);

  MeasurementGrid* grid1() const { return grid1_; }
  MeasurementGrid* grid2() const { return grid2_; }
  MeasurementModel* model1() const { return model1_; }
  MeasurementModel* model2() const { return model2_; }
  MeasurementModel* model_of(const MeasurementGrid* grid) const;
  // The grid of the visible tab; nullptr while no file's rows are shown.
  MeasurementGrid* visible_grid() const;

  // Shows the open file's rows: the device B tab when the file has device B rows, else device A.
  void show_file();
  // Hides the tabs and lets go of the file.
  void hide_file();
  // After the object's parameters changed: the verdicts, the evaluation columns and the footer.
  void refresh_evaluation();
  // What was typed in a row goes to the file before anything reads or rewrites it.
  void post_pending();
  void drop_pending();
  // The grids let go of the file (before it is closed or replaced).
  void detach();
  // The grids showing the file walk its rows again.
  void reload();

  // Drops a grid's sort marks and the file's sort tag ("tab1", "tab2"); clear_sorts: both grids.
  void clear_sort(MeasurementGrid* grid);
  void clear_sorts();

  // The whole-view statistics of the footers, over the rows the filter admits.
  void find_mma();
  const GridStatistics& statistics() const { return statistics_; }

  // Column layouts kept in the settings as "Table_1" and "Table_2"; a grid without one is
  // aligned and its layout kept.
  void load_layouts(AppSettings* settings);
  void store_layout(AppSettings* settings);

  // Where the texts of failures met on the way are told.
  void set_failure_handler(std::function<void(const QString&)> handler) { fail_ = std::move(handler); }

 signals:
  void edit_started();
  void edit_refused(const QString& text);
  void grid1_double_clicked();
  void context_menu_requested(const QPoint& global);

 private:
  MeasurementGrid* make_tab(const QString& tab_name, const QString& caption, int kind);
  void connect_grid(MeasurementGrid* grid);
  void show_rows(MeasurementModel* shown, MeasurementModel* hidden, const char* filter);
  void update_footers(MeasurementGrid* grid);
  // "passing из judged (share %)" over the rows given, or all rows when none are.
  static QString passing_text(const MeasurementModel& model, const QList<int>& rows);
  // A click on a column title: none -> up -> down -> up ...; with Ctrl: none.
  void title_clicked(MeasurementGrid* grid, int column, bool ctrl);
  // Sorts by the column's mark; an error leaves the mark and the rows in file order.
  void sort(MeasurementGrid* grid, int column);
  void load_layout(AppSettings* settings, const QString& name, MeasurementGrid* grid);
  static QString sort_tag(const MeasurementGrid* grid, const MeasurementGrid* grid1);
  void fail(const std::exception& error, const QString& doing = QString()) const;

  measurement::MeasurementDocument& document_;
  QChar decimal_point_;
  MeasurementGrid* grid1_ = nullptr;
  MeasurementGrid* grid2_ = nullptr;
  MeasurementModel* model1_ = nullptr;
  MeasurementModel* model2_ = nullptr;
  GridStatistics statistics_;
  std::function<void(const QString&)> fail_;
};

}  // namespace vkt
