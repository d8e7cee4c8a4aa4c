#include "ui/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "core/programstate.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/mdx/tableindex.h"
#include "ui/aboutwindow.h"
#include "ui/dialogs.h"
#include "ui/downloaddialog.h"
#include "ui/graphcommand.h"
#include "ui/helpwindow.h"
#include "ui/icons.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/programtitle.h"

namespace vkt {

namespace {

// The help file until start-up or the toolbar's help button names another one.
const QString kDefaultHelpFile = QStringLiteral("VKT.HLP");

// Menu entries that need an open file, in menu order; with the toolbar's save, preview and
// print buttons they are the 16 controls of enable_button / disable_button.
const QStringList kToggledCommands = {QStringLiteral("N4"),  QStringLiteral("N5"),  QStringLiteral("N7"),
                                      QStringLiteral("N8"),  QStringLiteral("N9"),  QStringLiteral("N23"),
                                      QStringLiteral("N17"), QStringLiteral("N18"), QStringLiteral("N19"),
                                      QStringLiteral("N33"), QStringLiteral("N21"), QStringLiteral("Excel1"),
                                      QStringLiteral("N37")};

}  // namespace

MainWindow::MainWindow(const MainWindowServices& services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      pictures_(program_pictures()),
      table_(std::make_unique<dbf::Table>()),
      index_(std::make_unique<mdx::TableIndex>(*table_)) {
  setObjectName(QStringLiteral("TForm1"));
  setFont(program_font());
  create_actions();
  create_menus();
  create_toolbar();
  create_tabs();
  connect_commands();
  set_up();
  QStringList ports = services_.ports;
  if (ports.isEmpty() && services_.settings != nullptr) {
    ports = services_.settings->ports();
  }
  if (ports.isEmpty()) {
    ports = DownloadDialog::default_ports();
  }
  download_ = new DownloadDialog(*services_.dialogs, *services_.state, ports, this);
  about_ = new AboutWindow(this);
  graph_ = std::make_unique<GraphCommand>(*services_.state, *services_.dialogs, this);
  create_report_commands();
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::add_action(const QString& name, const QString& text, int picture,
                                const QKeySequence& shortcut) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  if (picture >= 0) {
    action->setIcon(pictures_.at(picture));
  }
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
  }
  return action;
}

QAction* MainWindow::command(const QString& object_name) const {
  return findChild<QAction*>(object_name, Qt::FindDirectChildrenOnly);
}

void MainWindow::create_actions() {
  using P = Picture;
  auto pic = [](P p) { return static_cast<int>(p); };
  add_action(QStringLiteral("N2"), QStringLiteral("Создать"), pic(P::Create),
             QKeySequence(Qt::CTRL | Qt::Key_N));
  add_action(QStringLiteral("N3"), QStringLiteral("Открыть"), pic(P::Open),
             QKeySequence(Qt::CTRL | Qt::Key_O));
  add_action(QStringLiteral("N4"), QStringLiteral("Дополнить"));
  add_action(QStringLiteral("N5"), QStringLiteral("Сохранить"), pic(P::Save),
             QKeySequence(Qt::CTRL | Qt::Key_S));
  add_action(QStringLiteral("N7"), QStringLiteral("Закрыть"));
  add_action(QStringLiteral("N8"), QStringLiteral("Предварительный просмотр"), pic(P::Preview));
  add_action(QStringLiteral("N9"), QStringLiteral("Печать"), pic(P::Print),
             QKeySequence(Qt::CTRL | Qt::Key_P));
  add_action(QStringLiteral("Exit1"), QStringLiteral("Выход"));
  add_action(QStringLiteral("N23"), QStringLiteral("Выровнять столбцы"));
  add_action(QStringLiteral("N17"), QStringLiteral("Задать цвет"));
  add_action(QStringLiteral("N18"), QStringLiteral("Убрать цвет"));
  add_action(QStringLiteral("N19"), QStringLiteral("Убрать все цвета"));
  add_action(QStringLiteral("N33"), QStringLiteral("Убрать сортировку"));
  add_action(QStringLiteral("N21"), QStringLiteral("Удалить строки"), pic(P::DeleteRows));
  add_action(QStringLiteral("Graph1"), QStringLiteral("График"));
  add_action(QStringLiteral("Excel1"), QStringLiteral("Экспорт в Excel"));
  add_action(QStringLiteral("N37"), QStringLiteral("Перенумеровать строки"));
  add_action(QStringLiteral("Help1"), QStringLiteral("Помощь"), pic(P::Help), QKeySequence(Qt::Key_F1));
  add_action(QStringLiteral("About1"), QStringLiteral("О программе"));

  create_export_commands();

  for (const QString& name : kToggledCommands) {
    toggled_.append(command(name));
  }
  connect(command(QStringLiteral("Exit1")), &QAction::triggered, this, &MainWindow::ExitClick);
  connect(command(QStringLiteral("Help1")), &QAction::triggered, this, &MainWindow::HelpClick);
  connect(command(QStringLiteral("About1")), &QAction::triggered, this, &MainWindow::AboutClick);
}

void MainWindow::create_menus() {
  struct Entry {
    const char* menu_name;
    QString title;
    QStringList commands;  // empty text = separator
  };
  const QList<Entry> menus = {
      {"File1", QStringLiteral("Файл"), {"N2", "N3", "N4", "N5", "N7", "", "N8", "N9", "", "Exit1"}},
      {"View1", QStringLiteral("Вид"), {"N23", "", "N17", "N18", "N19", "", "N33"}},
      {"Edit1", QStringLiteral("Правка"), {"N21"}},
      {"Service1", QStringLiteral("Сервис"), {"Graph1", "Excel1", "Xlsx1", "Csv1", "Pdf1", "N37"}},
      {"Reference1", QStringLiteral("Справка"), {"Help1", "", "About1"}},
  };
  menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  for (const Entry& entry : menus) {
    QMenu* menu = menuBar()->addMenu(entry.title);
    menu->setObjectName(QString::fromLatin1(entry.menu_name));
    for (const QString& name : entry.commands) {
      if (name.isEmpty()) {
        menu->addSeparator();
      } else if (QAction* action = command(name)) {  // a build without .xlsx has no "Xlsx1"
        menu->addAction(action);
      }
    }
  }

  // The grids' context menu: never disabled; each entry runs the same command as its menu twin,
  // and the command itself checks whether a table is open.
  popup_menu_ = new QMenu(this);
  popup_menu_->setObjectName(QStringLiteral("PopupMenu1"));
  const QList<QPair<QString, QString>> popup = {
      {QStringLiteral("PopupGraph"), QStringLiteral("Graph1")},
      {QString(), QString()},
      {QStringLiteral("PopupPrint"), QStringLiteral("N9")},
      {QString(), QString()},
      {QStringLiteral("PopupSetColor"), QStringLiteral("N17")},
      {QStringLiteral("PopupClearColor"), QStringLiteral("N18")},
      {QStringLiteral("PopupClearColors"), QStringLiteral("N19")},
      {QString(), QString()},
      {QStringLiteral("PopupAlign"), QStringLiteral("N23")},
      {QString(), QString()},
      {QStringLiteral("PopupDelete"), QStringLiteral("N21")},
  };
  for (const auto& [name, twin] : popup) {
    if (name.isEmpty()) {
      popup_menu_->addSeparator();
      continue;
    }
    QAction* main = command(twin);
    const QString text = twin == QLatin1String("N21") ? QStringLiteral("Удалить") : main->text();
    auto* action = popup_menu_->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, main, &QAction::triggered);
  }
}

