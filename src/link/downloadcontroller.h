#pragma once

// Joins the download exchange to a real serial port and a real timer on the caller's event loop.
// The download window, and the command line without a window, show what it reports.
//
// With a port list that holds the automatic entry (or with set_search) the controller searches:
// it runs the exchange on one port of the order at a time; a port that does not open is left at
// once, a silent one after the answer wait, one that answers but is not the instrument after its
// identification; each such port gets its reason in reports(). A port that appears while the
// automatic search waits joins the order. When no port gives the instrument, the error box lists
// them all.

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

#include "core/programstate.h"
#include "link/downloadsession.h"
#include "link/portlist.h"
#include "link/serialportdriver.h"

namespace vkt::link {

// The figures of a data answer on its way, as the download window and the command line show
// them: "47%  12345 из 26000 симв.  5600 симв./с  осталось 0:03" (the time left once a rate is
// known).
QString progress_text(std::uint32_t received, std::uint32_t expected, qint64 elapsed_ms);

// How long an answer may pause while it is being received.
inline constexpr int kAnswerStallMs = 10000;

class DownloadController : public QObject {
  Q_OBJECT

 public:
  // How often the search looks for ports that appeared.
  static constexpr int kWatchMs = 250;

  // `ports` are tried in order; the driver is set up for the instrument's line.
  DownloadController(ProgramState& state, const QStringList& ports, QObject* parent = nullptr);

  // What the exchange shows: status and information lines, progress, error boxes, and the port
  // being tried (Effect::Kind::TryingPort).
  std::function<void(const Effect&)> OnShow;
  // The exchange is over with OK (the memory image is ready) or Cancel.
  std::function<void(Result)> OnFinished;

  void Start();   // a new exchange on the first port
  void Cancel();  // "Отмена"
  void Close();   // whatever the way out, the timer stops and the port closes

  void SetPorts(const QStringList& ports);
  QStringList Ports() const { return ports_; }

  // The ports present; the system's unless a test gives its own.
  void set_port_lister(PortLister lister) { lister_ = std::move(lister); }
  // Searches port by port even when the list holds no automatic entry.
  void set_search(bool on) { search_forced_ = on; }
  // Ends with OK once the instrument has identified itself, without asking for its memory:
  // the type, firmware version and record count are then in the state and the session.
  void set_identify_only(bool on) { identify_only_ = on; }

  // An answer that stops for this long while it is being received has been lost (the instrument
  // unplugged or switched off, where the port itself does not say so): the exchange fails as
  // when the port fails.
  void set_answer_stall_ms(int ms) { stall_.setInterval(ms); }

  // The ports of this exchange in the order tried; the search's grows as ports appear.
  QStringList order() const { return search_ ? order_ : ports_; }
  // Why each port the search has left did not give the instrument.
  const std::vector<PortReport>& reports() const { return reports_; }
  // The port the instrument answered on; empty until an exchange has ended with OK.
  QString answered_port() const { return answered_; }

  SerialPortDriver& SerialPort1() { return port_; }
  QTimer& Timer1() { return timer_; }
  DownloadSession& Session() { return session_; }

 private:
  void apply(const DownloadSession::Effects& effects);
  void finished(Result result);
  // What the session answered to an event that arrived in phase `before`.
  void handle(DownloadSession::Phase before, DownloadSession::Effects effects);
  void next_port();
  void next_port_later();
  void end_of_order();
  void finish_not_found();
  void look_for_new_ports();
  void stop_search();
  // Whether an answer is being received, and the stall timer started or stopped for it.
  bool receiving() const;
  void watch_for_stall();

  QStringList ports_;
  DownloadSession session_;
  SerialPortDriver port_;
  QTimer timer_;

  PortLister lister_ = system_ports;
  bool search_forced_ = false;
  bool identify_only_ = false;
  bool automatic_ = false;  // the list holds the automatic entry
  bool search_ = false;
  QStringList order_;
  qsizetype current_ = -1;
  QStringList seen_;  // the ports present at the last look
  std::vector<PortReport> reports_;
  QString answered_;
  bool open_failed_ = false;
  bool identified_ = false;
  bool shown_ = false;          // the window's lines were reset for this search
  bool between_ports_ = false;  // no port is being tried: the next is due, or a late one awaited
  unsigned step_ = 0;           // tells a queued next port from a stale one
  QElapsedTimer clock_;
  QTimer watch_;
  QTimer linger_;
  QTimer stall_;
};

}  // namespace vkt::link
