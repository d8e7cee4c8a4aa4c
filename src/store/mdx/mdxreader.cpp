#include <set>
#include <vector>

#include "store/mdx/byteorder.h"
#include "store/mdx/fileio.h"
#include "store/mdx/mdxfile.h"
#include "store/mdx/mdxlayout.h"

namespace vkt::mdx {
namespace {

using namespace layout;

// Deeper trees than this cannot come from a table of any size this program handles.
constexpr int kMaxTreeDepth = 32;
constexpr std::size_t kMaxPagesPerBlock = 32;

[[noreturn]] void damaged(const std::string& what) {
  throw MdxError(ErrorKind::Damaged, "Индексный файл повреждён: " + what);
}

struct FileGeometry {
  std::size_t pages_per_block = 0;
  std::size_t block_size = 0;
  std::uint32_t page_count = 0;
};

class TagWalker {
 public:
  TagWalker(std::span<const std::uint8_t> bytes, const FileGeometry& geometry, std::vector<bool>& used_pages,
            Tag& tag)
      : bytes_(bytes),
        geometry_(geometry),
        used_pages_(used_pages),
        tag_(tag),
        item_(item_length(tag.definition.key_length)) {}

  void walk(std::uint32_t root, std::size_t max_keys) {
    max_keys_ = max_keys;
    walk_node(root, 0);
  }

 private:
  std::span<const std::uint8_t> claim_block(std::uint32_t page) {
    if (page < kFirstDataPage || page > geometry_.page_count ||
        geometry_.page_count - page < geometry_.pages_per_block) {
      damaged("ссылка на страницу " + std::to_string(page) + " вне файла в теге " + tag_.definition.name);
    }
    for (std::size_t p = page; p < page + geometry_.pages_per_block; ++p) {
      if (used_pages_[p]) {
        damaged("страница " + std::to_string(p) + " используется дважды");
      }
      used_pages_[p] = true;
    }
    return bytes_.subspan(static_cast<std::size_t>(page) * kPageSize, geometry_.block_size);
  }

  int ordered(std::string_view a, std::string_view b) const {
    const int c = compare_keys(tag_.definition.type, a, b);
    return tag_.definition.descending ? -c : c;
  }

  void walk_node(std::uint32_t page, int depth) {
    if (depth > kMaxTreeDepth) {
      damaged("слишком глубокое дерево в теге " + tag_.definition.name);
    }
    const auto block = claim_block(page);
    const std::uint32_t count = get_u32(block, kNodeKeyCount);
    if (count > max_keys_) {
      damaged("неверное число ключей в узле на странице " + std::to_string(page));
    }
    const std::uint32_t trailing = get_u32(block, kNodeItems + count * item_);
    if (trailing == 0) {
      read_leaf(block, count, depth);
      return;
    }
    for (std::uint32_t i = 0; i <= count; ++i) {
      const std::size_t at = kNodeItems + i * item_;
      const std::uint32_t child = get_u32(block, at);
      if (child == 0) {
        damaged("пустая ссылка в узле на странице " + std::to_string(page));
      }
      const std::size_t before = tag_.entries.size();
      walk_node(child, depth + 1);
      if (tag_.entries.size() == before) {
        continue;
      }
      // Every key of child i lies between separators i - 1 and i.
      if (i > 0) {
        const std::string_view previous = key_at(block, at - item_);
        if (ordered(tag_.entries[before].key, previous) < 0) {
          damaged("нарушен порядок ключей на странице " + std::to_string(child));
        }
      }
      if (i < count && ordered(tag_.entries.back().key, key_at(block, at)) > 0) {
        damaged("нарушен порядок ключей на странице " + std::to_string(child));
      }
    }
  }

  std::string_view key_at(std::span<const std::uint8_t> block, std::size_t item_offset) const {
    require_bytes(block, item_offset + 4, tag_.definition.key_length);
    return std::string_view(reinterpret_cast<const char*>(block.data() + item_offset + 4),
                            tag_.definition.key_length);
  }

