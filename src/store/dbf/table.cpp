#include "store/dbf/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "store/dbf/numberfield.h"

namespace vkt::dbf {

namespace {

// Read-ahead when walking, and the piece size of a pack's writes.
constexpr std::size_t kWindowBytes = 1 << 20;
// How many rows ahead of a walk their bytes are asked into the cache, and in what steps.
constexpr std::uint32_t kPrefetchRows = 8;
constexpr std::size_t kCacheLine = 64;

// Asks the bytes [begin, end) of a row into the cache, where the compiler offers a way to. Forced
// inline: a call whose only effect is a cache hint is otherwise dropped as doing nothing.
#if defined(__GNUC__) || defined(__clang__)
[[gnu::always_inline]] inline void fetch_lines(const char* row, std::size_t begin, std::size_t end) {
  for (std::size_t at = begin; at < end; at += kCacheLine) {
    __builtin_prefetch(row + at);
  }
  __builtin_prefetch(row + end - 1);
}
#else
inline void fetch_lines(const char*, std::size_t, std::size_t) {}
#endif

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) {
    s.remove_suffix(1);
  }
  return s;
}

// A text field's padding, eight blanks at a time: comments are mostly padding.
std::string_view trim_trailing_spaces(std::string_view s) {
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020ULL;
  std::size_t end = s.size();
  while (end >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, s.data() + end - 8, 8);
    if (word != kEightBlanks) {
      break;
    }
    end -= 8;
  }
  while (end > 0 && s[end - 1] == ' ') {
    --end;
  }
  return s.substr(0, end);
}

std::string general_number(double v) {
  char buf[64];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  (void)ec;  // 64 characters hold every double in this form
  return std::string(buf, ptr);
}

}  // namespace

Table::~Table() {
  try {
    close();
  } catch (...) {
    // A failing flush cannot be reported from here; close() explicitly to see it.
  }
}

// --- life ---

void Table::create(const std::filesystem::path& path, const std::vector<FieldSpec>& fields,
                   std::uint8_t language_driver) {
  close();
  const std::string head = build_header(fields, language_driver, local_today());
  std::unique_ptr<FileStorage> place = FileStorage::claim(path);
  place->set_replace_hook(replace_hook_);
  std::unique_ptr<Storage> fresh = place->begin_replacement();
  fresh->write_at(0, head.data(), head.size());
  fresh->write_at(head.size(), &kEndOfData, 1);
  place->commit_replacement(std::move(fresh));
  load(std::move(place), path);
}

void Table::create(std::unique_ptr<Storage> storage, const std::vector<FieldSpec>& fields,
                   std::uint8_t language_driver) {
  close();
  const std::string head = build_header(fields, language_driver, local_today());
  std::unique_ptr<Storage> fresh = storage->begin_replacement();
  fresh->write_at(0, head.data(), head.size());
  fresh->write_at(head.size(), &kEndOfData, 1);
  storage->commit_replacement(std::move(fresh));
  load(std::move(storage), {});
}

void Table::open(const std::filesystem::path& path) {
  close();
  load(FileStorage::open(path), path);
}

void Table::open_read_only(const std::filesystem::path& path) {
  close();
  load(FileStorage::open_read_only(path), path);
}

void Table::open(std::unique_ptr<Storage> storage) {
  close();
  load(std::move(storage), {});
}

void Table::load(std::unique_ptr<Storage> storage, const std::filesystem::path& path) {
  storage->set_replace_hook(replace_hook_);
  storage_ = std::move(storage);
  path_ = path;
  try {
    load_layout();
    if (!filter_text_.empty()) {
      set_filter(std::string(filter_text_));
    }
  } catch (...) {
    drop_view();
    storage_.reset();
    path_.clear();
    throw;
  }
  reset_cursor();
}

