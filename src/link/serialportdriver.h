#pragma once

// The serial port as the download uses it: opened by device name, line set once, single request
// characters written, and the input polled on a timer on the caller's thread, handing whatever
// has arrived to OnReceiveData in chunks of at most InBufSize bytes. A name registered as an
// in-process port opens that instead of a device.

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/inprocessport.h"
#include "link/portlist.h"

namespace vkt::link {

enum class TPortNumber {
  pnCustom,
  pnCOM1,
  pnCOM2,
  pnCOM3,
  pnCOM4,
  pnCOM5,
  pnCOM6,
  pnCOM7,
  pnCOM8,
  pnCOM9,
  pnCOM10,
  pnCOM11,
  pnCOM12,
  pnCOM13,
  pnCOM14,
  pnCOM15,
  pnCOM16,
};
enum class TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum class TDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum class TStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum class TParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum class THwFlowControl { hfNONE, hfNONERTSON, hfRTSCTS };
enum class TSwFlowControl { sfNONE, sfXONXOFF };

// The platform's name of serial port n (1-based): "\\.\COMn" on Windows, /dev/ttyS(n-1) elsewhere.
QString serial_port_device(int n);
// The ports a download tries when none are configured: the first and the second serial port.
QStringList default_serial_ports();

// The bits per second a TBaudRate stands for; 0 for brCustom.
std::uint32_t baud_rate_bits(TBaudRate rate);

class SerialPortDriver : public QObject {
  Q_OBJECT

 public:
  using ReceiveHandler = std::function<void(SerialPortDriver* sender, const char* data, std::size_t count)>;
  // The open port failed for good (device gone, read error); the port is closed already.
  using ErrorHandler = std::function<void(SerialPortDriver* sender, const QString& reason)>;

  static constexpr std::uint32_t kMinBufSize = 128;
  static constexpr std::uint32_t kMaxBufSize = 8192;
  static constexpr std::uint16_t kMinPollingDelay = 5;

  explicit SerialPortDriver(QObject* parent = nullptr);
  ~SerialPortDriver() override;

  bool OpenPort();
  void ClosePort();
  bool IsOpen() const;
  bool WriteChar(char c);
  std::size_t WriteBytes(const char* data, std::size_t length, unsigned timeout_ms);
  void PurgeBuffers(bool input, bool output);

  TPortNumber Port() const { return port_; }
  void SetPort(TPortNumber port);
  QString PortName() const { return port_name_; }
  void SetPortName(const QString& name);
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate rate);
  std::uint32_t BaudRateValue() const { return baud_rate_value_; }
  void SetBaudRateValue(std::uint32_t value);
  TDataBits DataBits() const { return data_bits_; }
  void SetDataBits(TDataBits bits);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits bits);
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  THwFlowControl HwFlow() const { return hw_flow_; }
  void SetHwFlow(THwFlowControl flow);
  TSwFlowControl SwFlow() const { return sw_flow_; }
  void SetSwFlow(TSwFlowControl flow);
  std::uint32_t InBufSize() const { return in_buf_size_; }
  void SetInBufSize(std::uint32_t size);
  std::uint32_t OutBufSize() const { return out_buf_size_; }
  void SetOutBufSize(std::uint32_t size);
  std::uint16_t PollingDelay() const { return polling_delay_; }
  void SetPollingDelay(std::uint16_t ms);
  bool EnableDTROnOpen() const { return enable_dtr_on_open_; }
  void SetEnableDTROnOpen(bool enable) { enable_dtr_on_open_ = enable; }
  std::uint16_t OutputTimeout() const { return output_timeout_; }
  void SetOutputTimeout(std::uint16_t ms) { output_timeout_ = ms; }

  ReceiveHandler OnReceiveData;
  ErrorHandler OnPortError;

  // The bits per second the line runs at.
  std::uint32_t EffectiveBaudRate() const;

  // Why the last OpenPort failed (meaningful only after a failed opening).
  PortReport last_open_failure() const { return last_open_failure_; }

 private:
  bool apply_line_settings();
  void poll();
  void port_error(QSerialPort::SerialPortError error);

  void poll_in_process();
  void open_failed();

  QSerialPort serial_;
  std::unique_ptr<InProcessLine> in_process_;  // open on an in-process port instead of serial_
  std::string in_process_answer_;              // what that port sent and is not yet handed over
  QTimer poll_timer_;
  unsigned opening_ = 0;  // counts openings and closings, to tell stale error reports
  std::vector<char> chunk_;
  PortReport last_open_failure_;

  TPortNumber port_ = TPortNumber::pnCOM2;
  QString port_name_;
  TBaudRate baud_rate_ = TBaudRate::br9600;
  std::uint32_t baud_rate_value_ = 9600;
  TDataBits data_bits_ = TDataBits::db8BITS;
  TStopBits stop_bits_ = TStopBits::sb1BITS;
  TParity parity_ = TParity::ptNONE;
  THwFlowControl hw_flow_ = THwFlowControl::hfNONERTSON;
  TSwFlowControl sw_flow_ = TSwFlowControl::sfNONE;
  std::uint32_t in_buf_size_ = 2048;
  std::uint32_t out_buf_size_ = 2048;
  std::uint16_t polling_delay_ = 50;
  bool enable_dtr_on_open_ = true;
  std::uint16_t output_timeout_ = 500;
};

}  // namespace vkt::link
