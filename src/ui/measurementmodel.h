#pragma once

#include <QAbstractTableModel>
#include <QMap>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "store/gridcolumns.h"
#include "store/gridstatistics.h"
#include "store/measurement/evaluation.h"

namespace vkt::measurement {
class MeasurementDocument;
}

namespace vkt {

// The rows of the open measurement file that its filter admits, in its current order, as the
// columns of one grid. Rows are read from the file when they are shown; the model keeps only
// their record numbers; the device A grid adds the evaluation columns, worked out from the row's
// kept waveforms and the object's required modulus. An in-place edit is held for its row and written to the
// table when the row is left or the file is saved (post_pending), or dropped (drop_pending).
class MeasurementModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  MeasurementModel(DeviceKind kind, QObject* parent = nullptr);

  // The table to show (nullptr: none). reload() walks its view again.
  void attach(measurement::MeasurementDocument* document);
  void reload();
  measurement::MeasurementDocument* document() const { return document_; }
  DeviceKind kind() const { return kind_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  std::uint32_t recno(int row) const { return recnos_.at(std::size_t(row)); }
  const std::vector<std::uint32_t>& recnos() const { return recnos_; }

  // Values of a row as posted in the file (numbers: nullopt when empty).
  std::optional<double> number(int row, std::string_view field) const;
  QString text(int row, std::string_view field) const;
  PRValues pr_values(int row) const;

  // The modulus a row must reach (none: no verdicts); the rows are shown again.
  void set_required_modulus(std::optional<double> required);
  std::optional<double> required_modulus() const { return required_; }
  measurement::Verdict verdict(int row) const;

  bool has_pending() const { return pending_row_.has_value(); }
  void post_pending();
  void drop_pending();

  // The decimal separator numbers are shown and typed with (the system's).
  void set_decimal_point(QChar c) { decimal_point_ = c; }

  // Where a column's text sits in its cell.
  static Qt::Alignment alignment_of(ColumnAlignment a);

  // Shows a value as a column's display format asks.
  static QString display_text(DisplayFormat format, std::optional<double> number, QChar decimal_point);

 signals:
  // An in-place edit was refused; the old value stays.
  void edit_refused(const QString& message);

 private:
  std::optional<std::size_t> field_of(std::string_view name) const;
  std::optional<double> number_at(int row, std::size_t field) const;
  QString text_at(int row, std::size_t field) const;
  QString cell_text(int row, int column, bool for_editing) const;
  // The row's evaluation without its verdict, worked out once per row while the rows stay.
  const measurement::PointEvaluation& evaluation(int row) const;
  QString evaluation_text(int row, std::string_view column) const;
  QString flags_text(int row) const;

  DeviceKind kind_;
  std::span<const GridColumn> columns_;
  measurement::MeasurementDocument* document_ = nullptr;
  std::vector<std::uint32_t> recnos_;
  std::vector<std::optional<std::size_t>> field_index_;  // per column
  std::size_t p_column_ = 0;                             // the columns of P and R
  std::size_t r_column_ = 0;
  QChar decimal_point_ = '.';
  std::optional<std::uint32_t> pending_row_;  // record number
  QMap<int, QString> pending_;                // column -> typed text
  std::optional<double> required_;
  mutable std::unordered_map<std::uint32_t, measurement::PointEvaluation> evaluations_;  // by record
};

}  // namespace vkt
