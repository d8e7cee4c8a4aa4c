#include "biffwalk.h"

#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>

namespace vkt::xls::test {

std::uint16_t u16(const Data& d, std::size_t at) {
  if (at + 2 > d.size()) {
    throw std::runtime_error("read past the end");
  }
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::uint32_t u32(const Data& d, std::size_t at) {
  return u16(d, at) | (std::uint32_t{u16(d, at + 2)} << 16);
}

double f64(const Data& d, std::size_t at) {
  if (at + 8 > d.size()) {
    throw std::runtime_error("read past the end");
  }
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) {
    bits = (bits << 8) | d[at + static_cast<std::size_t>(i)];
  }
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

Data readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), {});
}

namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;

std::vector<std::uint32_t> chain(const std::vector<std::uint32_t>& fat, std::uint32_t start) {
  std::vector<std::uint32_t> sectors;
  std::set<std::uint32_t> seen;
  for (std::uint32_t s = start; s != kEnd;) {
    if (s >= fat.size() || !seen.insert(s).second) {
      throw std::runtime_error("broken sector chain at " + std::to_string(s));
    }
    sectors.push_back(s);
    s = fat[s];
  }
  return sectors;
}

}  // namespace

CompoundFile readCompoundFile(const Data& file) {
  static const std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (file.size() < 512 || std::memcmp(file.data(), kSignature, 8) != 0) {
    throw std::runtime_error("no compound file signature");
  }
  CompoundFile cf;
  cf.majorVersion = u16(file, 26);
  cf.sectorShift = u16(file, 30);
  const std::size_t sectorSize = std::size_t{1} << cf.sectorShift;
  if (cf.sectorShift != 9 || u16(file, 32) != 6 || u16(file, 28) != 0xFFFE) {
    throw std::runtime_error("unexpected sector sizes or byte order");
  }
  if ((file.size() - 512) % sectorSize != 0) {
    throw std::runtime_error("file is not a whole number of sectors");
  }
  const std::size_t sectorCount = (file.size() - 512) / sectorSize;
  auto sector = [&](std::uint32_t s) {
    if (s >= sectorCount) {
      throw std::runtime_error("sector " + std::to_string(s) + " past the end of the file");
    }
    return Data(file.begin() + static_cast<std::ptrdiff_t>(512 + s * sectorSize),
                file.begin() + static_cast<std::ptrdiff_t>(512 + (s + 1) * sectorSize));
  };
  cf.fat_sectors = u32(file, 44);
  cf.difat_sectors = u32(file, 72);
  cf.mini_fat_sectors = u32(file, 64);

  std::vector<std::uint32_t> fatList;
  for (std::size_t i = 0; i < 109 && fatList.size() < cf.fat_sectors; ++i) {
    fatList.push_back(u32(file, 76 + 4 * i));
  }
  std::uint32_t difat = u32(file, 68);
  for (std::uint32_t d = 0; d < cf.difat_sectors; ++d) {
    const Data ds = sector(difat);
    for (std::size_t i = 0; i < 127 && fatList.size() < cf.fat_sectors; ++i) {
      fatList.push_back(u32(ds, 4 * i));
    }
    difat = u32(ds, 508);
  }
  if (fatList.size() != cf.fat_sectors) {
    throw std::runtime_error("DIFAT lists fewer FAT sectors than the header counts");
  }
  std::vector<std::uint32_t> fat;
  for (std::uint32_t s : fatList) {
    const Data fs = sector(s);
    for (std::size_t i = 0; i < sectorSize / 4; ++i) {
      fat.push_back(u32(fs, 4 * i));
    }
  }
  for (std::uint32_t s : fatList) {
    if (s >= fat.size() || fat[s] != 0xFFFFFFFD) {
      throw std::runtime_error("FAT sector not marked as such");
    }
  }
  if (fat.size() < sectorCount) {
    throw std::runtime_error("FAT does not cover the file");
  }
  for (std::size_t s = sectorCount; s < fat.size(); ++s) {
    if (fat[s] != kFree) {
      throw std::runtime_error("FAT maps a sector past the end of the file");
    }
  }

  Data directory;
  for (std::uint32_t s : chain(fat, u32(file, 48))) {
    const Data ds = sector(s);
    directory.insert(directory.end(), ds.begin(), ds.end());
  }
  auto readChain = [&](std::uint32_t start, std::uint64_t size) {
    Data out;
    for (std::uint32_t s : chain(fat, start)) {
      const Data ds = sector(s);
      out.insert(out.end(), ds.begin(), ds.end());
    }
    if (out.size() < size) {
      throw std::runtime_error("stream chain shorter than its size");
    }
    out.resize(size);
    return out;
  };
  // Root entry: the mini stream.
  const std::uint64_t root_size = u32(directory, 120);
  const Data miniStream = root_size > 0 ? readChain(u32(directory, 116), root_size) : Data();
  std::vector<std::uint32_t> mini_fat;
  if (cf.mini_fat_sectors > 0) {
    for (std::uint32_t s : chain(fat, u32(file, 60))) {
      const Data ms = sector(s);
      for (std::size_t i = 0; i < sectorSize / 4; ++i) {
        mini_fat.push_back(u32(ms, 4 * i));
      }
    }
  }
  for (std::size_t e = 1; e * 128 < directory.size(); ++e) {
    const std::size_t at = e * 128;
    const std::uint8_t type = directory[at + 66];
    if (type == 0) {
      continue;
    }
    const std::uint16_t nameBytes = u16(directory, at + 64);
    std::string name;
    for (std::size_t i = 0; i + 2 < nameBytes; i += 2) {
      name.push_back(static_cast<char>(directory[at + i]));
    }
    cf.entryNames.push_back(name);
    if (type != 2) {
      continue;
    }
    const std::uint32_t start = u32(directory, at + 116);
    const std::uint64_t size = u32(directory, at + 120);
    if (size < u32(file, 56)) {
      cf.streamInMiniStream = true;
      Data out;
      for (std::uint32_t m : chain(mini_fat, start)) {
        if ((m + 1) * 64 > miniStream.size()) {
          throw std::runtime_error("mini sector past the mini stream");
        }
        out.insert(out.end(), miniStream.begin() + m * 64, miniStream.begin() + (m + 1) * 64);
      }
      out.resize(size);
      cf.streams[name] = out;
    } else {
      cf.streams[name] = readChain(start, size);
    }
  }
  return cf;
}

