#pragma once

#include <QString>
#include <QStringList>

namespace vkt {

// What the user asked for on the command line.
struct CommandLine {
  enum class Action { RunWindow, ShowHelp, ShowVersion, UsageError };
  Action action = Action::RunWindow;
  QStringList ports;  // --port PATH, in order: replaces the serial ports tried
  QString error;      // for UsageError
};

CommandLine parse_command_line(const QStringList& arguments);

QString usage_text();
QString version_line();

}  // namespace vkt
