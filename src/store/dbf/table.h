#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/codepage.h"
#include "store/dbf/dbferror.h"
#include "store/dbf/storage.h"
#include "store/dbf/tableheader.h"

namespace vkt::dbf {

// What changed in a table, for whoever keeps something derived from its rows (an index).
struct TableChange {
  enum class Kind { Appended, Edited, Deleted, Packed };
  Kind kind;
  std::uint32_t recno;  // 1-based record number; 0 for Packed (every number may have moved)
};

// A dBase IV table held open exclusively, with a cursor over its rows.
//
// Rows are visited through a view: the order (file order, or a sequence of record numbers given
// from outside, e.g. by an index) restricted to rows that are not deleted and that the filter
// admits. The current row can be read, edited and posted; a posted row is in the file when the
// call returns, together with the header's record count and date. Text is UTF-8 here and the
// file's code page on disk.
//
// Navigation while a row is being edited or appended posts it first; close() drops it.
class Table {
 public:
  enum class State { Browse, Edit, Append };

  Table() = default;
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // --- life ---
  // Writes a new, empty table at path (replacing a file of that name unless it is open
  // elsewhere) and leaves it open here.
  void create(const std::filesystem::path& path, const std::vector<FieldSpec>& fields,
              std::uint8_t language_driver = kLanguageDriverCp1251);
  void create(std::unique_ptr<Storage> storage, const std::vector<FieldSpec>& fields,
              std::uint8_t language_driver = kLanguageDriverCp1251);
  void open(const std::filesystem::path& path);
  // For reading only: other readers may open the file at the same time, and a file on a
  // read-only medium opens too. Every change is refused with ErrorKind::NoAccess.
  void open_read_only(const std::filesystem::path& path);
  void open(std::unique_ptr<Storage> storage);
  bool read_only() const { return storage_ != nullptr && storage_->read_only(); }
  // Drops an unposted row, flushes to stable storage and releases the file.
  void close();
  // close() then open() of the same file, read-only again if it was; the filter stays, the
  // order is dropped.
  void reopen();
  // Flushes everything written so far to stable storage.
  void flush();
  bool is_open() const { return storage_ != nullptr; }
  // Empty when the table lives in memory.
  const std::filesystem::path& path() const { return path_; }
  // For looking at; changes go through the table, which keeps what it reads in step with them.
  Storage* storage() { return storage_.get(); }
  // Called at the steps of the next whole-file rewrites (pack) and appends in place, for tests of
  // interrupted writes.
  void set_replace_hook(ReplaceHook hook);

  // --- structure ---
  const TableHeader& header() const;
  const std::vector<Field>& fields() const;
  std::optional<std::size_t> find_field(std::string_view name) const;
  // Refused with ErrorKind::Usage when there is no such field.
  std::size_t field_index(std::string_view name) const;
  CodePage code_page() const { return code_page_; }
  // Records in the file, deleted ones included.
  std::uint32_t record_count() const { return header().record_count; }
  // Header byte 28 and descriptor byte 31, kept by the production index.
  void set_production_index_flag(bool on);
  void set_field_tag_flag(std::size_t field, bool on);

  // --- filter and order ---
  // "" admits every row; "FIELD=number" admits rows whose numeric field equals the number (an
  // empty field counts as 0). Anything else is refused with ErrorKind::Usage. Goes to the first row.
  void set_filter(std::string_view text);
  const std::string& filter() const { return filter_text_; }
  // Stays on the current row when the view still has it, else goes to the first.
  void refresh();
  // Walk these record numbers in this order (numbers out of range are passed over). Goes to the
  // first row. Rows appended later are walked after them.
  void set_order(std::vector<std::uint32_t> recnos);
  void clear_order();
  bool has_order() const { return ordered_; }

  // --- walking the view ---
  bool first();
  bool last();
  // Moves on; at the end the row stays current and eof() turns true.
  bool next();
  bool prior();
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  bool has_row() const { return current_ != 0; }
  // Record number of the current row (1-based), 0 when the view is empty.
  std::uint32_t recno() const { return current_; }
  // Makes a record current whatever the view says; false when there is no such record.
  bool go_to(std::uint32_t recno);
  // Rows the view admits, counted by walking them. The cursor does not move.
  std::uint32_t count();
  // Record numbers of the rows the view admits, in the view's order. The rows are looked at in
  // file order whatever the view's order is, so a big file is read in few long pieces. The cursor
  // does not move.
  std::vector<std::uint32_t> view_records();

  // --- reading the current row (with unposted changes) ---
  bool is_empty(std::size_t field) const;
  std::optional<double> read_double(std::size_t field) const;
  // Numbers with decimals are rounded to the nearest integer.
  std::optional<std::int64_t> read_integer(std::size_t field) const;
  // Characters as stored, trailing blanks removed; numbers as their text.
  std::string read_text(std::size_t field) const;
  bool is_empty(std::string_view name) const { return is_empty(field_index(name)); }
  std::optional<double> read_double(std::string_view name) const { return read_double(field_index(name)); }
  std::optional<std::int64_t> read_integer(std::string_view name) const {
    return read_integer(field_index(name));
  }
  std::string read_text(std::string_view name) const { return read_text(field_index(name)); }

