#include "app/commandline.h"

#include <QFileInfo>
#include <string>

#include "sim/instrument.h"

#ifndef VKT_VERSION
#define VKT_VERSION "0.0.0.0"
#endif

namespace vkt {

namespace {

// The most device A records one download can carry.
constexpr std::uint32_t kMaxSimulatedRecords = 438;

QString fault_list() {
  QStringList names;
  for (std::string_view name : sim::fault_names()) {
    names << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  }
  return names.join(QStringLiteral(", "));
}

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

CommandLine parse_subcommand(const QStringList& arguments, qsizetype from, CommandLine result) {
  QString error;
  auto fail = [&result](const QString& text) {
    result.action = CommandLine::Action::UsageError;
    result.error = text;
    return result;
  };
  QStringList positional;
  const QString& sub = result.subcommand;
  const bool download = sub == QLatin1String("download");
  const bool table_reader =
      sub == QLatin1String("export") || sub == QLatin1String("dump") || sub == QLatin1String("report");
  const bool dump = sub == QLatin1String("dump");
  const bool export_command = sub == QLatin1String("export");
  const bool simulate = sub == QLatin1String("simulate");

  ArgumentWalker walk(arguments, from);
  while (!walk.done()) {
    const QString arg = walk.current();
    if (is_help(arg)) {
      result.action = CommandLine::Action::ShowHelp;
      return result;
    }
    if (arg == QLatin1String("--")) {
      walk.skip();
      while (!walk.done()) {
        positional << walk.current();
        walk.skip();
      }
      break;
    }
    if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
      positional << arg;
      walk.skip();
      continue;
    }
    if (download) {
      if (arg == QLatin1String("--append")) {
        result.append = true;
        walk.skip();
        continue;
      }
      if (arg == QLatin1String("--force")) {
        result.force = true;
        walk.skip();
        continue;
      }
      if (auto v = walk.value_of(QStringLiteral("--port"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        result.ports << *v;
        continue;
      }
    }
    if (table_reader) {
      if (auto v = walk.value_of(QStringLiteral("--kind"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        result.kind = parse_kind(*v);
        if (!result.kind) {
          return fail(QStringLiteral("--kind: ожидается A или B, а не «%1»").arg(*v));
        }
        continue;
      }
    }
    if (dump) {
      if (auto v = walk.value_of(QStringLiteral("--sort"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        QString field = *v;
        if (field.endsWith(QLatin1String(":desc"), Qt::CaseInsensitive)) {
          result.sort_descending = true;
          field.chop(5);
        } else if (field.endsWith(QLatin1String(":asc"), Qt::CaseInsensitive)) {
          field.chop(4);
        }
        if (field.isEmpty()) {
          return fail(QStringLiteral("--sort: не указано поле"));
        }
        result.sort_field = field.toUpper();
        continue;
      }
      if (auto v = walk.value_of(QStringLiteral("--format"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        if (*v == QLatin1String("csv")) {
          result.format = CommandLine::DumpFormat::Csv;
        } else if (*v == QLatin1String("json")) {
          result.format = CommandLine::DumpFormat::Json;
        } else {
          return fail(QStringLiteral("--format: ожидается csv или json, а не «%1»").arg(*v));
        }
        continue;
      }
    }
    if (export_command) {
      if (auto v = walk.value_of(QStringLiteral("--format"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        const QString name = v->toLower();
        if (name != QLatin1String("xls") && name != QLatin1String("xlsx") && name != QLatin1String("csv")) {
          return fail(QStringLiteral("--format: ожидается xls, xlsx или csv, а не «%1»").arg(*v));
        }
        result.export_format = name;
        continue;
      }
      std::optional<QString> separator = walk.value_of(QStringLiteral("--separator"), error);
      std::optional<QString> decimal =
          separator ? std::nullopt : walk.value_of(QStringLiteral("--decimal"), error);
      if (separator || decimal) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        const QString option = separator ? QStringLiteral("--separator") : QStringLiteral("--decimal");
        const QString given = separator ? *separator : *decimal;
        const QString one = given == QLatin1String("tab") ? QStringLiteral("\t") : given;
        if (!csv_mark(one)) {
          return fail(QStringLiteral("%1: ожидается один знак, а не «%2»").arg(option, given));
        }
        (separator ? result.csv_separator : result.csv_decimal) = one;
        continue;
      }
    }
    if (simulate) {
      if (arg == QLatin1String("--throttle")) {
        result.throttle = true;
        walk.skip();
        continue;
      }
      if (arg == QLatin1String("--once")) {
        result.once = true;
        walk.skip();
        continue;
      }
      if (auto v = walk.value_of(QStringLiteral("--records"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        const auto n = parse_number(*v, kMaxSimulatedRecords);
        if (!n) {
          return fail(QStringLiteral("--records: ожидается число от 0 до %1").arg(kMaxSimulatedRecords));
        }
        result.records = *n;
        continue;
      }
      if (auto v = walk.value_of(QStringLiteral("--seed"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        const auto n = parse_number(*v, UINT32_MAX);
        if (!n) {
          return fail(QStringLiteral("--seed: ожидается целое число от 0 до %1").arg(UINT32_MAX));
        }
        result.seed = *n;
        continue;
      }
      if (auto v = walk.value_of(QStringLiteral("--fault"), error)) {
        if (!error.isEmpty()) {
          return fail(error);
        }
        if (!sim::fault_from_name(v->toStdString())) {
          return fail(
              QStringLiteral("--fault: неизвестная неисправность «%1»; возможны: %2").arg(*v, fault_list()));
        }
        result.fault = *v;
        continue;
      }
    }
    return fail(QStringLiteral("%1: неизвестный параметр: %2").arg(sub, arg));
  }

  const bool report = sub == QLatin1String("report");
  const qsizetype wanted = simulate ? 0 : (sub == QLatin1String("export") || report ? 2 : 1);
  if (positional.size() < wanted) {
    const QString second = report ? QStringLiteral("файл PDF") : QStringLiteral("файл Excel");
    return fail(QStringLiteral("%1: не указан %2")
                    .arg(sub, positional.isEmpty() ? QStringLiteral("файл измерений") : second));
  }
  if (positional.size() > wanted) {
    return fail(QStringLiteral("%1: лишний параметр: %2").arg(sub, positional[wanted]));
  }
  if (wanted >= 1) {
    result.file = positional[0];
  }
  if (wanted == 2) {
    result.output = positional[1];
  }
  if (download && result.append && result.force) {
    return fail(QStringLiteral("download: --force не имеет смысла вместе с --append"));
  }
  return result;
}

}  // namespace

CommandLine parse_command_line(const QStringList& arguments) {
  CommandLine result;
  if (arguments.size() >= 2) {
    const QString& first = arguments[1];
    static const QStringList subcommands = {QStringLiteral("download"), QStringLiteral("export"),
                                            QStringLiteral("dump"), QStringLiteral("simulate"),
                                            QStringLiteral("report")};
    if (subcommands.contains(first)) {
      result.subcommand = first;
      if (first == QLatin1String("download")) {
        result.action = CommandLine::Action::Download;
      } else if (first == QLatin1String("export")) {
        result.action = CommandLine::Action::Export;
      } else if (first == QLatin1String("dump")) {
        result.action = CommandLine::Action::Dump;
      } else if (first == QLatin1String("report")) {
        result.action = CommandLine::Action::Report;
      } else {
        result.action = CommandLine::Action::Simulate;
      }
      return parse_subcommand(arguments, 2, result);
    }
    if (first == QLatin1String("help")) {
      result.action = CommandLine::Action::ShowHelp;
      if (arguments.size() >= 3 && subcommands.contains(arguments[2])) {
        result.subcommand = arguments[2];
      }
      return result;
    }
  }

  auto fail = [&result](const QString& text) {
    result.action = CommandLine::Action::UsageError;
    result.error = text;
    return result;
  };
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
        return fail(QStringLiteral("--port: не указан порт"));
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
        return fail(QStringLiteral("неизвестная команда: %1").arg(arg));
      }
      if (!result.open.isEmpty()) {
        return fail(QStringLiteral("лишний параметр: %1").arg(arg));
      }
      result.open = arg;
      continue;
    }
    return fail(QStringLiteral("неизвестный параметр: %1").arg(arg));
  }
  return result;
}

QString usage_text(const QString& subcommand) {
  if (subcommand == QLatin1String("download")) {
    return QStringLiteral(
        "Использование: vkt-rs7 download [--append] [--port ПУТЬ]... [--force] ФАЙЛ.db\n"
        "\n"
        "Принимает память прибора ВКТ-РС7 и записывает измерения в файл измерений, как команды\n"
        "«Создать» и «Дополнить» главного окна. Ход приёма выводится в поток ошибок.\n"
        "Файл создаётся или меняется только после успешного приёма; Ctrl+C прерывает приём\n"
        "(«Отмена»), и файл остаётся прежним.\n"
        "\n"
        "Параметры:\n"
        "  --append      дописать в существующий файл только новые измерения\n"
        "  --port ПУТЬ   последовательный порт; можно указать несколько раз (по умолчанию порты из\n"
        "                настроек, иначе первый и второй порт)\n"
        "  --force       заменить существующий файл новым\n"
        "  -h, --help    показать эту справку\n"
        "\n"
        "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n");
  }
  if (subcommand == QLatin1String("export")) {
    return QStringLiteral(
        "Использование: vkt-rs7 export [--kind A|B] [--format xls|xlsx|csv] [--separator ЗНАК]\n"
        "                      [--decimal ЗНАК] ФАЙЛ.db ВЫХОД.xls|ВЫХОД.xlsx|ВЫХОД.csv\n"
        "\n"
        "Экспортирует строки одного вида прибора в книгу Excel (лист из 19 столбцов с заголовком)\n"
        "или в текст CSV, в порядке их хранения в файле. Существующий выходной файл заменяется.\n"
        "\n"
        "Параметры:\n"
        "  --kind A|B            A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию B, если в файле есть его строки,\n"
        "                        иначе A)\n"
        "  --format xls|xlsx|csv формат (по умолчанию по расширению выходного файла, иначе xls)\n"
        "  --separator ЗНАК      разделитель полей CSV (tab - табуляция); по умолчанию «;», если\n"
        "                        десятичный знак - запятая, иначе «,»\n"
        "  --decimal ЗНАК        десятичный знак чисел в CSV (по умолчанию как в языковых настройках)\n"
        "  -h, --help            показать эту справку\n"
        "\n"
        "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n");
  }
  if (subcommand == QLatin1String("report")) {
    return QStringLiteral(
        "Использование: vkt-rs7 report [--kind A|B] ФАЙЛ.db ВЫХОД.pdf\n"
        "\n"
        "Записывает отчёт о строках одного вида прибора в файл PDF: те же страницы, что печатает\n"
        "«Файл → Печать». Существующий файл PDF заменяется.\n"
        "\n"
        "Параметры:\n"
        "  --kind A|B    A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию A, если в файле есть его строки, иначе B)\n"
        "  -h, --help    показать эту справку\n"
        "\n"
        "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n");
  }
  if (subcommand == QLatin1String("dump")) {
    return QStringLiteral(
        "Использование: vkt-rs7 dump [--kind A|B] [--sort ПОЛЕ[:desc]] [--format csv|json] ФАЙЛ.db\n"
        "\n"
        "Выводит строки одного вида прибора: CSV с заголовками видимых столбцов таблицы или JSON\n"
        "с именами полей и типизированными значениями (пустые поля как null).\n"
        "\n"
        "Параметры:\n"
        "  --kind A|B            A: ВКТ-РС7, B: ЗРН2-РС7 (по умолчанию как в главном окне)\n"
        "  --sort ПОЛЕ[:desc]    упорядочить по полю (по убыванию с :desc), как сортировка таблицы\n"
        "  --format csv|json     формат вывода (по умолчанию csv)\n"
        "  -h, --help            показать эту справку\n"
        "\n"
        "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n");
  }
  if (subcommand == QLatin1String("simulate")) {
    return QStringLiteral(
               "Использование: vkt-rs7 simulate [--records N] [--seed S] [--throttle] [--fault ИМЯ] "
               "[--once]\n"
               "\n"
               "Имитирует прибор ВКТ-РС7 на псевдотерминале: первая строка вывода - путь к нему,\n"
               "его можно указать как --port. Работает до завершения (Ctrl+C).\n"
               "\n"
               "Параметры:\n"
               "  --records N    измерений в памяти, от 0 до 438 (по умолчанию 25)\n"
               "  --seed S       начальное число: одно и то же даёт одни и те же измерения (1)\n"
               "  --throttle     передавать не быстрее линии прибора (57600 бит/с)\n"
               "  --fault ИМЯ    неисправность: %1\n"
               "  --once         завершиться, когда данные переданы\n"
               "  -h, --help     показать эту справку\n"
               "\n"
               "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n")
        .arg(fault_list());
  }
  return QStringLiteral(
      "Использование: vkt-rs7 [--port ПУТЬ]... [--demo] [ФАЙЛ.db]\n"
      "       vkt-rs7 КОМАНДА [ПАРАМЕТРЫ]\n"
      "\n"
      "ВКТ - РС7: приём измерений из памяти прибора ВКТ-РС7, хранение их в файлах измерений (.db),\n"
      "просмотр, печать и экспорт в Excel. Без команды открывается главное окно.\n"
      "\n"
      "Параметры окна:\n"
      "  --port ПУТЬ   последовательный порт, на котором искать прибор; можно указать несколько раз,\n"
      "                порты опрашиваются по порядку (по умолчанию первый и второй порт)\n"
      "  --demo        имитатор прибора с 25 измерениями первым в списке портов\n"
      "  ФАЙЛ.db       открыть этот файл измерений в окне\n"
      "  --version     показать версию программы и выйти\n"
      "  -h, --help    показать эту справку и выйти\n"
      "\n"
      "Команды (без окна; vkt-rs7 КОМАНДА --help - подробнее):\n"
      "  download      принять память прибора в файл измерений\n"
      "  export        экспортировать файл измерений в книгу Excel (.xls, .xlsx) или CSV\n"
      "  dump          вывести строки файла измерений в CSV или JSON\n"
      "  report        записать отчёт о файле измерений в PDF\n"
      "  simulate      имитировать прибор на псевдотерминале\n"
      "\n"
      "Коды завершения: 0 успех, 1 ошибка, 2 неверный вызов.\n");
}

QString version_line() {
  return QStringLiteral("vkt-rs7 %1\n").arg(QStringLiteral(VKT_VERSION));
}

}  // namespace vkt
