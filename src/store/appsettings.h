#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>

namespace vkt {

// The program's settings key "\Software\Tervolin\ZRM\1.0" under the current user: the Windows
// registry there, an INI file ($XDG_CONFIG_HOME/Tervolin/ZRM.conf, section [1.0]) elsewhere.
// Opened once when the main window is created and kept for the whole run.
class AppSettings {
 public:
  AppSettings();

  std::optional<QString> default_dir() const;
  void set_default_dir(const QString& dir);

  // A stored column layout ("Table_1", "Table_2").
  std::optional<QString> table_layout(const QString& name) const;
  void set_table_layout(const QString& name, const QString& text);

  // The measurement files opened last, the latest first ("Recent").
  QStringList recent_files() const;
  void set_recent_files(const QStringList& files);

  // The main window's size, place and state on the screen, as Qt saves them ("Window").
  QByteArray window_geometry() const;
  void set_window_geometry(const QByteArray& geometry);

  // Serial ports to try, in order; empty when the user never set any.
  QStringList ports() const;
  void set_ports(const QStringList& ports);
  // The port where the instrument answered last time; the automatic search tries it first.
  QString last_port() const;
  void set_last_port(const QString& port);

  void sync();

 private:
  std::optional<QString> text(const QString& name) const;

  QSettings settings_;
};

}  // namespace vkt