  void read_leaf(std::span<const std::uint8_t> block, std::uint32_t count, int depth) {
    if (leaf_depth_ < 0) {
      leaf_depth_ = depth;
    } else if (leaf_depth_ != depth) {
      damaged("листья дерева на разной глубине в теге " + tag_.definition.name);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = kNodeItems + i * item_;
      IndexEntry entry{std::string(key_at(block, at)), get_u32(block, at)};
      if (entry.record == 0) {
        damaged("нулевой номер записи в теге " + tag_.definition.name);
      }
      if (!tag_.entries.empty()) {
        const IndexEntry& last = tag_.entries.back();
        const int c = ordered(last.key, entry.key);
        if (c > 0 || (c == 0 && last.record >= entry.record)) {
          damaged("нарушен порядок ключей в теге " + tag_.definition.name);
        }
      }
      tag_.entries.push_back(std::move(entry));
    }
  }

  std::span<const std::uint8_t> bytes_;
  const FileGeometry& geometry_;
  std::vector<bool>& used_pages_;
  Tag& tag_;
  std::size_t item_;
  std::size_t max_keys_ = 0;
  int leaf_depth_ = -1;
};

std::string read_tag_name(std::span<const std::uint8_t> entry) {
  std::string name;
  std::size_t i = kEntryName;
  for (; i < kEntryName + kEntryNameLength && entry[i] != 0; ++i) {
    const char c = static_cast<char>(entry[i]);
    const bool allowed =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!allowed) {
      damaged("недопустимое имя тега");
    }
    name.push_back(c);
  }
  if (name.empty() || name.size() > kMaxTagNameLength) {
    damaged("недопустимое имя тега");
  }
  return upper_tag_name(name);
}

KeyType read_key_type(std::uint8_t byte) {
  switch (byte) {
    case 'C':
      return KeyType::Character;
    case 'N':
      return KeyType::Numeric;
    case 'D':
      return KeyType::Date;
    default:
      damaged("неизвестный тип ключа");
  }
}

std::size_t expected_key_length(KeyType type, std::size_t declared) {
  switch (type) {
    case KeyType::Numeric:
      return kNumericKeyLength;
    case KeyType::Date:
      return kDateKeyLength;
    case KeyType::Character:
      break;
  }
  return declared >= 1 && declared <= kMaxCharacterKeyLength ? declared : 0;
}

TagDefinition read_tag_header(std::span<const std::uint8_t> header, const std::string& name,
                              KeyType entry_type) {
  TagDefinition d;
  d.name = name;
  d.type = read_key_type(header[kTagKeyType]);
  if (d.type != entry_type) {
    damaged("тип ключа тега " + name + " не совпадает с таблицей тегов");
  }
  d.descending = (header[kTagFormat] & kFormatDescending) != 0;
  d.key_length = get_u16(header, kTagKeyLength);
  if (expected_key_length(d.type, d.key_length) != d.key_length) {
    damaged("неверная длина ключа тега " + name);
  }
  if (get_u16(header, kTagItemLength) != item_length(d.key_length)) {
    damaged("неверная длина элемента тега " + name);
  }
  std::size_t i = kTagExpression;
  for (; i < kTagExpression + kTagExpressionLength && header[i] != 0; ++i) {
    d.field.push_back(static_cast<char>(header[i]));
  }
  if (d.field.empty() || i == kTagExpression + kTagExpressionLength) {
    damaged("неверное выражение тега " + name);
  }
  return d;
}

// The binary tree over the tag names must reach every tag once, in name order.
void check_name_tree(std::span<const std::uint8_t> bytes, const std::vector<Tag>& tags) {
  if (tags.empty()) {
    return;
  }
  std::vector<bool> seen(tags.size() + 1, false);
  std::vector<std::string> in_order;
  std::vector<std::size_t> stack;
  std::size_t node = 1;
  auto link = [&](std::size_t slot, std::size_t field) -> std::size_t {
    const std::size_t value = bytes[kTagTable + (slot - 1) * kTagEntrySize + field];
    if (value > tags.size()) {
      damaged("неверная ссылка в таблице тегов");
    }
    return value;
  };
  if (link(1, kEntryParent) != 0) {
    damaged("неверная ссылка в таблице тегов");
  }
  while (node != 0 || !stack.empty()) {
    while (node != 0) {
      if (seen[node]) {
        damaged("петля в таблице тегов");
      }
      seen[node] = true;
      stack.push_back(node);
      const std::size_t left = link(node, kEntryLeft);
      if (left != 0 && link(left, kEntryParent) != node) {
        damaged("неверная ссылка в таблице тегов");
      }
      node = left;
    }
    node = stack.back();
    stack.pop_back();
    in_order.push_back(upper_tag_name(tags[node - 1].definition.name));
    const std::size_t right = link(node, kEntryRight);
    if (right != 0 && link(right, kEntryParent) != node) {
      damaged("неверная ссылка в таблице тегов");
    }
    node = right;
  }
  if (in_order.size() != tags.size()) {
    damaged("таблица тегов связана не полностью");
  }
  for (std::size_t i = 1; i < in_order.size(); ++i) {
    if (!(in_order[i - 1] < in_order[i])) {
      damaged("таблица тегов не упорядочена");
    }
  }
}

}  // namespace

