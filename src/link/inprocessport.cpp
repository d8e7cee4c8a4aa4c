#include "link/inprocessport.h"

#include <map>
#include <mutex>

namespace vkt::link {

namespace {

std::mutex& ports_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, InProcessLineFactory>& ports() {
  static std::map<std::string, InProcessLineFactory> registered;
  return registered;
}

}  // namespace

void register_in_process_port(const std::string& name, InProcessLineFactory factory) {
  const std::lock_guard lock(ports_mutex());
  ports()[name] = std::move(factory);
}

void unregister_in_process_port(const std::string& name) {
  const std::lock_guard lock(ports_mutex());
  ports().erase(name);
}

std::unique_ptr<InProcessLine> open_in_process_port(const std::string& name) {
  InProcessLineFactory factory;
  {
    const std::lock_guard lock(ports_mutex());
    const auto it = ports().find(name);
    if (it == ports().end()) {
      return nullptr;
    }
    factory = it->second;
  }
  return factory ? factory() : nullptr;
}

}  // namespace vkt::link
