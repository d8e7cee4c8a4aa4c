#include "store/measurement/measurementdocument.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <system_error>

#include "core/numbertext.h"
#include "image/tableimport.h"
#include "store/dbf/codepage.h"
#include "store/dbf/filereplacement.h"
#include "store/dbf/numberfield.h"
#include "store/dbf/table.h"
#include "store/mdx/tableindex.h"
#include "store/measurement/measurementwaveforms.h"

namespace vkt::measurement {

namespace {

// The sort tags of the two grids; deleting rows drops both.
constexpr std::string_view kSortTags[] = {"tab1", "tab2"};

// The waveform file beside the file a path names: a table reached through a link has its
// waveforms beside the table itself, where a copy of the folder takes them along.
std::filesystem::path companion_of(const std::filesystem::path& table) {
  return waveform::companion_path(dbf::FileReplacement::resolve(table));
}

std::string file_name(const std::filesystem::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

std::string in_quotes(const std::filesystem::path& path) {
  return "«" + file_name(path) + "»";
}

}  // namespace

bool is_same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  return dbf::same_file(a, b);
}

void check_replaceable(const std::filesystem::path& target) {
  dbf::FileReplacement::check_replaceable(target);
}

MeasurementDocument::MeasurementDocument()
    : table_(std::make_unique<dbf::Table>()), index_(std::make_unique<mdx::TableIndex>(*table_)) {}

MeasurementDocument::~MeasurementDocument() = default;

bool MeasurementDocument::is_open() const {
  return table_->is_open();
}

bool MeasurementDocument::read_only() const {
  return table_->read_only();
}

MeasurementDocument::Opened MeasurementDocument::open(const std::filesystem::path& path, Access access) {
  close();
  path_ = std::filesystem::absolute(path);
  try {
    try {
      open_measurement_file(*table_, path_, access == Access::Editing ? Access::ReadWrite : access);
    } catch (const vkt::Error& e) {
      if (access != Access::Editing || e.kind() != ErrorKind::NoAccess) {
        throw;
      }
      open_measurement_file(*table_, path_, Access::ReadOnly);
    }
    read_device_code();
  } catch (...) {
    table_->close();
    throw;
  }
  Opened opened;
  if (access != Access::ReadOnly) {
    try {
      attach_index();
    } catch (const vkt::Error& e) {
      opened.index_problem = e.text();
    }
  }
  waveforms_ = waveform::WaveformFile::load(companion_of(path_));
  opened.waveform_problem = waveform_problem_ = waveforms_.message();
  return opened;
}

void MeasurementDocument::open(std::unique_ptr<dbf::Storage> storage) {
  close();
  path_.clear();
  table_->open(std::move(storage));
  try {
    check_measurement_table(*table_);
    read_device_code();
  } catch (...) {
    table_->close();
    throw;
  }
}

void MeasurementDocument::read_device_code() {
  // A first row that cannot be read is a damaged file like any other.
  table_->first();
  device_code_ =
      table_->has_row() ? static_cast<std::uint8_t>(table_->read_integer("DEV_TYPE").value_or(0)) : 0;
}

void MeasurementDocument::reserve(const std::filesystem::path& path) {
  close();
  path_ = std::filesystem::absolute(path);
  dbf::FileReplacement::check_replaceable(path_);
  std::error_code absent;
  if (!std::filesystem::exists(path_, absent)) {
    return;
  }
  held_ = std::make_unique<dbf::Table>();
  try {
    held_->open(path_);
  } catch (const vkt::Error& e) {
    held_.reset();
    if (e.kind() == ErrorKind::Locked) {
      throw;
    }
  }
}

image::ImportResult MeasurementDocument::create(ProgramState& state, std::string_view decimal_separator) {
  image::ImportResult imported;
  {
    MeasurementRewrite fresh(path_);
    imported = image::flash2lmf(fresh.table(), state, image::ImportMode::kNewFile, decimal_separator);
    // Before the table: the records of the file it replaces stay, so a crash in between leaves
    // every row of the old table its waveforms. Its parameters describe another object.
    waveform::WaveformFile kept = waveform::WaveformFile::load(companion_of(path_));
    const bool forget =
        kept.writable() && (kept.parameters() != ObjectParameters{} || kept.parameters_damaged());
    if (forget) {
      kept.set_parameters({});
    }
    keep_waveforms(state, std::move(kept), forget);
    if (held_) {
      held_->close();
      held_.reset();
    }
    fresh.commit();
  }
  open_measurement_file(*table_, path_);
  read_device_code();
  attach_index();
  return imported;
}

void MeasurementDocument::check_appendable() {
  check_measurement_rows(*table_);
  table_->repair_row_flags();
  table_->refresh();
}

image::ImportResult MeasurementDocument::append(ProgramState& state, std::string_view decimal_separator) {
  // The import finds the newest row in file order under a filter of its own; the grids' filter
  // comes back afterwards, and their sort too when no row was added.
  const std::string filter = table_->filter();
  const std::string selected = index_->selected_tag();
  index_->drop_order();
  image::ImportResult imported;
  table_->begin_appending();
  try {
    imported = image::flash2lmf(*table_, state, image::ImportMode::kAppend, decimal_separator);
    // Before the rows join the table, as in create(). Every record of the download goes in, the
    // skipped ones too: rows of an older file that were downloaded before waveforms were kept get
    // theirs.
    keep_waveforms(state, std::move(waveforms_));
    if (imported.appended > 0) {
      drop_index_before_append();
      table_->commit_appended();
    } else {
      table_->roll_back_appended();
    }
  } catch (...) {
    table_->roll_back_appended();
    restore_view(filter, selected);
    throw;
  }
  restore_view(filter, selected);
  return imported;
}

void MeasurementDocument::restore_view(const std::string& filter, const std::string& tag) {
  table_->set_filter(filter);
  if (!tag.empty() && index_->has_tag(tag)) {
    index_->select_order(tag);
  }
}

void MeasurementDocument::drop_index_before_append() {
  // The index describes the old rows only, so it goes before the new ones are counted. Should the
  // file stay, the header no longer announces it (or it lacks the new rows): the next open drops
  // it either way.
  try {
    index_->remove_index_file();
  } catch (const vkt::Error&) {
  }
}

void MeasurementDocument::keep_waveforms(const ProgramState& state, waveform::WaveformFile file,
                                         bool changed) {
  const std::filesystem::path companion = companion_of(path_);
  const std::vector<waveform::MeasurementWaveforms> downloaded = downloaded_waveforms(state);
  const bool news = std::any_of(downloaded.begin(), downloaded.end(), [&](const auto& m) {
    const waveform::MeasurementWaveforms* held = file.find(m.key);
    return held == nullptr || *held != m;
  });
  waveform_problem_.clear();
  // The file tells which firmware measured its newest rows (damaged parameters are left alone).
  if (!state.firmware_version.empty() && file.writable() && !file.parameters_damaged() &&
      file.parameters().instrument_firmware != state.firmware_version) {
    ObjectParameters parameters = file.parameters();
    parameters.instrument_firmware = state.firmware_version;
    file.set_parameters(parameters);
    changed = true;
  }
  if (news || changed) {
    if (!file.writable()) {
      waveform_problem_ = file.message();
    } else {
      try {
        // The download's new waveforms go after the file's last record, the file as a whole only
        // when more has changed.
        file.add_and_save(downloaded, companion);
      } catch (const vkt::Error& e) {
        // The rows matter more than their waveforms: the table is written all the same.
        waveform_problem_ = e.text();
        file = waveform::WaveformFile::load(companion);
      }
    }
  }
  waveforms_ = std::move(file);
}

void MeasurementDocument::set_object_parameters(const ObjectParameters& parameters) {
  if (!table_->is_open() || path_.empty()) {
    throw Error(ErrorKind::Usage, "Параметры объекта не записаны: файл измерений не открыт.");
  }
  if (table_->read_only()) {
    throw Error(ErrorKind::NoAccess,
                "Параметры объекта не записаны: файл " + in_quotes(path_) + " открыт только для чтения.");
  }
  if (!waveforms_.writable()) {
    throw Error(ErrorKind::NoAccess, "Параметры объекта не записаны. " + waveforms_.message());
  }
  waveforms_.save_with_parameters(parameters, companion_of(path_));
}

const waveform::MeasurementWaveforms* MeasurementDocument::waveforms(std::uint32_t recno) const {
  const auto key = row_key(*this, recno);
  return key ? waveforms_.find(*key) : nullptr;
}

bool MeasurementDocument::waveforms_damaged(std::uint32_t recno) const {
  const auto key = row_key(*this, recno);
  return key && waveforms_.is_damaged(*key);
}

namespace {

// A whole copy of source at target, which takes target's place only when complete.
void copy_replacing(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    throw Error(ErrorKind::NotFound, "Файл " + file_name(source) + " не читается.");
  }
  dbf::FileReplacement copy(target);
  std::vector<char> chunk(1 << 20);
  std::uint64_t offset = 0;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    copy.file().write_at(offset, reinterpret_cast<const std::uint8_t*>(chunk.data()), got);
    offset += got;
  }
  if (in.bad()) {
    throw Error(ErrorKind::Io, "Файл " + file_name(source) + " прочитан не полностью.");
  }
  copy.commit();
}

