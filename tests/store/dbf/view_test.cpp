// Reading rows in place: the storage's view (a mapped file, a vector in memory) must show every
// change made through the table, follow the file's size, and never be read past its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "store/dbf/storage.h"
#include "store/dbf/table.h"
#include "testfiles.h"

namespace vkt::dbf {
namespace {

using testing::ScratchDir;
using testing::write_bytes;

std::vector<FieldSpec> row_fields() {
  return {{"COUNT", FieldType::Numeric, 9, 0},
          {"VALUE", FieldType::Numeric, 18, 9},
          {"KIND", FieldType::Numeric, 4, 0},
          {"NAME", FieldType::Character, 20, 0}};
}

std::string as_text(std::span<const char> bytes) {
  return std::string(bytes.data(), bytes.size());
}

// Bytes in memory that counts how the table reads them, and may refuse to show them in place.
class CountingStorage : public MemoryStorage {
 public:
  explicit CountingStorage(bool offer_view) : offer_view_(offer_view) {}
  std::size_t read_at(std::uint64_t offset, void* out, std::size_t n) const override {
    ++reads;
    bytes_read += n;
    return MemoryStorage::read_at(offset, out, n);
  }
  std::span<const char> view() override {
    return offer_view_ ? MemoryStorage::view() : std::span<const char>();
  }
  std::unique_ptr<Storage> begin_replacement() override {
    return std::make_unique<CountingStorage>(offer_view_);
  }

  mutable int reads = 0;
  mutable std::size_t bytes_read = 0;

 private:
  bool offer_view_;
};

void append_rows(Table& t, int from, int to) {
  for (int i = from; i <= to; ++i) {
    t.append();
    t.set_integer("COUNT", i);
    t.set_double("VALUE", i * 0.25);
    t.set_integer("KIND", i % 3);
    t.set_text("NAME", "row " + std::to_string(i));
    t.post();
  }
}

std::vector<std::int64_t> counts_in_view(Table& t) {
  std::vector<std::int64_t> out;
  for (bool ok = t.first(); ok; ok = t.next()) {
    out.push_back(*t.read_integer("COUNT"));
  }
  return out;
}

TEST(StorageView, AFileViewFollowsWritesAppendsCutsAndReplacement) {
  ScratchDir dir;
  const auto path = dir / "v.dbf";
  write_bytes(path, "abcdef");
  auto s = FileStorage::open(path);
  EXPECT_EQ(as_text(s->view()), "abcdef");
  s->write_at(1, "XY", 2);
  EXPECT_EQ(as_text(s->view()), "aXYdef");
  s->write_at(6, "123", 3);
  EXPECT_EQ(as_text(s->view()), "aXYdef123");
  s->truncate(4);
  EXPECT_EQ(as_text(s->view()), "aXYd");
  auto fresh = s->begin_replacement();
  fresh->write_at(0, "new", 3);
  s->commit_replacement(std::move(fresh));
  EXPECT_EQ(as_text(s->view()), "new");
  s->truncate(0);
  EXPECT_TRUE(s->view().empty());
  s->write_at(0, "again", 5);
  EXPECT_EQ(as_text(s->view()), "again");
}

TEST(StorageView, AFileCutFromOutsideShrinksTheView) {
#ifdef _WIN32
  GTEST_SKIP() << "a file held open without sharing cannot be cut from outside";
#else
  ScratchDir dir;
  const auto path = dir / "v.dbf";
  write_bytes(path, std::string(100000, 'x'));
  auto s = FileStorage::open(path);
  EXPECT_EQ(s->view().size(), 100000u);
  std::filesystem::resize_file(path, 10);  // our lock binds only programs that ask for it
  EXPECT_EQ(as_text(s->view()), std::string(10, 'x'));
#endif
}

TEST(TableView, AWalkReadsInPlaceWhenOfferedAndThroughTheWindowOtherwise) {
  std::vector<std::int64_t> seen[2];
  for (const bool offer : {true, false}) {
    Table t;
    t.create(std::make_unique<CountingStorage>(offer), row_fields());
    auto* counting = dynamic_cast<CountingStorage*>(t.storage());
    ASSERT_NE(counting, nullptr);
    append_rows(t, 1, 30000);  // about 1.6 MB: more than one read-ahead window
    counting->reads = 0;
    t.set_filter("KIND=1");
    seen[offer ? 0 : 1] = counts_in_view(t);
    if (offer) {
      EXPECT_EQ(counting->reads, 0);
    } else {
      EXPECT_GT(counting->reads, 1);
    }
  }
  ASSERT_EQ(seen[0].size(), 10000u);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0].front(), 1);
  EXPECT_EQ(seen[0].back(), 29998);
}

