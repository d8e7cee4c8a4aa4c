#include "app/commandline.h"

#include <QFileInfo>
#include <span>
#include <string>

#include "sim/instrument.h"
#include "store/measurement/evaluation.h"

#ifndef VKT_VERSION
#define VKT_VERSION "0.0.0.0"
#endif

namespace vkt {

namespace {

// The most device A records one download can carry.
constexpr std::uint32_t kMaxSimulatedRecords = 438;

QString utf8(const char* text) {
  return QString::fromUtf8(text);
}

QString fault_list() {
  QStringList names;
  for (std::string_view name : sim::fault_names()) {
    names << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  }
  return names.join(QStringLiteral(", "));
}

// ---------------------------------------------------------------------------------------------
// Values of the options

std::optional<int> parse_kind(const QString& text) {
  const QString upper = text.toUpper();
  if (upper == QLatin1String("A") || upper == QStringLiteral("А")) {
    return 0;
  }
  if (upper == QLatin1String("B") || upper == QStringLiteral("В")) {
    return 1;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> parse_number(const QString& text, std::uint32_t max) {
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok, 10);
  if (!ok || value > max) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// A CSV separator or decimal mark: one printable ASCII character other than the quote, or a tab.
bool csv_mark(const QString& text) {
  if (text.size() != 1) {
    return false;
  }
  const char16_t c = text[0].unicode();
  return c == u'\t' || (c > 0x20 && c < 0x7F && c != u'"');
}

// What an option does with its value (empty for a flag): an error text, or an empty one.
using ApplyOption = QString (*)(CommandLine& result, const QString& value);

QString set_append(CommandLine& result, const QString&) {
  result.append = true;
  return {};
}

QString set_force(CommandLine& result, const QString&) {
  result.force = true;
  return {};
}

QString add_port(CommandLine& result, const QString& value) {
  result.ports << value;
  return {};
}

QString set_kind(CommandLine& result, const QString& value) {
  result.kind = parse_kind(value);
  return result.kind ? QString() : QStringLiteral("--kind: ожидается A или B, а не «%1»").arg(value);
}

// FIELD, FIELD:asc or FIELD:desc.
QString set_sort(CommandLine& result, const QString& value) {
  QString field = value;
  if (field.endsWith(QLatin1String(":desc"), Qt::CaseInsensitive)) {
    result.sort_descending = true;
    field.chop(5);
  } else if (field.endsWith(QLatin1String(":asc"), Qt::CaseInsensitive)) {
    field.chop(4);
  }
  if (field.isEmpty()) {
    return QStringLiteral("--sort: не указано поле");
  }
  result.sort_field = field.toUpper();
  return {};
}

QString set_derived(CommandLine& result, const QString&) {
  result.derived = true;
  return {};
}

QString set_dump_format(CommandLine& result, const QString& value) {
  if (value == QLatin1String("csv")) {
    result.format = CommandLine::DumpFormat::Csv;
  } else if (value == QLatin1String("json")) {
    result.format = CommandLine::DumpFormat::Json;
  } else {
    return QStringLiteral("--format: ожидается csv или json, а не «%1»").arg(value);
  }
  return {};
}

QString set_export_format(CommandLine& result, const QString& value) {
  const QString name = value.toLower();
  if (name != QLatin1String("xls") && name != QLatin1String("xlsx") && name != QLatin1String("csv")) {
    return QStringLiteral("--format: ожидается xls, xlsx или csv, а не «%1»").arg(value);
  }
  result.export_format = name;
  return {};
}

// "tab" stands for the tab character, which is awkward to type on a command line.
QString set_csv_mark(const QString& option, const QString& value, QString& mark) {
  const QString one = value == QLatin1String("tab") ? QStringLiteral("\t") : value;
  if (!csv_mark(one)) {
    return QStringLiteral("%1: ожидается один знак, а не «%2»").arg(option, value);
  }
  mark = one;
  return {};
}

QString set_csv_separator(CommandLine& result, const QString& value) {
  return set_csv_mark(QStringLiteral("--separator"), value, result.csv_separator);
}

QString set_csv_decimal(CommandLine& result, const QString& value) {
  return set_csv_mark(QStringLiteral("--decimal"), value, result.csv_decimal);
}

QString set_waveforms(CommandLine& result, const QString&) {
  result.waveforms = true;
  return {};
}

// "1,3-5": row numbers and ranges of them, each number from 1.
std::optional<std::vector<std::pair<std::uint32_t, std::uint32_t>>> parse_row_list(const QString& text) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
  for (const QString& item : text.split(QLatin1Char(','))) {
    const QStringList ends = item.trimmed().split(QLatin1Char('-'));
    if (ends.size() > 2) {
      return std::nullopt;
    }
    const auto first = parse_number(ends.front().trimmed(), UINT32_MAX);
    const auto last = parse_number(ends.back().trimmed(), UINT32_MAX);
    if (!first || !last || *first == 0 || *last < *first) {
      return std::nullopt;
    }
    ranges.emplace_back(*first, *last);
  }
  return ranges;
}

QString set_rows(CommandLine& result, const QString& value) {
  const auto ranges = parse_row_list(value);
  if (!ranges) {
    return QStringLiteral("--rows: ожидается список номеров строк N вида 1,3-5, а не «%1»").arg(value);
  }
  result.rows.insert(result.rows.end(), ranges->begin(), ranges->end());
  return {};
}

QString set_required(CommandLine& result, const QString& value) {
  result.required_modulus = measurement::parse_required_modulus(value.toStdString());
  return result.required_modulus
             ? QString()
             : QStringLiteral("--required: ожидается положительное число (МН/м²), а не «%1»").arg(value);
}

QString set_probe(CommandLine& result, const QString&) {
  result.probe = true;
  return {};
}

QString set_throttle(CommandLine& result, const QString&) {
  result.throttle = true;
  return {};
}

QString set_once(CommandLine& result, const QString&) {
  result.once = true;
  return {};
}

QString set_records(CommandLine& result, const QString& value) {
  const auto n = parse_number(value, kMaxSimulatedRecords);
  if (!n) {
    return QStringLiteral("--records: ожидается число от 0 до %1").arg(kMaxSimulatedRecords);
  }
  result.records = *n;
  return {};
}

QString set_seed(CommandLine& result, const QString& value) {
  const auto n = parse_number(value, UINT32_MAX);
  if (!n) {
    return QStringLiteral("--seed: ожидается целое число от 0 до %1").arg(UINT32_MAX);
  }
  result.seed = *n;
  return {};
}

QString set_fault(CommandLine& result, const QString& value) {
  if (!sim::fault_from_name(value.toStdString())) {
    return QStringLiteral("--fault: неизвестная неисправность «%1»; возможны: %2").arg(value, fault_list());
  }
  result.fault = value;
  return {};
}

// ---------------------------------------------------------------------------------------------
// The subcommands and their options

// Each subcommand is a bit, so that an option names the subcommands that take it.
enum SubcommandBit : unsigned {
  kDownload = 1u << 0,
  kExport = 1u << 1,
  kDump = 1u << 2,
  kReport = 1u << 3,
  kSimulate = 1u << 4,
  kPorts = 1u << 5,
  kProtocol = 1u << 6,
};

// An option of the subcommands: "--name" alone for a flag; "--name VALUE" or "--name=VALUE" for
// one that takes a value.
struct Option {
  const char* name;
  unsigned subcommands;
  bool takes_value;
  ApplyOption apply;
};

constexpr Option kOptions[] = {
    {"--append", kDownload, false, set_append},
    {"--force", kDownload, false, set_force},
    {"--port", kDownload, true, add_port},
    {"--kind", kExport | kDump | kReport, true, set_kind},
    {"--sort", kDump, true, set_sort},
    {"--format", kDump, true, set_dump_format},
    {"--derived", kDump, false, set_derived},
    {"--format", kExport, true, set_export_format},
    {"--separator", kExport, true, set_csv_separator},
    {"--decimal", kExport, true, set_csv_decimal},
    {"--waveforms", kExport, false, set_waveforms},
    {"--throttle", kSimulate, false, set_throttle},
    {"--once", kSimulate, false, set_once},
    {"--records", kSimulate, true, set_records},
    {"--seed", kSimulate, true, set_seed},
    {"--fault", kSimulate, true, set_fault},
    {"--probe", kPorts, false, set_probe},
    {"--rows", kProtocol, true, set_rows},
    {"--required", kProtocol, true, set_required},
};

// One line of an option list in a help: the spelling, then its text; further lines of the text
// start at the text's column.
struct HelpRow {
  const char* spelling;
  const char* text;
};

constexpr HelpRow kDownloadHelp[] = {
    {"--append", "дописать в существующий файл только новые измерения"},
    {"--port ПУТЬ|auto",
     "последовательный порт; можно указать несколько раз, порты опрашиваются\n"
     "по порядку; auto - поиск прибора на всех портах: сначала порт, где прибор\n"
     "ответил в прошлый раз, затем первый и второй порт, затем остальные, сначала\n"
     "USB (по умолчанию порты из настроек, иначе auto)"},
    {"--force", "заменить существующий файл новым"},
};

constexpr HelpRow kExportHelp[] = {
    {"--kind A|B",
     "A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию B, если в файле есть его строки,\n"
     "иначе A)"},
    {"--format xls|xlsx|csv", "формат (по умолчанию по расширению выходного файла, иначе xls)"},
    {"--separator ЗНАК",
     "разделитель полей CSV (tab - табуляция); по умолчанию «;», если\n"
     "десятичный знак - запятая, иначе «,»"},
    {"--decimal ЗНАК", "десятичный знак чисел в CSV (по умолчанию как в языковых настройках)"},
    {"--waveforms",
     "вместо строк - кривые измерений ВКТ-РС7 из файла кривых (.vkw) в CSV:\n"
     "точка, измерение, время (мкс), перемещение (мкм), сила (Н), строка на отсчёт"},
};

constexpr HelpRow kDumpHelp[] = {
    {"--kind A|B", "A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию как в главном окне)"},
    {"--sort ПОЛЕ[:desc]", "упорядочить по полю (по убыванию с :desc), как сортировка таблицы"},
    {"--format csv|json", "формат вывода (по умолчанию csv)"},
    {"--derived",
     "добавить столбцы по кривым ВКТ-РС7: s/v, длительности импульсов ударов 1-3,\n"
     "признаки недостоверности, заключение по требуемому модулю"},
};

constexpr HelpRow kReportHelp[] = {
    {"--kind A|B", "A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию A, если в файле есть его строки, иначе B)"},
};

constexpr HelpRow kProtocolHelp[] = {
    {"--rows СПИСОК",
     "номера строк (столбец N) через запятую, диапазоны через дефис: 1,3-5\n"
     "(по умолчанию все строки ВКТ-РС7 файла)"},
    {"--required ЧИСЛО", "требуемый модуль упругости, МН/м² (по умолчанию из параметров объекта файла)"},
};

constexpr HelpRow kPortsHelp[] = {
    {"--probe", "опросить прибор на каждом порту (тип, версия ПО, число записей), не принимая память"},
};

// The fault list is the simulator's own, filled in as the help is shown.
constexpr HelpRow kSimulateHelp[] = {
    {"--records N", "измерений в памяти, от 0 до 438 (по умолчанию 25)"},
    {"--seed S", "начальное число: одно и то же даёт одни и те же измерения (1)"},
    {"--throttle", "передавать не быстрее линии прибора (57600 бит/с)"},
    {"--fault ИМЯ", "неисправность: %1"},
    {"--once", "завершиться, когда данные переданы"},
};

struct Subcommand {
  const char* name;
  CommandLine::Action action;
  SubcommandBit bit;
  // The files after the options: none, FILE.db, or FILE.db and the output (`output` names it
  // when it is missing).
  qsizetype files;
  const char* output;
  const char* summary;  // its line in the program's help
  const char* synopsis;
  const char* about;
  int help_column;  // width of the option column in its help
  std::span<const HelpRow> help_rows;
};

constexpr Subcommand kSubcommands[] = {
    {.name = "download",
     .action = CommandLine::Action::Download,
     .bit = kDownload,
     .files = 1,
     .output = nullptr,
     .summary = "принять память прибора в файл измерений",
     .synopsis = "download [--append] [--port ПУТЬ|auto]... [--force] ФАЙЛ.db",
     .about = "Принимает память прибора ВКТ-РС7 и записывает измерения в файл измерений, как команды\n"
              "«Создать» и «Дополнить» главного окна. Ход приёма выводится в поток ошибок.\n"
              "Файл создаётся или меняется только после успешного приёма; Ctrl+C прерывает приём\n"
              "(«Отмена»), и файл остаётся прежним.\n",
     .help_column = 18,
     .help_rows = kDownloadHelp},
    {.name = "export",
     .action = CommandLine::Action::Export,
     .bit = kExport,
     .files = 2,
     .output = "файл Excel",
     .summary = "экспортировать файл измерений в книгу Excel (.xls, .xlsx) или CSV",
     .synopsis =
         "export [--kind A|B] [--format xls|xlsx|csv] [--separator ЗНАК]\n"
         "                      [--decimal ЗНАК] ФАЙЛ.db ВЫХОД.xls|ВЫХОД.xlsx|ВЫХОД.csv\n"
         "               vkt-rs7 export --waveforms [--separator ЗНАК] [--decimal ЗНАК] ФАЙЛ.db ВЫХОД.csv",
     .about = "Экспортирует строки одного вида прибора в книгу Excel (лист из 19 столбцов с заголовком)\n"
              "или в текст CSV, в порядке их хранения в файле. Существующий выходной файл заменяется.\n"
              "С --waveforms записывает кривые измерений, сохранённые при приёме рядом с файлом:\n"
              "каждое измерение в масштабе его собственных перемещения и силы.\n",
     .help_column = 22,
     .help_rows = kExportHelp},
    {.name = "dump",
     .action = CommandLine::Action::Dump,
     .bit = kDump,
     .files = 1,
     .output = nullptr,
     .summary = "вывести строки файла измерений в CSV или JSON",
     .synopsis = "dump [--kind A|B] [--sort ПОЛЕ[:desc]] [--format csv|json] [--derived] ФАЙЛ.db",
     .about = "Выводит строки одного вида прибора: CSV с заголовками видимых столбцов таблицы или JSON\n"
              "с именами полей и типизированными значениями (пустые поля как null).\n",
     .help_column = 22,
     .help_rows = kDumpHelp},
    {.name = "report",
     .action = CommandLine::Action::Report,
     .bit = kReport,
     .files = 2,
     .output = "файл PDF",
     .summary = "записать отчёт о файле измерений в PDF",
     .synopsis = "report [--kind A|B] ФАЙЛ.db ВЫХОД.pdf",
     .about = "Записывает отчёт о строках одного вида прибора в файл PDF: те же страницы, что печатает\n"
              "«Файл → Печать». Существующий файл PDF заменяется.\n",
     .help_column = 14,
     .help_rows = kReportHelp},
    {.name = "protocol",
     .action = CommandLine::Action::Protocol,
     .bit = kProtocol,
     .files = 2,
     .output = "файл PDF",
     .summary = "записать протокол испытания по точкам в PDF",
     .synopsis = "protocol [--rows СПИСОК] [--required ЧИСЛО] ФАЙЛ.db ВЫХОД.pdf",
     .about = "Записывает протокол испытания в файл PDF: по странице на каждую точку (строку ВКТ-РС7) -\n"
              "сведения об объекте и приборе, три сброса, средние, требуемый модуль и заключение,\n"
              "осадка и сила удара трёх сбросов по сохранённым осциллограммам; после нескольких точек -\n"
              "сводная страница. Строки выбираются по их номерам N, в порядке хранения в файле.\n"
              "Существующий файл PDF заменяется.\n",
     .help_column = 18,
     .help_rows = kProtocolHelp},
    {.name = "simulate",
     .action = CommandLine::Action::Simulate,
     .bit = kSimulate,
     .files = 0,
     .output = nullptr,
     .summary = "имитировать прибор на псевдотерминале",
     .synopsis = "simulate [--records N] [--seed S] [--throttle] [--fault ИМЯ] [--once]",
     .about = "Имитирует прибор ВКТ-РС7 на псевдотерминале: первая строка вывода - путь к нему,\n"
              "его можно указать как --port. Работает до завершения (Ctrl+C).\n",
     .help_column = 15,
     .help_rows = kSimulateHelp},
    {.name = "ports",
     .action = CommandLine::Action::Ports,
     .bit = kPorts,
     .files = 0,
     .output = nullptr,
     .summary = "перечислить последовательные порты компьютера",
     .synopsis = "ports [--probe]",
     .about = "Перечисляет последовательные порты компьютера в том порядке, в каком их опрашивает поиск\n"
              "прибора: путь, описание, изготовитель, коды USB (VID:PID) и серийный номер.\n",
     .help_column = 12,
     .help_rows = kPortsHelp},
};

const Subcommand* find_subcommand(const QString& name) {
  for (const Subcommand& sub : kSubcommands) {
    if (name == QLatin1String(sub.name)) {
      return &sub;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Parsing

// Walks the arguments of one subcommand; options may take their value as "--opt VALUE" or
// "--opt=VALUE".
class ArgumentWalker {
 public:
  ArgumentWalker(const QStringList& arguments, qsizetype from) : args_(arguments), i_(from) {}

  bool done() const { return i_ >= args_.size(); }
  const QString& current() const { return args_[i_]; }
  void skip() { ++i_; }

  // When the current argument is `name` (with or without "=VALUE"), takes its value.
  std::optional<QString> value_of(const QString& name, QString& error) {
    const QString& arg = args_[i_];
    if (arg == name) {
      if (i_ + 1 >= args_.size()) {
        error = QStringLiteral("%1: не указано значение").arg(name);
        return QString();
      }
      i_ += 2;
      return args_[i_ - 1];
    }
    if (arg.startsWith(name + QLatin1Char('='))) {
      ++i_;
      return arg.mid(name.size() + 1);
    }
    return std::nullopt;
  }

 private:
  const QStringList& args_;
  qsizetype i_;
};

bool is_help(const QString& arg) {
  return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

CommandLine usage_error(CommandLine result, const QString& text) {
  result.action = CommandLine::Action::UsageError;
  result.error = text;
  return result;
}

// Takes the option of `sub` at the walker and returns its error text (empty when it was right),
// or nothing when the argument is none of the subcommand's options.
std::optional<QString> take_option(ArgumentWalker& walk, const Subcommand& sub, CommandLine& result) {
  const QString arg = walk.current();
  for (const Option& option : kOptions) {
    if ((option.subcommands & sub.bit) == 0) {
      continue;
    }
    const QString name = QLatin1String(option.name);
    if (!option.takes_value) {
      if (arg == name) {
        walk.skip();
        return option.apply(result, QString());
      }
      continue;
    }
    QString error;
    if (const std::optional<QString> value = walk.value_of(name, error)) {
      return error.isEmpty() ? option.apply(result, *value) : error;
    }
  }
  return std::nullopt;
}

// Places the files named after the options; returns the error text, empty when they fit.
QString take_files(const Subcommand& sub, const QStringList& files, CommandLine& result) {
  const QString name = QLatin1String(sub.name);
  if (files.size() < sub.files) {
    const QString missing = files.isEmpty() ? QStringLiteral("файл измерений") : utf8(sub.output);
    return QStringLiteral("%1: не указан %2").arg(name, missing);
  }
  if (files.size() > sub.files) {
    return QStringLiteral("%1: лишний параметр: %2").arg(name, files[sub.files]);
  }
  if (sub.files >= 1) {
    result.file = files[0];
  }
  if (sub.files == 2) {
    result.output = files[1];
  }
  return {};
}

CommandLine parse_subcommand(const QStringList& arguments, const Subcommand& sub, CommandLine result) {
  QStringList files;
  ArgumentWalker walk(arguments, 2);
  while (!walk.done()) {
    const QString arg = walk.current();
    if (is_help(arg)) {
      result.action = CommandLine::Action::ShowHelp;
      return result;
    }
    if (arg == QLatin1String("--")) {
      for (walk.skip(); !walk.done(); walk.skip()) {
        files << walk.current();
      }
      break;
    }
    if (!arg.startsWith(QLatin1String("--"))) {
      files << arg;
      walk.skip();
      continue;
    }
    const std::optional<QString> error = take_option(walk, sub, result);
    if (!error) {
      return usage_error(result, QStringLiteral("%1: неизвестный параметр: %2").arg(result.subcommand, arg));
    }
    if (!error->isEmpty()) {
      return usage_error(result, *error);
    }
  }
  if (const QString error = take_files(sub, files, result); !error.isEmpty()) {
    return usage_error(result, error);
  }
  if (result.waveforms &&
      (result.kind || (!result.export_format.isEmpty() && result.export_format != "csv"))) {
    return usage_error(result, QStringLiteral("export: --waveforms записывает кривые ВКТ-РС7 только в CSV"));
  }
  // Only download takes these two.
  if (result.append && result.force) {
    return usage_error(result, QStringLiteral("download: --force не имеет смысла вместе с --append"));
  }
  return result;
}

// The window's own options and the measurement file it is to open.
CommandLine parse_window_options(const QStringList& arguments, CommandLine result) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (is_help(arg)) {
      result.action = CommandLine::Action::ShowHelp;
      return result;
    }
    if (arg == QLatin1String("--version")) {
      result.action = CommandLine::Action::ShowVersion;
      return result;
    }
    if (arg == QLatin1String("--demo")) {
      result.demo = true;
      continue;
    }
    if (arg == QLatin1String("--port")) {
      if (i + 1 >= arguments.size()) {
        return usage_error(result, QStringLiteral("--port: не указан порт"));
      }
      result.ports << arguments[++i];
      continue;
    }
    if (arg.startsWith(QLatin1String("--port="))) {
      result.ports << arg.mid(7);
      continue;
    }
    if (!arg.startsWith(QLatin1Char('-'))) {
      // A file manager hands the window the measurement file to open.
      if (!arg.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) && !QFileInfo(arg).isFile()) {
        return usage_error(result, QStringLiteral("неизвестная команда: %1").arg(arg));
      }
      if (!result.open.isEmpty()) {
        return usage_error(result, QStringLiteral("лишний параметр: %1").arg(arg));
      }
      result.open = arg;
      continue;
    }
    return usage_error(result, QStringLiteral("неизвестный параметр: %1").arg(arg));
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Help

constexpr char kUsagePrefix[] = "Использование: vkt-rs7 ";
constexpr char kExitCodes[] = "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n";
constexpr HelpRow kHelpOption = {"-h, --help", "показать эту справку"};

constexpr int kProgramHelpColumn = 14;
constexpr HelpRow kWindowHelp[] = {
    {"--port ПУТЬ",
     "последовательный порт, на котором искать прибор; можно указать несколько раз,\n"
     "порты опрашиваются по порядку (по умолчанию первый и второй порт)"},
    {"--demo", "имитатор прибора с 25 измерениями первым в списке портов"},
    {"ФАЙЛ.db", "открыть этот файл измерений в окне"},
    {"--version", "показать версию программы и выйти"},
    {"-h, --help", "показать эту справку и выйти"},
};

QString help_rows(std::span<const HelpRow> rows, int column) {
  const QString indent = QLatin1Char('\n') + QString(column + 2, QLatin1Char(' '));
  QString text;
  for (const HelpRow& row : rows) {
    text += QStringLiteral("  ") + utf8(row.spelling).leftJustified(column) +
            utf8(row.text).replace(QLatin1Char('\n'), indent) + QLatin1Char('\n');
  }
  return text;
}

QString subcommand_help(const Subcommand& sub) {
  return utf8(kUsagePrefix) + utf8(sub.synopsis) + QStringLiteral("\n\n") + utf8(sub.about) +
         QStringLiteral("\nПараметры:\n") + help_rows(sub.help_rows, sub.help_column) +
         help_rows({&kHelpOption, 1}, sub.help_column) + QLatin1Char('\n') + utf8(kExitCodes);
}

QString program_help() {
  QString commands;
  for (const Subcommand& sub : kSubcommands) {
    const HelpRow row = {sub.name, sub.summary};
    commands += help_rows({&row, 1}, kProgramHelpColumn);
  }
  return utf8(kUsagePrefix) +
         QStringLiteral(
             "[--port ПУТЬ]... [--demo] [ФАЙЛ.db]\n"
             "       vkt-rs7 КОМАНДА [ПАРАМЕТРЫ]\n"
             "\n"
             "ВКТ - РС7: приём измерений из памяти прибора ВКТ-РС7, хранение их в файлах измерений (.db),\n"
             "просмотр, печать и экспорт в Excel. Без команды открывается главное окно.\n"
             "\n"
             "Параметры окна:\n") +
         help_rows(kWindowHelp, kProgramHelpColumn) +
         QStringLiteral("\nКоманды (без окна; vkt-rs7 КОМАНДА --help - подробнее):\n") + commands +
         QLatin1Char('\n') + utf8(kExitCodes);
}

}  // namespace

CommandLine parse_command_line(const QStringList& arguments) {
  CommandLine result;
  if (arguments.size() >= 2) {
    const QString& first = arguments[1];
    if (const Subcommand* sub = find_subcommand(first)) {
      result.subcommand = first;
      result.action = sub->action;
      return parse_subcommand(arguments, *sub, result);
    }
    if (first == QLatin1String("help")) {
      result.action = CommandLine::Action::ShowHelp;
      if (arguments.size() >= 3 && find_subcommand(arguments[2])) {
        result.subcommand = arguments[2];
      }
      return result;
    }
  }
  return parse_window_options(arguments, result);
}

QString usage_text(const QString& subcommand) {
  const Subcommand* sub = find_subcommand(subcommand);
  if (sub == nullptr) {
    return program_help();
  }
  const QString text = subcommand_help(*sub);
  // The simulator's help lists the faults it knows.
  return sub->bit == kSimulate ? text.arg(fault_list()) : text;
}

QString version_line() {
  return QStringLiteral("vkt-rs7 %1\n").arg(QStringLiteral(VKT_VERSION));
}

}  // namespace vkt
