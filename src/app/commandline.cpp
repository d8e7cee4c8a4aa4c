#include "app/commandline.h"

#ifndef VKT_VERSION
#define VKT_VERSION "0.0.0.0"
#endif

namespace vkt {

CommandLine parse_command_line(const QStringList& arguments) {
  CommandLine result;
  auto fail = [&result](const QString& text) {
    result.action = CommandLine::Action::UsageError;
    result.error = text;
    return result;
  };
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      result.action = CommandLine::Action::ShowHelp;
      return result;
    }
    if (arg == QLatin1String("--version")) {
      result.action = CommandLine::Action::ShowVersion;
      return result;
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
    return fail(QStringLiteral("неизвестный параметр: %1").arg(arg));
  }
  return result;
}

QString usage_text() {
  return QStringLiteral(
      "Использование: vkt-rs7 [--port ПУТЬ]...\n"
      "\n"
      "ВКТ - РС7: приём измерений из памяти прибора ВКТ-РС7, хранение их в файлах измерений (.db),\n"
      "просмотр, печать и экспорт в Excel.\n"
      "\n"
      "Параметры:\n"
      "  --port ПУТЬ   последовательный порт, на котором искать прибор; можно указать несколько раз,\n"
      "                порты опрашиваются по порядку (по умолчанию первый и второй порт)\n"
      "  --version     показать версию программы и выйти\n"
      "  -h, --help    показать эту справку и выйти\n");
}

QString version_line() {
  return QStringLiteral("vkt-rs7 %1\n").arg(QStringLiteral(VKT_VERSION));
}

}  // namespace vkt