// A shuffled order (an index's) through the window reads each row it visits alone, and the view's
// record numbers, taken in one pass in file order, agree with the walk.
TEST(TableView, AShuffledOrderThroughTheWindowReadsRowsAloneAndListsTheWalk) {
  Table t;
  t.create(std::make_unique<CountingStorage>(false), row_fields());
  auto* counting = dynamic_cast<CountingStorage*>(t.storage());
  ASSERT_NE(counting, nullptr);
  append_rows(t, 1, 30000);
  std::vector<std::uint32_t> order(30000);
  std::iota(order.begin(), order.end(), 1u);
  std::shuffle(order.begin(), order.end(), std::mt19937(5));
  t.set_filter("KIND=2");
  t.set_order(order);
  std::vector<std::uint32_t> walked;
  counting->bytes_read = 0;
  for (bool ok = t.first(); ok; ok = t.next()) {
    walked.push_back(t.recno());
  }
  const std::size_t file_bytes = counting->bytes().size();
  EXPECT_LT(counting->bytes_read, 8 * file_bytes);  // a few rows start a long read by chance
  ASSERT_EQ(walked.size(), 10000u);
  counting->reads = 0;
  EXPECT_EQ(t.view_records(), walked);
  EXPECT_LT(counting->reads, 10);
}

// A vector moves when it grows; reading through a view taken before would read freed memory
// (the sanitizer build catches it) or old bytes.
TEST(TableView, AppendsInMemoryAreReadBackAfterTheBytesMoved) {
  Table t;
  t.create(std::make_unique<MemoryStorage>(), row_fields());
  for (int i = 1; i <= 3000; ++i) {
    append_rows(t, i, i);
    ASSERT_EQ(*t.read_integer("COUNT"), i);
    ASSERT_FALSE(t.is_deleted(1));
    if (i > 1) {
      ASSERT_TRUE(t.prior());
      ASSERT_EQ(*t.read_integer("COUNT"), i - 1);
    }
    ASSERT_TRUE(t.first());
    ASSERT_EQ(*t.read_integer("COUNT"), 1);
    ASSERT_TRUE(t.last());
    ASSERT_EQ(*t.read_integer("COUNT"), i);
  }
}

class TableFileView : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "rows.dbf";
    t_.create(path_, row_fields());
  }
  ScratchDir dir_;
  std::filesystem::path path_;
  Table t_;
};

TEST_F(TableFileView, AppendsAreReadBackAsTheFileGrows) {
  std::int64_t expected_sum = 0;
  for (int i = 1; i <= 2000; ++i) {
    append_rows(t_, i, i);
    expected_sum += i;
    ASSERT_EQ(*t_.read_integer("COUNT"), i);
    if (i % 250 == 0) {
      const auto counts = counts_in_view(t_);
      ASSERT_EQ(counts.size(), static_cast<std::size_t>(i));
      EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), std::int64_t{0}), expected_sum);
    }
  }
  t_.reopen();
  EXPECT_EQ(counts_in_view(t_).size(), 2000u);
}

TEST_F(TableFileView, EditsAndDeletionsAreSeenByTheNextRead) {
  append_rows(t_, 1, 5000);
  EXPECT_EQ(counts_in_view(t_).size(), 5000u);  // the view is taken and every page seen
  std::int64_t sum = 0;
  for (bool ok = t_.first(); ok; ok = t_.next()) {
    const std::int64_t n = *t_.read_integer("COUNT");
    if (n % 100 == 0) {
      t_.edit();
      t_.set_integer("COUNT", -n);
      t_.set_text("NAME", "changed");
      t_.post();
      EXPECT_EQ(*t_.read_integer("COUNT"), -n);
      EXPECT_EQ(t_.read_text("NAME"), "changed");
      if (n < 5000) {
        t_.delete_record(static_cast<std::uint32_t>(n + 1));  // a row ahead of the walk
      }
    }
    sum += *t_.read_integer("COUNT");
  }
  // Rows 101, 201, ... are gone; rows 100, 200, ... count negatively.
  std::int64_t expected = 0;
  for (std::int64_t n = 1; n <= 5000; ++n) {
    if (n % 100 == 1 && n > 1) {
      continue;
    }
    expected += n % 100 == 0 ? -n : n;
  }
  EXPECT_EQ(sum, expected);
  t_.go_to(300);
  EXPECT_EQ(*t_.read_integer("COUNT"), -300);
  EXPECT_TRUE(t_.is_deleted(301));
  t_.reopen();
  t_.go_to(300);
  EXPECT_EQ(*t_.read_integer("COUNT"), -300);
  EXPECT_TRUE(t_.is_deleted(301));
}