void Table::load_layout() {
  drop_view();
  hot_begin_ = 0;
  hot_end_ = 1;
  window_.clear();
  window_start_ = 0;
  const std::uint64_t size = storage_->size();
  std::string head(std::min<std::uint64_t>(size, kHeaderSize), '\0');
  storage_->read_at(0, head.data(), head.size());
  if (head.size() == kHeaderSize) {
    const std::size_t declared = static_cast<unsigned char>(head[kOffHeaderLength]) |
                                 (static_cast<unsigned char>(head[kOffHeaderLength + 1]) << 8);
    head.resize(std::min<std::uint64_t>(size, std::max(declared, kHeaderSize)));
    storage_->read_at(0, head.data(), head.size());
  }
  layout_ = parse_layout(head, size);
  code_page_ = code_page_for_driver(layout_.header.language_driver);
  char last = 0;
  tail_clean_ = size == layout_.data_end() + 1 && storage_->read_at(size - 1, &last, 1) == 1 &&
                static_cast<std::uint8_t>(last) == kEndOfData;
  if (size == layout_.data_end() || tail_clean_) {
    return;
  }
  // After the counted rows comes the end mark, then more: rows of an append that stopped before
  // the header counted them, which every reader passes over. Opened for writing, the file loses
  // them at once, so no save or copy carries them on. Without the end mark there, the count lost
  // rows (or invented them): reading it would hide them, and writing after it would cut them off.
  char mark = 0;
  if (storage_->read_at(layout_.data_end(), &mark, 1) != 1 || static_cast<std::uint8_t>(mark) != kEndOfData) {
    throw DbfError(ErrorKind::Damaged,
                   "Файл таблицы повреждён: записей в файле не столько, "
                   "сколько указано в заголовке");
  }
  if (!storage_->read_only()) {
    repair_tail();
  }
}

void Table::reset_cursor() {
  state_ = State::Browse;
  ordered_ = false;
  order_.clear();
  first();
}

void Table::close() {
  if (!storage_) {
    return;
  }
  state_ = State::Browse;
  // Rows appended but never committed stay beyond the count.
  appending_from_.reset();
  std::unique_ptr<Storage> storage = std::move(storage_);
  current_ = 0;
  eof_ = bof_ = true;
  row_.clear();
  drop_view();
  window_.clear();
  ordered_ = false;
  order_.clear();
  storage->sync();
}

void Table::reopen() {
  require_open();
  if (path_.empty()) {
    throw DbfError(ErrorKind::Usage, "Таблица в памяти не может быть открыта заново");
  }
  const std::filesystem::path path = path_;
  const bool read_only_before = read_only();
  close();
  if (read_only_before) {
    open_read_only(path);
  } else {
    open(path);
  }
}

void Table::flush() {
  require_open();
  storage_->sync();
}

void Table::set_replace_hook(ReplaceHook hook) {
  replace_hook_ = std::move(hook);
  if (storage_) {
    storage_->set_replace_hook(replace_hook_);
  }
}

// --- structure ---

const TableHeader& Table::header() const {
  return layout_.header;
}

const std::vector<Field>& Table::fields() const {
  return layout_.fields;
}

std::optional<std::size_t> Table::find_field(std::string_view name) const {
  return layout_.find(name);
}

std::size_t Table::field_index(std::string_view name) const {
  require_open();
  const auto index = layout_.find(name);
  if (!index) {
    throw DbfError(ErrorKind::Usage, "Поле \"" + std::string(name) + "\" не найдено");
  }
  return *index;
}

void Table::set_production_index_flag(bool on) {
  require_open();
  const char b = on ? 1 : 0;
  write_at(kOffProductionIndex, std::string_view(&b, 1));
  layout_.header.production_index = on;
}

void Table::set_field_tag_flag(std::size_t field, bool on) {
  require_open();
  if (field >= layout_.fields.size()) {
    throw DbfError(ErrorKind::Usage, "Нет поля с номером " + std::to_string(field));
  }
  const char b = on ? 1 : 0;
  write_at(kHeaderSize + field * kDescriptorSize + kOffFieldHasTag, std::string_view(&b, 1));
  layout_.fields[field].has_tag = on;
}

// --- filter and order ---

