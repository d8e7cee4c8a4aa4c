// The simulator's terminal on POSIX systems: a pseudo-terminal pair from openpty, served by a
// thread that polls the master side.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <thread>

#include "link/linkcodec.h"
#include "sim/simulator.h"

namespace vkt::sim {

struct Simulator::Impl {
  explicit Impl(const SimulatorOptions& o) : options(o), instrument(o.instrument) {}

  SimulatorOptions options;
  Instrument instrument;
  std::string path;
  int master = -1;
  int slave = -1;  // kept open so that the terminal outlives the program's openings and closings
  int wake[2] = {-1, -1};
  std::thread thread;
  std::atomic<std::size_t> requests{0};
  std::atomic<std::size_t> data_answers{0};
  std::atomic<bool> finished{false};

  void serve();
  void close_all();
};

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

void Simulator::Impl::close_all() {
  for (int* fd : {&master, &slave, &wake[0], &wake[1]}) {
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
  }
}

void Simulator::Impl::serve() {
  using Clock = std::chrono::steady_clock;
  std::string out;                      // what is still to be sent
  std::size_t sent = 0;                 // of `out`
  std::deque<std::size_t> answer_ends;  // where in `out` complete data answers end
  std::size_t line_sent = 0;            // characters sent since the line clock started
  Clock::time_point line_start = Clock::now();
  char buffer[4096];

  // How many characters the line could have carried since its clock started.
  auto line_allowance = [&]() -> std::size_t {
    const double elapsed = std::chrono::duration<double>(Clock::now() - line_start).count();
    const double carried = elapsed * kLineCharsPerSecond;
    return carried > static_cast<double>(line_sent) ? static_cast<std::size_t>(carried) - line_sent : 0;
  };

  for (;;) {
    const bool pending = sent < out.size();
    bool may_write = pending;
    int timeout = -1;
    if (pending && options.throttle) {
      may_write = line_allowance() > 0;
      timeout = may_write ? -1 : 2;
    }
    pollfd fds[2] = {{wake[0], POLLIN, 0},
                     {master, static_cast<short>(POLLIN | (may_write ? POLLOUT : 0)), 0}};
    if (::poll(fds, 2, timeout) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (fds[0].revents != 0 || (fds[1].revents & (POLLERR | POLLNVAL)) != 0) {
      return;  // asked to stop, or the terminal is gone
    }
    if ((fds[1].revents & POLLIN) != 0) {
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c != link::kIdentificationRequest && c != link::kDataRequest) {
          continue;
        }
        requests.fetch_add(1);
        if (finished.load()) {
          continue;
        }
        if (sent == out.size()) {
          line_start = Clock::now();
          line_sent = 0;
        }
        if (instrument.respond(c, out)) {
          answer_ends.push_back(out.size());
        }
      }
    }
    if ((fds[1].revents & POLLOUT) != 0 && sent < out.size()) {
      std::size_t want = out.size() - sent;
      if (options.throttle) {
        want = std::min(want, std::max<std::size_t>(line_allowance(), 1));
      }
      const ssize_t n = ::write(master, out.data() + sent, want);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        line_sent += static_cast<std::size_t>(n);
      }
    }
    while (!answer_ends.empty() && sent >= answer_ends.front()) {
      answer_ends.pop_front();
      data_answers.fetch_add(1);
      if (options.once) {
        finished.store(true);
      }
    }
    if (sent == out.size()) {
      out.clear();
      sent = 0;
    }
  }
}

Simulator::Simulator(const SimulatorOptions& options) : impl_(std::make_unique<Impl>(options)) {}

Simulator::~Simulator() {
  stop();
}

bool Simulator::serves_in_process() {
  return false;
}

std::string Simulator::start() {
  if (impl_->thread.joinable()) {
    return impl_->path;
  }
  char name[256] = {};
  if (::openpty(&impl_->master, &impl_->slave, name, nullptr, nullptr) != 0) {
    fail("openpty");
  }
  // Raw both ways: no echo, no line editing, no translation of line ends.
  termios raw{};
  if (::tcgetattr(impl_->slave, &raw) == 0) {
    ::cfmakeraw(&raw);
    ::tcsetattr(impl_->slave, TCSANOW, &raw);
  }
  const int flags = ::fcntl(impl_->master, F_GETFL);
  if (flags < 0 || ::fcntl(impl_->master, F_SETFL, flags | O_NONBLOCK) < 0 || ::pipe(impl_->wake) != 0) {
    const int saved = errno;
    impl_->close_all();
    errno = saved;
    fail("pseudo-terminal set-up");
  }
  impl_->path = name;
  impl_->thread = std::thread([impl = impl_.get()] { impl->serve(); });
  return impl_->path;
}

void Simulator::stop() {
  if (impl_->thread.joinable()) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = ::write(impl_->wake[1], &stop, 1);
    impl_->thread.join();
  }
  impl_->close_all();
}

const std::string& Simulator::path() const {
  return impl_->path;
}

const Instrument& Simulator::instrument() const {
  return impl_->instrument;
}

std::size_t Simulator::requests() const {
  return impl_->requests.load();
}

std::size_t Simulator::data_answers() const {
  return impl_->data_answers.load();
}

bool Simulator::finished() const {
  return impl_->finished.load();
}

}  // namespace vkt::sim