TEST_F(TableFileView, PackIsFollowedByReadsOfTheNewFile) {
  append_rows(t_, 1, 6000);
  std::vector<std::int64_t> kept;
  for (std::uint32_t r = 1; r <= 6000; ++r) {
    if (r % 3 == 0) {
      t_.delete_record(r);
    } else {
      kept.push_back(r);
    }
  }
  EXPECT_EQ(counts_in_view(t_), kept);
  t_.pack();
  EXPECT_EQ(t_.record_count(), 4000u);
  EXPECT_EQ(counts_in_view(t_), kept);
  EXPECT_EQ(std::filesystem::file_size(path_),
            t_.header().header_length + 4000u * t_.header().record_length + 1);
  append_rows(t_, 7001, 7002);
  kept.push_back(7001);
  kept.push_back(7002);
  EXPECT_EQ(counts_in_view(t_), kept);
  t_.go_to(4001);
  EXPECT_EQ(*t_.read_integer("COUNT"), 7001);
}

TEST_F(TableFileView, AWalkInIndexOrderReadsEveryRowWhereItLies) {
  append_rows(t_, 1, 20000);  // about 1 MB
  std::vector<std::uint32_t> order(20000);
  std::iota(order.begin(), order.end(), 1u);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  // Numbers out of range are passed over, also when a walk looks ahead at them.
  order.insert(order.begin() + 100, 0);
  order.insert(order.begin() + 200, 25000);
  order.push_back(20001);
  t_.set_order(order);
  std::vector<std::int64_t> seen;
  for (bool ok = t_.first(); ok; ok = t_.next()) {
    seen.push_back(*t_.read_integer("COUNT"));
    EXPECT_DOUBLE_EQ(*t_.read_double("VALUE"), static_cast<double>(seen.back()) * 0.25);
  }
  std::vector<std::int64_t> expected;
  for (const std::uint32_t r : order) {
    if (r >= 1 && r <= 20000) {
      expected.push_back(r);
    }
  }
  EXPECT_EQ(seen, expected);
  t_.set_filter("KIND=2");
  EXPECT_EQ(t_.count(), 6667u);
  // Backwards too.
  std::vector<std::int64_t> back;
  for (bool ok = t_.last(); ok; ok = t_.prior()) {
    back.push_back(*t_.read_integer("COUNT"));
  }
  ASSERT_EQ(back.size(), 6667u);
  EXPECT_EQ(back.front(),
            *std::find_if(expected.rbegin(), expected.rend(), [](auto n) { return n % 3 == 2; }));
}

TEST_F(TableFileView, ARowMissingAfterAnOutsideCutIsReportedNotReadPastTheEnd) {
#ifdef _WIN32
  GTEST_SKIP() << "a file held open without sharing cannot be cut from outside";
#else
  append_rows(t_, 1, 4000);
  EXPECT_EQ(counts_in_view(t_).size(), 4000u);
  const std::uint64_t ten_rows = t_.header().header_length + 10u * t_.header().record_length;
  std::filesystem::resize_file(path_, ten_rows);  // our lock binds only programs that ask for it
  std::vector<std::int64_t> seen;
  try {
    for (bool ok = t_.first(); ok; ok = t_.next()) {
      seen.push_back(*t_.read_integer("COUNT"));
    }
    ADD_FAILURE() << "the walk did not notice the missing rows";
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Damaged);
  }
  EXPECT_EQ(seen.size(), 10u);
#endif
}

}  // namespace
}  // namespace vkt::dbf
