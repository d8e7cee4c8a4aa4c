// A dBase IV production index (.mdx) as a whole: its tags and each tag's keys in tree order.
// build_mdx() lays the bytes out, parse_mdx() checks and reads them back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/mdx/indexkey.h"

namespace vkt::mdx {

// dBase IV keeps up to 47 tags in one production index; tag names have at most 10 characters.
inline constexpr std::size_t kMaxTags = 47;
inline constexpr std::size_t kMaxTagNameLength = 10;

struct IndexEntry {
  std::string key;           // exactly the tag's key length
  std::uint32_t record = 0;  // 1-based record number in the table

  bool operator==(const IndexEntry&) const = default;
};

struct TagDefinition {
  std::string name;   // upper case in the file; compared without regard to case
  std::string field;  // the key expression: a field name
  KeyType type = KeyType::Character;
  std::size_t key_length = 0;
  bool descending = false;

  bool operator==(const TagDefinition&) const = default;
};

struct Tag {
  TagDefinition definition;
  std::vector<IndexEntry> entries;  // in tree order when read; any order when handed to build_mdx
};

struct MdxContents {
  std::string table_name;
  std::vector<Tag> tags;
};

struct FileDate {
  int year = 2000;
  int month = 1;
  int day = 1;
  static FileDate today();
};

// Sorts each tag's entries into tree order: by key (descending tags backwards), equal keys by
// ascending record number.
void sort_entries(const TagDefinition& definition, std::vector<IndexEntry>& entries);

// The bytes of a whole .mdx holding the tags in the given order. Throws MdxError when a tag cannot
// be stored (bad name, key length, duplicate name, more than 47 tags).
std::vector<std::uint8_t> build_mdx(std::string_view table_name, std::vector<Tag> tags, FileDate date);

// Reads and checks a whole .mdx: every pointer, count and length is validated and every tag is
// walked. Throws MdxError describing the first fault found.
MdxContents parse_mdx(std::span<const std::uint8_t> bytes);

// Writes through a temporary file in the same directory and a rename, so the old file stays
// whole until the new one is complete.
void write_mdx_file(const std::filesystem::path& path, std::string_view table_name,
                    const std::vector<Tag>& tags);
MdxContents read_mdx_file(const std::filesystem::path& path);

// Upper-cases ASCII letters: tag names compare without regard to case.
std::string upper_tag_name(std::string_view name);

}  // namespace vkt::mdx
