#include "app/commandline.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace vkt {
namespace {

TEST(CommandLine, PortsAreCollectedInOrderAndUnknownArgumentsAreUsageErrors) {
  CommandLine c = parse_command_line({"vkt-rs7", "--port", "/dev/pts/7", "--port=/dev/ttyUSB0"});
  EXPECT_EQ(c.action, CommandLine::Action::RunWindow);
  EXPECT_EQ(c.ports, QStringList({"/dev/pts/7", "/dev/ttyUSB0"}));

  EXPECT_EQ(parse_command_line({"vkt-rs7", "--port"}).action, CommandLine::Action::UsageError);
  c = parse_command_line({"vkt-rs7", "--colour"});
  EXPECT_EQ(c.action, CommandLine::Action::UsageError);
  EXPECT_TRUE(c.error.contains("--colour"));
  EXPECT_EQ(parse_command_line({"vkt-rs7", "--port", "x", "--help"}).action, CommandLine::Action::ShowHelp);
}

struct ProcessResult {
  int code;
  QString out;
  QString err;
};

ProcessResult run(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VKT_EXE), args);
  EXPECT_TRUE(p.waitForFinished(30000));
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

TEST(Executable, VersionHelpAndUsageErrorsWithoutADisplay) {
  ProcessResult version = run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.trimmed(), QStringLiteral("vkt-rs7 ") + QStringLiteral(VKT_VERSION));

  ProcessResult help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains("--port"));
  EXPECT_TRUE(help.out.contains("--version"));

  ProcessResult wrong = run({"--no-such-option"});
  EXPECT_EQ(wrong.code, 2);
  EXPECT_TRUE(wrong.err.contains("--no-such-option"));
  EXPECT_TRUE(wrong.out.isEmpty());
}

}  // namespace
}  // namespace vkt
