#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>
#include <set>

#include "store/mdx/byteorder.h"
#include "store/mdx/fileio.h"
#include "store/mdx/mdxfile.h"
#include "store/mdx/mdxlayout.h"

namespace vkt::mdx {
namespace {

using namespace layout;

bool is_tag_name_character(char c, bool first) {
  const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  const bool digit = c >= '0' && c <= '9';
  return letter || (!first && (digit || c == '_'));
}

void check_definition(const TagDefinition& d) {
  if (d.name.empty() || d.name.size() > kMaxTagNameLength) {
    throw MdxError(ErrorKind::Usage,
                   "Имя тега индекса должно содержать от 1 до 10 символов: \"" + d.name + "\"");
  }
  for (std::size_t i = 0; i < d.name.size(); ++i) {
    if (!is_tag_name_character(d.name[i], i == 0)) {
      throw MdxError(ErrorKind::Usage, "Недопустимое имя тега индекса: \"" + d.name + "\"");
    }
  }
  if (d.field.empty() || d.field.size() >= kTagExpressionLength) {
    throw MdxError(ErrorKind::Usage, "Недопустимое выражение тега индекса " + d.name);
  }
  std::size_t expected = 0;
  switch (d.type) {
    case KeyType::Character:
      expected = key_length_for(d.type, d.key_length, d.field);
      break;
    case KeyType::Numeric:
      expected = kNumericKeyLength;
      break;
    case KeyType::Date:
      expected = kDateKeyLength;
      break;
    default:
      throw MdxError(ErrorKind::Usage, "Недопустимый тип ключа тега индекса " + d.name);
  }
  if (d.key_length != expected) {
    throw MdxError(ErrorKind::Usage, "Недопустимая длина ключа тега индекса " + d.name);
  }
}

void put_date(std::vector<std::uint8_t>& out, std::size_t at, const FileDate& date) {
  out[at] = static_cast<std::uint8_t>(std::clamp(date.year - 1900, 0, 255));
  out[at + 1] = static_cast<std::uint8_t>(std::clamp(date.month, 1, 12));
  out[at + 2] = static_cast<std::uint8_t>(std::clamp(date.day, 1, 31));
}

// Lays out the tag's tree: full leaves from the sorted keys, then branch levels whose keys are
// the last key of each child but the rightmost, until one root remains.
class TreeBuilder {
 public:
  TreeBuilder(std::vector<std::uint8_t>& out, std::uint32_t& next_page, std::size_t key_length)
      : out_(out),
        next_page_(next_page),
        key_length_(key_length),
        item_(item_length(key_length)),
        max_keys_(max_keys_per_node(key_length)) {}

  std::uint32_t build(const std::vector<IndexEntry>& entries) {
    std::vector<Node> level;
    std::size_t at = 0;
    do {
      const std::size_t count = std::min(max_keys_, entries.size() - at);
      const std::uint32_t page = allocate();
      const std::size_t base = offset_of(page);
      put_u32(out_, base + kNodeKeyCount, static_cast<std::uint32_t>(count));
      for (std::size_t i = 0; i < count; ++i) {
        const IndexEntry& e = entries[at + i];
        write_item(base, i, e.record, e.key);
      }
      level.push_back(
          {page, count == 0 ? std::string_view() : std::string_view(entries[at + count - 1].key)});
      at += count;
    } while (at < entries.size());

    while (level.size() > 1) {
      level = build_branches(level);
    }
    return level.front().page;
  }

 private:
  struct Node {
    std::uint32_t page;
    std::string_view last_key;
  };

  std::vector<Node> build_branches(const std::vector<Node>& children) {
    // Spread the children evenly so that no branch is left with a single child.
    const std::size_t fanout = max_keys_ + 1;
    const std::size_t groups = (children.size() + fanout - 1) / fanout;
    const std::size_t base = children.size() / groups;
    const std::size_t extra = children.size() % groups;
    std::vector<Node> parents;
    std::size_t at = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t count = base + (g < extra ? 1 : 0);
      const std::uint32_t page = allocate();
      const std::size_t offset = offset_of(page);
      put_u32(out_, offset + kNodeKeyCount, static_cast<std::uint32_t>(count - 1));
      for (std::size_t i = 0; i + 1 < count; ++i) {
        write_item(offset, i, children[at + i].page, children[at + i].last_key);
      }
      put_u32(out_, offset + kNodeItems + (count - 1) * item_, children[at + count - 1].page);
      parents.push_back({page, children[at + count - 1].last_key});
      at += count;
    }
    return parents;
  }

