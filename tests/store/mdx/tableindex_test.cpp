// Sorting a measurement table through its production index: orders, flags, refusals, and the
// index kept in step with the rows.
#include "store/mdx/tableindex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <random>

#include "indexdumpcheck.h"
#include "mdxtesthelpers.h"
#include "store/measurement/measurementschema.h"

namespace vkt::mdx {
namespace {

using namespace vkt::mdx::testing;

// The test's own copy of what it wrote into each row.
struct RowModel {
  std::optional<double> number;  // one numeric field under test (empty when nullopt)
  std::string text;
  int kind = 0;  // NB_TYPE
  bool deleted = false;
};

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint32_t> walk(dbf::Table& table) {
  std::vector<std::uint32_t> records;
  if (!table.first()) {
    return records;
  }
  do {
    records.push_back(table.recno());
  } while (table.next());
  return records;
}

class TableIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() / "meas.db";
    table_.create(path_, measurement::measurement_field_specs());
  }
  void TearDown() override {
    // Whatever index a test leaves behind must be readable by index_dump too.
    if (std::filesystem::exists(mdxPath())) {
      vkt::testing::expect_index_dump_agrees(mdxPath());
    }
    index_.detach();
    if (table_.is_open()) {
      table_.close();
    }
  }

  std::filesystem::path mdxPath() const { return dir_.path() / "meas.mdx"; }

  // Adds the tag and has index_dump read the file just written.
  void add_tag(std::string_view tag_name, std::string_view field_name, bool descending) {
    index_.add_tag(tag_name, field_name, descending);
    vkt::testing::expect_index_dump_agrees(mdxPath());
  }

  void appendRow(const RowModel& row) {
    table_.append();
    if (row.number) {
      table_.set_double("P", *row.number);
      table_.set_integer("D3", static_cast<std::int64_t>(*row.number * 3));
    }
    table_.set_text("DATE", row.text);
    table_.set_text("COMMENT", row.text);
    if (row.kind != 0) {
      table_.set_integer("NB_TYPE", row.kind);
    }
    table_.post();
    rows_.push_back(row);
  }

  // Rows with empty values, negative and fractional numbers, equal keys and Cyrillic text.
  void fillMixedRows(std::size_t count) {
    const std::vector<std::string> texts = {"Песок", "глина", "Щебень", "abc",
                                            "",      "Abc",   "песок",  "12.03.2024"};
    std::mt19937 random(17);
    for (std::size_t i = 0; i < count; ++i) {
      RowModel row;
      const int pick = static_cast<int>(random() % 9);
      if (pick != 0) {
        row.number = (static_cast<int>(random() % 41) - 20) / 4.0;
      }
      row.text = texts[random() % texts.size()];
      row.kind = static_cast<int>(random() % 2);
      appendRow(row);
    }
  }

  // Record numbers of the live rows admitted by kind (or all), sorted by the given value,
  // equal values in record order.
  template <typename Value>
  std::vector<std::uint32_t> expected(Value value, bool descending, std::optional<int> kind = std::nullopt) {
    std::vector<std::uint32_t> records;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].deleted && (!kind || rows_[i].kind == *kind)) {
        records.push_back(static_cast<std::uint32_t>(i + 1));
      }
    }
    std::stable_sort(records.begin(), records.end(), [&](std::uint32_t a, std::uint32_t b) {
      return descending ? value(rows_[b - 1]) < value(rows_[a - 1])
                        : value(rows_[a - 1]) < value(rows_[b - 1]);
    });
    return records;
  }

  static double number_of(const RowModel& r) { return r.number.value_or(0); }
  static std::string textOf(const RowModel& r) { return r.text; }

  // Header byte 28 and descriptor byte 31 of field i as they are on disk.
  int headerFlag() { return static_cast<unsigned char>(fileBytes(path_)[28]); }
  int fieldFlag(std::string_view name) {
    const std::size_t i = table_.field_index(name);
    return static_cast<unsigned char>(fileBytes(path_)[32 + 32 * i + 31]);
  }
  std::string recordBytes() {
    const std::string bytes = fileBytes(path_);
    return bytes.substr(table_.header().header_length);
  }

  void reopenWithIndex() {
    index_.detach();
    table_.close();
    table_.open(path_);
  }

  TempDir dir_{"table"};
  std::filesystem::path path_;
  dbf::Table table_;
  TableIndex index_{table_};
  std::vector<RowModel> rows_;
};

