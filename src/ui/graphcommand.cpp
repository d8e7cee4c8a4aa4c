#include "ui/graphcommand.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "core/programstate.h"
#include "store/measurement/measurementwaveforms.h"
#include "ui/dialogs.h"
#include "ui/graphcurves.h"
#include "ui/graphwindow.h"
#include "ui/measurementchoice.h"

namespace vkt {

namespace {

const QString kGraphCaption = QStringLiteral("График");

QString comparable_path(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool same_file(const QString& a, const std::string& b) {
  if (a.isEmpty() || b.empty()) {
    return false;
  }
#ifdef Q_OS_WIN
  constexpr Qt::CaseSensitivity kCase = Qt::CaseInsensitive;
#else
  constexpr Qt::CaseSensitivity kCase = Qt::CaseSensitive;
#endif
  return comparable_path(a).compare(comparable_path(QString::fromStdString(b)), kCase) == 0;
}

QString fault_text(CurveFault fault, int row_number, int drop) {
  switch (fault) {
    case CurveFault::RowOutsideStore:
      return QStringLiteral("Для строки №%1 нет записанных кривых: номер должен быть от 1 до 500")
          .arg(row_number);
    case CurveFault::NoDisplacementPeak:
      return QStringLiteral("В измерении №%1 нет пика перемещения: график не построен").arg(drop);
    case CurveFault::NoForceMaximum:
      return QStringLiteral("В измерении №%1 сила удара равна нулю: график не построен").arg(drop);
    case CurveFault::None:
      break;
  }
  return QString();
}

}  // namespace

int graph_row_number(double n) {
  if (!std::isfinite(n) || std::abs(n) > 1e9) {
    return 0;
  }
  return static_cast<int>(std::nearbyint(n));
}

GraphRowCheck check_graph_row(const ProgramState& state, const GraphRow& row) {
  if (state.rec_count == 0 || row.tab != GraphRow::Tab::DeviceA || row.file.isEmpty()) {
    return GraphRowCheck::NeedsDownload;
  }
  const int number = graph_row_number(row.n);
  if (number < kFirstRowNumber || number > kLastRowNumber) {
    return GraphRowCheck::RowOutsideStore;
  }
  const auto index = static_cast<std::size_t>(number - 1);
  if (index >= state.waveform_owners.size() || !state.waveform_owners[index]) {
    return GraphRowCheck::NeedsDownload;
  }
  const WaveformOwner& owner = *state.waveform_owners[index];
  const bool same_row = owner.row_number == number && owner.date == row.date.toStdString() &&
                        owner.time == row.time.toStdString() && same_file(row.file, owner.file);
  return same_row ? GraphRowCheck::Ready : GraphRowCheck::NeedsDownload;
}

GraphCommand::GraphCommand(ProgramState& state, Dialogs& dialogs, QWidget* parent)
    : state_(state),
      dialogs_(dialogs),
      parent_(parent),
      choice_(new MeasurementChoiceWindow(parent)),
      graph_(new GraphWindow(dialogs, parent)) {}

GraphCommand::~GraphCommand() {
  // With a parent the windows go with it; without one they are ours.
  if (parent_ == nullptr) {
    delete graph_;
    delete choice_;
  }
}

void GraphCommand::run(const GraphRow& row) {
  if (row.tab == GraphRow::Tab::DeviceA && row.kept != nullptr) {
    if (choice_->exec() == QDialog::Accepted) {
      show_kept_drop(*row.kept, choice_->drop());
    }
    return;
  }
  if (row.tab == GraphRow::Tab::DeviceA && row.kept_damaged) {
    dialogs_.message(parent_, kGraphCaption,
                     QStringLiteral("Кривые этого измерения в файле кривых испорчены: график не построен"),
                     Dialogs::Icon::Warning, {Dialogs::Button::Ok});
    return;
  }
  switch (check_graph_row(state_, row)) {
    case GraphRowCheck::NeedsDownload:
      dialogs_.information(parent_, QStringLiteral("Дополнение"),
                           QStringLiteral("Необходимо подключение прибора к ПК"));
      return;
    case GraphRowCheck::RowOutsideStore:
      dialogs_.message(parent_, kGraphCaption,
                       fault_text(CurveFault::RowOutsideStore, graph_row_number(row.n), 0),
                       Dialogs::Icon::Warning, {Dialogs::Button::Ok});
      return;
    case GraphRowCheck::Ready:
      break;
  }
  if (choice_->exec() != QDialog::Accepted) {
    return;
  }
  show_drop(row, graph_row_number(row.n), choice_->drop());
}

void GraphCommand::show_drop(const GraphRow& row, int row_number, int drop) {
  const auto k = static_cast<std::size_t>(drop - 1);
  const CurveBuild built =
      build_drop_curves(state_.waveforms, row_number, drop, row.displacement.at(k), row.force.at(k));
  if (built.fault != CurveFault::None) {
    dialogs_.message(parent_, kGraphCaption, fault_text(built.fault, row_number, drop),
                     Dialogs::Icon::Warning, {Dialogs::Button::Ok});
    return;
  }
  show_curves(built.curves);
}

void GraphCommand::show_kept_drop(const waveform::MeasurementWaveforms& kept, int drop) {
  const std::optional<measurement::ScaledDrop> scaled = measurement::scaled_drop(kept, drop);
  if (!scaled) {
    dialogs_.message(parent_, kGraphCaption,
                     QStringLiteral("В измерении №%1 нет пика перемещения или сила удара равна нулю: "
                                    "график не построен")
                         .arg(drop),
                     Dialogs::Icon::Warning, {Dialogs::Button::Ok});
    return;
  }
  DropCurves curves;
  for (std::size_t k = 0; k < scaled->force_n.size(); ++k) {
    const double time = double(k) * kSampleSpacingUs;
    curves.force.push_back({time, scaled->force_n[k]});
    curves.displacement.push_back({time, scaled->displacement_um[k]});
  }
  show_curves(curves);
}

void GraphCommand::show_curves(const DropCurves& curves) {
  graph_->set_curves(curves);
  graph_->exec();
}

}  // namespace vkt
