// The main window's measurement file: opening, saving and closing it, the tab of its rows,
// the statistics under the grids and the column commands.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLocale>
#include <QTabWidget>
#include <filesystem>

#include "core/programstate.h"
#include "image/tableimport.h"
#include "store/appsettings.h"
#include "store/columnlayout.h"
#include "store/dbf/filereplacement.h"
#include "store/dbf/table.h"
#include "store/mdx/tableindex.h"
#include "store/measurement/measurementfile.h"
#include "ui/dialogs.h"
#include "ui/downloaddialog.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/programtitle.h"

namespace vkt {

namespace {

std::filesystem::path to_path(const QString& path) {
  return std::filesystem::path(path.toStdU16String());
}

}  // namespace

QChar MainWindow::decimal_point() const {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? QChar('.') : point.front();
}

void MainWindow::show_error(const QString& text) {
  // The application's own error box: the program's title as caption.
  services_.dialogs->error(this, QCoreApplication::applicationName(), text);
}

void MainWindow::connect_commands() {
  connect(command(QStringLiteral("N2")), &QAction::triggered, this, &MainWindow::N2Click);
  connect(command(QStringLiteral("N3")), &QAction::triggered, this, &MainWindow::N3Click);
  connect(command(QStringLiteral("N4")), &QAction::triggered, this, &MainWindow::N4Click);
  connect(command(QStringLiteral("N5")), &QAction::triggered, this, &MainWindow::N5Click);
  connect(command(QStringLiteral("N7")), &QAction::triggered, this, &MainWindow::N7Click);
  connect(command(QStringLiteral("N17")), &QAction::triggered, this, &MainWindow::N17Click);
  connect(command(QStringLiteral("N18")), &QAction::triggered, this, &MainWindow::N18Click);
  connect(command(QStringLiteral("N19")), &QAction::triggered, this, &MainWindow::N19Click);
  connect(command(QStringLiteral("N23")), &QAction::triggered, this, &MainWindow::N23Click);
  connect(command(QStringLiteral("N21")), &QAction::triggered, this, &MainWindow::N21Click);
  connect(command(QStringLiteral("N33")), &QAction::triggered, this, &MainWindow::N33Click);
  connect(command(QStringLiteral("N37")), &QAction::triggered, this, &MainWindow::N37Click);
  connect(command(QStringLiteral("Graph1")), &QAction::triggered, this, &MainWindow::Grid1DblClick);
  connect(command(QStringLiteral("Excel1")), &QAction::triggered, this, &MainWindow::Excel1Click);
  connect(grid1_, &QAbstractItemView::doubleClicked, this, &MainWindow::Grid1DblClick);
  connect(page_control_, &QTabWidget::currentChanged, this, [this](int index) {
    if (!services_.state->db_open || page_control_->isHidden()) {
      return;
    }
    if (index == 0) {
      TabSheet1Show();
    } else if (index == 1) {
      TabSheet2Show();
    }
  });
  for (MeasurementGrid* grid : {grid1_, grid2_}) {
    auto* model = static_cast<MeasurementModel*>(grid->model());
    connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, grid] { grid_selection_changed(grid); });
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, grid, model](const QModelIndex&, const QModelIndex&) {
              // Leaving a row writes what was typed in it.
              try {
                model->post_pending();
              } catch (const std::exception& e) {
                show_error(QString::fromUtf8(e.what()));
              }
              grid_selection_changed(grid);
            });
    connect(grid, &MeasurementGrid::edit_started, this, [this] { services_.state->db_modified = true; });
    connect(grid, &MeasurementGrid::title_clicked, this,
            [this, grid](int column, bool ctrl) { title_clicked(grid, column, ctrl); });
    connect(model, &MeasurementModel::edit_refused, this, [this](const QString& text) { show_error(text); });
    connect(model, &QAbstractItemModel::modelReset, this, [this, grid] { grid_selection_changed(grid); });
  }
}

MeasurementGrid* MainWindow::visible_grid() const {
  if (!services_.state->db_open || page_control_->isHidden()) {
    return nullptr;
  }
  return page_control_->currentIndex() == 1 ? grid2_ : grid1_;
}

// --- opening, saving, closing ---

