// The production index of an open dBase table: index tags on its fields kept in "name.mdx"
// beside it, the table's order taken from a selected tag, and the header flags that announce the
// index kept true to what the file holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/table.h"
#include "store/mdx/mdxfile.h"

namespace vkt::mdx {

class TableIndex {
 public:
  // What attach() found beside the table.
  enum class Found {
    NoIndex,      // no flag and no file
    Loaded,       // a sound index that matches the rows: its tags are kept
    FlagCleared,  // the header announced an index but the file is missing: flags cleared
    Dropped,      // the file was damaged, stale or unannounced: deleted, flags cleared
  };

  explicit TableIndex(dbf::Table& table);
  ~TableIndex();
  TableIndex(const TableIndex&) = delete;
  TableIndex& operator=(const TableIndex&) = delete;

  static std::filesystem::path indexPathFor(const std::filesystem::path& tablePath);

  // Takes up the index of the table just opened (after every open or reopen) and starts
  // following its changes. The table's order is file order afterwards.
  Found attach();
  // Stops following the table; the index file stays as it is.
  void detach();
  bool attached() const { return attached_; }

  // Builds a tag over a field for every record of the table and stores it, replacing a tag of the
  // same name (names compare without regard to case). A field that cannot be indexed (a text wider
  // than 100 characters) is refused with MdxError; the tag is then not created and the table is
  // left in file order.
  void addTag(std::string_view tagName, std::string_view fieldName, bool descending);
  // Walks the table in the tag's order from now on. MdxError when there is no such tag.
  void selectOrder(std::string_view tagName);
  // File order again; the tags stay.
  void dropOrder();
  // Removes a tag (MdxError when there is none); the last tag takes the file with it.
  void deleteTag(std::string_view tagName);
  // Builds every tag again from the rows.
  void rebuild();
  // Deletes the index file and clears the flags; for closing a measurement file.
  void removeIndexFile();

  bool hasTag(std::string_view tagName) const;
  std::vector<TagDefinition> tags() const;
  // Upper-case name of the tag giving the order, empty for file order.
  const std::string& selectedTag() const { return selected_; }
  // Record numbers in the tag's order.
  std::vector<std::uint32_t> recordOrder(std::string_view tagName) const;

  // Record numbers of every record in the order a tag over the field would give, sorted in
  // memory with no index file written. MdxError for a field that cannot be indexed.
  static std::vector<std::uint32_t> sortedRecords(const dbf::Table& table, std::string_view fieldName,
                                                  bool descending);

 private:
  struct FieldKey {
    std::size_t field;
    KeyType type;
    std::size_t keyLength;
  };

  static FieldKey keyOfField(const dbf::Table& table, std::string_view fieldName);
  FieldKey keyOf(std::string_view fieldName) const;
  std::string keyFor(const FieldKey& key, std::uint32_t recno) const;
  std::vector<IndexEntry> entriesFor(const FieldKey& key) const;
  Tag* findTag(std::string_view tagName);
  const Tag* findTag(std::string_view tagName) const;
  bool matchesTable(const MdxContents& contents) const;
  void onChange(const dbf::TableChange& change);
  void insertEntry(Tag& tag, IndexEntry entry);
  void store(const std::vector<Tag>& tags);
  void applyFlags();
  void applyOrder(bool keepCurrent);
  void removeFile();
  std::filesystem::path indexPath() const;

  dbf::Table& table_;
  std::vector<Tag> tags_;
  std::string selected_;
  bool attached_ = false;
};

}  // namespace vkt::mdx
