// export --waveforms: the samples of the device A rows that have waveforms, as CSV.

#include <filesystem>
#include <vector>

#include "app/subcommands.h"
#include "output/export/tableexport.h"
#include "output/export/waveformcsv.h"
#include "output/xls/outputfile.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementfile.h"

namespace vkt {

int run_waveform_export(const CommandLine& command) {
  measurement::MeasurementDocument document;
  try {
    const auto opened =
        document.open(std::filesystem::path(command.file.toStdU16String()), measurement::Access::ReadOnly);
    if (!opened.waveform_problem.empty()) {
      print_error(QString::fromStdString(opened.waveform_problem));
    }
    document.set_filter("NB_TYPE=0");
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return kExitFailure;
  }
  const auto n = document.find_field("N");
  std::vector<output::WaveformPoint> points;
  std::size_t without = 0;
  for (const std::uint32_t recno : document.rows()) {
    const waveform::MeasurementWaveforms* found = document.waveforms(recno);
    if (found == nullptr) {
      ++without;
      continue;
    }
    points.push_back({n ? document.number(recno, *n).value_or(0) : 0, found});
  }
  if (points.empty()) {
    print_error(QStringLiteral("В файле %1 нет строк ВКТ-РС7 с кривыми: файл %2 не записан.")
                    .arg(command.file, command.output));
    return kExitFailure;
  }
  try {
    const output::WaveformCsv csv =
        output::waveform_csv_text(points, export_request(command, document.device_code()).csv);
    xls::OutputFile file(command.output.toStdString());
    file.write_at(0, reinterpret_cast<const std::uint8_t*>(csv.text.data()), csv.text.size());
    file.commit();
    if (without > 0 || csv.unscaled_drops > 0) {
      print_error(
          QStringLiteral("Записаны кривые %1 строк; без кривых строк: %2; не масштабируемых измерений "
                         "(нет пика перемещения или силы): %3.")
              .arg(points.size())
              .arg(without)
              .arg(csv.unscaled_drops));
    }
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(output::export_failure_text(e)));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vkt
