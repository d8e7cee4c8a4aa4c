#include "link/portlist.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <utility>

#include "link/downloadsession.h"
#include "link/serialportdriver.h"

namespace vkt::link {

namespace {

PortMemory& memory() {
  static PortMemory kept;
  return kept;
}

const PortInfo* find_port(const std::vector<PortInfo>& ports, const QString& name) {
  const auto it = std::find_if(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == name; });
  return it == ports.end() ? nullptr : &*it;
}

void add_once(QStringList& list, const QString& name) {
  if (!name.isEmpty() && !list.contains(name)) {
    list << name;
  }
}

QString hex4(quint16 value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

}  // namespace

bool is_automatic_port(const QString& name) {
  return name.compare(QLatin1String(kAutomaticPort), Qt::CaseInsensitive) == 0;
}

QString port_description(const PortInfo& port) {
  QStringList parts;
  if (!port.description.isEmpty()) {
    parts << port.description;
  }
  if (!port.manufacturer.isEmpty()) {
    parts << port.manufacturer;
  }
  if (port.vendor_id && port.product_id) {
    parts << QStringLiteral("USB %1:%2").arg(hex4(*port.vendor_id), hex4(*port.product_id));
  }
  if (!port.serial_number.isEmpty()) {
    parts << QStringLiteral("серийный номер %1").arg(port.serial_number);
  }
  return parts.join(QStringLiteral(", "));
}

std::vector<PortInfo> system_ports() {
  std::vector<PortInfo> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    PortInfo p;
    p.name = info.systemLocation();
    p.description = info.description();
    p.manufacturer = info.manufacturer();
    p.serial_number = info.serialNumber();
    if (info.hasVendorIdentifier()) {
      p.vendor_id = info.vendorIdentifier();
    }
    if (info.hasProductIdentifier()) {
      p.product_id = info.productIdentifier();
    }
    ports.push_back(std::move(p));
  }
  std::stable_sort(ports.begin(), ports.end(),
                   [](const PortInfo& a, const PortInfo& b) { return a.name < b.name; });
  put_serial_ports_first(ports);
  return ports;
}

void put_serial_ports_first(std::vector<PortInfo>& ports) {
  const QString first = serial_port_device(1);
  const QString second = serial_port_device(2);
  const auto rank = [&](const PortInfo& p) { return p.name == first ? 0 : p.name == second ? 1 : 2; };
  std::stable_sort(ports.begin(), ports.end(),
                   [&](const PortInfo& a, const PortInfo& b) { return rank(a) < rank(b); });
}

QStringList automatic_order(const std::vector<PortInfo>& present, const QString& last_good) {
  QStringList order;
  add_once(order, last_good);
  for (const QString& serial : default_serial_ports()) {
    if (find_port(present, serial) != nullptr) {
      add_once(order, serial);
    }
  }
  for (const bool usb : {true, false}) {
    for (const PortInfo& p : present) {
      if (p.usb() == usb) {
        add_once(order, p.name);
      }
    }
  }
  return order;
}

QStringList expand_ports(const QStringList& ports, const std::vector<PortInfo>& present,
                         const QString& last_good) {
  QStringList out;
  for (const QString& port : ports) {
    if (is_automatic_port(port)) {
      for (const QString& p : automatic_order(present, last_good)) {
        add_once(out, p);
      }
    } else {
      add_once(out, port);
    }
  }
  return out;
}

PortFailure open_failure(QSerialPort::SerialPortError error, bool exists, bool usable) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      return PortFailure::NoSuchPort;
    case QSerialPort::PermissionError:
      return exists && !usable ? PortFailure::AccessDenied : PortFailure::Busy;
    case QSerialPort::OpenError:
      return PortFailure::Busy;
    default:
      return PortFailure::OpenFailed;
  }
}

QString failure_reason(const PortReport& report) {
  QString why;
  switch (report.failure) {
    case PortFailure::NoSuchPort:
      why = QStringLiteral("нет такого порта");
      break;
    case PortFailure::AccessDenied:
      why = QStringLiteral("нет доступа");
#ifdef Q_OS_LINUX
      why += QStringLiteral(
          " (добавьте пользователя в группу dialout: sudo usermod -aG dialout $USER, затем войдите в "
          "систему заново)");
#endif
      break;
    case PortFailure::Busy:
      why = QStringLiteral("порт занят другой программой");
      break;
    case PortFailure::OpenFailed:
      why = QStringLiteral("порт не открывается: %1").arg(report.detail);
      break;
    case PortFailure::NoAnswer:
      why = QStringLiteral("нет ответа");
      break;
    case PortFailure::WrongDevice:
      why = QStringLiteral("ответил не тот прибор: «%1»").arg(QString::fromUtf8(kWrongDevice));
      break;
    case PortFailure::TransferError:
      why = QStringLiteral("ответ не прочитан: «%1»").arg(QString::fromUtf8(kTransferError));
      break;
  }
  return why;
}

QString failure_text(const PortReport& report) {
  return report.port + QStringLiteral(": ") + failure_reason(report);
}

QString not_found_text(const std::vector<PortReport>& reports) {
  QString text;
  if (reports.empty()) {
    text = QStringLiteral("Последовательные порты не найдены.\n");
  } else {
    text = QStringLiteral("Опрошены порты:\n");
    for (const PortReport& r : reports) {
      text += failure_text(r) + QLatin1Char('\n');
    }
  }
  return text + QLatin1Char('\n') + QString::fromUtf8(kNotFound);
}

void set_port_memory(PortMemory kept) {
  memory() = std::move(kept);
}

QString last_good_port() {
  return memory().load ? memory().load() : QString();
}

void remember_good_port(const QString& port) {
  if (memory().save) {
    memory().save(port);
  }
}

}  // namespace vkt::link