TEST_F(TableIndexTest, SortsByEveryIndexableFieldBothWays) {
  index_.attach();
  fillMixedRows(150);
  table_.delete_record(7);
  rows_[6].deleted = true;
  std::size_t sorted = 0;
  for (const auto& field : measurement::kMeasurementFields) {
    const bool text = field.kind == measurement::ValueKind::Text;
    if (text && field.width > 100) {
      continue;
    }
    for (bool descending : {false, true}) {
      add_tag("tab1", field.name, descending);
      index_.select_order("tab1");
      std::vector<std::uint32_t> want;
      if (field.name == "P") {
        want = expected(number_of, descending);
      } else if (field.name == "D3") {
        want = expected([](const RowModel& r) { return std::trunc(number_of(r) * 3); }, descending);
      } else if (field.name == "NB_TYPE") {
        want = expected([](const RowModel& r) { return r.kind; }, descending);
      } else if (field.name == "DATE" || field.name == "COMMENT") {
        // А..я lie in the same order in cp1251 and in UTF-8, so byte order of either agrees.
        want = expected(textOf, descending);
      } else {
        want = expected([](const RowModel&) { return 0; }, descending);  // never written: all equal
      }
      EXPECT_EQ(walk(table_), want) << field.name << (descending ? " descending" : " ascending");
      // The sort in memory (dump --sort) gives the tag's order, deleted records included.
      EXPECT_EQ(TableIndex::sorted_records(table_, field.name, descending), index_.record_order("tab1"))
          << field.name;
      ++sorted;
    }
  }
  EXPECT_EQ(sorted, 2u * 34);
  ASSERT_EQ(index_.tags().size(), 1u);
}

TEST_F(TableIndexTest, FilterAndOrderTogether) {
  index_.attach();
  fillMixedRows(200);
  table_.set_filter("NB_TYPE=1");
  add_tag("tab2", "P", true);
  index_.select_order("tab2");
  EXPECT_EQ(walk(table_), expected(number_of, true, 1));
  table_.set_filter("NB_TYPE=0");
  EXPECT_EQ(walk(table_), expected(number_of, true, 0));
  EXPECT_EQ(table_.count(), expected(number_of, true, 0).size());
}

TEST_F(TableIndexTest, SortingLeavesTheRowsOnDiskAlone) {
  index_.attach();
  fillMixedRows(60);
  const std::string before = recordBytes();
  add_tag("tab1", "DATE", false);
  index_.select_order("tab1");
  walk(table_);
  add_tag("tab2", "P", true);
  index_.rebuild();
  vkt::testing::expect_index_dump_agrees(mdxPath());
  index_.drop_order();
  index_.delete_tag("tab1");
  vkt::testing::expect_index_dump_agrees(mdxPath());
  index_.delete_tag("tab2");
  EXPECT_EQ(recordBytes(), before);
  EXPECT_EQ(walk(table_).size(), 60u);
}

TEST_F(TableIndexTest, RefusesTextFieldsWiderThan100) {
  index_.attach();
  fillMixedRows(10);
  add_tag("tab2", "P", false);
  index_.select_order("tab2");
  for (const char* field : {"P5", "D2", "P3"}) {
    try {
      index_.add_tag("tab1", field, true);
      FAIL() << field << " indexed";
    } catch (const MdxError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(field), std::string::npos) << text;
      EXPECT_NE(text.find("Нельзя построить индекс"), std::string::npos) << text;
      EXPECT_NE(text.find("100"), std::string::npos) << text;
    }
    EXPECT_FALSE(index_.has_tag("tab1"));
    EXPECT_FALSE(table_.has_order());
    EXPECT_EQ(walk(table_), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(fieldFlag(field), 0);
  }
  // The other tag survives in the file.
  EXPECT_EQ(recordsOf(read_mdx_file(mdxPath()).tags.at(0)), expected(number_of, false));
  EXPECT_THROW(index_.add_tag("tab1", "NOSUCH", false), MdxError);
  EXPECT_THROW(index_.select_order("tab9"), MdxError);
  EXPECT_THROW(index_.delete_tag("tab9"), MdxError);
}

TEST_F(TableIndexTest, TagNamesIgnoreCase) {
  index_.attach();
  fillMixedRows(30);
  add_tag("TAB1", "P", false);
  add_tag("tab1", "DATE", true);
  ASSERT_EQ(index_.tags().size(), 1u);
  EXPECT_EQ(index_.tags()[0].field, "DATE");
  EXPECT_TRUE(index_.has_tag("Tab1"));
  index_.select_order("tAB1");
  EXPECT_EQ(walk(table_), expected(textOf, true));
  EXPECT_EQ(index_.selected_tag(), "TAB1");
  index_.delete_tag("taB1");
  EXPECT_FALSE(table_.has_order());
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));
}