// The waveform file of a file about to be replaced by one without: its records stay (the old
// rows keep theirs should the copy not come), its parameters, which describe another object, go.
void forget_parameters(const std::filesystem::path& companion) {
  waveform::WaveformFile old = waveform::WaveformFile::load(companion);
  if (old.writable() && (old.parameters() != ObjectParameters{} || old.parameters_damaged())) {
    old.save_with_parameters({}, companion);
  }
}

}  // namespace

void MeasurementDocument::save_as(const std::filesystem::path& target) {
  const std::filesystem::path source = path_;
  const std::filesystem::path to = std::filesystem::absolute(target);
  if (is_same_file(source, to)) {
    save();
    return;
  }
  dbf::FileReplacement::check_replaceable(to);
  // The copy is taken of the file as it is on disk, without the index (which describes the open
  // file only) and with nothing of this program holding it.
  close();
  try {
    std::error_code absent;
    if (std::filesystem::exists(companion_of(source), absent)) {
      copy_replacing(companion_of(source), companion_of(to));
    } else {
      forget_parameters(companion_of(to));
    }
    copy_replacing(source, to);
  } catch (...) {
    open(source, Access::Editing);
    throw;
  }
  open(to, Access::Editing);
}

void MeasurementDocument::save() {
  if (table_->is_open()) {
    reopen_keeping_order();
  }
}