Dialogs::FileRequest MainWindow::database_request() const {
  Dialogs::FileRequest request;
  request.filter = QStringLiteral("Базы данных|*.db");
  request.default_suffix = QStringLiteral("db");
  request.directory = QString::fromStdString(services_.state->work_dir);
  return request;
}

void MainWindow::N3Click() {
  const QString name = services_.dialogs->open_file(this, database_request());
  if (name.isEmpty()) {
    return;
  }
  if (services_.state->db_open) {
    Close_DB();
  }
  services_.state->work_dir = QFileInfo(name).absolutePath().toStdString();
  Open_DB(name);
}

void MainWindow::Open_DB(const QString& path) {
  if (services_.state->db_open) {
    Close_DB();
  }
  try {
    table_path_ = QFileInfo(path).absoluteFilePath();
    try {
      measurement::open_measurement_file(*table_, to_path(table_path_));
    } catch (const dbf::DbfError& e) {
      if (e.kind() != dbf::ErrorKind::NoAccess) {
        throw;
      }
      // A file on a read-only medium is shown all the same; a change says why it cannot be made.
      measurement::open_measurement_file(*table_, to_path(table_path_), measurement::Access::ReadOnly);
    }
    // A first row that cannot be read is a damaged file like any other: nothing is shown of it.
    table_->first();
    services_.state->device_code =
        table_->has_row() ? static_cast<std::uint8_t>(table_->read_integer("DEV_TYPE").value_or(0)) : 0;
  } catch (const std::exception& e) {
    table_->close();
    services_.dialogs->error(this, QStringLiteral("Ошибка"),
                             QString::fromStdString(measurement::open_failure_text(e)));
    return;
  }
  services_.state->db_open = true;
  try {
    attach_index();
    show_file_look();
    enable_button();
    tab_vis_en();
    // The statistics describe the rows of the tab just shown.
    find_mma();
  } catch (const std::exception& e) {
    // Rows that cannot be shown: the file is closed again, as it was found.
    leave_failed_file();
    services_.dialogs->error(this, QStringLiteral("Ошибка"),
                             QString::fromStdString(measurement::open_failure_text(e)));
    return;
  }
  load_layout(QStringLiteral("Table_1"), grid1_);
  load_layout(QStringLiteral("Table_2"), grid2_);
  set_caption(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + program_title());
  services_.state->db_modified = false;
}

void MainWindow::leave_failed_file() {
  model1_->attach(nullptr);
  model2_->attach(nullptr);
  try {
    index_->detach();
  } catch (const std::exception&) {
    // the table is closed below in any case
  }
  table_->close();
  services_.state->db_open = false;
  services_.state->db_modified = false;
  disable_button();
  tab_vis_dis();
  set_caption(program_title());
  show_no_file_look();
}

void MainWindow::N5Click() {
  Save_DB();
}

void MainWindow::Save_DB() {
  if (!services_.state->db_open) {
    return;
  }
  if (table_->is_open()) {
    try {
      model1_->post_pending();
      model2_->post_pending();
      reopen_table();
    } catch (const std::exception& e) {
      show_error(QString::fromUtf8(e.what()));
    }
    reload_models();
  }
  services_.state->db_modified = false;
}

void MainWindow::N7Click() {
  Close_DB();
}

void MainWindow::Close_DB() {
  if (services_.state->db_modified) {
    const auto answer =
        services_.dialogs->message(this, program_title(), QStringLiteral("Сохранить изменения в таблицах ?"),
                                   Dialogs::Icon::Question, {Dialogs::Button::Yes, Dialogs::Button::No});
    if (answer == Dialogs::Button::Yes) {
      Save_DB();
    } else {
      model1_->drop_pending();
      model2_->drop_pending();
    }
  }
  if (services_.state->db_open) {
    store_layout(QStringLiteral("Table_1"), grid1_);
  }
  services_.state->db_open = false;
  services_.state->db_modified = false;
  if (table_->is_open()) {
    model1_->attach(nullptr);
    model2_->attach(nullptr);
    try {
      // The index file goes, and with it the header's claim of one, so other programs open the
      // file as it is.
      index_->remove_index_file();
      index_->detach();
      table_->close();
    } catch (const std::exception& e) {
      show_error(QString::fromUtf8(e.what()));
    }
    std::error_code ignored;
    std::filesystem::remove(measurement::index_path_for(to_path(table_path_)), ignored);
  }
  disable_button();
  tab_vis_dis();
  set_caption(program_title());
  show_no_file_look();
}

