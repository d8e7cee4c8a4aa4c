// simulate: a device A on a pseudo-terminal, for trying the program and for tests.

#include <chrono>
#include <exception>
#include <thread>

#include "app/subcommands.h"
#include "app/terminal.h"
#include "sim/simulator.h"

namespace vkt {

namespace {

// How long the reader may take to fetch the rest of the data answer once it has been sent and
// to let go of the terminal.
constexpr int kDrainMs = 180000;

}  // namespace

void print_to(std::FILE* stream, const QString& text) {
  std::fputs(text.toUtf8().constData(), stream);
  std::fflush(stream);
}

void print_error(const QString& text) {
  print_to(stderr, QStringLiteral("vkt-rs7: ") + text + QLatin1Char('\n'));
}

int run_simulate(const CommandLine& command) {
  sim::SimulatorOptions options;
  options.instrument.records = command.records;
  options.instrument.seed = command.seed;
  if (!command.fault.isEmpty()) {
    options.instrument.fault = sim::fault_from_name(command.fault.toStdString()).value_or(sim::Fault::None);
  }
  options.throttle = command.throttle;
  options.once = command.once;

  if (sim::Simulator::serves_in_process()) {
    print_error(
        QStringLiteral("simulate: прибор-имитатор работает только внутри программы (--demo), "
                       "в этой системе нет псевдотерминалов"));
    return kExitFailure;
  }
  sim::Simulator simulator(options);
  std::string path;
  try {
    path = simulator.start();
  } catch (const std::exception& e) {
    print_error(QString::fromUtf8(e.what()));
    return kExitFailure;
  }
  const std::string initial_settings = terminal::line_settings(path);
  terminal::catch_interrupts();
  print_to(stdout, QString::fromStdString(path) + QLatin1Char('\n'));
  while (!terminal::interrupted() && !(command.once && simulator.finished())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (simulator.finished()) {
    terminal::wait_until_read(path, initial_settings, kDrainMs);
  }
  simulator.stop();
  return kExitOk;
}

}  // namespace vkt
