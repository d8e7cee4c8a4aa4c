// download: the instrument's memory into a measurement file, without a window.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <optional>

#include "app/subcommands.h"
#include "app/terminal.h"
#include "core/programstate.h"
#include "image/tableimport.h"
#include "link/downloadcontroller.h"
#include "link/serialportdriver.h"
#include "store/appsettings.h"
#include "store/measurement/measurementdocument.h"

namespace vkt {

namespace {

std::filesystem::path to_path(const QString& path) {
  return std::filesystem::path(path.toStdU16String());
}

// Shows the exchange on stderr: texts as lines, the data answer as a bar redrawn in place on a
// terminal, or as a line at every tenth of the way otherwise.
class ProgressReport {
 public:
  explicit ProgressReport(bool terminal) : terminal_(terminal) {}

  void show(const link::Effect& e) {
    using Kind = link::Effect::Kind;
    switch (e.kind) {
      case Kind::TryingPort:
        line(QStringLiteral("Поиск прибора: порт ") + QString::fromStdString(e.text));
        break;
      case Kind::Status:
        line(QString::fromStdString(e.text));
        break;
      case Kind::DeviceType:
        if (e.text.empty()) {
          break;  // the information lines are emptied as the exchange starts
        }
        line(QStringLiteral("Тип прибора: ") + QString::fromStdString(e.text));
        break;
      case Kind::Version:
        if (e.text.empty()) {
          break;
        }
        line(QStringLiteral("Версия ПО: ") + QString::fromStdString(e.text));
        break;
      case Kind::RecordCount:
        if (e.text.empty()) {
          break;
        }
        line(QStringLiteral("Количество записей:") + QString::fromStdString(e.text));
        break;
      case Kind::ProgressMaximum:
        maximum_ = e.value;
        clock_.start();
        last_tenth_ = -1;
        break;
      case Kind::ProgressPosition:
        progress(e.value);
        break;
      case Kind::ErrorBox:
        error_ = QString::fromStdString(e.text);
        break;
      default:
        break;
    }
  }

  // The exchange's own error text, when it ended with one.
  const QString& error() const { return error_; }

  void end_bar() {
    if (bar_shown_) {
      print_to(stderr, QStringLiteral("\n"));
      bar_shown_ = false;
    }
  }

 private:
  void line(const QString& text) {
    end_bar();
    print_to(stderr, text + QLatin1Char('\n'));
  }

  void progress(std::uint32_t position) {
    if (maximum_ == 0 || !clock_.isValid()) {
      return;
    }
    const std::uint32_t shown = std::min(position, maximum_);
    const double fraction = double(shown) / double(maximum_);
    const QString figures = link::progress_text(shown, maximum_, clock_.elapsed());
    if (terminal_) {
      const int columns = terminal::stderr_columns();
      // A bar of steady width beside figures of up to about 70 characters.
      const int width = std::max(10, std::min(30, columns - 74));
      const int filled = int(fraction * width);
      const QString bar = QStringLiteral("[") + QString(filled, QLatin1Char('#')) +
                          QString(width - filled, QLatin1Char('.')) + QStringLiteral("] ");
      print_to(stderr, QStringLiteral("\r") + bar + figures + QStringLiteral("\x1b[K"));
      bar_shown_ = true;
      return;
    }
    const int tenth = int(fraction * 10.0);
    if (tenth != last_tenth_) {
      last_tenth_ = tenth;
      print_to(stderr, figures + QLatin1Char('\n'));
    }
  }