void MeasurementDocument::close() {
  if (held_) {
    held_->close();
    held_.reset();
  }
  waveforms_ = waveform::WaveformFile();
  waveform_problem_.clear();
  if (!table_->is_open()) {
    return;
  }
  // The index file goes, and with it the header's claim of one, so other programs open the file
  // as it is. The table is closed even when that fails; the failure is still told. A file open
  // read-only keeps both: nothing of it may be written.
  const bool drop_index = !path_.empty() && !table_->read_only();
  std::exception_ptr failure;
  try {
    if (drop_index) {
      index_->remove_index_file();
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    index_->detach();
    table_->close();
  } catch (...) {
    if (!failure) {
      failure = std::current_exception();
    }
  }
  if (drop_index && failure) {
    // The flags could not be cleared: the index file goes all the same.
    std::error_code ignored;
    std::filesystem::remove(index_path_for(path_), ignored);
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void MeasurementDocument::set_filter(std::string_view filter) {
  table_->set_filter(filter);
  table_->refresh();
}

std::vector<std::uint32_t> MeasurementDocument::rows() {
  if (!table_->is_open()) {
    return {};
  }
  return table_->view_records();
}

void MeasurementDocument::sort(std::string_view tag, std::string_view field, bool descending) {
  index_->drop_order();
  if (index_->has_tag(tag)) {
    index_->delete_tag(tag);
  }
  table_->refresh();
  // The tag is built from every row just now, so no rebuild follows it.
  index_->add_tag(tag, field, descending);
  index_->select_order(tag);
  table_->refresh();
}

void MeasurementDocument::sort_in_memory(std::string_view field, bool descending) {
  table_->set_order(mdx::TableIndex::sorted_records(*table_, field, descending));
}

void MeasurementDocument::clear_sort(std::string_view tag) {
  if (!table_->is_open()) {
    return;
  }
  index_->drop_order();
  if (index_->has_tag(tag)) {
    index_->delete_tag(tag);
  }
  table_->refresh();
}

bool MeasurementDocument::has_tag(std::string_view tag) const {
  return table_->is_open() && index_->has_tag(tag);
}

void MeasurementDocument::delete_rows(std::span<const std::uint32_t> recnos) {
  for (std::string_view tag : kSortTags) {
    clear_sort(tag);
  }
  std::vector<std::uint32_t> sorted(recnos.begin(), recnos.end());
  std::sort(sorted.begin(), sorted.end());
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
    table_->delete_record(*it);
  }
  table_->pack();
  reopen_keeping_order();
}

void MeasurementDocument::renumber(std::span<const std::uint32_t> recnos) {
  std::int64_t number = 1;
  for (std::uint32_t recno : recnos) {
    table_->go_to(recno);
    table_->edit();
    table_->set_integer("N", number++);
    table_->post();
  }
  table_->first();
  reopen_keeping_order();
}

std::optional<std::size_t> MeasurementDocument::find_field(std::string_view name) const {
  if (!table_->is_open()) {
    return std::nullopt;
  }
  return table_->find_field(name);
}

bool MeasurementDocument::is_numeric(std::size_t field) const {
  return dbf::is_numeric(table_->fields()[field].type);
}

std::string MeasurementDocument::field_name(std::size_t field) const {
  return table_->fields()[field].name;
}

std::optional<double> MeasurementDocument::number(std::uint32_t recno, std::size_t field) const {
  return dbf::parse_number(table_->raw_bytes(recno, field)).value;
}

std::string MeasurementDocument::text(std::uint32_t recno, std::size_t field) const {
  std::string bytes = table_->raw_field(recno, field);
  if (is_numeric(field)) {
    const auto n = dbf::parse_number(bytes).value;
    return n ? general_number_text(*n, '.') : std::string();
  }
  while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\0')) {
    bytes.pop_back();
  }
  return dbf::decode_text(table_->code_page(), bytes);
}

CellCheck MeasurementDocument::check_cell(std::size_t field, std::string_view text) const {
  if (!is_numeric(field)) {
    return CellCheck::Ok;
  }
  const dbf::StoredNumber n = dbf::parse_number(text);
  if (!n.valid) {
    return CellCheck::NotANumber;
  }
  if (n.value) {
    const dbf::Field& f = table_->fields()[field];
    try {
      dbf::format_number(*n.value, f.width, f.decimals);
    } catch (const vkt::Error& e) {
      if (e.kind() != ErrorKind::Limit && e.kind() != ErrorKind::Usage) {
        throw;
      }
      return CellCheck::TooWide;
    }
  }
  return CellCheck::Ok;
}

void MeasurementDocument::set_cells(std::uint32_t recno,
                                    std::span<const std::pair<std::size_t, std::string>> values) {
  const std::uint32_t keep = table_->recno();
  table_->go_to(recno);
  table_->edit();
  try {
    for (const auto& [field, value] : values) {
      if (value.empty()) {
        table_->set_empty(field);
      } else {
        table_->set_text(field, value);
      }
    }
    table_->post();
  } catch (...) {
    table_->cancel();
    throw;
  }
  if (keep != 0) {
    table_->go_to(keep);
  }
}

void MeasurementDocument::attach_index() {
  index_->attach();
}

void MeasurementDocument::reopen_keeping_order() {
  const std::string selected = index_->selected_tag();
  index_->detach();
  table_->reopen();
  index_->attach();
  if (!selected.empty() && index_->has_tag(selected)) {
    index_->select_order(selected);
  }
}

}  // namespace vkt::measurement
