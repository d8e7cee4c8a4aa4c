#include "link/downloadcontroller.h"

#include <string>
#include <vector>

namespace vkt::link {

namespace {

std::vector<std::string> to_std(const QStringList& ports) {
  std::vector<std::string> out;
  for (const auto& p : ports) {
    out.push_back(p.toStdString());
  }
  return out;
}

}  // namespace

DownloadController::DownloadController(ProgramState& state, const QStringList& ports, QObject* parent)
    : QObject(parent), ports_(ports), session_(state, to_std(ports)), port_(this), timer_(this) {
  port_.setObjectName(QStringLiteral("SerialPort1"));
  timer_.setObjectName(QStringLiteral("Timer1"));
  // The instrument's line: 57600 bit/s, 8 data bits, no parity, 2 stop bits, DTR off, RTS on.
  port_.SetPortName(ports.isEmpty() ? serial_port_device(1) : ports.front());
  port_.SetBaudRate(TBaudRate::brCustom);
  port_.SetBaudRateValue(57600);
  port_.SetDataBits(TDataBits::db8BITS);
  port_.SetStopBits(TStopBits::sb2BITS);
  port_.SetParity(TParity::ptNONE);
  port_.SetHwFlow(THwFlowControl::hfNONERTSON);
  port_.SetSwFlow(TSwFlowControl::sfNONE);
  port_.SetInBufSize(4096);
  port_.SetOutBufSize(4096);
  port_.SetPollingDelay(50);
  port_.SetEnableDTROnOpen(false);
  port_.SetOutputTimeout(500);
  port_.OnReceiveData = [this](SerialPortDriver*, const char* data, std::size_t count) {
    apply(session_.chunk(data, count));
  };
  port_.OnPortError = [this](SerialPortDriver*, const QString&) { apply(session_.port_failed()); };
  connect(&timer_, &QTimer::timeout, this, [this] { apply(session_.timer()); });
}

void DownloadController::SetPorts(const QStringList& ports) {
  ports_ = ports;
  session_.set_ports(to_std(ports));
}

void DownloadController::Start() {
  apply(session_.show());
}

void DownloadController::Cancel() {
  apply(session_.cancel());
}

void DownloadController::Close() {
  apply(session_.close());
}

void DownloadController::apply(const DownloadSession::Effects& effects) {
  for (const Effect& e : effects) {
    switch (e.kind) {
      case Effect::Kind::OpenPort:
        port_.ClosePort();
        port_.SetPortName(QString::fromStdString(e.text));
        port_.OpenPort();  // a port that does not open stays silent; the wait handles it
        break;
      case Effect::Kind::ClosePort:
        port_.ClosePort();
        break;
      case Effect::Kind::Send:
        port_.WriteChar(static_cast<char>(e.value));
        break;
      case Effect::Kind::StartTimer:
        timer_.start(static_cast<int>(e.value));
        break;
      case Effect::Kind::StopTimer:
        timer_.stop();
        break;
      case Effect::Kind::Finish:
        if (OnFinished) {
          OnFinished(static_cast<Result>(e.value));
        }
        break;
      default:
        if (OnShow) {
          OnShow(e);
        }
        break;
    }
  }
}

}  // namespace vkt::link
