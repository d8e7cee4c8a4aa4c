#include "link/serialportdriver.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>

namespace vkt::link {

QString serial_port_device(int n) {
#ifdef Q_OS_WIN
  return QStringLiteral("\\\\.\\COM%1").arg(n);
#else
  return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

QStringList default_serial_ports() {
  return {serial_port_device(1), serial_port_device(2)};
}

std::uint32_t baud_rate_bits(TBaudRate rate) {
  switch (rate) {
    case TBaudRate::brCustom:
      return 0;
    case TBaudRate::br110:
      return 110;
    case TBaudRate::br300:
      return 300;
    case TBaudRate::br600:
      return 600;
    case TBaudRate::br1200:
      return 1200;
    case TBaudRate::br2400:
      return 2400;
    case TBaudRate::br4800:
      return 4800;
    case TBaudRate::br9600:
      return 9600;
    case TBaudRate::br14400:
      return 14400;
    case TBaudRate::br19200:
      return 19200;
    case TBaudRate::br38400:
      return 38400;
    case TBaudRate::br56000:
      return 56000;
    case TBaudRate::br57600:
      return 57600;
    case TBaudRate::br115200:
      return 115200;
    case TBaudRate::br128000:
      return 128000;
    case TBaudRate::br256000:
      return 256000;
  }
  return 0;
}

SerialPortDriver::SerialPortDriver(QObject* parent) : QObject(parent), port_name_(serial_port_device(2)) {
  chunk_.resize(in_buf_size_);
  poll_timer_.setTimerType(Qt::PreciseTimer);
  connect(&poll_timer_, &QTimer::timeout, this, &SerialPortDriver::poll);
  // Errors are looked at after the call that raised them has returned; one raised by an
  // earlier opening of the port is ignored.
  connect(&serial_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
      const auto opening = opening_;
      QMetaObject::invokeMethod(
          this,
          [this, error, opening] {
            if (opening == opening_) {
              port_error(error);
            }
          },
          Qt::QueuedConnection);
    }
  });
}

SerialPortDriver::~SerialPortDriver() {
  ClosePort();
}

bool SerialPortDriver::OpenPort() {
  if (IsOpen()) {
    return true;
  }
  ++opening_;
  if (auto line = open_in_process_port(port_name_.toStdString())) {
    in_process_ = std::move(line);
    in_process_answer_.clear();
    poll_timer_.start(polling_delay_);
    return true;
  }
  serial_.setPortName(port_name_);
  if (!serial_.open(QIODevice::ReadWrite)) {
    open_failed();
    return false;
  }
  if (!apply_line_settings() || !serial_.clear(QSerialPort::AllDirections)) {
    open_failed();
    serial_.close();
    serial_.clearError();
    return false;
  }
  // A pseudo-terminal has no modem lines: refusing to set them does not make the port unusable.
  if (!serial_.setDataTerminalReady(enable_dtr_on_open_)) {
    serial_.clearError();
  }
  if (hw_flow_ != THwFlowControl::hfRTSCTS &&
      !serial_.setRequestToSend(hw_flow_ == THwFlowControl::hfNONERTSON)) {
    serial_.clearError();
  }
  poll_timer_.start(polling_delay_);
  return true;
}

void SerialPortDriver::open_failed() {
  const QFileInfo file(port_name_);
  last_open_failure_.port = port_name_;
  last_open_failure_.failure =
      open_failure(serial_.error(), file.exists(), file.isReadable() && file.isWritable());
  last_open_failure_.detail = serial_.errorString();
  serial_.clearError();
}

void SerialPortDriver::ClosePort() {
  if (in_process_) {
    poll_timer_.stop();
    in_process_.reset();
    in_process_answer_.clear();
    ++opening_;
    return;
  }
  if (!serial_.isOpen()) {
    return;
  }
  poll_timer_.stop();
  serial_.close();
  serial_.clearError();
  ++opening_;
}

bool SerialPortDriver::IsOpen() const {
  return in_process_ != nullptr || serial_.isOpen();
}

bool SerialPortDriver::apply_line_settings() {
  QSerialPort::DataBits data_bits = QSerialPort::Data8;
  switch (data_bits_) {
    case TDataBits::db5BITS:
      data_bits = QSerialPort::Data5;
      break;
    case TDataBits::db6BITS:
      data_bits = QSerialPort::Data6;
      break;
    case TDataBits::db7BITS:
      data_bits = QSerialPort::Data7;
      break;
    case TDataBits::db8BITS:
      break;
  }
  QSerialPort::StopBits stop_bits = QSerialPort::OneStop;
  if (stop_bits_ == TStopBits::sb1HALFBITS) {
    stop_bits = QSerialPort::OneAndHalfStop;
  } else if (stop_bits_ == TStopBits::sb2BITS) {
    stop_bits = QSerialPort::TwoStop;
  }
  static constexpr QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                    QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                    QSerialPort::SpaceParity};
  QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
  if (hw_flow_ == THwFlowControl::hfRTSCTS) {
    flow = QSerialPort::HardwareControl;
  } else if (sw_flow_ == TSwFlowControl::sfXONXOFF) {
    flow = QSerialPort::SoftwareControl;
  }
  return serial_.setBaudRate(static_cast<qint32>(EffectiveBaudRate())) && serial_.setDataBits(data_bits) &&
         serial_.setStopBits(stop_bits) && serial_.setParity(kParity[static_cast<int>(parity_)]) &&
         serial_.setFlowControl(flow);
}

