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
  std::size_t pagesPerBlock = 0;
  std::size_t blockSize = 0;
  std::uint32_t pageCount = 0;
};

class TagWalker {
 public:
  TagWalker(std::span<const std::uint8_t> bytes, const FileGeometry& geometry, std::vector<bool>& usedPages,
            Tag& tag)
      : bytes_(bytes),
        geometry_(geometry),
        usedPages_(usedPages),
        tag_(tag),
        item_(itemLength(tag.definition.keyLength)) {}

  void walk(std::uint32_t root, std::size_t maxKeys) {
    maxKeys_ = maxKeys;
    walkNode(root, 0);
  }

 private:
  std::span<const std::uint8_t> claimBlock(std::uint32_t page) {
    if (page < kFirstDataPage || page > geometry_.pageCount ||
        geometry_.pageCount - page < geometry_.pagesPerBlock) {
      damaged("ссылка на страницу " + std::to_string(page) + " вне файла в теге " + tag_.definition.name);
    }
    for (std::size_t p = page; p < page + geometry_.pagesPerBlock; ++p) {
      if (usedPages_[p]) {
        damaged("страница " + std::to_string(p) + " используется дважды");
      }
      usedPages_[p] = true;
    }
    return bytes_.subspan(static_cast<std::size_t>(page) * kPageSize, geometry_.blockSize);
  }

  int ordered(std::string_view a, std::string_view b) const {
    const int c = compareKeys(tag_.definition.type, a, b);
    return tag_.definition.descending ? -c : c;
  }

  void walkNode(std::uint32_t page, int depth) {
    if (depth > kMaxTreeDepth) {
      damaged("слишком глубокое дерево в теге " + tag_.definition.name);
    }
    const auto block = claimBlock(page);
    const std::uint32_t count = getU32(block, kNodeKeyCount);
    if (count > maxKeys_) {
      damaged("неверное число ключей в узле на странице " + std::to_string(page));
    }
    const std::uint32_t trailing = getU32(block, kNodeItems + count * item_);
    if (trailing == 0) {
      readLeaf(block, count, depth);
      return;
    }
    for (std::uint32_t i = 0; i <= count; ++i) {
      const std::size_t at = kNodeItems + i * item_;
      const std::uint32_t child = getU32(block, at);
      if (child == 0) {
        damaged("пустая ссылка в узле на странице " + std::to_string(page));
      }
      const std::size_t before = tag_.entries.size();
      walkNode(child, depth + 1);
      if (tag_.entries.size() == before) {
        continue;
      }
      // Every key of child i lies between separators i - 1 and i.
      if (i > 0) {
        const std::string_view previous = keyAt(block, at - item_);
        if (ordered(tag_.entries[before].key, previous) < 0) {
          damaged("нарушен порядок ключей на странице " + std::to_string(child));
        }
      }
      if (i < count && ordered(tag_.entries.back().key, keyAt(block, at)) > 0) {
        damaged("нарушен порядок ключей на странице " + std::to_string(child));
      }
    }
  }

  std::string_view keyAt(std::span<const std::uint8_t> block, std::size_t itemOffset) const {
    requireBytes(block, itemOffset + 4, tag_.definition.keyLength);
    return std::string_view(reinterpret_cast<const char*>(block.data() + itemOffset + 4),
                            tag_.definition.keyLength);
  }

