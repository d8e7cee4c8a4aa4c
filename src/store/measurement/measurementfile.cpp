#include "store/measurement/measurementfile.h"

#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "store/mdx/tableindex.h"
#include "store/measurement/measurementschema.h"

namespace vkt::measurement {

std::filesystem::path index_path_for(const std::filesystem::path& table_path) {
  return mdx::TableIndex::index_path_for(table_path);
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

void check_measurement_table(const dbf::Table& table) {
  if (table.record_count() > kMaxMeasurementRows) {
    throw dbf::DbfError(dbf::ErrorKind::Damaged, "Файл таблицы повреждён: в заголовке указано " +
                                                     std::to_string(table.record_count()) +
                                                     " записей, больше, чем бывает в файле измерений");
  }
  check_measurement_schema(table);
}

void open_measurement_file(dbf::Table& table, const std::filesystem::path& path, Access access) {
  if (access == Access::ReadOnly) {
    table.open_read_only(path);
  } else {
    table.open(path);
  }
  try {
    check_measurement_table(table);
    std::error_code ec;
    if (access != Access::ReadOnly && table.header().production_index &&
        !std::filesystem::exists(index_path_for(path), ec)) {
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

namespace vkt::measurement {

void check_measurement_rows(dbf::Table& table) {
  std::vector<std::pair<std::size_t, ValueKind>> numbers;
  for (const MeasurementField& field : kMeasurementFields) {
    if (field.kind != ValueKind::Text) {
      numbers.emplace_back(table.field_index(field.name), field.kind);
    }
  }
  const std::string filter = table.filter();
  table.set_filter("");
  std::uint32_t row = 0;
  try {
    for (bool more = table.first(); more && !table.eof(); more = table.next()) {
      ++row;
      for (const auto& [index, kind] : numbers) {
        if (kind == ValueKind::Float) {
          (void)table.read_double(index);
        } else {
          (void)table.read_integer(index);
        }
      }
    }
  } catch (const dbf::DbfError& e) {
    table.set_filter(filter);
    throw dbf::DbfError(dbf::ErrorKind::Damaged,
                        "Файл таблицы повреждён: строка " + std::to_string(row) + ": " + e.what());
  }
  table.set_filter(filter);
}

std::string open_failure_text(const std::exception& error) {
  if (const auto* e = dynamic_cast<const dbf::DbfError*>(&error)) {
    switch (e->kind()) {
      case dbf::ErrorKind::Locked:
      case dbf::ErrorKind::NotFound:
      case dbf::ErrorKind::NoAccess:
      case dbf::ErrorKind::NoSpace:
      case dbf::ErrorKind::Io:
        return e->what();
      default:
        break;
    }
  } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return failure_text(error);
  }
  return "База данных повреждена !";
}

std::string failure_text(const std::exception& error) {
  if (const auto* e = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
    std::string text = "Не удалось записать файл";
    if (!e->path1().empty()) {
      text += " \"" + e->path1().string() + "\"";
    }
    return text + ": " + dbf::cause_of(e->code().value());
  }
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return "Недостаточно памяти для этой операции";
  }
  return error.what();
}

MeasurementRewrite::MeasurementRewrite(const std::filesystem::path& target) : target_(target) {
  auto storage = dbf::FileStorage::replacing(target);
  const std::string head =
      dbf::build_header(measurement_field_specs(), dbf::kLanguageDriverCp1251, dbf::local_today());
  storage->write_at(0, head.data(), head.size());
  storage->write_at(head.size(), &dbf::kEndOfData, 1);
  table_.open(std::move(storage));
}

MeasurementRewrite::MeasurementRewrite(const std::filesystem::path& target, dbf::Table& original)
    : target_(target) {
  auto storage = dbf::FileStorage::replacing(target);
  dbf::Storage& from = *original.storage();
  std::vector<char> piece(1 << 20);
  for (std::uint64_t at = 0, size = from.size(); at < size;) {
    const std::size_t got = from.read_at(at, piece.data(), piece.size());
    if (got == 0) {
      break;
    }
    storage->write_at(at, piece.data(), got);
    at += got;
  }
  table_.open(std::move(storage));
  // The copy has no index of its own: the claim of one is not carried over.
  if (table_.header().production_index) {
    table_.set_production_index_flag(false);
  }
  for (std::size_t i = 0; i < table_.fields().size(); ++i) {
    if (table_.fields()[i].has_tag) {
      table_.set_field_tag_flag(i, false);
    }
  }
}

void MeasurementRewrite::commit() {
  table_.flush();
  static_cast<dbf::FileStorage*>(table_.storage())->put_in_place();
  table_.close();
  std::error_code ignored;
  std::filesystem::remove(index_path_for(target_), ignored);
}

}  // namespace vkt::measurement
