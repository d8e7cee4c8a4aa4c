#include "output/report/tablerows.h"

#include <exception>
#include <filesystem>

#include "output/report/reportdocument.h"
#include "output/report/reportlayouts.h"
#include "output/report/reportoutput.h"
#include "store/dbf/filereplacement.h"
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

}  // namespace

MemoryDataset read_table_rows(dbf::Table& table, const std::vector<std::string>& fields) {
  std::vector<Column> columns;
  for (const std::string& name : fields) {
    Column c{name, table.find_field(name), false};
    if (c.index) {
      const auto type = table.fields()[*c.index].type;
      c.text = type != dbf::FieldType::Numeric && type != dbf::FieldType::Float;
    }
    columns.push_back(std::move(c));
  }

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
  MemoryDataset rows;
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
    rows = read_table_rows(table, fields_used(layout_of(layout)));
    table.close();
  } catch (const std::exception& e) {
    return fail(QString::fromStdString(measurement::open_failure_text(e)));
  }
  const ReportDocument document(layout_of(layout), rows, {decimal_separator});
  return write_pdf(document, pdf_path, error);
}

}  // namespace vkt::report