  void write_item(std::size_t base, std::size_t index, std::uint32_t pointer, std::string_view key) {
    const std::size_t at = base + kNodeItems + index * item_;
    put_u32(out_, at, pointer);
    std::memcpy(out_.data() + at + 4, key.data(), std::min(key.size(), key_length_));
  }

  std::uint32_t allocate() {
    const std::uint32_t page = next_page_;
    next_page_ += kPagesPerBlock;
    out_.resize(static_cast<std::size_t>(next_page_) * kPageSize, 0);
    return page;
  }

  static std::size_t offset_of(std::uint32_t page) { return static_cast<std::size_t>(page) * kPageSize; }

  std::vector<std::uint8_t>& out_;
  std::uint32_t& next_page_;
  std::size_t key_length_;
  std::size_t item_;
  std::size_t max_keys_;
};

void write_tag_header(std::vector<std::uint8_t>& out, std::uint32_t page, const TagDefinition& d,
                      std::uint32_t root, std::uint32_t pages) {
  const std::size_t at = static_cast<std::size_t>(page) * kPageSize;
  put_u32(out, at + kTagRoot, root);
  put_u32(out, at + kTagPages, pages);
  out[at + kTagFormat] = static_cast<std::uint8_t>(kKeyFormatField | (d.descending ? kFormatDescending : 0));
  out[at + kTagKeyType] = static_cast<std::uint8_t>(d.type);
  put_u16(out, at + kTagKeyLength, static_cast<std::uint16_t>(d.key_length));
  put_u16(out, at + kTagMaxKeys, static_cast<std::uint16_t>(max_keys_per_node(d.key_length)));
  put_u16(out, at + kTagDateFlag, d.type == KeyType::Date ? 1 : 0);
  put_u16(out, at + kTagItemLength, static_cast<std::uint16_t>(item_length(d.key_length)));
  out[at + kTagUpdateCounter] = 1;
  std::memcpy(out.data() + at + kTagExpression, d.field.data(), d.field.size());
}

void write_tag_entry(std::vector<std::uint8_t>& out, std::size_t index, const TagDefinition& d,
                     std::uint32_t header_page) {
  const std::size_t at = kTagTable + index * kTagEntrySize;
  put_u32(out, at + kEntryHeaderPage, header_page);
  const std::string name = upper_tag_name(d.name);
  std::memcpy(out.data() + at + kEntryName, name.data(), name.size());
  out[at + kEntryKeyFormat] = kKeyFormatField;
  out[at + kEntryReserved] = kEntryReservedValue;
  out[at + kEntryKeyType] = static_cast<std::uint8_t>(d.type);
}

// The tag table doubles as a binary search tree over the tag names (slot numbers from 1); the
// first tag is its root.
void link_tag_names(std::vector<std::uint8_t>& out, const std::vector<Tag>& tags) {
  auto entry = [](std::size_t slot) { return kTagTable + (slot - 1) * kTagEntrySize; };
  for (std::size_t slot = 2; slot <= tags.size(); ++slot) {
    const std::string name = upper_tag_name(tags[slot - 1].definition.name);
    std::size_t node = 1;
    for (;;) {
      const bool left = name < upper_tag_name(tags[node - 1].definition.name);
      const std::size_t link = entry(node) + (left ? kEntryLeft : kEntryRight);
      if (out[link] == 0) {
        out[link] = static_cast<std::uint8_t>(slot);
        out[entry(slot) + kEntryParent] = static_cast<std::uint8_t>(node);
        break;
      }
      node = out[link];
    }
  }
}

}  // namespace

FileDate FileDate::today() {
  const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::chrono::year_month_day ymd(now);
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::string upper_tag_name(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

void sort_entries(const TagDefinition& definition, std::vector<IndexEntry>& entries) {
  const KeyType type = definition.type;
  const int direction = definition.descending ? -1 : 1;
  const auto less = [type, direction](const IndexEntry& a, const IndexEntry& b) {
    const int c = compare_keys(type, a.key, b.key) * direction;
    return c != 0 ? c < 0 : a.record < b.record;
  };
  // An index kept up to date is handed over in order already.
  if (std::is_sorted(entries.begin(), entries.end(), less)) {
    return;
  }
  const std::size_t length = definition.key_length;
  if (type == KeyType::Date || entries.size() < 2 || length == 0 ||
      std::any_of(entries.begin(), entries.end(),
                  [length](const IndexEntry& e) { return e.key.size() != length; })) {
    std::sort(entries.begin(), entries.end(), less);
    return;
  }
  // Many keys sort much faster as plain bytes laid out side by side.
  std::vector<std::uint8_t> keys(entries.size() * length);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    sortable_key(type, entries[i].key, keys.data() + i * length);
  }
  std::vector<std::uint32_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int c = std::memcmp(keys.data() + a * length, keys.data() + b * length, length) * direction;
    return c != 0 ? c < 0 : entries[a].record < entries[b].record;
  });
  keys = {};
  // Entries move into that order in place, one cycle of the permutation at a time: a million of
  // them are not held twice.
  for (std::uint32_t start = 0; start < order.size(); ++start) {
    if (order[start] == start) {
      continue;
    }
    IndexEntry held = std::move(entries[start]);
    std::uint32_t at = start;
    for (;;) {
      const std::uint32_t from = order[at];
      order[at] = at;
      if (from == start) {
        entries[at] = std::move(held);
        break;
      }
      entries[at] = std::move(entries[from]);
      at = from;
    }
  }
}

