#include <QApplication>
#include <QDesktopServices>
#include <QScreen>
#include <QUrl>
#include <cstdio>

#include "app/commandline.h"
#include "core/programstate.h"
#include "store/appsettings.h"
#include "ui/dialogs.h"
#include "ui/mainwindow.h"
#include "ui/programtitle.h"
#include "ui/splashwindow.h"

namespace {

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

void print(FILE* stream, const QString& text) {
  std::fputs(text.toUtf8().constData(), stream);
}

}  // namespace

int main(int argc, char** argv) {
  const vkt::CommandLine command = vkt::parse_command_line(arguments_of(argc, argv));
  switch (command.action) {
    case vkt::CommandLine::Action::ShowHelp:
      print(stdout, vkt::usage_text());
      return 0;
    case vkt::CommandLine::Action::ShowVersion:
      print(stdout, vkt::version_line());
      return 0;
    case vkt::CommandLine::Action::UsageError:
      print(stderr, QStringLiteral("vkt-rs7: %1\n%2").arg(command.error, vkt::usage_text()));
      return 2;
    case vkt::CommandLine::Action::RunWindow:
      break;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(vkt::program_title());
  QApplication::setFont(vkt::program_font());

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

  vkt::MainWindow window(services);
  {
    vkt::SplashWindow splash(splash_ms());
    splash.exec();
  }
  // Without a window manager (a bare X server) maximising alone would leave the window small.
  window.setGeometry(window.screen()->availableGeometry());
  window.showMaximized();
  return app.exec();
}