TEST_F(TableIndexTest, FlagsFollowTheTags) {
  EXPECT_EQ(index_.attach(), TableIndex::Found::NoIndex);
  fillMixedRows(20);
  EXPECT_EQ(headerFlag(), 0);
  add_tag("tab1", "P", false);
  add_tag("tab2", "DATE", true);
  EXPECT_TRUE(std::filesystem::exists(mdxPath()));
  EXPECT_EQ(headerFlag(), 1);
  EXPECT_EQ(fieldFlag("P"), 1);
  EXPECT_EQ(fieldFlag("DATE"), 1);
  EXPECT_EQ(fieldFlag("R"), 0);
  index_.delete_tag("tab1");
  vkt::testing::expect_index_dump_agrees(mdxPath());
  EXPECT_EQ(headerFlag(), 1);
  EXPECT_EQ(fieldFlag("P"), 0);
  EXPECT_EQ(fieldFlag("DATE"), 1);
  // Replacing a tag moves the field's flag.
  add_tag("tab2", "COMMENT", true);
  EXPECT_EQ(fieldFlag("DATE"), 0);
  EXPECT_EQ(fieldFlag("COMMENT"), 1);
  index_.delete_tag("tab2");
  EXPECT_EQ(headerFlag(), 0);
  EXPECT_EQ(fieldFlag("COMMENT"), 0);
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));

  add_tag("tab1", "P", false);
  index_.remove_index_file();
  EXPECT_EQ(headerFlag(), 0);
  EXPECT_EQ(fieldFlag("P"), 0);
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));
}

TEST_F(TableIndexTest, SoundIndexIsTakenUpOnOpen) {
  index_.attach();
  fillMixedRows(40);
  add_tag("tab1", "P", true);
  index_.select_order("tab1");
  reopenWithIndex();
  EXPECT_EQ(index_.attach(), TableIndex::Found::Loaded);
  EXPECT_EQ(headerFlag(), 1);
  EXPECT_FALSE(table_.has_order());
  EXPECT_TRUE(index_.selected_tag().empty());
  index_.select_order("tab1");
  EXPECT_EQ(walk(table_), expected(number_of, true));
}

TEST_F(TableIndexTest, MissingIndexClearsTheFlag) {
  index_.attach();
  fillMixedRows(10);
  add_tag("tab1", "P", true);
  reopenWithIndex();
  std::filesystem::remove(mdxPath());
  EXPECT_EQ(index_.attach(), TableIndex::Found::FlagCleared);
  EXPECT_EQ(headerFlag(), 0);
  EXPECT_EQ(fieldFlag("P"), 0);
  EXPECT_TRUE(index_.tags().empty());
  EXPECT_EQ(walk(table_).size(), 10u);
}

TEST_F(TableIndexTest, DamagedIndexIsDropped) {
  index_.attach();
  fillMixedRows(100);
  add_tag("tab1", "P", true);
  reopenWithIndex();
  std::string bytes = fileBytes(mdxPath());
  bytes[4 * 512 + 12] = 13;  // key length of the tag
  std::ofstream(mdxPath(), std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(index_.attach(), TableIndex::Found::Dropped);
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));
  EXPECT_EQ(headerFlag(), 0);
  EXPECT_EQ(fieldFlag("P"), 0);
  EXPECT_FALSE(table_.has_order());
  EXPECT_EQ(walk(table_).size(), 100u);

  // Garbage of any kind, and a file the header does not announce, go the same way.
  add_tag("tab1", "P", true);
  reopenWithIndex();
  std::ofstream(mdxPath(), std::ios::binary | std::ios::trunc) << "not an index";
  EXPECT_EQ(index_.attach(), TableIndex::Found::Dropped);
  reopenWithIndex();
  write_mdx_file(mdxPath(), "MEAS", {numericTag("tab1", std::vector<double>(100, 1.0))});
  vkt::testing::expect_index_dump_agrees(mdxPath());
  EXPECT_EQ(index_.attach(), TableIndex::Found::Dropped);
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));
}