void MainWindow::create_toolbar() {
  toolbar_ = addToolBar(QStringLiteral("ToolBar1"));
  toolbar_->setObjectName(QStringLiteral("ToolBar1"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setFixedHeight(29);
  toolbar_->setIconSize(QSize(16, 16));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->toggleViewAction()->setEnabled(false);
  setContextMenuPolicy(Qt::NoContextMenu);

  const QList<QPair<QString, int>> buttons = {{QStringLiteral("N2"), 0}, {QStringLiteral("N3"), 1},
                                              {QStringLiteral("N5"), 2}, {QStringLiteral("N8"), 3},
                                              {QStringLiteral("N9"), 4}, {QStringLiteral("Help1"), 5}};
  int number = 1;
  for (const auto& [twin, pic] : buttons) {
    // Pictures only: no caption and no hint.
    auto* action = new QAction(pictures_.at(pic), QString(), this);
    action->setObjectName(QStringLiteral("ToolButton%1").arg(number++));
    toolbar_->addAction(action);
    if (twin == QLatin1String("Help1")) {
      connect(action, &QAction::triggered, this, &MainWindow::HelpButtonClick);
    } else {
      connect(action, &QAction::triggered, command(twin), &QAction::triggered);
    }
    if (toggled_.contains(command(twin))) {
      toggled_.append(action);
    }
  }
}

void MainWindow::create_tabs() {
  // The client area below the toolbar carries the window's background colour.
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  client_->setAutoFillBackground(true);
  page_control_ = new QTabWidget(client_);
  page_control_->setObjectName(QStringLiteral("PageControl1"));
  auto make_tab = [this](const QString& tab_name, const QString& caption, DeviceKind kind) {
    auto* sheet = new QWidget(page_control_);
    sheet->setObjectName(tab_name);
    auto* grid = new MeasurementGrid(kind, sheet);
    auto* model = new MeasurementModel(kind, grid);
    model->set_decimal_point(decimal_point());
    grid->setModel(model);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, grid](const QPoint& pos) { popup_menu_->popup(grid->viewport()->mapToGlobal(pos)); });
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid);
    page_control_->addTab(sheet, caption);
    return grid;
  };
  grid1_ = make_tab(QStringLiteral("TabSheet1"), QStringLiteral("ВКТ-РС7"), DeviceKind::A);
  grid2_ = make_tab(QStringLiteral("TabSheet2"), QStringLiteral("ЗРН2-РС7"), DeviceKind::B);
  model1_ = static_cast<MeasurementModel*>(grid1_->model());
  model2_ = static_cast<MeasurementModel*>(grid2_->model());
  auto* layout = new QVBoxLayout(client_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(page_control_);
  setCentralWidget(client_);
}

