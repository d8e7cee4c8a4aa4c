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

TEST(CommandLine, SubcommandsTakeTheirOwnOptionsAndFiles) {
  CommandLine c =
      parse_command_line({"vkt-rs7", "download", "--append", "--port=/dev/pts/3", "--port", "COM4", "f.db"});
  EXPECT_EQ(c.action, CommandLine::Action::Download);
  EXPECT_TRUE(c.append);
  EXPECT_FALSE(c.force);
  EXPECT_EQ(c.ports, QStringList({"/dev/pts/3", "COM4"}));
  EXPECT_EQ(c.file, "f.db");

  c = parse_command_line({"vkt-rs7", "ports", "--probe"});
  EXPECT_EQ(c.action, CommandLine::Action::Ports);
  EXPECT_TRUE(c.probe);
  EXPECT_FALSE(parse_command_line({"vkt-rs7", "ports"}).probe);
  EXPECT_EQ(parse_command_line({"vkt-rs7", "ports", "f.db"}).action, CommandLine::Action::UsageError);
  EXPECT_EQ(parse_command_line({"vkt-rs7", "download", "--probe", "f.db"}).action,
            CommandLine::Action::UsageError);

  c = parse_command_line({"vkt-rs7", "dump", "--sort", "d9:desc", "--format=json", "--kind", "b", "f.db"});
  EXPECT_EQ(c.action, CommandLine::Action::Dump);
  EXPECT_EQ(c.sort_field, "D9");
  EXPECT_TRUE(c.sort_descending);
  EXPECT_EQ(c.format, CommandLine::DumpFormat::Json);
  EXPECT_EQ(c.kind, 1);
  c = parse_command_line({"vkt-rs7", "dump", "f.db"});
  EXPECT_EQ(c.format, CommandLine::DumpFormat::Csv);
  EXPECT_FALSE(c.kind.has_value());
  EXPECT_TRUE(c.sort_field.isEmpty());

  c = parse_command_line({"vkt-rs7", "export", "--kind=A", "f.db", "out.xls"});
  EXPECT_EQ(c.action, CommandLine::Action::Export);
  EXPECT_EQ(c.kind, 0);
  EXPECT_EQ(c.output, "out.xls");

  c = parse_command_line(
      {"vkt-rs7", "export", "--format", "XLSX", "--separator=tab", "--decimal", ",", "f.db", "out.dat"});
  EXPECT_EQ(c.action, CommandLine::Action::Export);
  EXPECT_EQ(c.export_format, "xlsx");
  EXPECT_EQ(c.csv_separator, "\t");
  EXPECT_EQ(c.csv_decimal, ",");
  for (const QStringList& wrong : {QStringList{"--format", "ods"}, QStringList{"--separator", ";;"},
                                   QStringList{"--decimal", "\""}, QStringList{"--format"}}) {
    EXPECT_EQ(
        parse_command_line(QStringList{"vkt-rs7", "export"} + wrong + QStringList{"f.db", "o.xls"}).action,
        CommandLine::Action::UsageError)
        << wrong.join(' ').toStdString();
  }
  EXPECT_EQ(parse_command_line({"vkt-rs7", "dump", "--separator", ";", "f.db"}).action,
            CommandLine::Action::UsageError);

  // The window with a measurement file, as a file manager starts it; one file at most.
  c = parse_command_line({"vkt-rs7", "--port", "COM3", "Участок 1.DB"});
  EXPECT_EQ(c.action, CommandLine::Action::RunWindow);
  EXPECT_EQ(c.open, "Участок 1.DB");
  EXPECT_EQ(parse_command_line({"vkt-rs7", "a.db", "b.db"}).action, CommandLine::Action::UsageError);
  EXPECT_EQ(parse_command_line({"vkt-rs7", "frobnicate"}).action, CommandLine::Action::UsageError);

  c = parse_command_line({"vkt-rs7", "simulate", "--records", "438", "--seed", "4294967295", "--fault",
                          "type2", "--throttle", "--once"});
  EXPECT_EQ(c.action, CommandLine::Action::Simulate);
  EXPECT_EQ(c.records, 438u);
  EXPECT_EQ(c.seed, 4294967295u);
  EXPECT_EQ(c.fault, "type2");
  EXPECT_TRUE(c.throttle && c.once);

  // Options of one subcommand are not another's; the window's options are not a subcommand's.
  EXPECT_EQ(parse_command_line({"vkt-rs7", "export", "--port", "x", "f.db", "o.xls"}).action,
            CommandLine::Action::UsageError);
  EXPECT_EQ(parse_command_line({"vkt-rs7", "dump", "--demo", "f.db"}).action,
            CommandLine::Action::UsageError);
  EXPECT_EQ(parse_command_line({"vkt-rs7", "simulate", "--records", "12x"}).action,
            CommandLine::Action::UsageError);
  c = parse_command_line({"vkt-rs7", "report", "--kind", "B", "f.db", "o.pdf"});
  EXPECT_EQ(c.action, CommandLine::Action::Report);
  EXPECT_EQ(c.kind, 1);
  for (const char* sub : {"download", "simulate"}) {
    c = parse_command_line({"vkt-rs7", sub, "--kind", "A", "f.db"});
    EXPECT_EQ(c.error, QStringLiteral("%1: неизвестный параметр: --kind").arg(sub));
  }
  // A flag takes no value.
  c = parse_command_line({"vkt-rs7", "download", "--append=yes", "f.db"});
  EXPECT_EQ(c.error, "download: неизвестный параметр: --append=yes");
  c = parse_command_line({"vkt-rs7", "dump", "--help", "--nonsense"});
  EXPECT_EQ(c.action, CommandLine::Action::ShowHelp);
  EXPECT_EQ(c.subcommand, "dump");
  c = parse_command_line({"vkt-rs7", "--demo", "--port", "/dev/ttyUSB0"});
  EXPECT_EQ(c.action, CommandLine::Action::RunWindow);
  EXPECT_TRUE(c.demo);
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