void Table::set_filter(std::string_view text) {
  const std::string_view body = trim_blanks(text);
  if (body.empty()) {
    filter_.reset();
    filter_text_.clear();
  } else {
    const auto refuse = [&] {
      throw DbfError(ErrorKind::Usage, "Недопустимый фильтр \"" + std::string(text) + "\"");
    };
    const std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) {
      refuse();
    }
    const std::string_view name = trim_blanks(body.substr(0, eq));
    const StoredNumber number = parse_number(body.substr(eq + 1));
    if (!number.valid || !number.value) {
      refuse();
    }
    if (is_open()) {
      const auto field = layout_.find(name);
      if (!field || !is_numeric(layout_.fields[*field].type)) {
        refuse();
      }
      filter_ = Filter{*field, *number.value};
      const Field& f = layout_.fields[*field];
      touch_fields(f.offset, f.offset + f.width);
    }
    filter_text_ = std::string(text);
  }
  if (is_open()) {
    first();
  }
}

void Table::refresh() {
  require_open();
  end_change_before_move();
  drop_view();
  if (current_ != 0 && current_ <= layout_.header.record_count && admits(current_) &&
      (!ordered_ || (pos_ < order_.size() && order_[pos_] == current_))) {
    return;
  }
  first();
}

void Table::set_order(std::vector<std::uint32_t> recnos) {
  require_open();
  end_change_before_move();
  order_ = std::move(recnos);
  ordered_ = true;
  first();
}

void Table::clear_order() {
  require_open();
  end_change_before_move();
  ordered_ = false;
  order_.clear();
  first();
}

// --- walking ---

std::uint32_t Table::view_size() const {
  return ordered_ ? static_cast<std::uint32_t>(order_.size()) : layout_.header.record_count;
}

std::uint32_t Table::view_recno(std::uint32_t pos) const {
  return ordered_ ? order_[pos] : pos + 1;
}

bool Table::admits(std::uint32_t recno) const {
  if (recno == 0 || recno > layout_.header.record_count) {
    return false;
  }
  const char* rec = record_ptr(recno);
  if (rec[0] == kDeletedFlag) {
    return false;
  }
  if (!filter_) {
    return true;
  }
  const Field& f = layout_.fields[filter_->field];
  // Empty counts as 0; so does a value no one can read, which keeps such a row in sight.
  const StoredNumber n = parse_number(std::string_view(rec + f.offset, f.width));
  return n.value.value_or(0.0) == filter_->value;
}

void Table::touch_fields(std::size_t begin, std::size_t end) const {
  hot_begin_ = std::min(hot_begin_, begin);
  hot_end_ = std::max(hot_end_, end);
}

const char* Table::row_ahead(std::uint32_t pos) const {
  // Only rows lying in the view: the window holds few, and a wrong guess there costs a read.
  if (pos >= view_size()) {
    return nullptr;
  }
  const std::uint32_t recno = view_recno(pos);
  if (recno == 0 || recno > layout_.header.record_count) {
    return nullptr;
  }
  const std::uint64_t offset = layout_.record_offset(recno);
  if (offset + layout_.header.record_length > view_.size()) {
    return nullptr;
  }
  return view_.data() + offset;
}

std::optional<std::uint32_t> Table::seek(std::uint32_t from, bool forward) const {
  const std::uint32_t size = view_size();
  if (forward) {
    for (std::uint32_t pos = from; pos < size; ++pos) {
      if (const char* ahead = row_ahead(pos + kPrefetchRows)) {
        fetch_lines(ahead, hot_begin_, hot_end_);
      }
      if (admits(view_recno(pos))) {
        return pos;
      }
    }
  } else if (size > 0) {
    for (std::uint32_t pos = std::min(from, size - 1) + 1; pos-- > 0;) {
      if (const char* ahead = pos >= kPrefetchRows ? row_ahead(pos - kPrefetchRows) : nullptr) {
        fetch_lines(ahead, hot_begin_, hot_end_);
      }
      if (admits(view_recno(pos))) {
        return pos;
      }
    }
  }
  return std::nullopt;
}

void Table::make_current(std::uint32_t pos) {
  pos_ = pos;
  current_ = view_recno(pos);
}

bool Table::leave_empty_view() {
  current_ = 0;
  row_.clear();
  eof_ = bof_ = true;
  return false;
}

bool Table::first() {
  require_open();
  end_change_before_move();
  drop_view();
  const auto pos = seek(0, true);
  if (!pos) {
    return leave_empty_view();
  }
  make_current(*pos);
  bof_ = true;
  eof_ = false;
  return true;
}