std::vector<Record> splitRecords(const Data& stream) {
  std::vector<Record> records;
  std::size_t at = 0;
  while (at < stream.size()) {
    if (at + 4 > stream.size()) {
      throw std::runtime_error("truncated record header");
    }
    const std::uint16_t id = u16(stream, at);
    const std::uint16_t size = u16(stream, at + 2);
    if (at + 4 + size > stream.size()) {
      throw std::runtime_error("record runs past the stream");
    }
    if (size > 8224) {
      throw std::runtime_error("record longer than 8224 bytes");
    }
    records.push_back({id, at,
                       Data(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + size))});
    at += 4 + size;
  }
  return records;
}

namespace {

struct StringStart {
  std::size_t position;
  std::size_t offset;
};

// Walks SST and its CONTINUE records; returns the strings and where each begins.
std::vector<std::u16string> walkSst(const std::vector<Record>& records, std::vector<StringStart>* starts) {
  std::vector<std::u16string> strings;
  std::size_t r = 0;
  while (r < records.size() && records[r].id != 0x00FC) {
    ++r;
  }
  if (r == records.size()) {
    return strings;
  }
  const std::uint32_t count = u32(records[r].data, 4);
  std::size_t at = 8;
  auto nextRecord = [&]() {
    ++r;
    if (r >= records.size() || records[r].id != 0x003C) {
      throw std::runtime_error("SST ends before its strings do");
    }
    at = 0;
  };
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at == records[r].data.size()) {
      nextRecord();
    }
    if (at + 3 > records[r].data.size()) {
      throw std::runtime_error("string header split across records");
    }
    if (starts) {
      starts->push_back({records[r].position + 4 + at, 4 + at});
    }
    const std::uint16_t length = u16(records[r].data, at);
    std::uint8_t flags = records[r].data[at + 2];
    if ((flags & 0x0C) != 0) {
      throw std::runtime_error("rich or phonetic strings are not expected");
    }
    at += 3;
    std::u16string s;
    while (s.size() < length) {
      if (at == records[r].data.size()) {
        nextRecord();
        flags = records[r].data.at(0);
        at = 1;
      }
      const Data& d = records[r].data;
      if (flags & 1) {
        if (at + 2 > d.size()) {
          throw std::runtime_error("character split across records");
        }
        s.push_back(static_cast<char16_t>(u16(d, at)));
        at += 2;
      } else {
        s.push_back(d[at]);
        at += 1;
      }
    }
    strings.push_back(s);
  }
  if (at != records[r].data.size()) {
    throw std::runtime_error("bytes left after the last SST string");
  }
  return strings;
}

bool isCell(std::uint16_t id) {
  return id == 0x0203 || id == 0x00FD || id == 0x0201 || id == 0x00BE;
}

}  // namespace

std::vector<std::u16string> sstStrings(const std::vector<Record>& records) {
  return walkSst(records, nullptr);
}