  void readLeaf(std::span<const std::uint8_t> block, std::uint32_t count, int depth) {
    if (leafDepth_ < 0) {
      leafDepth_ = depth;
    } else if (leafDepth_ != depth) {
      damaged("листья дерева на разной глубине в теге " + tag_.definition.name);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = kNodeItems + i * item_;
      IndexEntry entry{std::string(keyAt(block, at)), getU32(block, at)};
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
  std::vector<bool>& usedPages_;
  Tag& tag_;
  std::size_t item_;
  std::size_t maxKeys_ = 0;
  int leafDepth_ = -1;
};

std::string readTagName(std::span<const std::uint8_t> entry) {
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
  return upperTagName(name);
}

KeyType readKeyType(std::uint8_t byte) {
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

std::size_t expectedKeyLength(KeyType type, std::size_t declared) {
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

TagDefinition readTagHeader(std::span<const std::uint8_t> header, const std::string& name,
                            KeyType entryType) {
  TagDefinition d;
  d.name = name;
  d.type = readKeyType(header[kTagKeyType]);
  if (d.type != entryType) {
    damaged("тип ключа тега " + name + " не совпадает с таблицей тегов");
  }
  d.descending = (header[kTagFormat] & kFormatDescending) != 0;
  d.keyLength = getU16(header, kTagKeyLength);
  if (expectedKeyLength(d.type, d.keyLength) != d.keyLength) {
    damaged("неверная длина ключа тега " + name);
  }
  if (getU16(header, kTagItemLength) != itemLength(d.keyLength)) {
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
void checkNameTree(std::span<const std::uint8_t> bytes, const std::vector<Tag>& tags) {
  if (tags.empty()) {
    return;
  }
  std::vector<bool> seen(tags.size() + 1, false);
  std::vector<std::string> inOrder;
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
    inOrder.push_back(upperTagName(tags[node - 1].definition.name));
    const std::size_t right = link(node, kEntryRight);
    if (right != 0 && link(right, kEntryParent) != node) {
      damaged("неверная ссылка в таблице тегов");
    }
    node = right;
  }
  if (inOrder.size() != tags.size()) {
    damaged("таблица тегов связана не полностью");
  }
  for (std::size_t i = 1; i < inOrder.size(); ++i) {
    if (!(inOrder[i - 1] < inOrder[i])) {
      damaged("таблица тегов не упорядочена");
    }
  }
}

}  // namespace

MdxContents parseMdx(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFirstDataPage * kPageSize) {
    damaged("файл короче заголовка");
  }
  if (bytes[kHeaderVersion] != kVersion) {
    damaged("неизвестная версия");
  }
  FileGeometry geometry;
  geometry.pagesPerBlock = getU16(bytes, kHeaderPagesPerBlock);
  geometry.blockSize = getU16(bytes, kHeaderBlockSize);
  if (geometry.pagesPerBlock == 0 || geometry.pagesPerBlock > kMaxPagesPerBlock ||
      geometry.blockSize != geometry.pagesPerBlock * kPageSize) {
    damaged("неверный размер блока");
  }
  geometry.pageCount = getU32(bytes, kHeaderPageCount);
  if (geometry.pageCount < kFirstDataPage || geometry.pageCount > bytes.size() / kPageSize) {
    damaged("неверное число страниц");
  }
  const std::size_t tagCount = getU16(bytes, kHeaderTagsInUse);
  if (tagCount > kMaxTags) {
    damaged("слишком много тегов");
  }

  MdxContents contents;
  for (std::size_t i = kHeaderTableName; i < kHeaderTableName + kTableNameLength && bytes[i] != 0; ++i) {
    contents.tableName.push_back(static_cast<char>(bytes[i]));
  }
  contents.tableName = upperTagName(contents.tableName);

  std::vector<bool> usedPages(geometry.pageCount, false);
  std::set<std::string> names;
  for (std::size_t t = 0; t < tagCount; ++t) {
    const auto entry = bytes.subspan(kTagTable + t * kTagEntrySize, kTagEntrySize);
    const std::string name = readTagName(entry);
    if (!names.insert(upperTagName(name)).second) {
      damaged("тег " + name + " повторяется");
    }
    const std::uint32_t headerPage = getU32(entry, kEntryHeaderPage);
    if (headerPage < kFirstDataPage || headerPage > geometry.pageCount ||
        geometry.pageCount - headerPage < geometry.pagesPerBlock) {
      damaged("заголовок тега " + name + " вне файла");
    }
    for (std::size_t p = headerPage; p < headerPage + geometry.pagesPerBlock; ++p) {
      if (usedPages[p]) {
        damaged("страница " + std::to_string(p) + " используется дважды");
      }
      usedPages[p] = true;
    }
    const auto header = bytes.subspan(static_cast<std::size_t>(headerPage) * kPageSize, geometry.blockSize);
    Tag tag;
    tag.definition = readTagHeader(header, name, readKeyType(entry[kEntryKeyType]));
    const std::size_t maxKeys = getU16(header, kTagMaxKeys);
    if (maxKeys == 0 || maxKeys > maxKeysPerNode(tag.definition.keyLength, geometry.blockSize)) {
      damaged("неверное число ключей в узле тега " + name);
    }
    TagWalker walker(bytes, geometry, usedPages, tag);
    walker.walk(getU32(header, kTagRoot), maxKeys);
    contents.tags.push_back(std::move(tag));
  }
  checkNameTree(bytes, contents.tags);
  return contents;
}

MdxContents readMdxFile(const std::filesystem::path& path) {
  return parseMdx(readWholeFile(path));
}

}  // namespace vkt::mdx