void MainWindow::set_up() {
  setWindowState(windowState() | Qt::WindowMaximized);
  show_no_file_look();
  help_file_ = QDir(services_.program_dir).filePath(kDefaultHelpFile);
  const QString beside = QDir(services_.program_dir).filePath(QStringLiteral("zrn2.hlp"));
  if (QFileInfo::exists(beside)) {
    help_file_ = beside;
  }
  read_work_dir();
  table_->close();
  services_.state->db_open = false;
  grid1_->clear_sort_marks();
  grid2_->clear_sort_marks();
  disable_button();
  tab_vis_dis();
  set_caption(program_title());
}

void MainWindow::read_work_dir() {
  if (services_.settings == nullptr) {
    return;
  }
  if (auto stored = services_.settings->default_dir()) {
    services_.state->work_dir = stored->toStdString();
  } else {
    const QString current = QDir::currentPath();
    services_.state->work_dir = current.toStdString();
    services_.settings->set_default_dir(current);
  }
}

void MainWindow::enable_button() {
  for (QAction* a : toggled_ + export_controls_) {
    a->setEnabled(true);
  }
}

void MainWindow::disable_button() {
  for (QAction* a : toggled_ + export_controls_) {
    a->setEnabled(false);
  }
}

void MainWindow::tab_vis_dis() {
  page_control_->hide();
}

void MainWindow::show_file_look() {
  file_look_ = true;
  QPalette pal = client_->palette();
  pal.setColor(QPalette::Window, palette().color(QPalette::Button));
  client_->setPalette(pal);
}

void MainWindow::show_no_file_look() {
  file_look_ = false;
  QPalette pal = client_->palette();
  pal.setColor(QPalette::Window, palette().color(QPalette::Dark));
  client_->setPalette(pal);
}

QColor MainWindow::background() const {
  return client_->palette().color(QPalette::Window);
}

void MainWindow::set_caption(const QString& caption) {
  setWindowTitle(caption);
  QCoreApplication::setApplicationName(caption);
}

void MainWindow::show_help(const QString& file) {
  if (QFileInfo::exists(file) && services_.open_document && services_.open_document(file)) {
    return;
  }
  HelpWindow help(this);
  help.exec();
}

void MainWindow::HelpClick() {
  show_help(help_file_);
}

void MainWindow::HelpButtonClick() {
  help_file_ = QStringLiteral("vkt.hlp");
  show_help(help_file_);
}

void MainWindow::AboutClick() {
  about_->exec();
}

void MainWindow::ExitClick() {
  // Leaving by the menu takes the same road as the close box, so nothing typed is lost.
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (services_.settings != nullptr) {
    services_.settings->set_default_dir(QString::fromStdString(services_.state->work_dir));
  }
  Close_DB();
  if (services_.settings != nullptr) {
    services_.settings->sync();
  }
  event->accept();
}

}  // namespace vkt
