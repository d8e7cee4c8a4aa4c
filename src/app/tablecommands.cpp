// export and dump: a measurement file read without a window.

#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/rankedtexts.h"
#include "app/subcommands.h"
#include "output/export/exportformat.h"
#include "output/export/tableexport.h"
#include "output/xls/errors.h"
#include "store/dbf/table.h"
#include "store/gridcolumns.h"
#include "store/mdx/tableindex.h"
#include "store/measurement/evaluation.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementschema.h"

namespace vkt {

namespace {

std::filesystem::path to_path(const QString& path) {
  return std::filesystem::path(path.toStdU16String());
}

// A measurement file opened as the window opens it: the instrument type code from the first row,
// then the rows of one device kind.
struct OpenedFile {
  measurement::MeasurementDocument document;
  DeviceKind kind = DeviceKind::A;
};

// Null when the file cannot be opened; the program's message is printed then.
// Every command here only reads the measurement file, so a read-only medium serves.
std::unique_ptr<OpenedFile> open_file(const QString& path, std::optional<int> kind) {
  auto file = std::make_unique<OpenedFile>();
  try {
    file->document.open(to_path(path), measurement::Access::ReadOnly);
    if (kind) {
      file->kind = *kind == 1 ? DeviceKind::B : DeviceKind::A;
    } else {
      // The window shows the device B tab when the file holds any device B row.
      file->document.set_filter("NB_TYPE=1");
      file->kind = file->document.rows().empty() ? DeviceKind::A : DeviceKind::B;
    }
    file->document.set_filter(file->kind == DeviceKind::B ? "NB_TYPE=1" : "NB_TYPE=0");
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

struct DumpColumn {
  std::string_view field;
  std::string_view title;
  std::size_t index;
  measurement::ValueKind kind;
};

// A number column's value appended as text; false, with nothing appended, for an empty field.
bool append_number(std::string& out, const dbf::Table& table, const DumpColumn& column) {
  char buffer[400];
  std::to_chars_result result{};
  if (column.kind == measurement::ValueKind::Float) {
    const auto v = table.read_double(column.index);
    if (!v) {
      return false;
    }
    result = std::to_chars(buffer, buffer + sizeof buffer, *v, std::chars_format::fixed);
  } else {
    const auto v = table.read_integer(column.index);
    if (!v) {
      return false;
    }
    result = std::to_chars(buffer, buffer + sizeof buffer, *v);
  }
  out.append(buffer, result.ptr);
  return true;
}

void append_csv_cell(std::string& out, std::string_view text) {
  // A plain loop: find_first_of with a set of characters searches the set once per character.
  const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
  if (std::none_of(text.begin(), text.end(), special)) {
    out += text;
    return;
  }
  out += '"';
  std::size_t from = 0;
  for (std::size_t quote = text.find('"'); quote != std::string_view::npos; quote = text.find('"', from)) {
    out.append(text.substr(from, quote + 1 - from));
    out += '"';
    from = quote + 1;
  }
  out.append(text.substr(from));
  out += '"';
}

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
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
  out += '"';
}

void write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// The columns the grid of the kind shows, in its order.
std::vector<DumpColumn> dump_columns(const dbf::Table& table, DeviceKind kind) {
  std::vector<DumpColumn> columns;
  for (const GridColumn& column : grid_columns(kind)) {
    if (column.shown) {
      columns.push_back(
          {column.field, column.title, table.field_index(column.field), schema_field(column.field).kind});
    }
  }
  return columns;
}

// Every record's number in the order of the command's sort field (the grid's order, made in
// memory: the file and its index stay as they are), or an exit code other than kExitOk when that
// fails (the message is printed then).
int sort_order(measurement::MeasurementDocument& document, const CommandLine& command,
               std::vector<std::uint32_t>& records) {
  const std::string field = command.sort_field.toStdString();
  if (!document.find_field(field)) {
    print_error(QStringLiteral("dump: в таблице нет поля %1").arg(command.sort_field));
    return kExitUsage;
  }
  try {
    records = mdx::TableIndex::sorted_records(document.table(), field, command.sort_descending);
  } catch (const std::exception& e) {
    print_error(QString::fromUtf8(e.what()));
    return kExitFailure;
  }
  return kExitOk;
}

// The values `dump --derived` adds after the grid's columns, read from a device A row's kept
// waveforms: s/v (the mean over the drops), the pulse durations of the three drops, what makes
// the point doubtful, and the verdict against the object's required modulus.
struct DerivedColumn {
  std::string_view field;
  std::string_view title;
};

constexpr DerivedColumn kDerivedColumns[] = {
    {"SV_MS", "s/v, мс"},           {"PULSE1_MS", "Импульс 1, мс"}, {"PULSE2_MS", "Импульс 2, мс"},
    {"PULSE3_MS", "Импульс 3, мс"}, {"FLAGS", "Недостоверность"},   {"VERDICT", "Заключение"},
};
constexpr std::size_t kDerivedNumbers = 4;  // the first columns above are numbers, in ms

// What a row is printed with.
struct RowFormat {
  std::vector<DumpColumn> columns;
  bool json = false;
  const measurement::MeasurementDocument* derived_from = nullptr;  // null: no derived columns
  std::optional<double> required_modulus;
};

struct DerivedValues {
  std::array<std::optional<double>, kDerivedNumbers> numbers;
  std::string flags;
  std::string_view verdict;
};

std::string flag_text(const measurement::PointEvaluation& point) {
  std::string text;
  const auto add = [&text](const std::string& what) {
    text += text.empty() ? "" : "; ";
    text += what;
  };
  for (std::size_t k = 0; k < point.drops->size(); ++k) {
    const image::DropFlags& flags = (*point.drops)[k].flags;
    const std::string drop = "удар " + std::to_string(k + 1) + ": ";
    if (flags.pulse_out_of_range) {
      add(drop + "импульс вне допуска");
    }
    if (flags.clipped) {
      add(drop + "зашкаливание");
    }
    if (flags.flat) {
      add(drop + "нет подъёма");
    }
  }
  if (point.drops_differ) {
    add("удары расходятся");
  }
  return text;
}

// Nothing at all for a row without kept waveforms, the verdict included.
DerivedValues derived_values(const RowFormat& format, std::uint32_t recno) {
  DerivedValues values;
  const measurement::PointEvaluation point =
      measurement::evaluate_row(*format.derived_from, recno, format.required_modulus);
  if (!point.drops) {
    return values;
  }
  values.numbers[0] = point.s_over_v_ms;
  for (std::size_t k = 0; k < point.drops->size(); ++k) {
    values.numbers[k + 1] = (*point.drops)[k].pulse_ms;
  }
  values.flags = flag_text(point);
  values.verdict = measurement::verdict_text(point.verdict);
  return values;
}

// Milliseconds to the hundredth: the samples lie a tenth of a millisecond apart.
void append_milliseconds(std::string& out, double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  out.append(buffer, result.ptr);
}

std::string csv_header(const RowFormat& format) {
  std::string out;
  for (std::size_t c = 0; c < format.columns.size(); ++c) {
    if (c != 0) {
      out += ',';
    }
    append_csv_cell(out, format.columns[c].title);
  }
  if (format.derived_from != nullptr) {
    for (const DerivedColumn& column : kDerivedColumns) {
      out += ',';
      append_csv_cell(out, column.title);
    }
  }
  return out + "\r\n";
}

// Each row is appended to `out` as it is read: no string of its own, none for a number.
void append_csv_row(std::string& out, const dbf::Table& table, const RowFormat& format) {
  const std::vector<DumpColumn>& columns = format.columns;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c != 0) {
      out += ',';
    }
    if (columns[c].kind == measurement::ValueKind::Text) {
      append_csv_cell(out, table.read_text(columns[c].index));
    } else {
      append_number(out, table, columns[c]);
    }
  }
  if (format.derived_from != nullptr) {
    const DerivedValues values = derived_values(format, table.recno());
    for (const std::optional<double>& number : values.numbers) {
      out += ',';
      if (number) {
        append_milliseconds(out, *number);
      }
    }
    out += ',';
    append_csv_cell(out, values.flags);
    out += ',';
    append_csv_cell(out, values.verdict);
  }
  out += "\r\n";
}

void append_json_text(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += "null";
  } else {
    append_json_string(out, text);
  }
}

