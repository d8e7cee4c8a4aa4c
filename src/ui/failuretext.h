#pragma once

#include <QString>
#include <exception>

namespace vkt {

// What the failing command was doing, which decides how a failure is worded.
enum class FailureContext {
  Opening,  // opening a measurement file: a damaged or foreign file is "База данных повреждена !"
  Working,  // any other command: the engine's own text, a system cause in words
};

// The one place the window turns a failure into the text of its message box: a locked file says
// that another program holds it, a missing one that it is missing, a shortage of memory says so.
QString failure_text(const std::exception& error, FailureContext context = FailureContext::Working);

}  // namespace vkt
