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

  static std::filesystem::path index_path_for(const std::filesystem::path& table_path);

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
  void add_tag(std::string_view tag_name, std::string_view field_name, bool descending);
  // Walks the table in the tag's order from now on. MdxError when there is no such tag.
  void select_order(std::string_view tag_name);
  // File order again; the tags stay.
  void drop_order();
  // Removes a tag (MdxError when there is none); the last tag takes the file with it.
  void delete_tag(std::string_view tag_name);
  // Builds every tag again from the rows.
  void rebuild();
  // Deletes the index file and clears the flags; for closing a measurement file.
  void remove_index_file();

  bool has_tag(std::string_view tag_name) const;
  std::vector<TagDefinition> tags() const;
  // Upper-case name of the tag giving the order, empty for file order.
  const std::string& selected_tag() const { return selected_; }
  // Record numbers in the tag's order.
  std::vector<std::uint32_t> record_order(std::string_view tag_name) const;

  // Record numbers of every record in the order a tag over the field would give, sorted in
  // memory with no index file written. MdxError for a field that cannot be indexed.
  static std::vector<std::uint32_t> sorted_records(const dbf::Table& table, std::string_view field_name,
                                                   bool descending);

 private:
  struct FieldKey {
    std::size_t field;
    KeyType type;
    std::size_t key_length;
  };

  static FieldKey key_of_field(const dbf::Table& table, std::string_view field_name);
  FieldKey key_of(std::string_view field_name) const;
  std::string key_for(const FieldKey& key, std::uint32_t recno) const;
  std::vector<IndexEntry> entries_for(const FieldKey& key) const;
  Tag* find_tag(std::string_view tag_name);
  const Tag* find_tag(std::string_view tag_name) const;
  bool matches_table(const MdxContents& contents) const;
  void on_change(const dbf::TableChange& change);
  void insert_entry(Tag& tag, IndexEntry entry);
  void store(const std::vector<Tag>& tags);
  void apply_flags();
  void apply_order(bool keep_current);
  void remove_file();
  std::filesystem::path index_path() const;

  dbf::Table& table_;
  std::vector<Tag> tags_;
  std::string selected_;
  bool attached_ = false;
};

}  // namespace vkt::mdx
