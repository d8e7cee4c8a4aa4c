#pragma once

// The serial ports present on this machine, the order in which the automatic search tries them,
// and why a port did not give the instrument.

#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace vkt::link {

// In a port list, the entry that stands for the automatic search.
inline constexpr const char* kAutomaticPort = "auto";
bool is_automatic_port(const QString& name);

struct PortInfo {
  QString name;  // what the driver opens: /dev/ttyUSB0, \\.\COM3
  QString description;
  QString manufacturer;
  QString serial_number;
  std::optional<quint16> vendor_id;
  std::optional<quint16> product_id;

  // A USB adapter: the instrument's cable on today's machines.
  bool usb() const { return vendor_id.has_value(); }
};

// What the system tells of a port besides its name: "FT232R USB UART, FTDI, USB 0403:6001,
// серийный номер A1B2" and the like; empty when it tells nothing.
QString port_description(const PortInfo& port);

// The ports present now; tests hand the search a list of their own.
using PortLister = std::function<std::vector<PortInfo>()>;

// The ports the system reports, the first and the second serial port first where they exist.
std::vector<PortInfo> system_ports();
// Puts the platform's first and second serial port at the front, keeping the others' order.
void put_serial_ports_first(std::vector<PortInfo>& ports);

// The automatic search's order: the port where the instrument answered last time, the first and
// the second serial port where present, then the other present ports, USB adapters first.
QStringList automatic_order(const std::vector<PortInfo>& present, const QString& last_good);

// The list to try when `ports` may hold the automatic entry: that entry becomes the automatic
// order; a port named twice is tried once.
QStringList expand_ports(const QStringList& ports, const std::vector<PortInfo>& present,
                         const QString& last_good);

enum class PortFailure {
  NoSuchPort,
  AccessDenied,
  Busy,
  OpenFailed,     // detail: the system's text
  NoAnswer,       // opened, but silent for the whole wait
  WrongDevice,    // answered, but its type is not the instrument's
  TransferError,  // answered, but the identification did not read
};

struct PortReport {
  QString port;
  PortFailure failure = PortFailure::NoAnswer;
  QString detail;

  bool operator==(const PortReport&) const = default;
};

// Why a port did not open. `usable` tells whether this user may read and write the device file
// where it exists: the serial port reports access denied and busy alike.
PortFailure open_failure(QSerialPort::SerialPortError error, bool exists, bool usable);

// Why, in words: "нет ответа" and the like.
QString failure_reason(const PortReport& report);
// "/dev/ttyS0: нет ответа" and the like.
QString failure_text(const PortReport& report);
// The message when no port gave the instrument: every port tried and why, then the usual text.
QString not_found_text(const std::vector<PortReport>& reports);

// Where the port the instrument last answered on is kept between runs; the program sets it at
// start, otherwise nothing is remembered.
struct PortMemory {
  std::function<QString()> load;
  std::function<void(const QString&)> save;
};
void set_port_memory(PortMemory memory);
QString last_good_port();
void remember_good_port(const QString& port);

}  // namespace vkt::link