  // --- changing rows ---
  State state() const { return state_; }
  // A new blank row; it becomes a record when posted.
  void append();
  // Starts changing the current row.
  void edit();
  void post();
  void cancel();
  // Setters need append() or edit() first. Numbers that do not fit the field are refused with
  // ErrorKind::Usage; text is cut to the field's width.
  void set_double(std::size_t field, double value);
  void set_integer(std::size_t field, std::int64_t value);
  void set_text(std::size_t field, std::string_view utf8);
  void set_empty(std::size_t field);
  void set_double(std::string_view name, double value) { set_double(field_index(name), value); }
  void set_integer(std::string_view name, std::int64_t value) { set_integer(field_index(name), value); }
  void set_text(std::string_view name, std::string_view utf8) { set_text(field_index(name), utf8); }
  void set_empty(std::string_view name) { set_empty(field_index(name)); }
  // Marks the current row deleted and moves to the next row of the view (or the previous one).
  void delete_row();
  // Marks a record deleted by number; the cursor stays.
  void delete_record(std::uint32_t recno);
  bool is_deleted(std::uint32_t recno) const;
  // Removes the deleted records for good by rewriting the file. Goes to the first row.
  void pack();

  // --- rows added all at once ---
  // Rows posted from now on go after the last record, but the file keeps reading as the old table
  // (its header's count) until commit_appended() takes them all in; a crash before that leaves the
  // old table. Listeners hear of the rows at the commit. Editing, deleting and packing wait for it.
  void begin_appending();
  // Flushes the rows, writes the header's count and date, flushed again, then turns the old end
  // mark into the first row's flag (flushed). On failure the rows are cut off and the failure is
  // rethrown.
  void commit_appended();
  // Cuts off the rows posted since begin_appending(); the table reads as before. Goes to the first
  // row. What cannot be cut off now lies beyond the count, where no reader looks.
  void roll_back_appended() noexcept;
  bool appending() const { return appending_from_.has_value(); }
  // Gives the live flag back to counted rows whose flag is still the end mark, as a commit stopped
  // before its last step leaves the first of its rows: readers that stop at the end mark rather
  // than at the count miss the rows from there on. Reads every row.
  void repair_row_flags();

  // --- for index builders ---
  // The stored bytes of a field of a record (posted state).
  std::string raw_field(std::uint32_t recno, std::size_t field) const;
  // The same bytes where they lie, good until the next read or change of the table. Reading the
  // records in file order costs one read of the file per window of rows.
  std::string_view raw_bytes(std::uint32_t recno, std::size_t field) const;
  // Grows with every change of the rows.
  std::uint64_t generation() const { return generation_; }
  void set_change_listener(std::function<void(const TableChange&)> listener);

 private:
  struct Filter {
    std::size_t field = 0;
    double value = 0;
  };

  void require_open() const;
  void require_row() const;
  void require_changing() const;
  const Field& changing_field(std::size_t field) const;
  void load(std::unique_ptr<Storage> storage, const std::filesystem::path& path);
  void load_layout();
  void reset_cursor();
  const char* record_ptr(std::uint32_t recno) const;
  const char* read_into_window(std::uint32_t recno) const;
  void drop_view() const;
  void touch_fields(std::size_t begin, std::size_t end) const;
  const char* row_ahead(std::uint32_t pos) const;
  std::uint32_t view_size() const;
  std::uint32_t view_recno(std::uint32_t pos) const;
  bool admits(std::uint32_t recno) const;
  std::optional<std::uint32_t> seek(std::uint32_t from, bool forward) const;
  void make_current(std::uint32_t pos);
  // No row to stand on: no current row, both ends reached. Returns false for the caller.
  bool leave_empty_view();
  void end_change_before_move();
  std::string_view field_bytes(std::size_t field) const;
  void put_field(std::size_t field, std::string_view bytes);
  void write_at(std::uint64_t offset, std::string_view bytes);
  void require_writable() const;
  void repair_tail();
  void stamp_header(std::uint32_t new_count);
  void changed(TableChange::Kind kind, std::uint32_t recno);
  void require_not_appending() const;
  void step(ReplaceStep s) const;

  std::unique_ptr<Storage> storage_;
  std::filesystem::path path_;
  ReplaceHook replace_hook_;
  TableLayout layout_;
  CodePage code_page_ = CodePage::Cp1251;
  bool tail_clean_ = false;  // the file ends with one end mark right after the last record
  // While rows are being appended: the count and date the header still holds, and whether anything
  // was written after the old rows yet.
  std::optional<std::uint32_t> appending_from_;
  CalendarDate appending_date_;
  bool appended_bytes_ = false;

  std::string filter_text_;
  std::optional<Filter> filter_;
  bool ordered_ = false;
  std::vector<std::uint32_t> order_;

  std::uint32_t pos_ = 0;      // position of the current row in the view
  std::uint32_t current_ = 0;  // its record number, 0 for none
  bool eof_ = true;
  bool bof_ = true;
  State state_ = State::Browse;
  std::string row_;  // the row being edited or appended

  // The storage's bytes in place, when it offers them (a mapped file, a vector in memory). Taken
  // on the first read after every change made through the storage and at the start of every
  // walk, so it never shows old bytes and a file cut from outside is noticed.
  mutable std::span<const char> view_;
  mutable bool view_taken_ = false;
  // The part of a record that reads and the filter have looked at so far, fetched into the cache
  // a few rows ahead of a walk through the view.
  mutable std::size_t hot_begin_ = 0;
  mutable std::size_t hot_end_ = 1;

  // Otherwise a window of the file's bytes, read ahead so walking costs few system calls.
  mutable std::vector<char> window_;
  mutable std::uint64_t window_start_ = 0;

  std::uint64_t generation_ = 0;
  std::function<void(const TableChange&)> listener_;
};

}  // namespace vkt::dbf
