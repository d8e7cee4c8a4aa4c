#include "ui/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>

#include "core/programstate.h"
#include "output/export/exportformat.h"
#include "store/appsettings.h"
#include "store/measurement/measurementdocument.h"
#include "ui/aboutwindow.h"
#include "ui/dialogs.h"
#include "ui/downloaddialog.h"
#include "ui/filecommands.h"
#include "ui/helpwindow.h"
#include "ui/icons.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/measurementtabs.h"
#include "ui/portdialog.h"
#include "ui/programtitle.h"
#include "ui/rowcommands.h"
#include "ui/statusline.h"

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
  setAcceptDrops(true);
  setFont(program_font());
  actions_ = create_main_actions(this, pictures_, output::xlsx_supported());
  create_tabs();
  create_commands();
  connect_commands();
  set_up();
  about_ = new AboutWindow(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::create_tabs() {
  // The client area below the toolbar carries the window's background colour.
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  client_->setAutoFillBackground(true);
  tabs_ = new MeasurementTabs(*document_, system_decimal_point(), client_);
  auto* layout = new QVBoxLayout(client_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tabs_);
  setCentralWidget(client_);
}

void MainWindow::create_commands() {
  context_.window = this;
  context_.state = services_.state;
  context_.dialogs = services_.dialogs;
  context_.settings = services_.settings;
  context_.document = document_.get();
  context_.tabs = tabs_;
  tabs_->set_failure_handler([this](const QString& text) { context_.show_error(text); });
  download_ = new DownloadDialog(*services_.dialogs, *services_.state, services_.ports, this);
  if (services_.ports.isEmpty()) {
    // The ports of the settings, else the automatic search; "Порт прибора…" changes them.
    download_->set_port_source([settings = services_.settings] { return configured_ports(settings); });
  }
  files_ = new FileCommands(context_, *download_, this);
  rows_ = new RowCommands(context_, actions_, this);
  status_ = new StatusLine(*this, context_);
}

void MainWindow::connect_commands() {
  const MainActions& a = actions_;
  const QList<QPair<QAction*, std::function<void()>>> handlers = {
      {a.create, [this] { files_->N2Click(); }},
      {a.open, [this] { files_->N3Click(); }},
      {a.append, [this] { files_->N4Click(); }},
      {a.save, [this] { files_->N5Click(); }},
      {a.close, [this] { files_->N7Click(); }},
      {a.save_as, [this] { files_->SaveAsClick(); }},
      {a.set_color, [this] { rows_->N17Click(); }},
      {a.clear_color, [this] { rows_->N18Click(); }},
      {a.clear_colors, [this] { rows_->N19Click(); }},
      {a.align, [this] { rows_->N23Click(); }},
      {a.delete_rows, [this] { rows_->N21Click(); }},
      {a.clear_sort, [this] { rows_->N33Click(); }},
      {a.renumber, [this] { rows_->N37Click(); }},
      {a.graph, [this] { rows_->Grid1DblClick(); }},
      {a.excel, [this] { rows_->Excel1Click(); }},
      {a.xlsx, [this] { rows_->Xlsx1Click(); }},
      {a.csv, [this] { rows_->Csv1Click(); }},
      {a.object, [this] { rows_->ObjectParametersClick(); }},
      {a.protocol, [this] { rows_->ProtocolClick(); }},
      {a.port_setup, [this] { show_port_dialog(services_.settings, this); }},
      {a.exit, [this] { ExitClick(); }},
      {a.help, [this] { HelpClick(); }},
      {a.about, [this] { AboutClick(); }},
      {a.help_button, [this] { HelpButtonClick(); }}};
  for (const auto& [action, handler] : handlers) {
    if (action != nullptr) {
      connect(action, &QAction::triggered, this, handler);
    }
  }
  connect(tabs_, &MeasurementTabs::grid1_double_clicked, rows_, &RowCommands::Grid1DblClick);
  connect(tabs_, &MeasurementTabs::context_menu_requested, this,
          [this](const QPoint& global) { actions_.popup->popup(global); });
  connect(tabs_, &MeasurementTabs::edit_started, this, [this] {
    services_.state->db_modified = true;
    refresh_status();
  });
  for (MeasurementModel* model : {tabs_->model1(), tabs_->model2()}) {
    connect(model, &QAbstractItemModel::modelReset, this, &MainWindow::refresh_status);
  }
  connect(files_, &FileCommands::file_saved, this, &MainWindow::refresh_status);
  connect(actions_.recent, &QMenu::aboutToShow, files_, [this] { files_->fill_recent(actions_.recent); });
  files_->fill_recent(actions_.recent);
  connect(files_, &FileCommands::told, status_, &StatusLine::tell);
  connect(rows_, &RowCommands::told, status_, &StatusLine::tell);
  connect(tabs_, &MeasurementTabs::edit_refused, this,
          [this](const QString& text) { context_.show_error(text); });
  connect(files_, &FileCommands::file_shown, this, [this](const QString& path) {
    show_file_look();
    enable_button();
    if (!path.isEmpty()) {
      set_caption(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + program_title());
    }
    refresh_status();
  });
  connect(files_, &FileCommands::file_gone, this, [this] {
    disable_button();
    set_caption(program_title());
    show_no_file_look();
    refresh_status();
  });
}

void MainWindow::set_up() {
  // Maximized at first; afterwards as the user left it.
  setWindowState(windowState() | Qt::WindowMaximized);
  if (services_.settings != nullptr) {
    restoreGeometry(services_.settings->window_geometry());
  }
  show_no_file_look();
  help_file_ = QDir(services_.program_dir).filePath(kDefaultHelpFile);
  const QString beside = QDir(services_.program_dir).filePath(QStringLiteral("zrn2.hlp"));
  if (QFileInfo::exists(beside)) {
    help_file_ = beside;
  }
  read_work_dir();
  services_.state->db_open = false;
  tabs_->grid1()->clear_sort_marks();
  tabs_->grid2()->clear_sort_marks();
  disable_button();
  tabs_->hide();
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
  caption_ = caption;
  setWindowTitle(caption);
  QCoreApplication::setApplicationName(caption);
}

void MainWindow::refresh_status() {
  // Edits not yet saved mark the caption.
  setWindowTitle(services_.state->db_modified ? QStringLiteral("*") + caption_ : caption_);
  status_->refresh();
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

// A measurement file dropped on the window is opened, as "Открыть" would.
void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!dropped_file(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = dropped_file(event->mimeData());
  if (path.isEmpty()) {
    return;
  }
  event->acceptProposedAction();
  files_->Close_DB();
  services_.state->work_dir = QFileInfo(path).absolutePath().toStdString();
  files_->Open_DB(path);
}

QString MainWindow::dropped_file(const QMimeData* data) {
  if (data == nullptr || data->urls().size() != 1 || !data->urls().front().isLocalFile()) {
    return QString();
  }
  const QString path = data->urls().front().toLocalFile();
  return path.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive) ? path : QString();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (services_.settings != nullptr) {
    services_.settings->set_default_dir(QString::fromStdString(services_.state->work_dir));
    services_.settings->set_window_geometry(saveGeometry());
  }
  files_->Close_DB();
  if (services_.settings != nullptr) {
    services_.settings->sync();
  }
  event->accept();
}

}  // namespace vkt
