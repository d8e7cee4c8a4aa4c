#include "link/downloadcontroller.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "link/linkcodec.h"

namespace vkt::link {

namespace {

std::vector<std::string> to_std(const QStringList& ports) {
  std::vector<std::string> out;
  for (const auto& p : ports) {
    out.push_back(p.toStdString());
  }
  return out;
}

QStringList names(const std::vector<PortInfo>& ports) {
  QStringList out;
  for (const auto& p : ports) {
    out << p.name;
  }
  return out;
}

// When the effects end the exchange with Cancel: why, as the search tells it of one port.
std::optional<PortFailure> refusal(const DownloadSession::Effects& effects) {
  const bool cancelled = std::any_of(effects.begin(), effects.end(), [](const Effect& e) {
    return e.kind == Effect::Kind::Finish && e.value == static_cast<std::uint32_t>(Result::Cancel);
  });
  if (!cancelled) {
    return std::nullopt;
  }
  for (const Effect& e : effects) {
    if (e.kind != Effect::Kind::ErrorBox) {
      continue;
    }
    if (e.text == kNotFound) {
      return PortFailure::NoAnswer;
    }
    return e.text == kWrongDevice ? PortFailure::WrongDevice : PortFailure::TransferError;
  }
  return std::nullopt;
}

bool resets_the_window(const Effect& e) {
  switch (e.kind) {
    case Effect::Kind::Status:
    case Effect::Kind::DeviceType:
    case Effect::Kind::Version:
    case Effect::Kind::RecordCount:
    case Effect::Kind::ProgressPosition:
      return true;
    default:
      return false;
  }
}

}  // namespace

DownloadController::DownloadController(ProgramState& state, const QStringList& ports, QObject* parent)
    : QObject(parent),
      ports_(ports),
      session_(state, to_std(ports)),
      port_(this),
      timer_(this),
      watch_(this),
      linger_(this),
      stall_(this) {
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
    const auto before = session_.phase();
    handle(before, session_.chunk(data, count));
    watch_for_stall();
  };
  port_.OnPortError = [this](SerialPortDriver*, const QString&) {
    const auto before = session_.phase();
    handle(before, session_.port_failed());
  };
  connect(&timer_, &QTimer::timeout, this, [this] {
    const auto before = session_.phase();
    handle(before, session_.timer());
  });
  watch_.setInterval(kWatchMs);
  connect(&watch_, &QTimer::timeout, this, &DownloadController::look_for_new_ports);
  linger_.setSingleShot(true);
  connect(&linger_, &QTimer::timeout, this, &DownloadController::finish_not_found);
  // Some ports never report a device that went away (a pseudo-terminal under Wine): the silence
  // in the middle of an answer tells it instead.
  stall_.setSingleShot(true);
  stall_.setInterval(kAnswerStallMs);
  connect(&stall_, &QTimer::timeout, this, [this] {
    if (receiving()) {
      const auto before = session_.phase();
      handle(before, session_.port_failed());
    }
  });
}

bool DownloadController::receiving() const {
  return session_.phase() == DownloadSession::Phase::Identification ||
         session_.phase() == DownloadSession::Phase::Data;
}

void DownloadController::watch_for_stall() {
  if (receiving()) {
    stall_.start();
  } else {
    stall_.stop();
  }
}

void DownloadController::SetPorts(const QStringList& ports) {
  ports_ = ports;
  session_.set_ports(to_std(ports));
}

void DownloadController::Start() {
  ++step_;
  stop_search();
  reports_.clear();
  answered_.clear();
  identified_ = false;
  automatic_ = std::any_of(ports_.begin(), ports_.end(), is_automatic_port);
  search_ = search_forced_ || automatic_;
  if (!search_) {
    session_.set_ports(to_std(ports_));
    apply(session_.show());
    return;
  }
  const std::vector<PortInfo> present = lister_();
  seen_ = names(present);
  order_ = expand_ports(ports_, present, last_good_port());
  current_ = -1;
  shown_ = false;
  clock_.start();
  // Only the automatic search takes in ports that appear; named ports are all that is tried.
  if (automatic_) {
    watch_.start();
  }
  next_port();
}

void DownloadController::Cancel() {
  ++step_;
  if (between_ports_) {
    stop_search();
    finished(Result::Cancel);
    return;
  }
  stop_search();
  apply(session_.cancel());
}

void DownloadController::Close() {
  ++step_;
  stop_search();
  apply(session_.close());
}

void DownloadController::stop_search() {
  stall_.stop();
  watch_.stop();
  linger_.stop();
  between_ports_ = false;
}

void DownloadController::handle(DownloadSession::Phase before, DownloadSession::Effects effects) {
  const bool on_trial =
      before == DownloadSession::Phase::Waiting || before == DownloadSession::Phase::Identification;
  const std::optional<PortFailure> failure = search_ && on_trial ? refusal(effects) : std::nullopt;
  if (!failure) {
    apply(effects);
    return;
  }
  // One port did not give the instrument: its reason is kept and the next one gets its turn.
  std::erase_if(effects, [](const Effect& e) {
    return e.kind == Effect::Kind::ErrorBox || e.kind == Effect::Kind::Finish;
  });
  apply(effects);
  reports_.push_back({order_.value(current_), *failure, {}});
  // Not from inside the driver's delivery: the next port opens on the same driver.
  next_port_later();
}