// --- a download into a measurement file ---

void MainWindow::N2Click() {
  if (services_.state->db_open) {
    Close_DB();
  }
  Dialogs::FileRequest request;
  request.filter = QStringLiteral("Файлы данных|*.db");
  request.default_suffix = QStringLiteral("db");
  request.directory = QString::fromStdString(services_.state->work_dir);
  // Replacing a file of months of measurements deserves the usual question.
  request.confirm_overwrite = true;
  const QString name = services_.dialogs->save_file(this, request);
  if (name.isEmpty()) {
    return;
  }
  // A folder that takes no new file is said before the instrument is asked, not after.
  try {
    dbf::FileReplacement::check_replaceable(to_path(QFileInfo(name).absoluteFilePath()));
  } catch (const std::exception& e) {
    show_error(QString::fromStdString(measurement::failure_text(e)));
    return;
  }
  if (download_->exec() != QDialog::Accepted) {
    return;
  }
  Create_DB(name);
}

void MainWindow::Create_DB(const QString& path) {
  services_.state->db_open = false;
  services_.state->db_modified = false;
  model1_->attach(nullptr);
  model2_->attach(nullptr);
  table_->close();
  try {
    table_path_ = QFileInfo(path).absoluteFilePath();
    measurement::create_measurement_file(*table_, to_path(table_path_));
  } catch (const std::exception& e) {
    show_error(QString::fromUtf8(e.what()));
    return;
  }
  services_.state->db_open = true;
  attach_index();
  show_file_look();
  import_download(0);
  enable_button();
  tab_vis_en();
  find_mma();
  load_layout(QStringLiteral("Table_1"), grid1_);
  load_layout(QStringLiteral("Table_2"), grid2_);
  services_.state->db_modified = false;
}

void MainWindow::N4Click() {
  if (!services_.state->db_open) {
    const QString name = services_.dialogs->open_file(this, database_request());
    if (name.isEmpty()) {
      return;
    }
    Open_DB(name);
  }
  if (!services_.state->db_open) {
    return;
  }
  // Rows added after rows no reader can read would be lost with them.
  try {
    measurement::check_measurement_rows(*table_);
    table_->refresh();
  } catch (const std::exception& e) {
    show_error(QString::fromStdString(measurement::open_failure_text(e)));
    return;
  }
  // The copy the rows go into is made in the file's folder: it must take new files.
  try {
    dbf::FileReplacement::check_replaceable(to_path(table_path_));
  } catch (const std::exception& e) {
    show_error(QString::fromStdString(measurement::failure_text(e)));
    return;
  }
  if (download_->exec() != QDialog::Accepted) {
    return;
  }
  if (table_->is_open()) {
    clear_sort(grid1_, QStringLiteral("tab1"));
    clear_sort(grid2_, QStringLiteral("tab2"));
  }
  import_download(1);
  services_.state->db_open = true;
  Save_DB();
  tab_vis_en();
  find_mma();
}

bool MainWindow::import_download(int mode) {
  try {
    if (mode == 0) {
      image::flash2lmf(*table_, *services_.state, image::ImportMode::kNewFile,
                       QString(decimal_point()).toStdString());
      table_->flush();
    } else {
      append_download();
    }
  } catch (const std::exception& e) {
    show_error(QString::fromStdString(measurement::failure_text(e)));
    return false;
  }
  return true;
}

void MainWindow::append_download() {
  // The rows go into a copy that takes the file's place only when complete, so a failure or a
  // crash on the way leaves the file as it was.
  const std::filesystem::path path = to_path(table_path_);
  measurement::MeasurementRewrite copy(path, *table_);
  const image::ImportResult imported = image::flash2lmf(
      copy.table(), *services_.state, image::ImportMode::kAppend, QString(decimal_point()).toStdString());
  if (imported.appended == 0) {
    return;
  }
  model1_->attach(nullptr);
  model2_->attach(nullptr);
  index_->detach();
  table_->close();
  try {
    copy.commit();
  } catch (...) {
    measurement::open_measurement_file(*table_, path);
    attach_index();
    throw;
  }
  measurement::open_measurement_file(*table_, path);
  attach_index();
}

