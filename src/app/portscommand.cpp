// ports: the serial ports of this computer, and with --probe the instrument on each of them.

#include <QEventLoop>
#include <QTimer>
#include <vector>

#include "app/subcommands.h"
#include "core/programstate.h"
#include "link/downloadcontroller.h"
#include "link/portlist.h"
#include "store/appsettings.h"

namespace vkt {

namespace {

QString port_line(const link::PortInfo& p) {
  const QString description = link::port_description(p);
  return description.isEmpty() ? p.name : p.name + QStringLiteral("  ") + description;
}

}  // namespace

QString probe_port(const QString& port) {
  ProgramState state;
  link::DownloadController controller(state, {port});
  controller.set_search(true);
  controller.set_identify_only(true);
  controller.set_port_lister([] { return std::vector<link::PortInfo>{}; });
  QEventLoop loop;
  link::Result result = link::Result::Cancel;
  controller.OnFinished = [&](link::Result r) {
    result = r;
    loop.quit();
  };
  QTimer::singleShot(0, &controller, [&controller] { controller.Start(); });
  loop.exec();
  controller.Close();
  if (result == link::Result::Ok) {
    return QStringLiteral("прибор %1, версия ПО %2, записей: %3")
        .arg(QString::fromUtf8(link::kDeviceTypeName),
             QString::fromStdString(controller.Session().firmware_version()))
        .arg(state.rec_count);
  }
  if (controller.reports().empty()) {
    return QStringLiteral("приём не состоялся");
  }
  return link::failure_reason(controller.reports().back());
}

int run_ports(const CommandLine& command) {
  const std::vector<link::PortInfo> ports = link::system_ports();
  if (ports.empty()) {
    print_to(stdout, QStringLiteral("Последовательные порты не найдены.\n"));
    return kExitOk;
  }
  for (const link::PortInfo& p : ports) {
    print_to(stdout, port_line(p) + QLatin1Char('\n'));
    if (command.probe) {
      print_to(stdout, QStringLiteral("  ") + probe_port(p.name) + QLatin1Char('\n'));
    }
  }
  return kExitOk;
}

void keep_last_port_in_settings() {
  link::set_port_memory({[] { return AppSettings().last_port(); },
                         [](const QString& port) {
                           AppSettings settings;
                           settings.set_last_port(port);
                           settings.sync();
                         }});
}

}  // namespace vkt
