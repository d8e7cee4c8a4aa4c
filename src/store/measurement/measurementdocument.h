// One measurement file in use: the open table, its production index, and every change the
// program makes to it (import, append, save, close, sorting, deleting, renumbering, edits).
// The main window and the subcommands work through it; it has no widgets and no Qt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/devicea_import.h"
#include "store/measurement/measurementfile.h"
#include "store/waveform/waveformfile.h"

namespace vkt {
struct ProgramState;
}

namespace vkt::dbf {
class Storage;
class Table;
}  // namespace vkt::dbf

namespace vkt::mdx {
class TableIndex;
}

namespace vkt::measurement {

// True when both paths name one file on disk (links and letter case of the system included).
bool is_same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// Throws vkt::Error when no new file can be put at target (its folder takes no new file, or the
// file is read-only): said before the instrument is asked, not after.
void check_replaceable(const std::filesystem::path& target);

// What the engineer states about the tested object (as in evaluation.h).
using ObjectParameters = waveform::ObjectParameters;

// What a typed cell text would do to a field.
enum class CellCheck {
  Ok,
  NotANumber,  // a numeric field and the text is no number
  TooWide,     // the number does not fit the field's width
};

class MeasurementDocument {
 public:
  // What open() found besides the rows.
  struct Opened {
    // The index beside the file could not be taken up (the file is open all the same).
    std::string index_problem;
    // What was wrong with the waveform file beside it (the file is open all the same).
    std::string waveform_problem;
  };

  MeasurementDocument();
  ~MeasurementDocument();
  MeasurementDocument(const MeasurementDocument&) = delete;
  MeasurementDocument& operator=(const MeasurementDocument&) = delete;

  bool is_open() const;
  bool read_only() const;
  // The absolute path of the open (or last) file.
  const std::filesystem::path& path() const { return path_; }
  // DEV_TYPE of the file's first row when it was opened (0 for an empty field or no rows).
  std::uint8_t device_code() const { return device_code_; }

  // Opens a measurement file, closing the one open before. Failures are vkt::Error with their
  // kind (Locked, NotFound, NoAccess, Damaged, NotOurSchema, ...); a first row that cannot be
  // read counts as Damaged. With Access::Editing a file that cannot be written opens read-only.
  // Nothing stays open after a failure.
  Opened open(const std::filesystem::path& path, Access access = Access::ReadWrite);
  // Opens a measurement table held elsewhere (in memory, for tests and fuzzing), without an index.
  void open(std::unique_ptr<dbf::Storage> storage);
  // Before a download that makes a new file at path (closing the open one): the folder must take
  // a new file, and a file of that name is held, locked, until the new one takes its place, so no
  // other program takes it meanwhile. Locked when another program has it open; a file of that
  // name that is no measurement file is not held (it is replaced all the same).
  void reserve(const std::filesystem::path& path);
  // Writes the last download (mode 0 of the import) into a new file that takes the reserved
  // path's place only when complete, and opens it. After a failure the old file is as it was
  // and nothing is open.
  image::ImportResult create(ProgramState& state, std::string_view decimal_separator);
  // Before a download is appended: every row must read as the readers read it (Damaged names the
  // first bad row), and the flags an earlier append left unfinished are mended. The file's folder
  // must take the new waveform file as well (check_replaceable).
  void check_appendable();
  // Appends the last download to the file in place; the header counts the new rows only once
  // they are on the disk, so the file keeps its old rows, whole, after a failure or a crash.
  // Rows the file already holds are skipped. The sort tags go with the index when rows are added.
  image::ImportResult append(ProgramState& state, std::string_view decimal_separator);
  // Closes the table and opens it again (everything is on disk then), keeping the sort order.
  void save();
  // Puts a copy of the file (and of its waveforms) at target, replacing what is there only when
  // the copy is complete, and goes on with the copy. The open file stays open after a failure.
  void save_as(const std::filesystem::path& target);
  // Closes the file and deletes its index file with the header's claim of one.
  void close();

  // The rows admitted from now on ("NB_TYPE=0", "NB_TYPE=1", or empty for all).
  void set_filter(std::string_view filter);
  // Record numbers of the admitted rows, in the current order.
  std::vector<std::uint32_t> rows();

