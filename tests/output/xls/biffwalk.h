#pragma once

// Test oracles written from the published compound file and BIFF8 layouts, sharing no code with
// the writer: a compound file reader, a record splitter and a checker of the stream positions
// that no office program verifies (BOUNDSHEET, INDEX, DBCELL, EXTSST).

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vkt::xls::test {

using Data = std::vector<std::uint8_t>;

std::uint16_t u16(const Data& d, std::size_t at);
std::uint32_t u32(const Data& d, std::size_t at);
double f64(const Data& d, std::size_t at);
Data readFile(const std::filesystem::path& path);

struct CompoundFile {
  std::uint16_t majorVersion = 0;
  std::uint16_t sectorShift = 0;
  std::uint32_t fat_sectors = 0;
  std::uint32_t difat_sectors = 0;
  std::uint32_t mini_fat_sectors = 0;
  bool streamInMiniStream = false;
  std::vector<std::string> entryNames;  // every non-empty directory entry but the root
  std::map<std::string, Data> streams;
};
// Throws std::runtime_error on any inconsistency (bad chain, sector out of range, loop).
CompoundFile readCompoundFile(const Data& file);

struct Record {
  std::uint16_t id;
  std::size_t position;  // of the record header in the stream
  Data data;
};
std::vector<Record> splitRecords(const Data& stream);

// Problems found in the stream's position fields; empty when all is well.
std::vector<std::string> checkPositions(const Data& stream);

// Decoded SST strings (UTF-16 code units), following CONTINUE records.
std::vector<std::u16string> sstStrings(const std::vector<Record>& records);

}  // namespace vkt::xls::test
