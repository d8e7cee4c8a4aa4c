#include "ui/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/programstate.h"
#include "output/export/exportformat.h"
#include "store/appsettings.h"
#include "store/measurement/measurementdocument.h"
#include "ui/aboutwindow.h"
#include "ui/dialogs.h"
#include "ui/downloaddialog.h"
#include "ui/graphcommand.h"
#include "ui/helpwindow.h"
#include "ui/icons.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/portdialog.h"
#include "ui/programtitle.h"

namespace vkt {

namespace {

// The help file until start-up or the toolbar's help button names another one.
const QString kDefaultHelpFile = QStringLiteral("VKT.HLP");

}  // namespace

MainWindow::MainWindow(const MainWindowServices& services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      pictures_(program_pictures()),
      document_(std::make_unique<measurement::MeasurementDocument>()) {
  setObjectName(QStringLiteral("TForm1"));
  setFont(program_font());
  actions_ = create_main_actions(this, pictures_, output::xlsx_supported());
  create_tabs();
  connect_commands();
  set_up();
  download_ = new DownloadDialog(*services_.dialogs, *services_.state, services_.ports, this);
  if (services_.ports.isEmpty()) {
    // The ports of the settings, else the automatic search; "Порт прибора…" changes them.
    download_->set_port_source([settings = services_.settings] { return configured_ports(settings); });
  }
  connect(actions_.port_setup, &QAction::triggered, this,
          [this] { show_port_dialog(services_.settings, this); });
  about_ = new AboutWindow(this);
  graph_ = std::make_unique<GraphCommand>(*services_.state, *services_.dialogs, this);
  create_report_commands();
}

MainWindow::~MainWindow() = default;

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
            [this, grid](const QPoint& pos) { actions_.popup->popup(grid->viewport()->mapToGlobal(pos)); });
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
  for (QAction* a : actions_.toggled + actions_.exports) {
    a->setEnabled(true);
  }
}

void MainWindow::disable_button() {
  for (QAction* a : actions_.toggled + actions_.exports) {
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
