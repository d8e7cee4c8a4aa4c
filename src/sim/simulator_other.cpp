// Systems without pseudo-terminals: the simulator cannot serve; the instrument model still works.

#include <stdexcept>

#include "sim/simulator.h"

namespace vkt::sim {

struct Simulator::Impl {
  explicit Impl(const SimulatorOptions& o) : instrument(o.instrument) {}
  Instrument instrument;
  std::string path;
};

Simulator::Simulator(const SimulatorOptions& options) : impl_(std::make_unique<Impl>(options)) {}
Simulator::~Simulator() = default;

std::string Simulator::start() {
  throw std::runtime_error("the instrument simulator needs pseudo-terminals, which this system lacks");
}

void Simulator::stop() {}

const std::string& Simulator::path() const {
  return impl_->path;
}

const Instrument& Simulator::instrument() const {
  return impl_->instrument;
}

std::size_t Simulator::requests() const {
  return 0;
}

std::size_t Simulator::data_answers() const {
  return 0;
}

bool Simulator::finished() const {
  return false;
}

}  // namespace vkt::sim