std::vector<std::string> checkPositions(const Data& stream) {
  std::vector<std::string> problems;
  const std::vector<Record> records = splitRecords(stream);
  std::map<std::size_t, std::size_t> byPosition;
  for (std::size_t i = 0; i < records.size(); ++i) {
    byPosition[records[i].position] = i;
  }
  auto recordAt = [&](std::size_t position) -> const Record* {
    const auto found = byPosition.find(position);
    return found == byPosition.end() ? nullptr : &records[found->second];
  };

  // BOUNDSHEET -> worksheet BOF, in sheet order.
  std::vector<std::size_t> sheetBofs;
  for (const Record& rec : records) {
    if (rec.id == 0x0809 && u16(rec.data, 2) == 0x0010) {
      sheetBofs.push_back(rec.position);
    }
  }
  std::size_t sheet = 0;
  for (const Record& rec : records) {
    if (rec.id != 0x0085) {
      continue;
    }
    const std::uint32_t position = u32(rec.data, 0);
    if (sheet >= sheetBofs.size() || position != sheetBofs[sheet]) {
      problems.push_back("BOUNDSHEET " + std::to_string(sheet) + " points at " + std::to_string(position) +
                         ", not at its sheet's BOF");
    }
    ++sheet;
  }
  if (sheet != sheetBofs.size()) {
    problems.push_back("BOUNDSHEET count differs from the number of sheets");
  }

  // EXTSST -> every eighth string.
  std::vector<StringStart> starts;
  walkSst(records, &starts);
  for (const Record& rec : records) {
    if (rec.id != 0x00FF) {
      continue;
    }
    Data ext = rec.data;
    for (std::size_t k = byPosition[rec.position] + 1; k < records.size() && records[k].id == 0x003C; ++k) {
      ext.insert(ext.end(), records[k].data.begin(), records[k].data.end());
    }
    const std::uint16_t perBucket = u16(ext, 0);
    const std::size_t buckets = (ext.size() - 2) / 8;
    const std::size_t expected = perBucket == 0 ? 0 : (starts.size() + perBucket - 1) / perBucket;
    if (buckets != expected) {
      problems.push_back("EXTSST holds " + std::to_string(buckets) + " entries, expected " +
                         std::to_string(expected));
    }
    for (std::size_t b = 0; b < buckets && b * perBucket < starts.size(); ++b) {
      const StringStart& s = starts[b * perBucket];
      if (u32(ext, 2 + 8 * b) != s.position || u16(ext, 6 + 8 * b) != s.offset) {
        problems.push_back("EXTSST entry " + std::to_string(b) + " misses its string");
      }
    }
  }

  // Per sheet: INDEX -> DBCELL, DBCELL -> ROW records and each row's first cell.
  for (std::size_t bof : sheetBofs) {
    const std::size_t first = byPosition[bof];
    std::size_t last = first;
    while (last < records.size() && records[last].id != 0x000A) {
      ++last;
    }
    const Record& index = records.at(first + 1);
    if (index.id != 0x020B) {
      problems.push_back("sheet at " + std::to_string(bof) + " has no INDEX after its BOF");
      continue;
    }
    std::vector<std::size_t> dbcells;
    for (std::size_t k = first; k < last; ++k) {
      if (records[k].id == 0x00D7) {
        dbcells.push_back(records[k].position);
      }
    }
    const std::size_t entries = (index.data.size() - 16) / 4;
    if (entries != dbcells.size()) {
      problems.push_back("INDEX lists " + std::to_string(entries) + " DBCELLs, the sheet has " +
                         std::to_string(dbcells.size()));
    }
    for (std::size_t e = 0; e < entries; ++e) {
      const std::uint32_t position = u32(index.data, 16 + 4 * e);
      if (e >= dbcells.size() || position != dbcells[e]) {
        problems.push_back("INDEX entry " + std::to_string(e) + " does not point at its DBCELL");
      }
    }
    for (std::size_t dbPos : dbcells) {
      const Record& db = records[byPosition[dbPos]];
      const std::size_t first_row = dbPos - u32(db.data, 0);
      const Record* row = recordAt(first_row);
      if (!row || row->id != 0x0208) {
        problems.push_back("DBCELL at " + std::to_string(dbPos) + " does not lead back to a ROW record");
        continue;
      }
      std::vector<std::uint16_t> rowNumbers;
      std::size_t k = byPosition[first_row];
      for (; records[k].id == 0x0208; ++k) {
        rowNumbers.push_back(u16(records[k].data, 0));
      }
      std::map<std::uint16_t, std::size_t> first_cell;
      for (; k < records.size() && records[k].position < dbPos; ++k) {
        if (!isCell(records[k].id)) {
          problems.push_back("unexpected record in a row block");
          continue;
        }
        first_cell.emplace(u16(records[k].data, 0), records[k].position);
      }
      const std::size_t offsets = (db.data.size() - 4) / 2;
      if (offsets != rowNumbers.size()) {
        problems.push_back("DBCELL has " + std::to_string(offsets) + " offsets for " +
                           std::to_string(rowNumbers.size()) + " ROW records");
        continue;
      }
      std::size_t previous = first_row + 20;
      for (std::size_t i = 0; i < offsets; ++i) {
        const std::uint16_t offset = u16(db.data, 4 + 2 * i);
        const auto cell = first_cell.find(rowNumbers[i]);
        if (cell == first_cell.end()) {
          if (offset != 0) {
            problems.push_back("DBCELL offset for the empty row " + std::to_string(rowNumbers[i]) +
                               " is not 0");
          }
          continue;
        }
        if (previous + offset != cell->second) {
          problems.push_back("DBCELL offset for row " + std::to_string(rowNumbers[i]) +
                             " misses its first cell");
        }
        previous = cell->second;
      }
    }
  }
  return problems;
}

}  // namespace vkt::xls::test
