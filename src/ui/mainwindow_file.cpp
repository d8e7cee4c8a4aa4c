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
#include "store/appsettings.h"
#include "store/columnlayout.h"
#include "store/measurement/measurementdocument.h"
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

void MainWindow::show_failure(const std::exception& error, FailureContext context) {
  if (context == FailureContext::Opening) {
    services_.dialogs->error(this, QStringLiteral("Ошибка"), failure_text(error, context));
  } else {
    show_error(failure_text(error, context));
  }
}

void MainWindow::post_pending() {
  // What was typed in a row goes to the file before anything reads or rewrites it.
  model1_->post_pending();
  model2_->post_pending();
}

void MainWindow::detach_models() {
  model1_->attach(nullptr);
  model2_->attach(nullptr);
}

void MainWindow::connect_commands() {
  const MainActions& a = actions_;
  const QList<QPair<QAction*, void (MainWindow::*)()>> handlers = {
      {a.create, &MainWindow::N2Click},       {a.open, &MainWindow::N3Click},
      {a.append, &MainWindow::N4Click},       {a.save, &MainWindow::N5Click},
      {a.close, &MainWindow::N7Click},        {a.set_color, &MainWindow::N17Click},
      {a.clear_color, &MainWindow::N18Click}, {a.clear_colors, &MainWindow::N19Click},
      {a.align, &MainWindow::N23Click},       {a.delete_rows, &MainWindow::N21Click},
      {a.clear_sort, &MainWindow::N33Click},  {a.renumber, &MainWindow::N37Click},
      {a.graph, &MainWindow::Grid1DblClick},  {a.excel, &MainWindow::Excel1Click},
      {a.xlsx, &MainWindow::Xlsx1Click},      {a.csv, &MainWindow::Csv1Click},
      {a.exit, &MainWindow::ExitClick},       {a.help, &MainWindow::HelpClick},
      {a.about, &MainWindow::AboutClick},     {a.help_button, &MainWindow::HelpButtonClick}};
  for (const auto& [action, handler] : handlers) {
    if (action != nullptr) {
      connect(action, &QAction::triggered, this, handler);
    }
  }
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
                show_failure(e);
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
  measurement::MeasurementDocument::Opened opened;
  try {
    // A file on a read-only medium is shown all the same; a change says why it cannot be made.
    opened = document_->open(to_path(QFileInfo(path).absoluteFilePath()), measurement::Access::Editing);
    services_.state->device_code = document_->device_code();
  } catch (const std::exception& e) {
    show_failure(e, FailureContext::Opening);
    return;
  }
  services_.state->db_open = true;
  if (!opened.index_problem.empty()) {
    show_error(QString::fromStdString(opened.index_problem));
  }
  try {
    show_file_look();
    enable_button();
    tab_vis_en();
    // The statistics describe the rows of the tab just shown.
    find_mma();
  } catch (const std::exception& e) {
    // Rows that cannot be shown: the file is closed again, as it was found.
    leave_failed_file();
    show_failure(e, FailureContext::Opening);
    return;
  }
  load_layout(QStringLiteral("Table_1"), grid1_);
  load_layout(QStringLiteral("Table_2"), grid2_);
  set_caption(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + program_title());
  services_.state->db_modified = false;
}

void MainWindow::leave_failed_file() {
  detach_models();
  try {
    document_->close();
  } catch (const std::exception& e) {
    show_failure(e);
  }
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
  if (document_->is_open()) {
    try {
      post_pending();
      document_->save();
    } catch (const std::exception& e) {
      show_failure(e);
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
  detach_models();
  try {
    document_->close();
  } catch (const std::exception& e) {
    show_failure(e);
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
    measurement::check_replaceable(to_path(QFileInfo(name).absoluteFilePath()));
  } catch (const std::exception& e) {
    show_failure(e);
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
  detach_models();
  try {
    document_->create(to_path(QFileInfo(path).absoluteFilePath()));
  } catch (const std::exception& e) {
    show_failure(e);
    return;
  }
  services_.state->db_open = true;
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
  // Rows added after rows no reader can read would be lost with them; the copy the rows go into
  // is made in the file's folder, which must take new files.
  try {
    document_->check_appendable();
  } catch (const std::exception& e) {
    show_error(failure_text(e, FailureContext::Opening));
    return;
  }
  try {
    measurement::check_replaceable(document_->path());
  } catch (const std::exception& e) {
    show_failure(e);
    return;
  }
  if (download_->exec() != QDialog::Accepted) {
    return;
  }
  if (document_->is_open()) {
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
  const std::string point = QString(decimal_point()).toStdString();
  try {
    if (mode == 0) {
      document_->import_new(*services_.state, point);
    } else {
      // The rows go into a copy that takes the file's place only when complete, so a failure or
      // a crash on the way leaves the file as it was.
      detach_models();
      document_->append(*services_.state, point);
    }
  } catch (const std::exception& e) {
    show_failure(e);
    return false;
  }
  return true;
}

// --- the tab of the file's rows ---

void MainWindow::tab_vis_en() {
  if (!document_->is_open()) {
    return;
  }
  document_->set_filter("NB_TYPE=1");
  const bool device_b = !document_->rows().empty();
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
  document_->set_filter(filter);
  shown->attach(document_.get());
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
  if (model->document() != nullptr) {
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
  if (grid == nullptr || !document_->is_open()) {
    return;
  }
  const int column = grid->currentIndex().isValid() ? grid->currentIndex().column() : 0;
  if (const auto color = services_.dialogs->color(this, grid->column_color(column).value_or(Qt::white))) {
    grid->set_column_color(column, color);
  }
}

void MainWindow::N18Click() {
  MeasurementGrid* grid = visible_grid();
  if (grid == nullptr || !document_->is_open()) {
    return;
  }
  grid->set_column_color(grid->currentIndex().isValid() ? grid->currentIndex().column() : 0, std::nullopt);
}

void MainWindow::N19Click() {
  if (MeasurementGrid* grid = visible_grid(); grid != nullptr && document_->is_open()) {
    grid->clear_colors();
  }
}

void MainWindow::N23Click() {
  if (MeasurementGrid* grid = visible_grid(); grid != nullptr && document_->is_open()) {
    grid->align_columns();
  }
}

}  // namespace vkt
