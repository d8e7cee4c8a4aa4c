#include "output/report/tablerows.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

#include "output/report/freedmemory.h"
#include "output/report/reportdocument.h"
#include "output/report/reportlayouts.h"
#include "output/report/reportoutput.h"
#include "store/dbf/codepage.h"
#include "store/dbf/dbferror.h"
#include "store/dbf/filereplacement.h"
#include "store/dbf/numberfield.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"

namespace vkt::report {

namespace {

struct Column {
  std::string name;
  std::optional<std::size_t> index;
  bool text = false;
};

FieldValue read_field(const dbf::Table& table, const Column& column) {
  if (!column.index || table.is_empty(*column.index)) {
    return {};
  }
  if (column.text) {
    return table.read_text(*column.index);
  }
  if (const auto number = table.read_double(*column.index)) {
    return *number;
  }
  return {};
}

std::vector<Column> columns_of(const dbf::Table& table, const std::vector<std::string>& fields) {
  std::vector<Column> columns;
  for (const std::string& name : fields) {
    Column c{name, table.find_field(name), false};
    if (c.index) {
      const auto type = table.fields()[*c.index].type;
      c.text = type != dbf::FieldType::Numeric && type != dbf::FieldType::Float;
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

// The view's rows read from the table as the pages ask for them, which is in the view's order: a
// report of a million rows holds their record numbers, not their values.
class TableDataset : public ReportDataset {
 public:
  TableDataset(dbf::Table& table, const std::vector<std::string>& fields)
      : table_(table), columns_(columns_of(table, fields)), records_(table.view_records()) {}

  std::size_t row_count() const override { return records_.size(); }

  FieldValue value(std::size_t row, std::string_view field) const override {
    const auto column =
        std::find_if(columns_.begin(), columns_.end(), [&](const Column& c) { return c.name == field; });
    if (row >= records_.size() || column == columns_.end() || !column->index) {
      return {};
    }
    std::string_view bytes = table_.raw_bytes(records_[row], *column->index);
    if (!column->text) {
      const dbf::StoredNumber n = dbf::parse_number(bytes);
      if (!n.valid) {
        throw dbf::DbfError(
            dbf::ErrorKind::Damaged,
            "Поле " + column->name + " записи " + std::to_string(records_[row]) + " содержит не число");
      }
      return n.value ? FieldValue(*n.value) : FieldValue();
    }
    // Text ends at the first NUL, as older writers pad with it; trailing blanks go.
    bytes = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
    while (!bytes.empty() && bytes.back() == ' ') {
      bytes.remove_suffix(1);
    }
    if (bytes.empty()) {
      return {};
    }
    return dbf::decode_text(table_.code_page(), bytes);
  }

 private:
  const dbf::Table& table_;
  std::vector<Column> columns_;
  std::vector<std::uint32_t> records_;
};

}  // namespace

MemoryDataset read_table_rows(dbf::Table& table, const std::vector<std::string>& fields) {
  const std::vector<Column> columns = columns_of(table, fields);

  MemoryDataset data(fields);
  const std::uint32_t was_on = table.recno();
  for (bool more = table.first(); more; more = table.next()) {
    const std::size_t row = data.add_row();
    for (const Column& c : columns) {
      data.set(row, c.name, read_field(table, c));
    }
  }
  if (was_on != 0) {
    table.go_to(was_on);
  }
  return data;
}

bool write_measurement_report(const QString& db_path, const QString& pdf_path, std::optional<DeviceKind> kind,
                              const std::string& decimal_separator, QString* error) {
  auto fail = [error](const QString& why) {
    if (error != nullptr) {
      *error = why;
    }
    return false;
  };
  const std::filesystem::path db_file(db_path.toStdU16String());
  if (dbf::same_file(db_file, std::filesystem::path(pdf_path.toStdU16String()))) {
    return fail(
        QStringLiteral("Файл \"%1\" — это сам файл измерений: он не будет перезаписан").arg(pdf_path));
  }
  dbf::Table table;
  std::unique_ptr<TableDataset> rows;
  ReportKind layout = ReportKind::Report1;
  try {
    measurement::open_measurement_file(table, db_file, measurement::Access::ReadOnly);
  } catch (const std::exception& e) {
    return fail(QString::fromStdString(measurement::open_failure_text(e)));
  }
  try {
    table.first();
    const auto device_code = table.has_row()
                                 ? static_cast<std::uint8_t>(table.read_integer("DEV_TYPE").value_or(0))
                                 : std::uint8_t{0};
    if (!kind) {
      table.set_filter("NB_TYPE=0");
      kind = table.count() > 0 ? DeviceKind::A : DeviceKind::B;
    }
    const int tab = *kind == DeviceKind::A ? 0 : 1;
    table.set_filter(tab == 0 ? "NB_TYPE=0" : "NB_TYPE=1");
    layout = choose_report(true, true, tab, device_code).value_or(ReportKind::Report1);
    rows = std::make_unique<TableDataset>(table, fields_used(layout_of(layout)));
  } catch (const std::exception& e) {
    return fail(QString::fromStdString(measurement::open_failure_text(e)));
  }
  // The rows are read while the pages are written; the file stays open until then.
  keep_freed_memory();
  try {
    const ReportDocument document(layout_of(layout), *rows, {decimal_separator});
    return write_pdf(document, pdf_path, error);
  } catch (const std::exception& e) {
    return fail(QString::fromStdString(measurement::open_failure_text(e)));
  }
}

}  // namespace vkt::report