std::uint32_t SerialPortDriver::EffectiveBaudRate() const {
  return baud_rate_ == TBaudRate::brCustom ? baud_rate_value_ : baud_rate_bits(baud_rate_);
}

// As from a device: at most one buffer's worth per poll, so that an answer takes its time to
// arrive and can be cancelled on the way.
void SerialPortDriver::poll_in_process() {
  const std::size_t n = std::min<std::size_t>(in_process_answer_.size(), in_buf_size_);
  if (n == 0) {
    return;
  }
  std::copy_n(in_process_answer_.data(), n, chunk_.data());
  in_process_answer_.erase(0, n);
  if (OnReceiveData) {
    OnReceiveData(this, chunk_.data(), n);
  }
}

void SerialPortDriver::poll() {
  if (in_process_) {
    poll_in_process();
    return;
  }
  if (!serial_.isOpen()) {
    return;
  }
  // A read is asked for even when nothing is waiting: on Windows that starts the port's next
  // read from the device, which a port under Wine needs (its wait for input ends at once there,
  // as it cannot query a pseudo-terminal's modem lines, and is not started again).
  const qint64 n = serial_.read(chunk_.data(), in_buf_size_);
  if (n > 0 && OnReceiveData) {
    OnReceiveData(this, chunk_.data(), static_cast<std::size_t>(n));
  }
}

void SerialPortDriver::port_error(QSerialPort::SerialPortError error) {
  if (!IsOpen()) {
    return;
  }
  const QString reason =
      error == QSerialPort::ResourceError ? QStringLiteral("resource error") : QStringLiteral("read error");
  // What arrived before the line went away is handed over first: an instrument unplugged right
  // after its answer has still sent a whole answer.
  while (IsOpen() && serial_.bytesAvailable() > 0) {
    const qint64 before = serial_.bytesAvailable();
    poll();
    if (serial_.isOpen() && serial_.bytesAvailable() >= before) {
      break;
    }
  }
  if (!IsOpen()) {
    return;  // the receiver finished the exchange and closed the port itself
  }
  ClosePort();
  if (OnPortError) {
    OnPortError(this, reason);
  }
}

bool SerialPortDriver::WriteChar(char c) {
  return WriteBytes(&c, 1, output_timeout_) == 1;
}

std::size_t SerialPortDriver::WriteBytes(const char* data, std::size_t length, unsigned timeout_ms) {
  if (!IsOpen()) {
    return 0;
  }
  if (in_process_) {
    in_process_->receive(data, length, in_process_answer_);
    return length;
  }
  std::size_t written = 0;
  QElapsedTimer since_progress;
  since_progress.start();
  while (written < length) {
    const qint64 free = static_cast<qint64>(out_buf_size_) - serial_.bytesToWrite();
    if (free > 0) {
      const qint64 n =
          serial_.write(data + written, std::min<qint64>(free, static_cast<qint64>(length - written)));
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        since_progress.restart();
        continue;
      }
      if (n < 0) {
        serial_.clearError();
      }
    }
    if (since_progress.elapsed() > static_cast<qint64>(timeout_ms)) {
      break;
    }
    serial_.waitForBytesWritten(10);
  }
  serial_.flush();
  return written;
}

void SerialPortDriver::PurgeBuffers(bool input, bool output) {
  if (!IsOpen()) {
    return;
  }
  if (in_process_) {
    if (input) {
      in_process_answer_.clear();
    }
    return;
  }
  QSerialPort::Directions directions;
  if (input) {
    directions |= QSerialPort::Input;
  }
  if (output) {
    directions |= QSerialPort::Output;
  }
  if (directions) {
    serial_.clear(directions);
  }
}

void SerialPortDriver::SetPort(TPortNumber port) {
  if (IsOpen()) {
    return;
  }
  port_ = port;
  if (port != TPortNumber::pnCustom) {
    port_name_ = serial_port_device(static_cast<int>(port));
  }
}

void SerialPortDriver::SetPortName(const QString& name) {
  if (IsOpen()) {
    return;
  }
  port_ = TPortNumber::pnCustom;
  port_name_ = name;
}

void SerialPortDriver::SetBaudRate(TBaudRate rate) {
  baud_rate_ = rate;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetBaudRateValue(std::uint32_t value) {
  baud_rate_value_ = value;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetDataBits(TDataBits bits) {
  data_bits_ = bits;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetStopBits(TStopBits bits) {
  stop_bits_ = bits;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetParity(TParity parity) {
  parity_ = parity;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetHwFlow(THwFlowControl flow) {
  hw_flow_ = flow;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetSwFlow(TSwFlowControl flow) {
  sw_flow_ = flow;
  if (IsOpen()) {
    apply_line_settings();
  }
}

void SerialPortDriver::SetInBufSize(std::uint32_t size) {
  if (IsOpen()) {
    return;
  }
  in_buf_size_ = std::clamp(size, kMinBufSize, kMaxBufSize);
  chunk_.assign(in_buf_size_, 0);
}

void SerialPortDriver::SetOutBufSize(std::uint32_t size) {
  if (IsOpen()) {
    return;
  }
  out_buf_size_ = std::clamp(size, kMinBufSize, kMaxBufSize);
}

void SerialPortDriver::SetPollingDelay(std::uint16_t ms) {
  polling_delay_ = std::max(ms, kMinPollingDelay);
  if (poll_timer_.isActive()) {
    poll_timer_.setInterval(polling_delay_);
  }
}

}  // namespace vkt::link
