// The compound file container: mini stream for small streams, FAT chains, DIFAT beyond 109 FAT
// sectors, and patches of stream bytes already written.
#include <gtest/gtest.h>

#include "output/xls/compoundfile.h"
#include "testutil.h"

namespace vkt::xls {
namespace {

using test::Data;

Data pattern(std::size_t size) {
  Data d(size);
  std::uint32_t x = 12345;
  for (auto& b : d) {
    x = x * 1103515245 + 12345;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return d;
}

test::CompoundFile roundTrip(const Data& stream, std::size_t piece = 1000) {
  MemorySink file;
  CompoundFileWriter writer(file, u"Workbook");
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    writer.write(stream.data() + at, std::min(piece, stream.size() - at));
  }
  writer.finish();
  return test::readCompoundFile(Data(file.bytes().begin(), file.bytes().end()));
}

TEST(CompoundFile, StreamsOfEverySizeClassComeBackUnchanged) {
  for (std::size_t size : {std::size_t{1}, std::size_t{64}, std::size_t{4095}, std::size_t{4096},
                           std::size_t{4097}, std::size_t{512 * 300 + 7}}) {
    const Data stream = pattern(size);
    const test::CompoundFile cf = roundTrip(stream);
    EXPECT_EQ(cf.majorVersion, 3);
    EXPECT_EQ(cf.entryNames, std::vector<std::string>{"Workbook"}) << size;
    EXPECT_EQ(cf.streams.at("Workbook"), stream) << size;
    EXPECT_EQ(cf.streamInMiniStream, size < 4096) << size;
    EXPECT_EQ(cf.mini_fat_sectors, size < 4096 ? 1u : 0u) << size;
    EXPECT_EQ(cf.difat_sectors, 0u);
  }
}

TEST(CompoundFile, MoreThan109FatSectorsNeedDifatSectors) {
  // 109 FAT sectors map 109·128 sectors of 512 bytes: about 7.1 MB.
  const Data stream = pattern(9 * 1024 * 1024 + 333);
  const test::CompoundFile cf = roundTrip(stream, 1 << 20);
  EXPECT_GT(cf.fat_sectors, 109u);
  EXPECT_EQ(cf.difat_sectors, 1u);
  EXPECT_EQ(cf.streams.at("Workbook"), stream);
}

TEST(CompoundFile, ManyDifatSectorsChainToEachOther) {
  const Data stream = pattern(25 * 1024 * 1024);
  const test::CompoundFile cf = roundTrip(stream, 1 << 20);
  EXPECT_GT(cf.difat_sectors, 2u);
  EXPECT_EQ(cf.streams.at("Workbook"), stream);
}

TEST(CompoundFile, PatchesReachBytesInMemoryAndInTheContainer) {
  for (std::size_t size : {std::size_t{3000}, std::size_t{100000}}) {
    Data stream = pattern(size);
    MemorySink file;
    CompoundFileWriter writer(file, u"Workbook");
    writer.write(stream.data(), stream.size());
    const std::uint8_t patch[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    writer.write_at(10, patch, 4);
    writer.write_at(size - 4, patch, 4);
    std::copy(patch, patch + 4, stream.begin() + 10);
    std::copy(patch, patch + 4, stream.end() - 4);
    EXPECT_THROW(writer.write_at(size - 2, patch, 4), std::out_of_range);
    writer.finish();
    const auto cf = test::readCompoundFile(Data(file.bytes().begin(), file.bytes().end()));
    EXPECT_EQ(cf.streams.at("Workbook"), stream) << size;
  }
}

}  // namespace
}  // namespace vkt::xls
