// export and dump: a measurement file read without a window.

#include <QLocale>
#include <charconv>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/subcommands.h"
#include "output/export/exportformat.h"
#include "output/export/tableexport.h"
#include "output/xls/errors.h"
#include "store/dbf/table.h"
#include "store/gridcolumns.h"
#include "store/mdx/tableindex.h"
#include "store/measurement/measurementfile.h"
#include "store/measurement/measurementschema.h"

namespace vkt {

namespace {

std::filesystem::path to_path(const QString& path) {
  return std::filesystem::path(path.toStdU16String());
}

// A measurement file opened as the window opens it: the instrument type code from the first row,
// then the rows of one device kind.
struct OpenedFile {
  dbf::Table table;
  std::uint8_t device_code = 0;
  DeviceKind kind = DeviceKind::A;
};

// Null when the file cannot be opened; the program's message is printed then.
// Every command here only reads the measurement file, so a read-only medium serves.
std::unique_ptr<OpenedFile> open_file(const QString& path, std::optional<int> kind) {
  auto file = std::make_unique<OpenedFile>();
  try {
    measurement::open_measurement_file(file->table, to_path(path), measurement::Access::ReadOnly);
    file->table.first();
    file->device_code = file->table.has_row()
                            ? static_cast<std::uint8_t>(file->table.read_integer("DEV_TYPE").value_or(0))
                            : 0;
    if (kind) {
      file->kind = *kind == 1 ? DeviceKind::B : DeviceKind::A;
    } else {
      // The window shows the device B tab when the file holds any device B row.
      file->table.set_filter("NB_TYPE=1");
      file->kind = file->table.count() > 0 ? DeviceKind::B : DeviceKind::A;
    }
    file->table.set_filter(file->kind == DeviceKind::B ? "NB_TYPE=1" : "NB_TYPE=0");
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return nullptr;
  }
  return file;
}

// --- dump ---

const measurement::MeasurementField& schema_field(std::string_view name) {
  for (const auto& field : measurement::kMeasurementFields) {
    if (field.name == name) {
      return field;
    }
  }
  throw std::logic_error("no such measurement field");
}

std::string number_text(double value) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

struct DumpColumn {
  std::string_view field;
  std::string_view title;
  std::size_t index;
  measurement::ValueKind kind;
};

// One value as text for CSV or JSON; nullopt for an empty field.
std::optional<std::string> value_text(const dbf::Table& table, const DumpColumn& column) {
  switch (column.kind) {
    case measurement::ValueKind::Float: {
      const auto v = table.read_double(column.index);
      return v ? std::optional(number_text(*v)) : std::nullopt;
    }
    case measurement::ValueKind::Smallint:
    case measurement::ValueKind::Integer: {
      const auto v = table.read_integer(column.index);
      return v ? std::optional(std::to_string(*v)) : std::nullopt;
    }
    case measurement::ValueKind::Text: {
      std::string text = table.read_text(column.index);
      return text.empty() ? std::nullopt : std::optional(std::move(text));
    }
  }
  return std::nullopt;
}

std::string csv_cell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') {
      out += '"';
    }
    out += c;
  }
  return out + '"';
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + '"';
}

void write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int run_export(const CommandLine& command) {
  auto file = open_file(command.file, command.kind);
  if (!file) {
    return kExitFailure;
  }
  try {
    output::export_table(file->table, export_request(command, file->device_code),
                         command.output.toStdString());
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(output::export_failure_text(e)));
    return kExitFailure;
  }
  return kExitOk;
}

int run_dump(const CommandLine& command) {
  // Sorting happens in memory: the file is only read.
  auto file = open_file(command.file, command.kind);
  if (!file) {
    return kExitFailure;
  }
  dbf::Table& table = file->table;
  std::vector<DumpColumn> columns;
  for (const GridColumn& column : grid_columns(file->kind)) {
    if (column.shown) {
      columns.push_back(
          {column.field, column.title, table.field_index(column.field), schema_field(column.field).kind});
    }
  }

  if (!command.sort_field.isEmpty()) {
    const std::string field = command.sort_field.toStdString();
    if (!table.find_field(field)) {
      print_error(QStringLiteral("dump: в таблице нет поля %1").arg(command.sort_field));
      return kExitUsage;
    }
    try {
      // In the grid's order, sorted in memory: the file and its index stay as they are.
      table.set_order(mdx::TableIndex::sorted_records(table, field, command.sort_descending));
    } catch (const std::exception& e) {
      print_error(QString::fromUtf8(e.what()));
      return kExitFailure;
    }
  }

  try {
    const bool json = command.format == CommandLine::DumpFormat::Json;
    std::string out;
    if (json) {
      out += "[";
    } else {
      for (std::size_t c = 0; c < columns.size(); ++c) {
        out += (c == 0 ? "" : ",") + csv_cell(columns[c].title);
      }
      out += "\r\n";
    }
    bool first_row = true;
    for (bool more = table.first(); more && !table.eof(); more = table.next()) {
      if (json) {
        out += first_row ? "\n  {" : ",\n  {";
        for (std::size_t c = 0; c < columns.size(); ++c) {
          const auto v = value_text(table, columns[c]);
          out += (c == 0 ? "" : ", ") + json_string(columns[c].field) + ": ";
          if (!v) {
            out += "null";
          } else if (columns[c].kind == measurement::ValueKind::Text) {
            out += json_string(*v);
          } else {
            out += *v;
          }
        }
        out += "}";
      } else {
        for (std::size_t c = 0; c < columns.size(); ++c) {
          out += (c == 0 ? "" : ",") + csv_cell(value_text(table, columns[c]).value_or(std::string()));
        }
        out += "\r\n";
      }
      first_row = false;
      if (out.size() > (1u << 16)) {
        write(out);
        out.clear();
      }
    }
    if (json) {
      out += first_row ? "]\n" : "\n]\n";
    }
    write(out);
    std::fflush(stdout);
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vkt
