// protocol: the test protocol of a measurement file's device A rows, as PDF.

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/subcommands.h"
#include "output/protocol/protocoldata.h"
#include "output/protocol/protocolpdf.h"
#include "store/dbf/filereplacement.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementfile.h"

namespace vkt {

namespace {

bool asked_for(const CommandLine& command, std::optional<double> number) {
  if (command.rows.empty()) {
    return true;
  }
  // Only a whole number from 1 can be in the list.
  if (!number || *number < 1 || *number > static_cast<double>(UINT32_MAX) || std::floor(*number) != *number) {
    return false;
  }
  const auto n = static_cast<std::uint32_t>(*number);
  return std::any_of(command.rows.begin(), command.rows.end(),
                     [n](const auto& range) { return n >= range.first && n <= range.second; });
}

// The entries of the list that name no row (a number no row carries, a range without any row),
// as "7, 9-12".
QString missing_numbers(const CommandLine& command, const std::vector<std::uint32_t>& found) {
  QStringList missing;
  for (const auto& range : command.rows) {
    const std::uint32_t first = range.first;
    const std::uint32_t last = range.second;
    const bool any = std::any_of(found.begin(), found.end(),
                                 [first, last](std::uint32_t n) { return n >= first && n <= last; });
    if (!any) {
      missing << (first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last));
    }
  }
  return missing.join(QStringLiteral(", "));
}

}  // namespace

int run_protocol(const CommandLine& command) {
  const std::filesystem::path db_file(command.file.toStdU16String());
  if (dbf::same_file(db_file, std::filesystem::path(command.output.toStdU16String()))) {
    print_error(
        QStringLiteral("Файл \"%1\" — это сам файл измерений: он не будет перезаписан").arg(command.output));
    return kExitFailure;
  }
  measurement::MeasurementDocument document;
  std::vector<std::uint32_t> recnos;
  std::vector<std::uint32_t> found;
  try {
    const auto opened = document.open(db_file, measurement::Access::ReadOnly);
    if (!opened.waveform_problem.empty()) {
      print_error(QString::fromStdString(opened.waveform_problem));
    }
    document.set_filter("NB_TYPE=0");
    const auto n = document.find_field("N");
    for (const std::uint32_t recno : document.rows()) {
      const std::optional<double> number = n ? document.number(recno, *n) : std::nullopt;
      if (asked_for(command, number)) {
        recnos.push_back(recno);
        if (!command.rows.empty()) {  // then the row has a whole number N from 1
          found.push_back(static_cast<std::uint32_t>(*number));
        }
      }
    }
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return kExitFailure;
  }
  const QString name = QFileInfo(command.file).fileName();
  if (document.rows().empty()) {
    print_error(QStringLiteral("В файле %1 нет измерений ВКТ-РС7: протокол испытания составляется только по "
                               "ним. Файл %2 не записан.")
                    .arg(name, command.output));
    return kExitFailure;
  }
  if (const QString missing = missing_numbers(command, found); !missing.isEmpty()) {
    print_error(QStringLiteral("В файле %1 нет строк ВКТ-РС7 с номерами N: %2. Файл %3 не записан.")
                    .arg(name, missing, command.output));
    return kExitFailure;
  }
  // What the engineer stated about the object, kept beside the file; a required modulus on the
  // command line stands for this protocol only.
  measurement::ObjectParameters parameters = document.object_parameters();
  if (command.required_modulus) {
    parameters.required_modulus = command.required_modulus;
  }
  const protocol::Protocol pages = protocol::read_protocol(document, recnos, parameters);
  QString error;
  if (!protocol::write_pdf(pages, command.output, &error)) {
    print_error(error);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vkt
