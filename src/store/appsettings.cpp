#include "store/appsettings.h"

namespace vkt {

namespace {
const QString kDefaultDir = QStringLiteral("Default_dir");
const QString kPorts = QStringLiteral("Ports");
const QString kLastPort = QStringLiteral("Last_port");
}  // namespace

AppSettings::AppSettings()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tervolin"),
                QStringLiteral("ZRM")) {
  settings_.beginGroup(QStringLiteral("1.0"));
}

std::optional<QString> AppSettings::text(const QString& name) const {
  if (!settings_.contains(name)) {
    return std::nullopt;
  }
  return settings_.value(name).toString();
}

std::optional<QString> AppSettings::default_dir() const {
  return text(kDefaultDir);
}

void AppSettings::set_default_dir(const QString& dir) {
  settings_.setValue(kDefaultDir, dir);
}

std::optional<QString> AppSettings::table_layout(const QString& name) const {
  return text(name);
}

void AppSettings::set_table_layout(const QString& name, const QString& text) {
  settings_.setValue(name, text);
}

QStringList AppSettings::recent_files() const {
  return settings_.value(QStringLiteral("Recent")).toStringList();
}

void AppSettings::set_recent_files(const QStringList& files) {
  settings_.setValue(QStringLiteral("Recent"), files);
}

QByteArray AppSettings::window_geometry() const {
  return QByteArray::fromBase64(settings_.value(QStringLiteral("Window")).toString().toLatin1());
}

void AppSettings::set_window_geometry(const QByteArray& geometry) {
  settings_.setValue(QStringLiteral("Window"), QString::fromLatin1(geometry.toBase64()));
}

QStringList AppSettings::ports() const {
  return settings_.value(kPorts).toStringList();
}

void AppSettings::set_ports(const QStringList& ports) {
  settings_.setValue(kPorts, ports);
}

QString AppSettings::last_port() const {
  return settings_.value(kLastPort).toString();
}

void AppSettings::set_last_port(const QString& port) {
  settings_.setValue(kLastPort, port);
}

void AppSettings::sync() {
  settings_.sync();
}

}  // namespace vkt
