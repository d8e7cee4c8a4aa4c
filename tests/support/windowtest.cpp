#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QSettings>

namespace vkt::testing {

QAction* command(const QMainWindow& window, const QString& object_name) {
  return window.findChild<QAction*>(object_name, Qt::FindDirectChildrenOnly);
}

void WindowTest::make_window(const QStringList& ports, bool shown) {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
  if (settings_ == nullptr) {
    settings_ = std::make_unique<AppSettings>();
  }
  MainWindowServices s;
  s.state = &state_;
  s.dialogs = &dialogs_;
  s.settings = settings_.get();
  s.program_dir = dir_.path();
  s.ports = ports;
  s.open_document = [this](const QString& path) {
    opened_.append(path);
    return true;
  };
  window_ = std::make_unique<MainWindow>(s);
  if (shown) {
    window_->resize(1200, 700);
    window_->show();
  }
}

QString WindowTest::path(const QString& name) const {
  return QDir(dir_.path()).filePath(name);
}

}  // namespace vkt::testing