namespace {

bool entries_in_order(const TagDefinition& definition, const std::vector<IndexEntry>& entries) {
  const int direction = definition.descending ? -1 : 1;
  return std::is_sorted(entries.begin(), entries.end(), [&](const IndexEntry& a, const IndexEntry& b) {
    const int c = compare_keys(definition.type, a.key, b.key) * direction;
    return c != 0 ? c < 0 : a.record < b.record;
  });
}

void check_tags(const std::vector<Tag>& tags) {
  if (tags.size() > kMaxTags) {
    throw MdxError(ErrorKind::Limit, "В индексном файле не может быть больше 47 тегов");
  }
  std::set<std::string> names;
  for (const Tag& tag : tags) {
    check_definition(tag.definition);
    if (!names.insert(upper_tag_name(tag.definition.name)).second) {
      throw MdxError(ErrorKind::Usage, "Тег индекса " + tag.definition.name + " повторяется");
    }
    for (const IndexEntry& e : tag.entries) {
      if (e.key.size() != tag.definition.key_length || e.record == 0) {
        throw MdxError(ErrorKind::Usage, "Недопустимый ключ в теге индекса " + tag.definition.name);
      }
    }
  }
}

// The file's bytes for tags whose entries are in tree order already.
std::vector<std::uint8_t> lay_out(std::string_view table_name, const std::vector<Tag>& tags, FileDate date) {
  std::vector<std::uint8_t> out(kFirstDataPage * kPageSize, 0);
  out[kHeaderVersion] = kVersion;
  put_date(out, kHeaderCreated, date);
  std::string name = upper_tag_name(table_name).substr(0, kTableNameLength);
  std::memcpy(out.data() + kHeaderTableName, name.data(), name.size());
  put_u16(out, kHeaderPagesPerBlock, kPagesPerBlock);
  put_u16(out, kHeaderBlockSize, kBlockSize);
  out[kHeaderProduction] = 1;
  out[kHeaderTagSlots] = kTagSlotsValue;
  out[kHeaderTagEntryLength] = kTagEntryLengthValue;
  put_u16(out, kHeaderTagsInUse, static_cast<std::uint16_t>(tags.size()));
  out[kHeaderMarker] = kMarkerValue;
  put_date(out, kHeaderUpdated, date);
  out[kHeaderSecondPageMarker] = 1;

  std::uint32_t next_page = kFirstDataPage;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const TagDefinition& d = tags[i].definition;
    const std::uint32_t header_page = next_page;
    next_page += kPagesPerBlock;
    out.resize(static_cast<std::size_t>(next_page) * kPageSize, 0);
    TreeBuilder builder(out, next_page, d.key_length);
    const std::uint32_t root = builder.build(tags[i].entries);
    write_tag_header(out, header_page, d, root, next_page - header_page);
    write_tag_entry(out, i, d, header_page);
  }
  link_tag_names(out, tags);
  put_u32(out, kHeaderPageCount, next_page);
  return out;
}

}  // namespace

std::vector<std::uint8_t> build_mdx(std::string_view table_name, std::vector<Tag> tags, FileDate date) {
  check_tags(tags);
  for (Tag& tag : tags) {
    sort_entries(tag.definition, tag.entries);
  }
  return lay_out(table_name, tags, date);
}

void write_mdx_file(const std::filesystem::path& path, std::string_view table_name,
                    const std::vector<Tag>& tags) {
  // Tags kept up to date are in order already and are laid out where they are, not copied.
  if (std::all_of(tags.begin(), tags.end(),
                  [](const Tag& t) { return entries_in_order(t.definition, t.entries); })) {
    check_tags(tags);
    write_file_atomically(path, lay_out(table_name, tags, FileDate::today()));
    return;
  }
  write_file_atomically(path, build_mdx(table_name, tags, FileDate::today()));
}

}  // namespace vkt::mdx
