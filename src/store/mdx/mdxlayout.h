// Offsets and constants of the .mdx layout, shared by the writer and the reader.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vkt::mdx::layout {

// All pointers count 512-byte pages; tree nodes and tag headers take one block of two pages.
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kPagesPerBlock = 2;
inline constexpr std::size_t kBlockSize = kPageSize * kPagesPerBlock;
// The file header and the tag table fill pages 0-3; tag data starts at page 4.
inline constexpr std::uint32_t kFirstDataPage = 4;

// File header.
inline constexpr std::uint8_t kVersion = 2;
inline constexpr std::size_t kHeaderVersion = 0;
inline constexpr std::size_t kHeaderCreated = 1;  // YY MM DD, year - 1900
inline constexpr std::size_t kHeaderTableName = 4;
inline constexpr std::size_t kTableNameLength = 16;
inline constexpr std::size_t kHeaderPagesPerBlock = 20;
inline constexpr std::size_t kHeaderBlockSize = 22;
inline constexpr std::size_t kHeaderProduction = 24;
inline constexpr std::size_t kHeaderTagSlots = 25;
inline constexpr std::size_t kHeaderTagEntryLength = 26;
inline constexpr std::size_t kHeaderTagsInUse = 28;
inline constexpr std::size_t kHeaderMarker = 31;
inline constexpr std::size_t kHeaderPageCount = 32;
inline constexpr std::size_t kHeaderFirstFree = 36;
inline constexpr std::size_t kHeaderUpdated = 44;
inline constexpr std::size_t kHeaderSecondPageMarker = 529;
inline constexpr std::uint8_t kTagSlotsValue = 0x30;
inline constexpr std::uint8_t kTagEntryLengthValue = 0x20;
inline constexpr std::uint8_t kMarkerValue = 0x1B;

// Tag table: 47 entries of 32 bytes.
inline constexpr std::size_t kTagTable = 544;
inline constexpr std::size_t kTagEntrySize = 32;
inline constexpr std::size_t kEntryHeaderPage = 0;
inline constexpr std::size_t kEntryName = 4;
inline constexpr std::size_t kEntryNameLength = 11;
inline constexpr std::size_t kEntryKeyFormat = 15;
inline constexpr std::size_t kEntryLeft = 16;
inline constexpr std::size_t kEntryRight = 17;
inline constexpr std::size_t kEntryParent = 18;
inline constexpr std::size_t kEntryReserved = 19;
inline constexpr std::size_t kEntryKeyType = 20;
inline constexpr std::uint8_t kKeyFormatField = 0x10;
inline constexpr std::uint8_t kEntryReservedValue = 0x02;

// Tag header block.
inline constexpr std::size_t kTagRoot = 0;
inline constexpr std::size_t kTagPages = 4;
inline constexpr std::size_t kTagFormat = 8;
inline constexpr std::size_t kTagKeyType = 9;
inline constexpr std::size_t kTagKeyLength = 12;
inline constexpr std::size_t kTagMaxKeys = 14;
inline constexpr std::size_t kTagDateFlag = 16;
inline constexpr std::size_t kTagItemLength = 18;
inline constexpr std::size_t kTagUpdateCounter = 20;
inline constexpr std::size_t kTagExpression = 24;
inline constexpr std::size_t kTagExpressionLength = 220;  // 24-243, NUL-terminated
inline constexpr std::size_t kTagFilterFlag = 245;
inline constexpr std::uint8_t kFormatDescending = 0x08;
inline constexpr std::uint8_t kFormatUnique = 0x40;

// Tree node: key count, four zero bytes, then items of a u32 (record number in a leaf, child page
// in a branch) and the key. A branch carries one more child pointer after its last item.
inline constexpr std::size_t kNodeKeyCount = 0;
inline constexpr std::size_t kNodeItems = 8;
// Room the node header and the trailing pointer take out of a block.
inline constexpr std::size_t kNodeOverhead = 12;

inline constexpr std::size_t item_length(std::size_t key_length) {
  return (key_length + 4 + 3) / 4 * 4;
}
inline constexpr std::size_t max_keys_per_node(std::size_t key_length, std::size_t block_size = kBlockSize) {
  return (block_size - kNodeOverhead) / item_length(key_length);
}

}  // namespace vkt::mdx::layout
