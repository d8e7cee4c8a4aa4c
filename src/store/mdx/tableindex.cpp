#include "store/mdx/tableindex.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <system_error>

#include "store/dbf/codepage.h"
#include "store/mdx/fileio.h"

namespace vkt::mdx {
namespace {

bool less_in_tag(const TagDefinition& d, const IndexEntry& a, const IndexEntry& b) {
  const int c = compare_keys(d.type, a.key, b.key) * (d.descending ? -1 : 1);
  return c != 0 ? c < 0 : a.record < b.record;
}

bool same_name(std::string_view a, std::string_view b) {
  return upper_tag_name(a) == upper_tag_name(b);
}

}  // namespace

TableIndex::TableIndex(dbf::Table& table) : table_(table) {}

TableIndex::~TableIndex() {
  detach();
}

std::filesystem::path TableIndex::index_path_for(const std::filesystem::path& table_path) {
  std::filesystem::path path = table_path;
  path.replace_extension(".mdx");
  return path;
}

std::filesystem::path TableIndex::index_path() const {
  return table_.path().empty() ? std::filesystem::path() : index_path_for(table_.path());
}

TableIndex::Found TableIndex::attach() {
  detach();
  tags_.clear();
  selected_.clear();
  if (!table_.is_open()) {
    throw MdxError(ErrorKind::Usage, "Таблица не открыта");
  }
  const bool announced = table_.header().production_index;
  const std::filesystem::path path = index_path();
  std::error_code ec;
  const bool exists = !path.empty() && std::filesystem::exists(path, ec);
  Found found = Found::NoIndex;
  if (!exists) {
    found = announced ? Found::FlagCleared : Found::NoIndex;
  } else if (announced) {
    try {
      MdxContents contents = read_mdx_file(path);
      if (!contents.tags.empty() && matches_table(contents)) {
        tags_ = std::move(contents.tags);
        found = Found::Loaded;
      } else {
        found = Found::Dropped;
      }
    } catch (const MdxError&) {
      found = Found::Dropped;
    }
  } else {
    // A file the header does not announce is a leftover no other reader would take up.
    found = Found::Dropped;
  }
  apply_flags();
  if (found == Found::Dropped) {
    remove_file();
  }
  table_.set_change_listener([this](const dbf::TableChange& change) { on_change(change); });
  attached_ = true;
  return found;
}

void TableIndex::detach() {
  if (attached_) {
    table_.set_change_listener({});
    attached_ = false;
  }
}

TableIndex::FieldKey TableIndex::key_of(std::string_view field_name) const {
  return key_of_field(table_, field_name);
}

TableIndex::FieldKey TableIndex::key_of_field(const dbf::Table& table, std::string_view field_name) {
  const auto field = table.find_field(field_name);
  if (!field) {
    throw MdxError(ErrorKind::Usage,
                   "Нельзя построить индекс: в таблице нет поля " + std::string(field_name));
  }
  const dbf::Field& f = table.fields()[*field];
  switch (f.type) {
    case dbf::FieldType::Character:
      return {*field, KeyType::Character, key_length_for(KeyType::Character, f.width, f.name)};
    case dbf::FieldType::Numeric:
    case dbf::FieldType::Float:
      return {*field, KeyType::Numeric, kNumericKeyLength};
    default:
      throw MdxError(ErrorKind::Usage,
                     "Нельзя построить индекс по полю " + f.name + ": поля этого типа не индексируются");
  }
}

std::string TableIndex::key_for(const FieldKey& key, std::uint32_t recno) const {
  const std::string_view raw = table_.raw_bytes(recno, key.field);
  if (key.type == KeyType::Numeric) {
    const NumericKey packed = numeric_key_from_text(raw);
    return std::string(packed.begin(), packed.end());
  }
  return character_key(raw, key.key_length);
}

// Every record gets a key, deleted ones too: the table's walk passes over deleted rows, and a pack
// renumbers the rest and rebuilds the tags.
std::vector<IndexEntry> TableIndex::entries_for(const FieldKey& key) const {
  std::vector<IndexEntry> entries;
  const std::uint32_t count = table_.record_count();
  entries.reserve(count);
  for (std::uint32_t recno = 1; recno <= count; ++recno) {
    entries.push_back({key_for(key, recno), recno});
  }
  return entries;
}

Tag* TableIndex::find_tag(std::string_view tag_name) {
  const auto it = std::find_if(tags_.begin(), tags_.end(),
                               [&](const Tag& t) { return same_name(t.definition.name, tag_name); });
  return it == tags_.end() ? nullptr : &*it;
}

const Tag* TableIndex::find_tag(std::string_view tag_name) const {
  return const_cast<TableIndex*>(this)->find_tag(tag_name);
}

bool TableIndex::has_tag(std::string_view tag_name) const {
  return find_tag(tag_name) != nullptr;
}

std::vector<TagDefinition> TableIndex::tags() const {
  std::vector<TagDefinition> definitions;
  for (const Tag& tag : tags_) {
    definitions.push_back(tag.definition);
  }
  return definitions;
}

std::vector<std::uint32_t> TableIndex::record_order(std::string_view tag_name) const {
  const Tag* tag = find_tag(tag_name);
  if (tag == nullptr) {
    throw MdxError(ErrorKind::Usage, "Нет тега индекса " + std::string(tag_name));
  }
  std::vector<std::uint32_t> records;
  records.reserve(tag->entries.size());
  for (const IndexEntry& e : tag->entries) {
    records.push_back(e.record);
  }
  return records;
}

// The file must hold, for every record, exactly the key the row gives now; anything else is an
// index left behind by an interrupted session and is not trusted.
bool TableIndex::matches_table(const MdxContents& contents) const {
  const std::uint32_t count = table_.record_count();
  for (const Tag& tag : contents.tags) {
    FieldKey key{};
    try {
      key = key_of(tag.definition.field);
    } catch (const MdxError&) {
      return false;
    }
    if (key.type != tag.definition.type || key.key_length != tag.definition.key_length ||
        tag.entries.size() != count) {
      return false;
    }
    std::vector<bool> seen(count + 1, false);
    for (const IndexEntry& e : tag.entries) {
      if (e.record > count || seen[e.record] || e.key != key_for(key, e.record)) {
        return false;
      }
      seen[e.record] = true;
    }
  }
  return true;
}

void TableIndex::add_tag(std::string_view tag_name, std::string_view field_name, bool descending) {
  if (!table_.is_open()) {
    throw MdxError(ErrorKind::Usage, "Таблица не открыта");
  }
  try {
    const FieldKey key = key_of(field_name);
    Tag tag{{upper_tag_name(tag_name), table_.fields()[key.field].name, key.type, key.key_length, descending},
            entries_for(key)};
    sort_entries(tag.definition, tag.entries);
    std::vector<Tag> next = tags_;
    if (Tag* same = find_tag(tag_name)) {
      next[static_cast<std::size_t>(same - tags_.data())] = std::move(tag);
    } else {
      next.push_back(std::move(tag));
    }
    store(next);
    tags_ = std::move(next);
  } catch (const MdxError&) {
    drop_order();
    throw;
  }
  apply_flags();
  if (same_name(selected_, tag_name)) {
    apply_order(false);
  }
}

void TableIndex::select_order(std::string_view tag_name) {
  if (find_tag(tag_name) == nullptr) {
    throw MdxError(ErrorKind::Usage, "Нет тега индекса " + std::string(tag_name));
  }
  selected_ = upper_tag_name(tag_name);
  table_.set_order(record_order(selected_));
}

void TableIndex::drop_order() {
  selected_.clear();
  if (table_.is_open() && table_.has_order()) {
    table_.clear_order();
  }
}

void TableIndex::delete_tag(std::string_view tag_name) {
  const Tag* tag = find_tag(tag_name);
  if (tag == nullptr) {
    throw MdxError(ErrorKind::Usage, "Нет тега индекса " + std::string(tag_name));
  }
  if (same_name(selected_, tag_name)) {
    drop_order();
  }
  std::vector<Tag> next;
  for (const Tag& t : tags_) {
    if (&t != tag) {
      next.push_back(t);
    }
  }
  if (next.empty()) {
    // Flags first: a crash before the file goes leaves a file nobody announces, which the next
    // open deletes.
    tags_.clear();
    apply_flags();
    remove_file();
    return;
  }
  store(next);
  tags_ = std::move(next);
  apply_flags();
}

void TableIndex::rebuild() {
  std::vector<Tag> next = tags_;
  for (Tag& tag : next) {
    const FieldKey key = key_of(tag.definition.field);
    tag.entries = entries_for(key);
    sort_entries(tag.definition, tag.entries);
  }
  store(next);
  tags_ = std::move(next);
  apply_flags();
  apply_order(true);
}

void TableIndex::remove_index_file() {
  tags_.clear();
  if (table_.is_open()) {
    drop_order();
    apply_flags();
  }
  selected_.clear();
  remove_file();
}

void TableIndex::insert_entry(Tag& tag, IndexEntry entry) {
  const auto at = std::lower_bound(
      tag.entries.begin(), tag.entries.end(), entry,
      [&](const IndexEntry& a, const IndexEntry& b) { return less_in_tag(tag.definition, a, b); });
  tag.entries.insert(at, std::move(entry));
}

// Appends and edits move one key within each tag; a pack renumbers records, so the tags are
// built again. Deleting only marks a row, and the walk already passes over marked rows.
void TableIndex::on_change(const dbf::TableChange& change) {
  if (tags_.empty() || change.kind == dbf::TableChange::Kind::Deleted) {
    return;
  }
  switch (change.kind) {
    case dbf::TableChange::Kind::Appended:
      for (Tag& tag : tags_) {
        insert_entry(tag, {key_for(key_of(tag.definition.field), change.recno), change.recno});
      }
      break;
    case dbf::TableChange::Kind::Edited: {
      bool moved = false;
      for (Tag& tag : tags_) {
        std::string key = key_for(key_of(tag.definition.field), change.recno);
        const auto old = std::find_if(tag.entries.begin(), tag.entries.end(),
                                      [&](const IndexEntry& e) { return e.record == change.recno; });
        if (old != tag.entries.end()) {
          if (old->key == key) {
            continue;
          }
          tag.entries.erase(old);
        }
        insert_entry(tag, {std::move(key), change.recno});
        moved = true;
      }
      if (!moved) {
        return;
      }
      break;
    }
    case dbf::TableChange::Kind::Packed:
      for (Tag& tag : tags_) {
        tag.entries = entries_for(key_of(tag.definition.field));
        sort_entries(tag.definition, tag.entries);
      }
      break;
    case dbf::TableChange::Kind::Deleted:
      return;
  }
  store(tags_);
  apply_order(change.kind != dbf::TableChange::Kind::Packed);
}

void TableIndex::store(const std::vector<Tag>& tags) {
  const std::filesystem::path path = index_path();
  if (path.empty()) {
    return;  // a table in memory keeps its index in memory
  }
  const std::u8string stem = table_.path().stem().u8string();
  const std::string name = dbf::encode_text(table_.code_page(), std::string(stem.begin(), stem.end()));
  write_mdx_file(path, name, tags);
}

void TableIndex::apply_flags() {
  if (table_.header().production_index != !tags_.empty()) {
    table_.set_production_index_flag(!tags_.empty());
  }
  const std::vector<dbf::Field>& fields = table_.fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const bool tagged = std::any_of(tags_.begin(), tags_.end(), [&](const Tag& t) {
      return same_name(t.definition.field, fields[i].name);
    });
    if (fields[i].has_tag != tagged) {
      table_.set_field_tag_flag(i, tagged);
    }
  }
}

