#pragma once

// A serial port that lives inside the program: what is written to it is answered by an object in
// the same process. On systems without pseudo-terminals the demonstration instrument comes in
// this way, under a port name that the serial driver looks up here before opening a device.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace vkt::link {

class InProcessLine {
 public:
  virtual ~InProcessLine() = default;
  // The program wrote `count` bytes; what the other end sends back is appended to `answer`.
  virtual void receive(const char* data, std::size_t count, std::string& answer) = 0;
};

using InProcessLineFactory = std::function<std::unique_ptr<InProcessLine>()>;

// Makes `name` a port: each opening gets a new line from `factory`. A name registered again
// replaces the earlier one.
void register_in_process_port(const std::string& name, InProcessLineFactory factory);
void unregister_in_process_port(const std::string& name);
// A new line for the port `name`; null when no such port is registered.
std::unique_ptr<InProcessLine> open_in_process_port(const std::string& name);

}  // namespace vkt::link