// A crash after rows were written but before the index followed them.
TEST_F(TableIndexTest, StaleIndexFromACrashIsDropped) {
  index_.attach();
  fillMixedRows(30);
  add_tag("tab1", "P", true);
  index_.detach();
  const RowModel extra{5.0, "x", 0, false};
  appendRow(extra);  // the index no longer hears of it
  table_.edit();
  table_.set_double("P", 99);
  table_.post();
  table_.close();
  table_.open(path_);
  EXPECT_EQ(headerFlag(), 1);
  EXPECT_EQ(index_.attach(), TableIndex::Found::Dropped);
  EXPECT_EQ(headerFlag(), 0);
  EXPECT_FALSE(std::filesystem::exists(mdxPath()));
  EXPECT_EQ(walk(table_).size(), 31u);
}

TEST_F(TableIndexTest, FollowsAppendsEditsDeletesAndPack) {
  index_.attach();
  fillMixedRows(120);
  add_tag("tab1", "P", true);
  add_tag("tab2", "DATE", false);
  index_.select_order("tab1");
  auto checkBoth = [&](const char* step) {
    EXPECT_EQ(walk(table_), expected(number_of, true)) << step;
    // The file on disk holds the same order, deleted rows included.
    const MdxContents onDisk = read_mdx_file(mdxPath());
    ASSERT_EQ(onDisk.tags.size(), 2u) << step;
    std::vector<std::uint32_t> live;
    for (std::uint32_t r : recordsOf(onDisk.tags[0])) {
      if (!rows_[r - 1].deleted) {
        live.push_back(r);
      }
    }
    EXPECT_EQ(live, expected(number_of, true)) << step;
    EXPECT_EQ(onDisk.tags[0].entries.size(), rows_.size()) << step;
    EXPECT_EQ(recordsOf(onDisk.tags[1]).size(), rows_.size()) << step;
    vkt::testing::expect_index_dump_agrees(mdxPath());
  };

  appendRow({2.5, "новая", 1, false});
  // The new row stays current and the walk goes on in key order from it.
  EXPECT_EQ(table_.recno(), rows_.size());
  const auto order = expected(number_of, true);
  const auto at = std::find(order.begin(), order.end(), table_.recno());
  if (at + 1 != order.end()) {
    ASSERT_TRUE(table_.next());
    EXPECT_EQ(table_.recno(), *(at + 1));
  }
  checkBoth("append");

  table_.go_to(5);
  table_.edit();
  table_.set_double("P", -100);
  table_.post();
  rows_[4].number = -100;
  checkBoth("edit");

  table_.go_to(9);
  table_.edit();
  table_.set_text("COMMENT", "без изменения ключа");
  table_.post();
  checkBoth("edit of another field");

  for (std::uint32_t r : {3u, 50u, 121u}) {
    table_.delete_record(r);
    rows_[r - 1].deleted = true;
  }
  checkBoth("delete");

  table_.pack();
  std::vector<RowModel> packed;
  for (const RowModel& r : rows_) {
    if (!r.deleted) {
      packed.push_back(r);
    }
  }
  rows_ = packed;
  // A pack goes to the first row of the order.
  EXPECT_EQ(table_.recno(), expected(number_of, true).front());
  checkBoth("pack");
  EXPECT_EQ(index_.selected_tag(), "TAB1");
  index_.select_order("tab2");
  EXPECT_EQ(walk(table_), expected(textOf, false));
}

TEST_F(TableIndexTest, IndependentReaderSeesTheTableOrder) {
  int status = -1;
  runCommand("command -v index_dump >/dev/null 2>&1", &status);
  if (status != 0) {
    GTEST_SKIP() << "index_dump (package libdbd-xbase-perl) is not installed";
  }
  index_.attach();
  fillMixedRows(300);
  add_tag("tab1", "DATE", true);
  add_tag("tab2", "D3", false);
  for (const char* tag : {"TAB1", "TAB2"}) {
    const std::string out = runCommand("index_dump '" + mdxPath().string() + "' " + tag, &status);
    ASSERT_EQ(status, 0);
    std::vector<std::uint32_t> listed;
    std::size_t start = 0;
    while (start < out.size()) {
      const std::size_t end = out.find('\n', start);
      const std::string line = out.substr(start, end - start);
      listed.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(line.rfind(' ') + 1))));
      start = end == std::string::npos ? out.size() : end + 1;
    }
    index_.select_order(tag);
    EXPECT_EQ(listed, walk(table_)) << tag;
  }
}

}  // namespace
}  // namespace vkt::mdx
