#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "app/terminal.h"

namespace vkt::terminal {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_signal(int) {
  g_interrupted = 1;
}

}  // namespace

bool stderr_is_terminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

int stderr_columns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

bool interrupted() {
  return g_interrupted != 0;
}

namespace {

std::string settings_of(int fd) {
  termios line{};
  if (::tcgetattr(fd, &line) != 0) {
    return {};
  }
  // Speed and character framing: what a serial port sets when it takes the line.
  return std::to_string(::cfgetospeed(&line)) + '/' + std::to_string(line.c_cflag);
}

}  // namespace

std::string line_settings(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return {};
  }
  std::string settings = settings_of(fd);
  ::close(fd);
  return settings;
}

void wait_until_read(const std::string& path, const std::string& initial_settings, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return;
  }
  // What waits in the terminal's input queue has not been read yet. The queue is refilled from
  // the terminal's own buffers as the reader takes from it, so only a queue that stays empty for
  // a while (several of the reader's polls) means everything was read.
  constexpr auto kQuiet = std::chrono::milliseconds(400);
  auto busy_at = Clock::now();
  while (Clock::now() < deadline && !interrupted()) {
    int pending = 0;
    if (::ioctl(fd, FIONREAD, &pending) != 0) {
      break;
    }
    const auto now = Clock::now();
    const bool released = initial_settings.empty() || settings_of(fd) == initial_settings;
    if (pending > 0 || !released) {
      busy_at = now;
    } else if (now - busy_at >= kQuiet) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::close(fd);
}

}  // namespace vkt::terminal
