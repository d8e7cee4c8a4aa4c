#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace vkt {

// What the user asked for on the command line.
struct CommandLine {
  enum class Action {
    RunWindow,
    ShowHelp,
    ShowVersion,
    UsageError,
    Download,
    Export,
    Dump,
    Simulate,
    Report,
    Ports,
    Protocol,
  };
  enum class DumpFormat { Csv, Json };

  Action action = Action::RunWindow;
  QString subcommand;  // the subcommand named, also for ShowHelp and UsageError ("" for the program)
  QString error;       // for UsageError

  QStringList ports;   // --port PATH, in order: replaces the serial ports tried ("auto": the search)
  bool probe = false;  // ports: identify the instrument on each port
  bool demo = false;   // the window with the simulated instrument first in the port list

  QString file;    // FILE.db
  QString output;  // OUT.xls, OUT.pdf
  bool append = false;
  bool force = false;
  std::optional<int> kind;  // --kind A (0) or B (1); none: the kind the window would show
  QString sort_field;       // upper case; empty: file order
  bool sort_descending = false;
  DumpFormat format = DumpFormat::Csv;
  bool derived = false;  // dump: the values read from the kept waveforms after the columns
  // export: "xls", "xlsx" or "csv" (empty: by the output's extension); the CSV field separator and
  // decimal mark, one character each (empty: as the locale writes numbers)
  QString export_format;
  QString csv_separator;
  QString csv_decimal;
  bool waveforms = false;  // export: the samples of the rows' waveforms instead of the rows
  // protocol: the row numbers N asked for, as ranges (first, last); empty: every device A row
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rows;
  std::optional<double> required_modulus;  // protocol: replaces the file's required modulus

  QString open;  // the window: a measurement file to open at start (what a file manager passes)

  std::uint32_t records = 25;
  std::uint32_t seed = 1;
  bool throttle = false;
  QString fault;  // empty: none
  bool once = false;
};

CommandLine parse_command_line(const QStringList& arguments);

// The help of the program ("") or of one subcommand.
QString usage_text(const QString& subcommand = QString());
QString version_line();

}  // namespace vkt