  // Sorts by a field under a tag ("tab1", "tab2"), replacing a tag of that name.
  void sort(std::string_view tag, std::string_view field, bool descending);
  // The admitted rows in a field's order, sorted in memory: the file and its index stay as they
  // are (for readers). Refused with Usage for a field the table lacks.
  void sort_in_memory(std::string_view field, bool descending);
  // Back to file order without the tag; nothing to do when there is no such tag.
  void clear_sort(std::string_view tag);
  bool has_tag(std::string_view tag) const;
  // Deletes the rows and compacts the file; the sort tags "tab1" and "tab2" go with it.
  void delete_rows(std::span<const std::uint32_t> recnos);
  // Numbers the rows 1, 2, ... in the order given.
  void renumber(std::span<const std::uint32_t> recnos);

  // The fields as the grids read them.
  std::optional<std::size_t> find_field(std::string_view name) const;
  bool is_numeric(std::size_t field) const;
  std::string field_name(std::size_t field) const;
  // A number as posted in the file; nullopt when empty.
  std::optional<double> number(std::uint32_t recno, std::size_t field) const;
  // A field as text (UTF-8, trailing blanks dropped; numbers in the general format with '.').
  std::string text(std::uint32_t recno, std::size_t field) const;
  // Whether the text (a number written with '.') may go into the field.
  CellCheck check_cell(std::size_t field, std::string_view text) const;
  // Writes typed texts to one row (an empty text empties the field); all or nothing.
  void set_cells(std::uint32_t recno, std::span<const std::pair<std::size_t, std::string>> values);

  // The downloaded waveforms of a row, from the waveform file beside the open file, found by the
  // row's date, time and stored values (see docs/waveform-file.md); nothing for a row without
  // them. The pointer lives until the next open, create, append or close.
  const waveform::MeasurementWaveforms* waveforms(std::uint32_t recno) const;
  // Whether the row's waveforms are in the waveform file but failed their checksum.
  bool waveforms_damaged(std::uint32_t recno) const;
  // What the last open, create or append found wrong with the waveform file, in words for the
  // user; empty when nothing. Never a reason to refuse the table: its rows simply have no
  // waveforms then.
  const std::string& waveform_problem() const { return waveform_problem_; }
  // Whether the waveform file beside the open file holds any measurement's waveforms.
  bool has_waveforms() const { return waveforms_.size() > 0; }

  // What the engineer stated about the tested object, kept in the waveform file beside the open
  // file; empty when nothing was stated. A new download ("Создать") starts with none; append,
  // save, save_as, closing and opening again keep them.
  const ObjectParameters& object_parameters() const { return waveforms_.parameters(); }
  // Writes the parameters into the waveform file at once, through one atomic replacement (the
  // file is made when there is none); the .db stays as it is. Throws vkt::Error, the parameters
  // staying as they were: NoAccess when the file is open read-only or its waveform file may not
  // be written (a newer version's, a foreign or an unreadable one), Usage without an open file or
  // for parameters the file cannot carry (Limit for texts too long), the replacement's own kind
  // when the disk refuses.
  void set_object_parameters(const ObjectParameters& parameters);

  // The open table, for the readers that take one (reports, exports).
  dbf::Table& table() { return *table_; }

 private:
  void attach_index();
  void drop_index_before_append();
  // The grids' filter, and the order of the tag when the index still has it.
  void restore_view(const std::string& filter, const std::string& tag);
  void read_device_code();
  void reopen_keeping_order();
  // Adds the download's waveforms to `file` and writes it when something is new, or when
  // `changed` (its parameters were replaced); then it is the document's waveform file.
  void keep_waveforms(const ProgramState& state, waveform::WaveformFile file, bool changed = false);

  std::unique_ptr<dbf::Table> table_;
  std::unique_ptr<mdx::TableIndex> index_;
  std::filesystem::path path_;
  // The file a new one is about to replace (see reserve()).
  std::unique_ptr<dbf::Table> held_;
  std::uint8_t device_code_ = 0;
  waveform::WaveformFile waveforms_;
  std::string waveform_problem_;
};

}  // namespace vkt::measurement
