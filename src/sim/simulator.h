#pragma once

// The instrument simulator on a pseudo-terminal: the program (or a test) opens the terminal's
// path as its serial port and finds a device A there. The simulator serves on a thread of its own
// and needs nothing from the caller's event loop.

#include <cstddef>
#include <memory>
#include <string>

#include "sim/instrument.h"

namespace vkt::sim {

struct SimulatorOptions {
  InstrumentOptions instrument;
  // Send no faster than the instrument's line: 57600 bit/s, 11 bits per character.
  bool throttle = false;
  // Stop answering once a complete data answer has gone out.
  bool once = false;
};

class Simulator {
 public:
  static constexpr double kLineCharsPerSecond = 57600.0 / 11.0;

  explicit Simulator(const SimulatorOptions& options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens a new pseudo-terminal and starts serving on it; returns the path to open as a serial
  // port. Throws std::runtime_error when no terminal can be had. Where there are no
  // pseudo-terminals it serves as an in-process port and returns that port's name.
  std::string start();
  // True where the simulator serves as an in-process port, which only this program can open.
  static bool serves_in_process();
  // Stops serving and closes the terminal.
  void stop();

  const std::string& path() const;
  const Instrument& instrument() const;
  // Requests ('V' or 'Q') received so far.
  std::size_t requests() const;
  // Complete data answers sent so far.
  std::size_t data_answers() const;
  // With `once`: the data answer has gone out and nothing more will be answered.
  bool finished() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vkt::sim