void append_json_row(std::string& out, const dbf::Table& table, const RowFormat& format) {
  const std::vector<DumpColumn>& columns = format.columns;
  out += '{';
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c != 0) {
      out += ", ";
    }
    append_json_string(out, columns[c].field);
    out += ": ";
    if (columns[c].kind == measurement::ValueKind::Text) {
      append_json_text(out, table.read_text(columns[c].index));
    } else if (!append_number(out, table, columns[c])) {
      out += "null";
    }
  }
  if (format.derived_from != nullptr) {
    const DerivedValues values = derived_values(format, table.recno());
    for (std::size_t i = 0; i < kDerivedNumbers; ++i) {
      out += ", ";
      append_json_string(out, kDerivedColumns[i].field);
      out += ": ";
      if (values.numbers[i]) {
        append_milliseconds(out, *values.numbers[i]);
      } else {
        out += "null";
      }
    }
    const std::string_view texts[] = {values.flags, values.verdict};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      out += ", ";
      append_json_string(out, kDerivedColumns[kDerivedNumbers + i].field);
      out += ": ";
      append_json_text(out, texts[i]);
    }
  }
  out += '}';
}

void append_row(std::string& out, const dbf::Table& table, const RowFormat& format) {
  if (format.json) {
    append_json_row(out, table, format);
  } else {
    append_csv_row(out, table, format);
  }
}

