#pragma once

// "Порт прибора": the serial ports of this computer with what the system tells of them, the
// choice of the port the instrument is looked for on (or the automatic search), and a check that
// identifies the instrument there without downloading its memory.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/programstate.h"
#include "link/downloadcontroller.h"
#include "link/portlist.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vkt {

class AppSettings;

// The ports a download tries when the caller names none: those of the settings, else the
// automatic search.
QStringList configured_ports(const AppSettings* settings);

class PortDialog : public QDialog {
  Q_OBJECT

 public:
  // The choice is read from and kept in `settings` (none: nothing is kept).
  explicit PortDialog(AppSettings* settings, QWidget* parent = nullptr);

  // The ports present; the system's unless a test gives its own. The list is made again.
  void set_port_lister(link::PortLister lister);
  // How often the port is looked at and how long it is given to answer (tests use less).
  void set_polling_delay(std::uint16_t ms);
  void set_answer_wait(unsigned ms);

  // The chosen entry: a port's name, or "auto" for "Автоматически".
  QString choice() const;
  // Lists the present ports again, keeping the choice ("Обновить").
  void refresh();
  // Identifies the instrument on the chosen port ("Проверить"); the result shows when it is over.
  void check();
  bool checking() const { return checking_; }

  void accept() override;
  void reject() override;

 private:
  void select(const QString& port);
  void show_effect(const link::Effect& effect);
  void check_finished(link::Result result);
  void stop_check();

  AppSettings* settings_;
  link::PortLister lister_ = link::system_ports;
  QString stored_;  // the choice as the settings had it
  // The check's own results: the program's last download is left as it was.
  ProgramState state_;
  link::DownloadController controller_;
  bool checking_ = false;
  QString device_type_;
  QString version_;
  QString records_;
  QString failure_;

  QListWidget* list_ = nullptr;     // PortList
  QPushButton* refresh_ = nullptr;  // RefreshButton
  QPushButton* check_ = nullptr;    // CheckButton
  QLabel* result_ = nullptr;        // CheckResult
};

// "Сервис → Порт прибора…": the dialog over the system's ports.
void show_port_dialog(AppSettings* settings, QWidget* parent);

}  // namespace vkt