bool Table::last() {
  require_open();
  end_change_before_move();
  drop_view();
  const auto pos = seek(view_size() == 0 ? 0 : view_size() - 1, false);
  if (!pos) {
    return leave_empty_view();
  }
  make_current(*pos);
  eof_ = true;
  bof_ = false;
  return true;
}

bool Table::next() {
  require_open();
  end_change_before_move();
  if (current_ == 0) {
    eof_ = true;
    return false;
  }
  const auto pos = seek(pos_ + 1, true);
  if (!pos) {
    eof_ = true;
    return false;
  }
  make_current(*pos);
  eof_ = bof_ = false;
  return true;
}

bool Table::prior() {
  require_open();
  end_change_before_move();
  if (current_ == 0 || pos_ == 0) {
    bof_ = true;
    return false;
  }
  const auto pos = seek(pos_ - 1, false);
  if (!pos) {
    bof_ = true;
    return false;
  }
  make_current(*pos);
  eof_ = bof_ = false;
  return true;
}

bool Table::go_to(std::uint32_t recno) {
  require_open();
  end_change_before_move();
  drop_view();
  if (recno == 0 || recno > layout_.header.record_count) {
    return false;
  }
  std::uint32_t pos = recno - 1;
  if (ordered_) {
    const auto it = std::find(order_.begin(), order_.end(), recno);
    pos = it == order_.end() ? 0 : static_cast<std::uint32_t>(it - order_.begin());
  }
  pos_ = pos;
  current_ = recno;
  eof_ = bof_ = false;
  return true;
}

std::uint32_t Table::count() {
  require_open();
  drop_view();
  std::uint32_t n = 0;
  const std::uint32_t size = view_size();
  for (std::uint32_t pos = 0; pos < size; ++pos) {
    if (const char* ahead = row_ahead(pos + kPrefetchRows)) {
      fetch_lines(ahead, hot_begin_, hot_end_);
    }
    n += admits(view_recno(pos)) ? 1 : 0;
  }
  return n;
}

std::vector<std::uint32_t> Table::view_records() {
  require_open();
  end_change_before_move();
  drop_view();
  const std::uint32_t count = layout_.header.record_count;
  std::vector<std::uint32_t> out;
  if (!ordered_) {
    for (std::uint32_t recno = 1; recno <= count; ++recno) {
      if (admits(recno)) {
        out.push_back(recno);
      }
    }
    return out;
  }
  std::vector<bool> admitted(static_cast<std::size_t>(count) + 1, false);
  for (std::uint32_t recno = 1; recno <= count; ++recno) {
    admitted[recno] = admits(recno);
  }
  out.reserve(order_.size());
  for (const std::uint32_t recno : order_) {
    if (recno != 0 && recno <= count && admitted[recno]) {
      out.push_back(recno);
    }
  }
  return out;
}

// --- reading ---

std::string_view Table::field_bytes(std::size_t field) const {
  require_open();
  if (field >= layout_.fields.size()) {
    throw DbfError(ErrorKind::Usage, "Нет поля с номером " + std::to_string(field));
  }
  require_row();
  const Field& f = layout_.fields[field];
  touch_fields(f.offset, f.offset + f.width);
  // Unchanged rows are read where they lie (view or read-ahead window); changes live in row_.
  const char* rec = state_ == State::Browse ? record_ptr(current_) : row_.data();
  return std::string_view(rec + f.offset, f.width);
}

bool Table::is_empty(std::size_t field) const {
  const std::string_view bytes = field_bytes(field);
  if (is_numeric(layout_.fields[field].type)) {
    const StoredNumber n = parse_number(bytes);
    return n.valid && !n.value;
  }
  return trim_blanks(bytes).empty();
}

std::optional<double> Table::read_double(std::size_t field) const {
  const std::string_view bytes = field_bytes(field);
  const Field& f = layout_.fields[field];
  const bool numeric = is_numeric(f.type);
  const StoredNumber n = parse_number(numeric ? bytes : std::string_view(read_text(field)));
  if (!n.valid) {
    throw DbfError(numeric ? ErrorKind::Damaged : ErrorKind::Usage,
                   "Поле " + f.name + " записи " + std::to_string(current_) + " содержит не число: \"" +
                       decode_text(code_page_, trim_blanks(bytes)) + "\"");
  }
  return n.value;
}

