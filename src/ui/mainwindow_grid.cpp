// The main window's grid commands: sorting by a column title, dropping the sort, deleting and
// renumbering rows.
#include <QAction>
#include <QFileInfo>
#include <QItemSelectionModel>

#include "core/programstate.h"
#include "output/export/tableexport.h"
#include "output/report/reportdataset.h"
#include "output/report/tablerows.h"
#include "store/dbf/table.h"
#include "store/mdx/mdxfile.h"
#include "store/mdx/tableindex.h"
#include "ui/dialogs.h"
#include "ui/graphcommand.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/programtitle.h"
#include "ui/reportpreview.h"

namespace vkt {

QString MainWindow::sort_tag(const MeasurementGrid* grid) const {
  return grid == grid1_ ? QStringLiteral("tab1") : QStringLiteral("tab2");
}

MeasurementModel* MainWindow::model_of(const MeasurementGrid* grid) const {
  return grid == grid1_ ? model1_ : model2_;
}

void MainWindow::reload_models() {
  for (MeasurementModel* model : {model1_, model2_}) {
    if (model->table() != nullptr) {
      model->reload();
    }
  }
}

void MainWindow::attach_index() {
  try {
    index_->attach();
  } catch (const std::exception& e) {
    show_error(QString::fromUtf8(e.what()));
  }
}

void MainWindow::reopen_table() {
  const std::string selected = index_->selected_tag();
  index_->detach();
  table_->reopen();
  index_->attach();
  if (!selected.empty() && index_->has_tag(selected)) {
    index_->select_order(selected);
  }
}

// --- sorting ---

void MainWindow::title_clicked(MeasurementGrid* grid, int column, bool ctrl) {
  // none -> up -> down -> up ...; Ctrl and a click: none. Up runs from the largest value down.
  SortMark mark = SortMark::None;
  if (!ctrl) {
    mark = grid->sort_mark(column) == SortMark::Up ? SortMark::Down : SortMark::Up;
  }
  if (mark == grid->sort_mark(column)) {
    return;
  }
  grid->set_sort_mark(column, mark);
  TitleStateChange(grid, column);
}

void MainWindow::TitleStateChange(MeasurementGrid* grid, int column) {
  if (!table_->is_open()) {
    return;
  }
  const QString tag = sort_tag(grid);
  const std::string tag_name = tag.toStdString();
  MeasurementModel* model = model_of(grid);
  try {
    model->post_pending();
    index_->drop_order();
    if (index_->has_tag(tag_name)) {
      index_->delete_tag(tag_name);
      table_->refresh();
    }
  } catch (const std::exception& e) {
    show_error(QString::fromUtf8(e.what()));
  }
  const SortMark mark = grid->sort_mark(column);
  if (mark == SortMark::None) {
    clear_sort(grid, tag);
    return;
  }
  try {
    const auto& field = grid_columns(grid->kind())[std::size_t(column)].field;
    // The tag is built from every row just now, so the usual rebuild of the indexes after it
    // would only write the same file again.
    index_->add_tag(tag_name, field, mark == SortMark::Up);
    index_->select_order(tag_name);
    table_->refresh();
  } catch (const std::exception& e) {
    // The mark stays; the rows stay in file order.
    show_error(QString::fromUtf8(e.what()));
  }
  model->reload();
}

void MainWindow::clear_sort(MeasurementGrid* grid, const QString& tag) {
  grid->clear_sort_marks();
  if (!table_->is_open()) {
    return;
  }
  try {
    index_->drop_order();
    index_->delete_tag(tag.toStdString());
    table_->refresh();
  } catch (const std::exception&) {
    // No such tag: nothing to drop.
  }
  model_of(grid)->reload();
}

void MainWindow::N33Click() {
  clear_sort(grid2_, QStringLiteral("tab2"));
  clear_sort(grid1_, QStringLiteral("tab1"));
}

// --- deleting and renumbering ---

void MainWindow::N21Click() {
  if (MeasurementGrid* grid = visible_grid(); grid != nullptr && table_->is_open()) {
    delete_rows(grid);
  }
}

void MainWindow::delete_rows(MeasurementGrid* grid) {
  MeasurementModel* model = model_of(grid);
  const QList<int> rows = grid->selected_rows();
  if (rows.isEmpty()) {
    return;
  }
  // Deleting packs the file at once and cannot be undone: ask first.
  const auto answer = services_.dialogs->message(
      this, program_title(), QStringLiteral("Удалить выбранные строки (%1)?").arg(rows.size()),
      Dialogs::Icon::Question, {Dialogs::Button::Yes, Dialogs::Button::No});
  if (answer != Dialogs::Button::Yes) {
    return;
  }
  try {
    model->post_pending();
    std::vector<std::uint32_t> recnos;
    for (int row : rows) {
      recnos.push_back(model->recno(row));
    }
    clear_sort(grid, QStringLiteral("tab1"));
    clear_sort(grid, QStringLiteral("tab2"));
    for (auto it = recnos.rbegin(); it != recnos.rend(); ++it) {
      table_->delete_record(*it);
    }
    grid->clearSelection();
    table_->pack();
    reopen_table();
  } catch (const std::exception& e) {
    show_error(QString::fromUtf8(e.what()));
  }
  services_.state->db_modified = false;
  reload_models();
  find_mma();
}

void MainWindow::N37Click() {
  if (!services_.state->db_open) {
    return;
  }
  MeasurementGrid* grid = visible_grid();
  if (table_->is_open() && grid != nullptr) {
    MeasurementModel* model = model_of(grid);
    try {
      model->post_pending();
      // The rows in the order the grid shows them, taken before any number changes: a sort by
      // N would otherwise move rows under the walk.
      const std::vector<std::uint32_t> recnos = model->recnos();
      std::int64_t number = 1;
      for (std::uint32_t recno : recnos) {
        table_->go_to(recno);
        table_->edit();
        table_->set_integer("N", number++);
        table_->post();
      }
      table_->first();
      reopen_table();
    } catch (const std::exception& e) {
      show_error(QString::fromUtf8(e.what()));
    }
    reload_models();
    find_mma();
  }
}

// --- printed reports ---

void MainWindow::create_report_commands() {
  ReportServices rs;
  rs.state = services_.state;
  rs.parent = this;
  rs.table_open = [this] { return table_->is_open(); };
  rs.visible_tab = [this] {
    const MeasurementGrid* grid = visible_grid();
    return grid == nullptr ? -1 : (grid == grid2_ ? 1 : 0);
  };
  rs.rows = [this](const std::vector<std::string>& fields) -> std::unique_ptr<report::ReportDataset> {
    // What was typed in a row is printed too.
    model1_->post_pending();
    model2_->post_pending();
    return std::make_unique<report::MemoryDataset>(report::read_table_rows(*table_, fields));
  };
  rs.printing.dialogs = services_.dialogs;
  rs.printing.pdf_directory = [this] { return QString::fromStdString(services_.state->work_dir); };
  rs.printing.source_file = [this] { return table_path_; };
  reports_ = new ReportCommands(std::move(rs), this);
  connect(command(QStringLiteral("N8")), &QAction::triggered, reports_, &ReportCommands::N8Click);
  connect(command(QStringLiteral("N9")), &QAction::triggered, reports_, &ReportCommands::N9Click);
}

// --- the Excel export ---

void MainWindow::Excel1Click() {
  if (services_.state->db_open && table_->is_open() && visible_grid() != nullptr) {
    exp2excel();
  }
}

void MainWindow::exp2excel() {
  if (!table_->is_open()) {
    return;
  }
  Dialogs::FileRequest request;
  request.filter = QStringLiteral("Книга Excel|*.xls");
  request.default_suffix = QStringLiteral("xls");
  request.directory = QString::fromStdString(services_.state->work_dir);
  // A workbook of the same name may be someone's work: ask before replacing it.
  request.confirm_overwrite = true;
  const QString name = services_.dialogs->save_file(this, request);
  if (name.isEmpty()) {
    return;
  }
  try {
    model1_->post_pending();
    model2_->post_pending();
    N33Click();
    output::export_table_to_file(*table_, services_.state->device_code, name.toStdString());
  } catch (const std::exception& e) {
    show_error(QString::fromStdString(output::export_failure_text(e)));
    reload_models();
    return;
  }
  reload_models();
  services_.dialogs->information(
      this, QStringLiteral("Экспорт в Excel"),
      QStringLiteral("Экспорт в файл ") + QFileInfo(name).fileName() + QStringLiteral(" завершен успешно."));
}

// --- the graph ---

void MainWindow::Grid1DblClick() {
  GraphRow row;
  MeasurementGrid* grid = visible_grid();
  row.tab = grid == grid2_ ? GraphRow::Tab::DeviceB : GraphRow::Tab::DeviceA;
  if (grid != nullptr && grid->currentIndex().isValid() && table_->is_open()) {
    const MeasurementModel* model = model_of(grid);
    const int r = grid->currentIndex().row();
    row.file = table_path_;
    row.n = model->number(r, "N").value_or(0);
    row.date = model->text(r, "DATE");
    row.time = model->text(r, "TIME");
    row.displacement = {model->number(r, "P9").value_or(0), model->number(r, "P2").value_or(0),
                        model->number(r, "P4").value_or(0)};
    row.force = {model->number(r, "D4").value_or(0), model->number(r, "D5").value_or(0),
                 model->number(r, "D6").value_or(0)};
  }
  graph_->run(row);
}

}  // namespace vkt
