// The shared string table: where strings are cut between SST and CONTINUE records, and the
// EXTSST positions.
#include <gtest/gtest.h>

#include "output/xls/sst.h"
#include "testutil.h"

namespace vkt::xls {
namespace {

using test::Data;

struct Written {
  std::vector<test::Record> records;
  std::vector<SstWriter::Bucket> buckets;
};

// Writes the strings after `lead` bytes of other records, as in a real stream.
Written writeSst(const std::vector<std::u16string>& strings, std::size_t lead = 0) {
  MemorySink sink;
  const Bytes filler(lead, 0);
  sink.write(filler);
  SstWriter sst(sink, static_cast<std::uint32_t>(strings.size()));
  for (const auto& s : strings) {
    sst.add(s);
  }
  sst.finish();
  const Data stream(sink.bytes().begin() + static_cast<std::ptrdiff_t>(lead), sink.bytes().end());
  Written w{test::splitRecords(stream), sst.buckets()};
  for (auto& r : w.records) {
    r.position += lead;
  }
  return w;
}

std::u16string letters(std::size_t n, char16_t first = u'а') {
  std::u16string s;
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(static_cast<char16_t>(first + i % 32));
  }
  return s;
}

TEST(Sst, ShortStringsStayInOneRecordWithBothCounts) {
  const Written w = writeSst({u"a", u"ВКТ", u"a"});
  ASSERT_EQ(w.records.size(), 2u);
  Data expected = test::hex("03 00 00 00 03 00 00 00 01 00 01 61 00 03 00 01");
  test::appendText(expected, u"ВКТ");
  for (auto b : test::hex("01 00 01 61 00")) {
    expected.push_back(b);
  }
  EXPECT_EQ(w.records[0].id, 0x00FC);
  EXPECT_EQ(w.records[0].data, expected);
  EXPECT_EQ(w.records[1].id, 0x00FF);
  EXPECT_EQ(w.records[1].data, test::hex("08 00 0C 00 00 00 0C 00 00 00"));
}

TEST(Sst, AStringThatDoesNotFitContinuesAfterAnOptionByte) {
  // 8 + 3 + 2·5000 leaves 8224 − 10011 < 0: the string is cut after 4106 characters.
  const std::u16string big = letters(5000);
  const Written w = writeSst({big, u"после"});
  ASSERT_GE(w.records.size(), 3u);
  EXPECT_EQ(w.records[0].data.size(), 8223u) << "whole characters only: one byte stays free";
  EXPECT_EQ(w.records[1].id, 0x003C);
  EXPECT_EQ(w.records[1].data.at(0), 1) << "option byte first";
  EXPECT_EQ(test::sstStrings(w.records), (std::vector<std::u16string>{big, u"после"}));
}

TEST(Sst, AHeaderWithFourBytesOrFewerLeftStartsANewRecord) {
  // Two strings fill the SST record to 8220 bytes: 4 bytes are left.
  const Written w = writeSst({letters(4000), letters(103), u"новая"});
  ASSERT_EQ(w.records[0].data.size(), 8220u);
  ASSERT_EQ(w.records[1].id, 0x003C);
  EXPECT_EQ(test::u16(w.records[1].data, 0), 5u) << "the third string's count begins the CONTINUE";
  EXPECT_EQ(w.records[1].data.at(2), 1);
  EXPECT_EQ(test::sstStrings(w.records).at(2), u"новая");
}

TEST(Sst, FiveBytesLeftTakeTheHeaderAndOneCharacter) {
  // Three strings fill 8219 bytes: 5 are left for a header and one character.
  const Written w = writeSst({letters(4000), letters(100), letters(1), u"xyz"});
  ASSERT_EQ(w.records[0].data.size(), 8224u);
  ASSERT_EQ(w.records[1].id, 0x003C);
  EXPECT_EQ(w.records[1].data, test::hex("01 79 00 7A 00"));
  EXPECT_EQ(test::sstStrings(w.records).at(3), u"xyz");
}

TEST(Sst, LongStringsSpanSeveralContinueRecordsAndExtSstFindsEveryEighth) {
  std::vector<std::u16string> strings;
  for (int i = 0; i < 70; ++i) {
    strings.push_back(letters(static_cast<std::size_t>(i % 9 == 0 ? 9000 + i : 1 + i * 37), u'А'));
  }
  const Written w = writeSst(strings, 1234);
  EXPECT_EQ(test::sstStrings(w.records), strings);
  ASSERT_EQ(w.buckets.size(), 9u);
  // Independent walk: where does each string begin?
  std::size_t r = 0;
  std::size_t at = 8;
  std::vector<std::pair<std::size_t, std::size_t>> starts;
  for (const auto& s : strings) {
    if (w.records[r].data.size() - at <= 4) {
      ++r;
      at = 0;
    }
    starts.emplace_back(w.records[r].position + 4 + at, 4 + at);
    std::size_t remaining = 2 * s.size();
    at += 3;
    while (remaining > 0) {
      const std::size_t take = std::min(remaining, (w.records[r].data.size() - at) & ~std::size_t{1});
      remaining -= take;
      at += take;
      if (remaining > 0) {
        ++r;
        at = 1;
      }
    }
  }
  for (std::size_t b = 0; b < w.buckets.size(); ++b) {
    EXPECT_EQ(w.buckets[b].position, starts[8 * b].first) << "bucket " << b;
    EXPECT_EQ(w.buckets[b].offset, starts[8 * b].second) << "bucket " << b;
  }
}

}  // namespace
}  // namespace vkt::xls
