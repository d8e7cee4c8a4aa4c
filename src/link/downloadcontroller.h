#pragma once

// Joins the download exchange to a real serial port and a real timer on the caller's event loop.
// The download window, and the command line without a window, show what it reports.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "core/programstate.h"
#include "link/downloadsession.h"
#include "link/serialportdriver.h"

namespace vkt::link {

class DownloadController : public QObject {
  Q_OBJECT

 public:
  // `ports` are tried in order; the driver is set up for the instrument's line.
  DownloadController(ProgramState& state, const QStringList& ports, QObject* parent = nullptr);

  // What the exchange shows: status and information lines, progress, error boxes.
  std::function<void(const Effect&)> OnShow;
  // The exchange is over with OK (the memory image is ready) or Cancel.
  std::function<void(Result)> OnFinished;

  void Start();   // a new exchange on the first port
  void Cancel();  // "Отмена"
  void Close();   // whatever the way out, the timer stops and the port closes

  void SetPorts(const QStringList& ports);
  QStringList Ports() const { return ports_; }

  SerialPortDriver& SerialPort1() { return port_; }
  QTimer& Timer1() { return timer_; }
  DownloadSession& Session() { return session_; }

 private:
  void apply(const DownloadSession::Effects& effects);

  QStringList ports_;
  DownloadSession session_;
  SerialPortDriver port_;
  QTimer timer_;
};

}  // namespace vkt::link
