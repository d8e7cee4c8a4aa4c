// Systems without pseudo-terminals (Windows): the simulator serves as an in-process port of the
// program's own serial driver. Its name opens the instrument from this process only.

#include <atomic>
#include <mutex>
#include <string>

#include "link/inprocessport.h"
#include "sim/simulator.h"

namespace vkt::sim {

namespace {

std::atomic<int> g_started{0};

struct Served {
  explicit Served(const SimulatorOptions& o) : instrument(o.instrument), once(o.once) {}
  std::mutex mutex;
  Instrument instrument;
  bool once;
  std::size_t requests = 0;
  std::size_t data_answers = 0;
};

class InstrumentLine : public link::InProcessLine {
 public:
  explicit InstrumentLine(std::shared_ptr<Served> served) : served_(std::move(served)) {}

  void receive(const char* data, std::size_t count, std::string& answer) override {
    const std::lock_guard lock(served_->mutex);
    for (std::size_t i = 0; i < count; ++i) {
      if (served_->once && served_->data_answers > 0) {
        return;
      }
      if (data[i] == 'V' || data[i] == 'Q') {
        ++served_->requests;
      }
      if (served_->instrument.respond(data[i], answer)) {
        ++served_->data_answers;
      }
    }
  }

 private:
  std::shared_ptr<Served> served_;
};

}  // namespace

struct Simulator::Impl {
  explicit Impl(const SimulatorOptions& o) : served(std::make_shared<Served>(o)) {}
  std::shared_ptr<Served> served;
  std::string path;
};

Simulator::Simulator(const SimulatorOptions& options) : impl_(std::make_unique<Impl>(options)) {}

Simulator::~Simulator() {
  stop();
}

bool Simulator::serves_in_process() {
  return true;
}

std::string Simulator::start() {
  if (!impl_->path.empty()) {
    return impl_->path;
  }
  const int n = ++g_started;
  impl_->path = n == 1 ? std::string("ДЕМО") : "ДЕМО" + std::to_string(n);
  link::register_in_process_port(
      impl_->path, [served = impl_->served] { return std::make_unique<InstrumentLine>(served); });
  return impl_->path;
}

void Simulator::stop() {
  if (!impl_->path.empty()) {
    link::unregister_in_process_port(impl_->path);
  }
}

const std::string& Simulator::path() const {
  return impl_->path;
}

const Instrument& Simulator::instrument() const {
  return impl_->served->instrument;
}

std::size_t Simulator::requests() const {
  const std::lock_guard lock(impl_->served->mutex);
  return impl_->served->requests;
}

std::size_t Simulator::data_answers() const {
  const std::lock_guard lock(impl_->served->mutex);
  return impl_->served->data_answers;
}

bool Simulator::finished() const {
  const std::lock_guard lock(impl_->served->mutex);
  return impl_->served->once && impl_->served->data_answers > 0;
}

}  // namespace vkt::sim