// Setting an order goes to the first row; when keys moved under a row the caller is on (an append
// or edit just posted), that row stays current.
void TableIndex::apply_order(bool keep_current) {
  if (selected_.empty() || !table_.is_open()) {
    return;
  }
  const std::uint32_t current = table_.recno();
  table_.set_order(record_order(selected_));
  if (keep_current && current != 0) {
    table_.go_to(current);
  }
}

void TableIndex::remove_file() {
  const std::filesystem::path path = index_path();
  if (path.empty()) {
    return;
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  if (ec && std::filesystem::exists(path)) {
    throw MdxError(ErrorKind::Io, "Не удалось удалить индексный файл " + display_name(path));
  }
}

namespace {

std::uint64_t big_endian(const std::uint8_t* p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    v = (v << 8) | p[i];
  }
  return v;
}

}  // namespace

// Keys are made as the rows come, in file order, into one flat block, and compared as plain
// bytes (numeric keys as two integers): no allocation per row, no jumping about the file.
std::vector<std::uint32_t> TableIndex::sorted_records(const dbf::Table& table, std::string_view field_name,
                                                      bool descending) {
  const FieldKey key = key_of_field(table, field_name);
  const std::uint32_t count = table.record_count();
  std::vector<std::uint32_t> records(count);
  if (key.type == KeyType::Numeric) {
    struct Packed {
      std::uint64_t high;
      std::uint32_t low;
      std::uint32_t record;
    };
    std::vector<Packed> packed(count);
    const std::uint64_t flip = descending ? ~std::uint64_t{0} : 0;
    std::uint8_t bytes[kNumericKeyLength];
    for (std::uint32_t recno = 1; recno <= count; ++recno) {
      const NumericKey k = numeric_key_from_text(table.raw_bytes(recno, key.field));
      sortable_key(KeyType::Numeric, std::string_view(reinterpret_cast<const char*>(k.data()), k.size()),
                   bytes);
      packed[recno - 1] = {big_endian(bytes, 8) ^ flip,
                           static_cast<std::uint32_t>(big_endian(bytes + 8, 4) ^ flip), recno};
    }
    std::sort(packed.begin(), packed.end(), [](const Packed& a, const Packed& b) {
      if (a.high != b.high) {
        return a.high < b.high;
      }
      return a.low != b.low ? a.low < b.low : a.record < b.record;
    });
    for (std::uint32_t i = 0; i < count; ++i) {
      records[i] = packed[i].record;
    }
    return records;
  }
  const std::size_t length = key.key_length;
  std::vector<char> keys(static_cast<std::size_t>(count) * length, ' ');
  for (std::uint32_t recno = 1; recno <= count; ++recno) {
    const std::string_view raw = table.raw_bytes(recno, key.field);
    std::memcpy(keys.data() + (recno - 1) * length, raw.data(), std::min(raw.size(), length));
  }
  std::iota(records.begin(), records.end(), 1u);
  const int direction = descending ? -1 : 1;
  std::sort(records.begin(), records.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int c =
        std::memcmp(keys.data() + (a - 1) * length, keys.data() + (b - 1) * length, length) * direction;
    return c != 0 ? c < 0 : a < b;
  });
  return records;
}

}  // namespace vkt::mdx