// --- the tab of the file's rows ---

void MainWindow::tab_vis_en() {
  if (!table_->is_open()) {
    return;
  }
  table_->first();
  table_->set_filter("NB_TYPE=1");
  table_->refresh();
  const bool device_b = table_->count() > 0;
  page_control_->setTabVisible(0, !device_b);
  page_control_->setTabVisible(1, device_b);
  {
    const QSignalBlocker quiet(page_control_);
    page_control_->setCurrentIndex(device_b ? 1 : 0);
  }
  page_control_->show();
  if (device_b) {
    TabSheet2Show();
  } else {
    TabSheet1Show();
  }
  page_control_->update();
}

void MainWindow::show_rows(MeasurementModel* shown, MeasurementModel* hidden, const char* filter) {
  hidden->attach(nullptr);
  table_->set_filter(filter);
  table_->refresh();
  shown->attach(table_.get());
}

void MainWindow::TabSheet1Show() {
  show_rows(model1_, model2_, "NB_TYPE=0");
}

void MainWindow::TabSheet2Show() {
  show_rows(model2_, model1_, "NB_TYPE=1");
}

// --- statistics ---

void MainWindow::find_mma() {
  MeasurementGrid* grid = visible_grid();
  statistics_ = {};
  if (grid != nullptr) {
    auto* model = static_cast<MeasurementModel*>(grid->model());
    std::vector<PRValues> rows;
    rows.reserve(std::size_t(model->rowCount()));
    for (int row = 0; row < model->rowCount(); ++row) {
      rows.push_back(model->pr_values(row));
    }
    statistics_ = statistics_of(rows);
  }
  grid_selection_changed(grid1_);
  grid_selection_changed(grid2_);
}

void MainWindow::grid_selection_changed(MeasurementGrid* grid) {
  auto* model = static_cast<MeasurementModel*>(grid->model());
  QStringList footers(model->columnCount());
  if (model->table() != nullptr) {
    const QList<int> selected = grid->selected_rows();
    GridStatistics s = statistics_;
    if (selected.size() > 1) {
      std::vector<PRValues> rows;
      for (int row : selected) {
        rows.push_back(model->pr_values(row));
      }
      s = statistics_of(rows);
    }
    const char point = decimal_point().toLatin1();
    footers[grid->column_of("P")] = QString::fromStdString(footer_text(s.p_min, s.p_avg, s.p_max, point));
    footers[grid->column_of("R")] = QString::fromStdString(footer_text(s.r_min, s.r_avg, s.r_max, point));
    footers[grid->column_of("N")] = QString::number(model->rowCount());
  }
  grid->footer()->set_texts(footers);
}

// --- column layouts and commands ---

void MainWindow::load_layout(const QString& name, MeasurementGrid* grid) {
  if (services_.settings == nullptr) {
    return;
  }
  if (const auto text = services_.settings->table_layout(name)) {
    grid->apply_layout(layout_from_text(*text));
    return;
  }
  grid->align_columns();
  store_layout(name, grid);
}

void MainWindow::store_layout(const QString& name, MeasurementGrid* grid) {
  if (services_.settings != nullptr) {
    services_.settings->set_table_layout(name, layout_to_text(grid->layout()));
  }
}

void MainWindow::N17Click() {
  MeasurementGrid* grid = visible_grid();
  if (grid == nullptr || !table_->is_open()) {
    return;
  }
  const int column = grid->currentIndex().isValid() ? grid->currentIndex().column() : 0;
  if (const auto color = services_.dialogs->color(this, grid->column_color(column).value_or(Qt::white))) {
    grid->set_column_color(column, color);
  }
}

void MainWindow::N18Click() {
  MeasurementGrid* grid = visible_grid();
  if (grid == nullptr || !table_->is_open()) {
    return;
  }
  grid->set_column_color(grid->currentIndex().isValid() ? grid->currentIndex().column() : 0, std::nullopt);
}

void MainWindow::N19Click() {
  if (MeasurementGrid* grid = visible_grid(); grid != nullptr && table_->is_open()) {
    grid->clear_colors();
  }
}

void MainWindow::N23Click() {
  if (MeasurementGrid* grid = visible_grid(); grid != nullptr && table_->is_open()) {
    grid->align_columns();
  }
}

}  // namespace vkt
