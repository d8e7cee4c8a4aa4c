#include "store/measurement/measurementfile.h"

#include <string>
#include <system_error>

#include "store/measurement/measurementschema.h"

namespace vkt::measurement {

std::filesystem::path index_path_for(const std::filesystem::path& table_path) {
  std::filesystem::path p = table_path;
  p.replace_extension(".mdx");
  return p;
}

void create_measurement_file(dbf::Table& table, const std::filesystem::path& path) {
  table.create(path, measurement_field_specs(), dbf::kLanguageDriverCp1251);
}

void check_measurement_schema(const dbf::Table& table) {
  for (const MeasurementField& wanted : kMeasurementFields) {
    const dbf::FieldSpec descriptor = field_spec(wanted);
    const auto index = table.find_field(wanted.name);
    if (!index) {
      throw dbf::DbfError(dbf::ErrorKind::NotOurSchema,
                          "В таблице нет поля " + std::string(wanted.name) + ": это не файл измерений");
    }
    const dbf::Field& found = table.fields()[*index];
    const bool same_type =
        dbf::is_numeric(descriptor.type) ? dbf::is_numeric(found.type) : found.type == descriptor.type;
    if (!same_type || found.width != descriptor.width) {
      throw dbf::DbfError(
          dbf::ErrorKind::NotOurSchema,
          "Поле " + std::string(wanted.name) + " имеет другой тип или ширину: это не файл измерений");
    }
  }
}

void open_measurement_file(dbf::Table& table, const std::filesystem::path& path) {
  table.open(path);
  try {
    check_measurement_schema(table);
    std::error_code ec;
    if (table.header().production_index && !std::filesystem::exists(index_path_for(path), ec)) {
      table.set_production_index_flag(false);
      for (std::size_t i = 0; i < table.fields().size(); ++i) {
        if (table.fields()[i].has_tag) {
          table.set_field_tag_flag(i, false);
        }
      }
      table.flush();
    }
  } catch (...) {
    table.close();
    throw;
  }
}

}  // namespace vkt::measurement
