#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>

#include "store/dbf/table.h"

namespace vkt::measurement {

// The production index beside a measurement file: same name, extension ".mdx".
std::filesystem::path index_path_for(const std::filesystem::path& table_path);

// Writes a new, empty measurement file at path (replacing a file of that name) and leaves it open
// in table.
void create_measurement_file(dbf::Table& table, const std::filesystem::path& path);

// More rows than any measurement file holds (a year of daily downloads is some tens of
// thousands): a header claiming more is refused, so no reader sets out on a gigabyte of rows.
inline constexpr std::uint32_t kMaxMeasurementRows = 1'000'000;

enum class Access {
  ReadWrite,  // held exclusively; the window, a download
  ReadOnly,   // shared with other readers, a read-only medium will do; dump, export, report
  Editing,    // the window: ReadWrite, or ReadOnly when the file cannot be written (a change then
              // says why it cannot be made)
};

// Opens a measurement file. A table lacking one of our fields, or holding one with another type
// or width, is refused with ErrorKind::NotOurSchema and left closed. When the header claims a
// production index that is not there, the claim is cleared so other readers open the file too.
// A header claiming more than kMaxMeasurementRows rows is refused with ErrorKind::Damaged. Read
// only, the stale claim of an index is passed over instead of cleared.
void open_measurement_file(dbf::Table& table, const std::filesystem::path& path,
                           Access access = Access::ReadWrite);

// Reads every number of every row as the readers do, so a file they would call damaged is found
// before anything is added to it. Throws ErrorKind::Damaged naming the first bad row.
void check_measurement_rows(dbf::Table& table);

// The user's text for a failure to open a measurement file: "База данных повреждена !" for a
// damaged or foreign file, otherwise what keeps it closed (locked, missing, no permission).
std::string open_failure_text(const std::exception& error);
// The user's text for any other failure: the engine's own Russian text, the cause of a system
// error in words, or a shortage of memory.
std::string failure_text(const std::exception& error);

// A measurement file rewritten as a whole: the new content is built in a table beside the target
// and takes its place only in commit(). Dropped without commit, it leaves the target as it was.
class MeasurementRewrite {
 public:
  // Starts from an empty measurement table.
  explicit MeasurementRewrite(const std::filesystem::path& target);
  // Starts from a copy of `original`, which stays open (and locked) where it is.
  MeasurementRewrite(const std::filesystem::path& target, dbf::Table& original);

  dbf::Table& table() { return table_; }
  // Flushes the table and puts it in place of the target; the index beside the target, which
  // describes the old rows, is removed.
  void commit();

 private:
  std::filesystem::path target_;
  dbf::Table table_;
};

// Throws ErrorKind::NotOurSchema unless the open table has every measurement field.
void check_measurement_schema(const dbf::Table& table);
// The checks of open_measurement_file on a table already open: the row count, then the schema.
void check_measurement_table(const dbf::Table& table);

}  // namespace vkt::measurement
