#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/commandline.h"
#include "app/subcommands.h"
#include "core/programstate.h"
#include "output/report/reportdocument.h"
#include "output/report/tablerows.h"
#include "sim/simulator.h"
#include "store/appsettings.h"
#include "ui/dialogs.h"
#include "ui/filecommands.h"
#include "ui/guardedapplication.h"
#include "ui/mainwindow.h"
#include "ui/programtitle.h"
#include "ui/russiantexts.h"
#include "ui/screenfit.h"
#include "ui/splashwindow.h"

namespace {

// The instrument --demo puts first in the port list.
constexpr std::size_t kDemoRecords = 25;

QStringList arguments_of(int argc, char** argv) {
  QStringList out;
  for (int i = 0; i < argc; ++i) {
    out << QString::fromLocal8Bit(argv[i]);
  }
  return out;
}

// Tests shorten the splash display with VKT_SPLASH_MS.
int splash_ms() {
  bool ok = false;
  const int ms = qEnvironmentVariableIntValue("VKT_SPLASH_MS", &ok);
  return ok && ms >= 0 ? ms : vkt::SplashWindow::kShowMs;
}

// The report and the protocol draw their pages with fonts, which needs a GUI application, but
// never a display. Windows' off-screen platform reads its fonts from a folder of its own, none by
// default: it is pointed at the system's fonts, or every text would be drawn as empty boxes.
void use_offscreen_platform() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
#ifdef Q_OS_WIN
  if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR") && !qEnvironmentVariableIsEmpty("WINDIR")) {
    qputenv("QT_QPA_FONTDIR", qgetenv("WINDIR") + "\\Fonts");
  }
#endif
}

int run_report(int argc, char** argv, const vkt::CommandLine& command) {
  use_offscreen_platform();
  QGuiApplication app(argc, argv);
  std::optional<vkt::report::DeviceKind> kind;
  if (command.kind) {
    kind = *command.kind == 1 ? vkt::report::DeviceKind::B : vkt::report::DeviceKind::A;
  }
  QString error;
  if (!vkt::report::write_measurement_report(command.file, command.output, kind,
                                             vkt::report::system_decimal_separator(), &error)) {
    vkt::print_error(error);
    return vkt::kExitFailure;
  }
  return vkt::kExitOk;
}

int run_protocol(int argc, char** argv, const vkt::CommandLine& command) {
  use_offscreen_platform();
  QGuiApplication app(argc, argv);
  return vkt::run_protocol(command);
}

int run_subcommand(int argc, char** argv, const vkt::CommandLine& command) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vkt-rs7"));
  vkt::keep_last_port_in_settings();
  switch (command.action) {
    case vkt::CommandLine::Action::Download:
      return vkt::run_download(command);
    case vkt::CommandLine::Action::Export:
      return vkt::run_export(command);
    case vkt::CommandLine::Action::Dump:
      return vkt::run_dump(command);
    case vkt::CommandLine::Action::Simulate:
      return vkt::run_simulate(command);
    case vkt::CommandLine::Action::Ports:
      return vkt::run_ports(command);
    default:
      return vkt::kExitUsage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const vkt::CommandLine command = vkt::parse_command_line(arguments_of(argc, argv));
  switch (command.action) {
    case vkt::CommandLine::Action::ShowHelp:
      vkt::print_to(stdout, vkt::usage_text(command.subcommand));
      return vkt::kExitOk;
    case vkt::CommandLine::Action::ShowVersion:
      vkt::print_to(stdout, vkt::version_line());
      return vkt::kExitOk;
    case vkt::CommandLine::Action::UsageError:
      vkt::print_to(
          stderr,
          QStringLiteral("vkt-rs7: %1\n\n%2").arg(command.error, vkt::usage_text(command.subcommand)));
      return vkt::kExitUsage;
    case vkt::CommandLine::Action::Download:
    case vkt::CommandLine::Action::Export:
    case vkt::CommandLine::Action::Dump:
    case vkt::CommandLine::Action::Simulate:
    case vkt::CommandLine::Action::Ports:
      return run_subcommand(argc, argv, command);
    case vkt::CommandLine::Action::Report:
      return run_report(argc, argv, command);
    case vkt::CommandLine::Action::Protocol:
      return run_protocol(argc, argv, command);
    case vkt::CommandLine::Action::RunWindow:
      break;
  }

  vkt::GuardedApplication app(argc, argv);
  QApplication::setApplicationName(vkt::program_title());
  QApplication::setFont(vkt::program_font());
  vkt::install_russian_qt_texts(app);
  vkt::keep_windows_on_screen(app);

  vkt::keep_last_port_in_settings();
  vkt::ProgramState state;
  vkt::QtDialogs dialogs;
  vkt::AppSettings settings;
  vkt::MainWindowServices services;
  services.state = &state;
  services.dialogs = &dialogs;
  services.settings = &settings;
  services.program_dir = QCoreApplication::applicationDirPath();
  services.open_document = [](const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };
  services.ports = command.ports;

  // The demonstration instrument serves for as long as the window is open.
  std::unique_ptr<vkt::sim::Simulator> demo;
  if (command.demo) {
    vkt::sim::SimulatorOptions options;
    options.instrument.records = kDemoRecords;
    demo = std::make_unique<vkt::sim::Simulator>(options);
    try {
      const std::string path = demo->start();
      QStringList ports = vkt::download_ports(command.ports);
      ports.prepend(QString::fromStdString(path));
      services.ports = ports;
    } catch (const std::exception& e) {
      vkt::print_error(QStringLiteral("--demo: %1").arg(QString::fromUtf8(e.what())));
      return vkt::kExitFailure;
    }
  }

  vkt::MainWindow window(services);
  {
    vkt::SplashWindow splash(splash_ms());
    splash.exec();
  }
  // Without a window manager (a bare X server) maximising alone would leave the window small.
  window.setGeometry(window.screen()->availableGeometry());
  window.showMaximized();
  // A measurement file named on the command line (a file manager's "open with") opens as by "Открыть".
  if (!command.open.isEmpty()) {
    state.work_dir = QFileInfo(command.open).absolutePath().toStdString();
    window.files().Open_DB(command.open);
  }
  return app.exec();
}