MdxContents parse_mdx(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFirstDataPage * kPageSize) {
    damaged("файл короче заголовка");
  }
  if (bytes[kHeaderVersion] != kVersion) {
    damaged("неизвестная версия");
  }
  FileGeometry geometry;
  geometry.pages_per_block = get_u16(bytes, kHeaderPagesPerBlock);
  geometry.block_size = get_u16(bytes, kHeaderBlockSize);
  if (geometry.pages_per_block == 0 || geometry.pages_per_block > kMaxPagesPerBlock ||
      geometry.block_size != geometry.pages_per_block * kPageSize) {
    damaged("неверный размер блока");
  }
  geometry.page_count = get_u32(bytes, kHeaderPageCount);
  if (geometry.page_count < kFirstDataPage || geometry.page_count > bytes.size() / kPageSize) {
    damaged("неверное число страниц");
  }
  const std::size_t tag_count = get_u16(bytes, kHeaderTagsInUse);
  if (tag_count > kMaxTags) {
    damaged("слишком много тегов");
  }

  MdxContents contents;
  for (std::size_t i = kHeaderTableName; i < kHeaderTableName + kTableNameLength && bytes[i] != 0; ++i) {
    contents.table_name.push_back(static_cast<char>(bytes[i]));
  }
  contents.table_name = upper_tag_name(contents.table_name);

  std::vector<bool> used_pages(geometry.page_count, false);
  std::set<std::string> names;
  for (std::size_t t = 0; t < tag_count; ++t) {
    const auto entry = bytes.subspan(kTagTable + t * kTagEntrySize, kTagEntrySize);
    const std::string name = read_tag_name(entry);
    if (!names.insert(upper_tag_name(name)).second) {
      damaged("тег " + name + " повторяется");
    }
    const std::uint32_t header_page = get_u32(entry, kEntryHeaderPage);
    if (header_page < kFirstDataPage || header_page > geometry.page_count ||
        geometry.page_count - header_page < geometry.pages_per_block) {
      damaged("заголовок тега " + name + " вне файла");
    }
    for (std::size_t p = header_page; p < header_page + geometry.pages_per_block; ++p) {
      if (used_pages[p]) {
        damaged("страница " + std::to_string(p) + " используется дважды");
      }
      used_pages[p] = true;
    }
    const auto header = bytes.subspan(static_cast<std::size_t>(header_page) * kPageSize, geometry.block_size);
    Tag tag;
    tag.definition = read_tag_header(header, name, read_key_type(entry[kEntryKeyType]));
    const std::size_t max_keys = get_u16(header, kTagMaxKeys);
    if (max_keys == 0 || max_keys > max_keys_per_node(tag.definition.key_length, geometry.block_size)) {
      damaged("неверное число ключей в узле тега " + name);
    }
    TagWalker walker(bytes, geometry, used_pages, tag);
    walker.walk(get_u32(header, kTagRoot), max_keys);
    contents.tags.push_back(std::move(tag));
  }
  check_name_tree(bytes, contents.tags);
  return contents;
}

MdxContents read_mdx_file(const std::filesystem::path& path) {
  return parse_mdx(read_whole_file(path));
}

}  // namespace vkt::mdx
