#include "ui/measurementmodel.h"

#include <QColor>
#include <cmath>

#include "core/numbertext.h"
#include "store/measurement/measurementdocument.h"

namespace vkt {

namespace {

QString from_utf8(std::string_view s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

Qt::Alignment MeasurementModel::alignment_of(ColumnAlignment a) {
  switch (a) {
    case ColumnAlignment::Left:
      return Qt::AlignLeft | Qt::AlignVCenter;
    case ColumnAlignment::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlignment::Center:
      break;
  }
  return Qt::AlignCenter;
}

MeasurementModel::MeasurementModel(DeviceKind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind), columns_(window_columns(kind)) {
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (columns_[c].field == "P") {
      p_column_ = c;
    } else if (columns_[c].field == "R") {
      r_column_ = c;
    }
  }
}

void MeasurementModel::attach(measurement::MeasurementDocument* document) {
  document_ = document;
  reload();
}

void MeasurementModel::reload() {
  beginResetModel();
  pending_row_.reset();
  pending_.clear();
  evaluations_.clear();
  recnos_.clear();
  field_index_.assign(columns_.size(), std::nullopt);
  if (document_ != nullptr && document_->is_open()) {
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      field_index_[c] = document_->find_field(columns_[c].field);
    }
    recnos_ = document_->rows();
  }
  endResetModel();
}

int MeasurementModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(recnos_.size());
}

int MeasurementModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

std::optional<std::size_t> MeasurementModel::field_of(std::string_view name) const {
  if (document_ == nullptr || !document_->is_open()) {
    return std::nullopt;
  }
  return document_->find_field(name);
}

std::optional<double> MeasurementModel::number(int row, std::string_view field) const {
  const auto f = field_of(field);
  return f ? number_at(row, *f) : std::nullopt;
}

QString MeasurementModel::text(int row, std::string_view field) const {
  const auto f = field_of(field);
  return f ? text_at(row, *f) : QString();
}

std::optional<double> MeasurementModel::number_at(int row, std::size_t field) const {
  if (row < 0 || row >= rowCount()) {
    return std::nullopt;
  }
  return document_->number(recno(row), field);
}

QString MeasurementModel::text_at(int row, std::size_t field) const {
  if (row < 0 || row >= rowCount()) {
    return {};
  }
  return from_utf8(document_->text(recno(row), field));
}

PRValues MeasurementModel::pr_values(int row) const {
  // P and R are columns of both grids, so their fields were found with the others.
  const auto value = [&](std::size_t column) {
    const auto& f = field_index_[column];
    return f ? number_at(row, *f).value_or(0.0) : 0.0;
  };
  return {value(p_column_), value(r_column_)};
}

QString MeasurementModel::display_text(DisplayFormat format, std::optional<double> value,
                                       QChar decimal_point) {
  if (!value) {
    return {};
  }
  QString text;
  switch (format) {
    case DisplayFormat::Whole: {
      // Halves away from zero, as the format "0" rounds.
      const double rounded = std::round(*value);
      text = QString::number(rounded == 0 ? 0.0 : rounded, 'f', 0);
      break;
    }
    case DisplayFormat::TwoDecimals:
      text = QString::number(*value, 'f', 2);
      break;
    case DisplayFormat::General:
    case DisplayFormat::Text:
      text = from_utf8(general_number_text(*value, '.'));
      break;
  }
  text.replace('.', decimal_point);
  return text;
}