void DownloadController::next_port_later() {
  between_ports_ = true;
  const unsigned step = step_;
  QMetaObject::invokeMethod(
      this,
      [this, step] {
        if (step == step_ && between_ports_) {
          between_ports_ = false;
          next_port();
        }
      },
      Qt::QueuedConnection);
}

void DownloadController::next_port() {
  while (current_ + 1 < order_.size()) {
    ++current_;
    const QString port = order_[current_];
    session_.set_ports({port.toStdString()});
    DownloadSession::Effects effects = session_.show();
    // The window's lines are reset once per search, not at every port.
    if (shown_) {
      std::erase_if(effects, resets_the_window);
    }
    shown_ = true;
    open_failed_ = false;
    apply(effects);
    if (!open_failed_) {
      return;
    }
    apply(session_.close());
    PortReport report = port_.last_open_failure();
    report.port = port;
    reports_.push_back(report);
  }
  end_of_order();
}

void DownloadController::end_of_order() {
  // An automatic search that found nothing to wait on still waits one answer interval for a
  // late cable.
  const qint64 left = static_cast<qint64>(session_.answer_wait_ms()) - clock_.elapsed();
  if (automatic_ && left > 0) {
    between_ports_ = true;
    linger_.start(static_cast<int>(left));
    return;
  }
  finish_not_found();
}

void DownloadController::finish_not_found() {
  stop_search();
  if (OnShow) {
    OnShow(Effect{Effect::Kind::ErrorBox, not_found_text(reports_).toStdString(), kNotFoundCaption, 0});
  }
  finished(Result::Cancel);
}

void DownloadController::look_for_new_ports() {
  if (!between_ports_ && session_.phase() != DownloadSession::Phase::Waiting) {
    return;
  }
  const QStringList now = names(lister_());
  for (const QString& name : now) {
    if (!seen_.contains(name) && order_.indexOf(name, current_ + 1) < 0) {
      order_ << name;
    }
  }
  seen_ = now;
  if (linger_.isActive() && current_ + 1 < order_.size()) {
    linger_.stop();
    between_ports_ = false;
    next_port();
  }
}

void DownloadController::finished(Result result) {
  if (result == Result::Ok) {
    answered_ = QString::fromStdString(session_.port_name());
    if (!identify_only_) {
      remember_good_port(answered_);
    }
  }
  stop_search();
  if (OnFinished) {
    OnFinished(result);
  }
}

void DownloadController::apply(const DownloadSession::Effects& effects) {
  for (const Effect& e : effects) {
    switch (e.kind) {
      case Effect::Kind::OpenPort:
        port_.ClosePort();
        port_.SetPortName(QString::fromStdString(e.text));
        if (OnShow) {
          const QString name = QString::fromStdString(e.text);
          OnShow(Effect{
              Effect::Kind::TryingPort, e.text, {}, static_cast<std::uint32_t>(order().indexOf(name))});
        }
        // A port that does not open stays silent and the wait handles it; the search leaves it at once.
        open_failed_ = !port_.OpenPort();
        break;
      case Effect::Kind::ClosePort:
        port_.ClosePort();
        break;
      case Effect::Kind::Send:
        if (identify_only_ && e.value == static_cast<unsigned char>(kDataRequest)) {
          identified_ = true;
          break;
        }
        port_.WriteChar(static_cast<char>(e.value));
        break;
      case Effect::Kind::StartTimer:
        timer_.start(static_cast<int>(e.value));
        break;
      case Effect::Kind::StopTimer:
        timer_.stop();
        break;
      case Effect::Kind::Finish:
        finished(static_cast<Result>(e.value));
        break;
      case Effect::Kind::Status:
        if (identify_only_ && e.text == kStatusReceiving) {
          break;
        }
        [[fallthrough]];
      default:
        if (OnShow) {
          OnShow(e);
        }
        break;
    }
    if (identified_) {
      break;
    }
  }
  if (identified_) {
    // The identification is all that was asked for: the memory is not requested.
    identified_ = false;
    apply(session_.close());
    finished(Result::Ok);
  }
}

QString progress_text(std::uint32_t received, std::uint32_t expected, qint64 elapsed_ms) {
  if (expected == 0) {
    return QString();
  }
  const std::uint32_t shown = std::min(received, expected);
  const double seconds = double(std::max<qint64>(elapsed_ms, 1)) / 1000.0;
  const double rate = double(shown) / seconds;
  QString text = QStringLiteral("%1%  %2 из %3 симв.  %4 симв./с")
                     .arg(int(100.0 * shown / expected), 3)
                     .arg(shown)
                     .arg(expected)
                     .arg(qint64(rate));
  if (rate > 0) {
    const auto left = static_cast<long long>(std::llround(double(expected - shown) / rate));
    text += QStringLiteral("  осталось %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  }
  return text;
}

}  // namespace vkt::link
