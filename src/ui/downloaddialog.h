#pragma once

// The download window: finds the instrument, shows what it is and how far the transfer has come,
// and closes with OK when the memory image is ready or Cancel otherwise.

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "core/programstate.h"
#include "link/downloadcontroller.h"
#include "ui/dialogs.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vkt {

class DownloadDialog : public QDialog {
  Q_OBJECT

 public:
  DownloadDialog(Dialogs& dialogs, ProgramState& state, const QStringList& ports, QWidget* parent = nullptr);

  // The first and the second serial port of this platform.
  static QStringList default_ports();

  void set_ports(const QStringList& ports);
  QStringList ports() const { return controller_.Ports(); }
  // Where the ports come from when the user chooses them: asked again at every showing, and
  // tried one by one, each failed port with its reason.
  void set_port_source(std::function<QStringList()> source);
  // How often the port is looked at (50 ms for the instrument; tests and the simulator use less)
  // and how long each port is given to answer.
  void set_polling_delay(std::uint16_t ms);
  void set_answer_wait(unsigned ms);

  link::DownloadController& controller() { return controller_; }

  void done(int result) override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void show_effect(const link::Effect& effect);
  void Button1Click();

  Dialogs& dialogs_;
  link::DownloadController controller_;
  std::function<QStringList()> port_source_;
  QLabel* status_ = nullptr;          // StaticText2
  QLabel* port_ = nullptr;            // PortText, the port being tried
  QProgressBar* progress_ = nullptr;  // ProgressBar1
  QLabel* figures_ = nullptr;         // ProgressText, the bar's figures
  QElapsedTimer clock_;               // since the data answer began
  QLabel* device_type_ = nullptr;     // StaticText5
  QLabel* version_ = nullptr;         // StaticText1
  QLabel* records_ = nullptr;         // StaticText7
  QPushButton* cancel_ = nullptr;     // Button1
};

}  // namespace vkt