void MeasurementModel::set_required_modulus(std::optional<double> required) {
  required_ = required;
  if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

measurement::Verdict MeasurementModel::verdict(int row) const {
  if (kind_ != DeviceKind::A) {
    return measurement::Verdict::None;
  }
  return measurement::verdict_for(number(row, "D9"), required_);
}

const measurement::PointEvaluation& MeasurementModel::evaluation(int row) const {
  const std::uint32_t r = recno(row);
  auto found = evaluations_.find(r);
  if (found == evaluations_.end()) {
    found = evaluations_.emplace(r, measurement::evaluate_row(*document_, r, std::nullopt)).first;
  }
  return found->second;
}

QString MeasurementModel::evaluation_text(int row, std::string_view column) const {
  if (column == kVerdictColumn) {
    return from_utf8(measurement::verdict_text(verdict(row)));
  }
  const measurement::PointEvaluation& point = evaluation(row);
  QString text = display_text(DisplayFormat::TwoDecimals, point.s_over_v_ms, decimal_point_);
  // A mark that the drops do not look like a sound test; the tooltip says why.
  if (point.implausible()) {
    text += QStringLiteral(" !");
  }
  return text;
}

QString MeasurementModel::flags_text(int row) const {
  const measurement::PointEvaluation& point = evaluation(row);
  if (!point.drops) {
    return QStringLiteral("Осциллограммы не сохранены");
  }
  QStringList lines;
  for (std::size_t k = 0; k < point.drops->size(); ++k) {
    const image::DropFlags& f = (*point.drops)[k].flags;
    QStringList what;
    if (f.pulse_out_of_range) {
      what << QStringLiteral("длительность импульса вне %1 ± %2 мс")
                  .arg(image::kPulseNominalMs)
                  .arg(image::kPulseToleranceMs);
    }
    if (f.clipped) {
      what << QStringLiteral("сигнал ограничен");
    }
    if (f.flat) {
      what << QStringLiteral("нет сигнала");
    }
    if (!what.isEmpty()) {
      lines << QStringLiteral("Удар %1: %2").arg(k + 1).arg(what.join(QStringLiteral(", ")));
    }
  }
  if (point.drops_differ) {
    lines << QStringLiteral("Осадки ударов различаются более чем на %1 %").arg(image::kDropSpread * 100);
  }
  return lines.join('\n');
}

QString MeasurementModel::cell_text(int row, int column, bool for_editing) const {
  const std::string_view name = columns_[std::size_t(column)].field;
  if (is_evaluation_column(name)) {
    return evaluation_text(row, name);
  }
  const auto& f = field_index_[std::size_t(column)];
  if (!f) {
    return {};
  }
  if (pending_row_ == recno(row) && pending_.contains(column)) {
    return pending_.value(column);
  }
  const GridColumn& c = columns_[std::size_t(column)];
  if (!document_->is_numeric(*f)) {
    return text_at(row, *f);
  }
  const std::optional<double> value = number_at(row, *f);
  return display_text(for_editing ? DisplayFormat::General : c.display, value, decimal_point_);
}

QVariant MeasurementModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return cell_text(index.row(), index.column(), false);
    case Qt::EditRole:
      return cell_text(index.row(), index.column(), true);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(alignment_of(columns_[std::size_t(index.column())].alignment));
    case Qt::ForegroundRole:
      // A point below the required modulus reads in red across its row.
      if (verdict(index.row()) == measurement::Verdict::Fails) {
        return QColor(176, 0, 0);
      }
      return {};
    case Qt::ToolTipRole:
      if (columns_[std::size_t(index.column())].field == kSOverVColumn) {
        return flags_text(index.row());
      }
      return {};
    default:
      return {};
  }
}

QVariant MeasurementModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return from_utf8(columns_[std::size_t(section)].title);
}

Qt::ItemFlags MeasurementModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && columns_[std::size_t(index.column())].editable) {
    f |= Qt::ItemIsEditable;
  }
  return f;
}

bool MeasurementModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) {
    return false;
  }
  const auto& f = field_index_[std::size_t(index.column())];
  if (!f) {
    return false;
  }
  QString typed = value.toString();
  if (document_->is_numeric(*f)) {
    typed = typed.trimmed();
    QString plain = typed;
    plain.replace(decimal_point_, '.').replace(',', '.');
    switch (document_->check_cell(*f, plain.toStdString())) {
      case measurement::CellCheck::NotANumber:
        emit edit_refused(QStringLiteral("«%1» не является числом.").arg(typed));
        return false;
      case measurement::CellCheck::TooWide:
        emit edit_refused(QStringLiteral("Число «%1» не помещается в поле %2.")
                              .arg(typed, QString::fromStdString(document_->field_name(*f))));
        return false;
      case measurement::CellCheck::Ok:
        break;
    }
    typed = plain;
  }
  const std::uint32_t target = recno(index.row());
  if (pending_row_ && *pending_row_ != target) {
    post_pending();
  }
  pending_row_ = target;
  pending_[index.column()] = typed;
  emit dataChanged(index, index);
  return true;
}

void MeasurementModel::post_pending() {
  if (!pending_row_ || document_ == nullptr || !document_->is_open()) {
    drop_pending();
    return;
  }
  const std::uint32_t target = *pending_row_;
  const QMap<int, QString> values = pending_;
  pending_row_.reset();
  pending_.clear();
  std::vector<std::pair<std::size_t, std::string>> cells;
  for (auto it = values.begin(); it != values.end(); ++it) {
    cells.emplace_back(*field_index_[std::size_t(it.key())], it.value().toStdString());
  }
  document_->set_cells(target, cells);
}

void MeasurementModel::drop_pending() {
  if (!pending_row_) {
    return;
  }
  pending_row_.reset();
  pending_.clear();
  if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

}  // namespace vkt