  bool terminal_;
  bool bar_shown_ = false;
  std::uint32_t maximum_ = 0;
  QElapsedTimer clock_;
  int last_tenth_ = -1;
  QString error_;
};

enum class Outcome { Ok, Failed, Cancelled };

// Runs the exchange on the caller's event loop until it is over.
Outcome fetch_memory(ProgramState& state, const QStringList& ports) {
  link::DownloadController controller(state, ports);
  // Named ports too are tried one by one: a missing one is left at once, and when none gives
  // the instrument the message says why for each.
  controller.set_search(true);
  ProgressReport report(terminal::stderr_is_terminal());
  QEventLoop loop;
  link::Result result = link::Result::Cancel;
  bool cancelled = false;
  controller.OnShow = [&report](const link::Effect& e) { report.show(e); };
  controller.OnFinished = [&](link::Result r) {
    result = r;
    loop.quit();
  };
  QTimer watch;
  watch.setInterval(100);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (terminal::interrupted() && !cancelled) {
      cancelled = true;
      controller.Cancel();  // "Отмена": the port is closed
    }
  });
  terminal::catch_interrupts();
  watch.start();
  QTimer::singleShot(0, &controller, [&controller] { controller.Start(); });
  loop.exec();
  watch.stop();
  controller.Close();
  report.end_bar();
  if (cancelled) {
    print_error(QStringLiteral("Отмена: приём прерван, файл не изменён."));
    return Outcome::Cancelled;
  }
  if (result != link::Result::Ok) {
    print_error(report.error().isEmpty() ? QStringLiteral("Приём не состоялся.") : report.error());
    return Outcome::Failed;
  }
  return Outcome::Ok;
}

std::string decimal_separator() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? std::string(".") : QString(point.front()).toStdString();
}

void print_counts(const image::ImportResult& imported) {
  print_to(
      stdout,
      QStringLiteral("Добавлено строк: %1, пропущено: %2\n").arg(imported.appended).arg(imported.skipped));
}

int create_file(const CommandLine& command) {
  const std::filesystem::path target = to_path(QFileInfo(command.file).absoluteFilePath());
  if (std::filesystem::exists(target) && !command.force) {
    print_error(
        QStringLiteral("Файл %1 уже существует; чтобы заменить его, укажите --force.").arg(command.file));
    return kExitFailure;
  }
  // Whether the file can be written at all is known before the instrument is asked; a file in
  // use by another program is not replaced, and one that is not stays locked while the download runs.
  measurement::MeasurementDocument document;
  try {
    document.reserve(target);
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::failure_text(e)));
    return kExitFailure;
  }

  ProgramState state;
  if (fetch_memory(state, download_ports(command.ports)) != Outcome::Ok) {
    return kExitFailure;
  }

  image::ImportResult imported;
  std::string waveform_problem;
  try {
    imported = document.create(state, decimal_separator());
    waveform_problem = document.waveform_problem();
    document.close();
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::failure_text(e)));
    return kExitFailure;
  }
  print_counts(imported);
  if (!waveform_problem.empty()) {
    print_error(QString::fromStdString(waveform_problem));
  }
  return kExitOk;
}

int append_to_file(const CommandLine& command) {
  const std::filesystem::path target = to_path(QFileInfo(command.file).absoluteFilePath());
  // Opened first, as "Дополнить" does: a file that cannot be used stops it before the download,
  // and no other program takes the file while the download runs. Rows the readers would call
  // damaged stop it too: rows added to such a file could never be read.
  measurement::MeasurementDocument document;
  try {
    document.open(target);
    document.check_appendable();
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return kExitFailure;
  }
  try {
    measurement::check_replaceable(target);
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::failure_text(e)));
    return kExitFailure;
  }

  ProgramState state;
  if (fetch_memory(state, download_ports(command.ports)) != Outcome::Ok) {
    return kExitFailure;
  }

  // The file keeps its old rows, whole, should the append fail or the program be stopped.
  image::ImportResult imported;
  std::string waveform_problem;
  try {
    imported = document.append(state, decimal_separator());
    waveform_problem = document.waveform_problem();
    document.close();
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::failure_text(e)));
    return kExitFailure;
  }
  print_counts(imported);
  if (!waveform_problem.empty()) {
    print_error(QString::fromStdString(waveform_problem));
  }
  return kExitOk;
}

}  // namespace

QStringList download_ports(const QStringList& given) {
  if (!given.isEmpty()) {
    return given;
  }
  const QStringList configured = AppSettings().ports();
  return configured.isEmpty() ? QStringList{QString::fromLatin1(link::kAutomaticPort)} : configured;
}

int run_download(const CommandLine& command) {
  return command.append ? append_to_file(command) : create_file(command);
}

}  // namespace vkt
