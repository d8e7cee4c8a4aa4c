#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <csignal>

#include "app/terminal.h"

namespace vkt::terminal {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

BOOL WINAPI on_console_event(DWORD) {
  g_interrupted = 1;
  return TRUE;
}

}  // namespace

bool stderr_is_terminal() {
  return _isatty(_fileno(stderr)) != 0;
}

int stderr_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

void catch_interrupts() {
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool interrupted() {
  return g_interrupted != 0;
}

// The simulator needs pseudo-terminals, which this platform lacks: nothing can be waiting.
std::string line_settings(const std::string&) {
  return {};
}

void wait_until_read(const std::string&, const std::string&, int) {}

}  // namespace vkt::terminal