std::optional<std::int64_t> Table::read_integer(std::size_t field) const {
  const std::optional<double> v = read_double(field);
  if (!v) {
    return std::nullopt;
  }
  if (!(std::fabs(*v) < 9.2e18)) {
    throw DbfError(ErrorKind::Usage, "Число в поле " + layout_.fields[field].name + " не является целым");
  }
  return std::llround(*v);
}

std::string Table::read_text(std::size_t field) const {
  std::string_view bytes = field_bytes(field);
  if (is_numeric(layout_.fields[field].type)) {
    const StoredNumber n = parse_number(bytes);
    if (!n.valid) {
      return std::string(trim_blanks(bytes));
    }
    return n.value ? general_number(*n.value) : std::string();
  }
  // Text ends at the first NUL, as older writers pad with it.
  bytes = trim_trailing_spaces(bytes);
  bytes = trim_trailing_spaces(bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
  return decode_text(code_page_, bytes);
}

// --- changing ---

void Table::append() {
  require_open();
  end_change_before_move();
  row_.assign(layout_.header.record_length, ' ');
  row_[0] = kLiveFlag;
  state_ = State::Append;
}

void Table::edit() {
  require_open();
  if (state_ == State::Edit) {
    return;
  }
  if (state_ == State::Append) {
    throw DbfError(ErrorKind::Usage, "Новая запись ещё не сохранена");
  }
  require_not_appending();
  require_row();
  row_.assign(record_ptr(current_), layout_.header.record_length);
  state_ = State::Edit;
}

void Table::post() {
  require_open();
  if (state_ == State::Browse) {
    return;
  }
  repair_tail();
  const std::uint32_t count = layout_.header.record_count;
  if (state_ == State::Append) {
    const std::uint32_t recno = count + 1;
    // The record goes first: should anything stop us before the count is written, the row is
    // just trailing bytes a reader passes over.
    std::string bytes = row_;
    bytes.push_back(static_cast<char>(kEndOfData));
    if (appending_from_) {
      // The old end mark stays until the commit has counted the rows: readers that stop at it
      // rather than at the count never meet a row only partly on the disk.
      const std::size_t skip = recno == *appending_from_ + 1 ? 1 : 0;
      appended_bytes_ = true;
      write_at(layout_.record_offset(recno) + skip, std::string_view(bytes).substr(skip));
      layout_.header.record_count = recno;
    } else {
      write_at(layout_.record_offset(recno), bytes);
      stamp_header(recno);
    }
    state_ = State::Browse;
    current_ = recno;
    if (ordered_) {
      order_.push_back(recno);
      pos_ = static_cast<std::uint32_t>(order_.size() - 1);
    } else {
      pos_ = recno - 1;
    }
    eof_ = bof_ = false;
    if (!appending_from_) {
      changed(TableChange::Kind::Appended, recno);
    }
    return;
  }
  write_at(layout_.record_offset(current_), row_);
  stamp_header(count);
  state_ = State::Browse;
  changed(TableChange::Kind::Edited, current_);
}

void Table::cancel() {
  if (state_ == State::Browse) {
    return;
  }
  state_ = State::Browse;
}

const Field& Table::changing_field(std::size_t field) const {
  require_changing();
  if (field >= layout_.fields.size()) {
    throw DbfError(ErrorKind::Usage, "Нет поля с номером " + std::to_string(field));
  }
  return layout_.fields[field];
}

void Table::set_double(std::size_t field, double value) {
  const Field& f = changing_field(field);
  if (is_numeric(f.type)) {
    put_field(field, format_number(value, f.width, f.decimals));
  } else {
    set_text(field, general_number(value));
  }
}

void Table::set_integer(std::size_t field, std::int64_t value) {
  const Field& f = changing_field(field);
  if (is_numeric(f.type)) {
    put_field(field, format_integer(value, f.width, f.decimals));
  } else {
    set_text(field, std::to_string(value));
  }
}

void Table::set_text(std::size_t field, std::string_view utf8) {
  const Field& f = changing_field(field);
  if (is_numeric(f.type)) {
    const StoredNumber n = parse_number(utf8);
    if (!n.valid) {
      throw DbfError(ErrorKind::Usage, "\"" + std::string(utf8) + "\" не является числом");
    }
    put_field(field, n.value ? format_number(*n.value, f.width, f.decimals) : blank_number(f.width));
    return;
  }
  std::string bytes = encode_text(code_page_, utf8);
  bytes.resize(f.width, ' ');
  put_field(field, bytes);
}

void Table::set_empty(std::size_t field) {
  const Field& f = changing_field(field);
  put_field(field, std::string(f.width, ' '));
}

void Table::put_field(std::size_t field, std::string_view bytes) {
  const Field& f = layout_.fields[field];
  row_.replace(f.offset, f.width, bytes);
}

void Table::delete_row() {
  require_open();
  cancel();
  require_row();
  delete_record(current_);
  if (const auto after = seek(pos_ + 1, true)) {
    make_current(*after);
    eof_ = bof_ = false;
  } else if (const auto before = pos_ == 0 ? std::nullopt : seek(pos_ - 1, false)) {
    make_current(*before);
    eof_ = true;
    bof_ = false;
  } else {
    current_ = 0;
    row_.clear();
    eof_ = bof_ = true;
  }
}

void Table::delete_record(std::uint32_t recno) {
  require_open();
  if (recno == 0 || recno > layout_.header.record_count) {
    throw DbfError(ErrorKind::Usage, "Нет записи с номером " + std::to_string(recno));
  }
  require_not_appending();
  repair_tail();
  write_at(layout_.record_offset(recno), std::string_view(&kDeletedFlag, 1));
  stamp_header(layout_.header.record_count);
  changed(TableChange::Kind::Deleted, recno);
}

bool Table::is_deleted(std::uint32_t recno) const {
  require_open();
  if (recno == 0 || recno > layout_.header.record_count) {
    throw DbfError(ErrorKind::Usage, "Нет записи с номером " + std::to_string(recno));
  }
  return record_ptr(recno)[0] == kDeletedFlag;
}

void Table::pack() {
  require_open();
  require_writable();
  require_not_appending();
  end_change_before_move();
  const TableHeader h = layout_.header;
  std::string head(h.header_length, '\0');
  storage_->read_at(0, head.data(), head.size());
  try {
    std::unique_ptr<Storage> fresh = storage_->begin_replacement();
    std::string chunk;
    chunk.reserve(kWindowBytes + h.record_length);
    std::uint64_t at = h.header_length;
    std::uint32_t live = 0;
    for (std::uint32_t recno = 1; recno <= h.record_count; ++recno) {
      const char* rec = record_ptr(recno);
      if (rec[0] == kDeletedFlag) {
        continue;
      }
      chunk.append(rec, h.record_length);
      ++live;
      if (chunk.size() >= kWindowBytes) {
        fresh->write_at(at, chunk.data(), chunk.size());
        at += chunk.size();
        chunk.clear();
      }
    }
    chunk.push_back(static_cast<char>(kEndOfData));
    fresh->write_at(at, chunk.data(), chunk.size());
    head.replace(kOffDate, 7, date_and_count_bytes(local_today(), live));
    fresh->write_at(0, head.data(), head.size());
    drop_view();
    storage_->commit_replacement(std::move(fresh));
  } catch (...) {
    // Whichever content the storage holds now is whole; take it up again.
    load_layout();
    reset_cursor();
    throw;
  }
  load_layout();
  reset_cursor();
  changed(TableChange::Kind::Packed, 0);
}

// --- rows added all at once ---

void Table::begin_appending() {
  require_open();
  require_not_appending();
  end_change_before_move();
  appending_from_ = layout_.header.record_count;
  appending_date_ = layout_.header.last_update;
  appended_bytes_ = false;
}

void Table::commit_appended() {
  require_open();
  if (!appending_from_) {
    return;
  }
  try {
    end_change_before_move();
    const std::uint32_t old_count = *appending_from_;
    const std::uint32_t new_count = layout_.header.record_count;
    if (new_count == old_count) {
      roll_back_appended();
      return;
    }
    storage_->sync();
    step(ReplaceStep::AppendFlushed);
    // The count makes the rows part of the table, so it goes once they are all on the disk.
    const CalendarDate today = local_today();
    write_at(kOffDate, date_and_count_bytes(today, new_count));
    storage_->sync();
    step(ReplaceStep::AppendCounted);
    // Only now the old end mark: had it gone before the count, a file the count under-counts
    // would be left, and such a file is refused as damaged.
    write_at(layout_.record_offset(old_count + 1), std::string_view(&kLiveFlag, 1));
    storage_->sync();
    layout_.header.last_update = today;
    appending_from_.reset();
    for (std::uint32_t recno = old_count + 1; recno <= new_count; ++recno) {
      changed(TableChange::Kind::Appended, recno);
    }
  } catch (...) {
    roll_back_appended();
    throw;
  }
}

void Table::roll_back_appended() noexcept {
  if (!appending_from_ || !storage_) {
    return;
  }
  const std::uint32_t old_count = *appending_from_;
  appending_from_.reset();
  state_ = State::Browse;
  layout_.header.record_count = old_count;
  layout_.header.last_update = appending_date_;
  if (ordered_) {
    std::erase_if(order_, [old_count](std::uint32_t recno) { return recno > old_count; });
  }
  drop_view();
  window_.clear();
  window_start_ = 0;
  if (appended_bytes_) {
    appended_bytes_ = false;
    try {
      const std::uint64_t end = layout_.data_end();
      write_at(kOffDate, date_and_count_bytes(appending_date_, old_count));
      write_at(end, std::string_view(reinterpret_cast<const char*>(&kEndOfData), 1));
      storage_->truncate(end + 1);
      tail_clean_ = true;
    } catch (...) {
      // The rows stay beyond the count, cut off when the file is next opened for writing.
      tail_clean_ = false;
    }
  }
  try {
    first();
  } catch (...) {
    leave_empty_view();
  }
}

void Table::repair_row_flags() {
  require_open();
  require_not_appending();
  end_change_before_move();
  drop_view();
  for (std::uint32_t recno = 1; recno <= layout_.header.record_count; ++recno) {
    if (static_cast<std::uint8_t>(record_ptr(recno)[0]) == kEndOfData) {
      write_at(layout_.record_offset(recno), std::string_view(&kLiveFlag, 1));
    }
  }
}

// --- for index builders ---

std::string Table::raw_field(std::uint32_t recno, std::size_t field) const {
  return std::string(raw_bytes(recno, field));
}

std::string_view Table::raw_bytes(std::uint32_t recno, std::size_t field) const {
  require_open();
  if (recno == 0 || recno > layout_.header.record_count || field >= layout_.fields.size()) {
    throw DbfError(ErrorKind::Usage,
                   "Нет записи " + std::to_string(recno) + " или поля " + std::to_string(field));
  }
  const Field& f = layout_.fields[field];
  return std::string_view(record_ptr(recno) + f.offset, f.width);
}

void Table::set_change_listener(std::function<void(const TableChange&)> listener) {
  listener_ = std::move(listener);
}

// --- internals ---

void Table::require_open() const {
  if (!storage_) {
    throw DbfError(ErrorKind::Usage, "Таблица не открыта");
  }
}

void Table::require_row() const {
  if (current_ == 0 && state_ != State::Append) {
    throw DbfError(ErrorKind::Usage, "Нет текущей записи");
  }
}

void Table::require_changing() const {
  require_open();
  if (state_ == State::Browse) {
    throw DbfError(ErrorKind::Usage, "Запись не редактируется");
  }
}

void Table::end_change_before_move() {
  if (state_ != State::Browse) {
    post();
  }
}

const char* Table::record_ptr(std::uint32_t recno) const {
  const std::uint64_t end = layout_.record_offset(recno) + layout_.header.record_length;
  if (end <= view_.size()) {
    return view_.data() + (end - layout_.header.record_length);
  }
  if (!view_taken_) {
    view_ = storage_->view();
    view_taken_ = true;
    if (end <= view_.size()) {
      return view_.data() + (end - layout_.header.record_length);
    }
  }
  // No view, or a file shorter than its header says: the window reads it, or tells it is damaged.
  return read_into_window(recno);
}

void Table::drop_view() const {
  view_ = {};
  view_taken_ = false;
}

const char* Table::read_into_window(std::uint32_t recno) const {
  const std::size_t length = layout_.header.record_length;
  const std::uint64_t offset = layout_.record_offset(recno);
  if (offset >= window_start_ && offset + length <= window_start_ + window_.size()) {
    return window_.data() + (offset - window_start_);
  }
  // A record right after (or right before) the window continues a walk in file order and gets a
  // big window; a jump elsewhere, as a walk in index order makes, reads that record alone: a walk
  // through a million rows in key order would otherwise copy gigabytes it never looks at.
  const std::uint64_t window_end = window_start_ + window_.size();
  const bool continues = window_.empty() || (offset >= window_end && offset < window_end + length) ||
                         (offset < window_start_ && offset + length >= window_start_);
  const std::size_t span = continues ? std::max(kWindowBytes, length) : length;
  // Walking backwards reads the window that ends at this record.
  std::uint64_t start = offset;
  if (!window_.empty() && offset < window_start_) {
    start = offset + length > span ? offset + length - span : 0;
    start = std::max<std::uint64_t>(start, layout_.header.header_length);
  }
  const std::uint64_t end = std::max(offset + length, std::min(start + span, layout_.data_end()));
  window_.resize(end - start);
  const std::size_t got = storage_->read_at(start, window_.data(), window_.size());
  window_start_ = start;
  if (got < offset - start + length) {
    window_.clear();
    throw DbfError(ErrorKind::Damaged,
                   "Файл таблицы повреждён: запись " + std::to_string(recno) + " не читается");
  }
  window_.resize(got);
  return window_.data() + (offset - start);
}

void Table::write_at(std::uint64_t offset, std::string_view bytes) {
  require_writable();
  drop_view();
  storage_->write_at(offset, bytes.data(), bytes.size());
  // Keep the read-ahead window in step with what is now in the file.
  const std::uint64_t w_end = window_start_ + window_.size();
  const std::uint64_t b_end = offset + bytes.size();
  const std::uint64_t from = std::max(offset, window_start_);
  const std::uint64_t to = std::min(b_end, w_end);
  if (from < to) {
    std::memcpy(window_.data() + (from - window_start_), bytes.data() + (from - offset), to - from);
  }
}

void Table::require_writable() const {
  if (storage_->read_only()) {
    throw DbfError(ErrorKind::NoAccess, "Файл \"" + path_.string() + "\" открыт только для чтения");
  }
}

void Table::repair_tail() {
  if (tail_clean_) {
    return;
  }
  require_writable();
  // Garbage after the records, or a missing end mark, left by another program.
  const std::uint64_t end = layout_.data_end();
  write_at(end, std::string_view(reinterpret_cast<const char*>(&kEndOfData), 1));
  drop_view();
  storage_->truncate(end + 1);
  if (window_start_ + window_.size() > end + 1) {
    window_.clear();
  }
  tail_clean_ = true;
}

void Table::stamp_header(std::uint32_t new_count) {
  const CalendarDate today = local_today();
  TableHeader& h = layout_.header;
  if (new_count == h.record_count && today.year == h.last_update.year && today.month == h.last_update.month &&
      today.day == h.last_update.day) {
    return;
  }
  write_at(kOffDate, date_and_count_bytes(today, new_count));
  h.record_count = new_count;
  h.last_update = today;
}

void Table::require_not_appending() const {
  if (appending_from_) {
    throw DbfError(ErrorKind::Usage, "Добавляемые записи ещё не сохранены");
  }
}

void Table::step(ReplaceStep s) const {
  if (replace_hook_) {
    replace_hook_(s);
  }
}

void Table::changed(TableChange::Kind kind, std::uint32_t recno) {
  ++generation_;
  if (listener_) {
    listener_(TableChange{kind, recno});
  }
}

}  // namespace vkt::dbf