// Prints rows as they come: CSV with a title line, or a JSON array. A row's text is appended to
// what begin_row() returns, straight into the output buffer, which is written out as it fills.
class DumpWriter {
 public:
  explicit DumpWriter(const RowFormat& format)
      : json_(format.json), out_(format.json ? "[" : csv_header(format)) {}

  std::string& begin_row() {
    if (json_) {
      out_ += first_row_ ? "\n  " : ",\n  ";
    }
    first_row_ = false;
    return out_;
  }

  void end_row() {
    if (out_.size() > (1u << 16)) {
      write(out_);
      out_.clear();
    }
  }

  void finish() {
    if (json_) {
      out_ += first_row_ ? "]\n" : "\n]\n";
    }
    write(out_);
    std::fflush(stdout);
  }

 private:
  bool json_;
  std::string out_;
  bool first_row_ = true;
};

// The admitted rows in file order.
void write_dump(dbf::Table& table, const RowFormat& format) {
  DumpWriter writer(format);
  for (bool more = table.first(); more && !table.eof(); more = table.next()) {
    append_row(writer.begin_row(), table, format);
    writer.end_row();
  }
  writer.finish();
}

// Rows per bucket of the sorted output, and the memory its texts may take before they go to a
// temporary file. A row of the dump is about 110 bytes.
constexpr std::uint32_t kSortedRowsPerBucket = 16'384;
constexpr std::size_t kSortedTextBudget = 8u << 20;

// The admitted rows in the order of `records` (every record's number once). Reading a big file
// row by row in key order costs a system call per row; instead the rows are read in file order,
// each formatted once, and put in order through RankedTexts.
void write_sorted_dump(dbf::Table& table, std::vector<std::uint32_t> records, const RowFormat& format) {
  std::vector<std::uint32_t> place(static_cast<std::size_t>(table.record_count()) + 1, 0);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i] < place.size()) {
      place[records[i]] = static_cast<std::uint32_t>(i);
    }
  }
  RankedTexts texts(static_cast<std::uint32_t>(records.size()), kSortedRowsPerBucket, kSortedTextBudget);
  records = {};
  for (bool more = table.first(); more && !table.eof(); more = table.next()) {
    texts.add(place[table.recno()], [&](std::string& out) { append_row(out, table, format); });
  }
  place = {};
  DumpWriter writer(format);
  texts.for_each_in_order([&](std::string_view row) {
    writer.begin_row() += row;
    writer.end_row();
  });
  writer.finish();
}

}  // namespace

int run_export(const CommandLine& command) {
  if (command.waveforms) {
    return run_waveform_export(command);
  }
  auto file = open_file(command.file, command.kind);
  if (!file) {
    return kExitFailure;
  }
  try {
    output::export_table(file->document.table(), export_request(command, file->document.device_code()),
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
  std::vector<std::uint32_t> sorted;
  const bool sorting = !command.sort_field.isEmpty();
  if (sorting) {
    if (const int failed = sort_order(file->document, command, sorted); failed != kExitOk) {
      return failed;
    }
  }
  try {
    dbf::Table& table = file->document.table();
    RowFormat format;
    format.columns = dump_columns(table, file->kind);
    format.json = command.format == CommandLine::DumpFormat::Json;
    // Only device A rows have waveforms.
    if (command.derived && file->kind == DeviceKind::A) {
      format.derived_from = &file->document;
      format.required_modulus = file->document.object_parameters().required_modulus;
    }
    if (sorting) {
      write_sorted_dump(table, std::move(sorted), format);
    } else {
      write_dump(table, format);
    }
  } catch (const std::exception& e) {
    print_error(QString::fromStdString(measurement::open_failure_text(e)));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace vkt
