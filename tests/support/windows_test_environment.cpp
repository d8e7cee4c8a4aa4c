// Linked into every test executable of the Windows build. The environment of the Linux side does
// not reach a program under Wine, so what CTest would set for a test is set here, before main():
// windows drawn off-screen, with no display needed.

#include <stdlib.h>

namespace {

[[maybe_unused]] const bool g_environment_set = [] {
  _putenv_s("QT_QPA_PLATFORM", "offscreen");
  return true;
}();

}  // namespace
