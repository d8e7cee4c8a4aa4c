// The waveform file: its bytes, round trips through the disk, and every way a file can be wrong.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "core/error.h"
#include "store/dbf/testfiles.h"
#include "store/waveform/crc32.h"
#include "store/waveform/waveformfile.h"

namespace vkt::waveform {
namespace {

using dbf::testing::file_bytes;
using dbf::testing::ScratchDir;
using dbf::testing::write_bytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kRecordLength = 4 + 12282 + 4;

MeasurementKey key(const char* date, const char* time, std::uint16_t seed) {
  std::array<std::optional<double>, kStoredValues> values;
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = seed + i;
  }
  return *key_of_row(date, time, values);
}

MeasurementWaveforms measurement(const MeasurementKey& k, std::uint32_t seed) {
  MeasurementWaveforms m{k, {}};
  for (std::size_t d = 0; d < kDrops; ++d) {
    for (std::size_t i = 0; i < kCurveSamples; ++i) {
      m.drops[d].displacement[i] = seed * 100000 + static_cast<std::uint32_t>(d * 1000 + i);
      m.drops[d].force[i] = 0xFFFFFFFFU - static_cast<std::uint32_t>(d * 1000 + i);
    }
  }
  return m;
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

std::size_t header_size(const Bytes& b) {
  return b[10] | (b[11] << 8);
}

Bytes to_bytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

const MeasurementKey kFirst = key("12.05.2011", "10:00:00", 100);
const MeasurementKey kSecond = key("12.05.2011", "10:00:00", 200);  // the same moment, other values

TEST(WaveformCrc, IsTheCrcOfZlib) {
  const std::string check = "123456789";
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size());
  EXPECT_EQ(crc32(bytes), 0xCBF43926U);
  // Continued over a split at an odd place, the sum is the same.
  EXPECT_EQ(crc32(bytes.subspan(5), crc32(bytes.first(5))), 0xCBF43926U);
  EXPECT_EQ(crc32({}), 0U);
}

TEST(WaveformKey, OnlyRowsAsTheImportWritesThemHaveOne) {
  std::array<std::optional<double>, kStoredValues> values;
  values.fill(65535.0);
  const auto k = key_of_row("01.02.2013", "23:59:58", values);
  ASSERT_TRUE(k);
  EXPECT_EQ(key_text(*k), "01.02.2013 23:59:58");
  EXPECT_EQ(k->force[kDrop3], 65535);

  EXPECT_FALSE(key_of_row("1.02.2013", "23:59:58", values));
  EXPECT_FALSE(key_of_row("01.02.2013", "23:59", values));
  for (const double bad : {-1.0, 65536.0, 0.5}) {
    auto edited = values;
    edited[7] = bad;
    EXPECT_FALSE(key_of_row("01.02.2013", "23:59:58", edited)) << bad;
  }
  values[0].reset();
  EXPECT_FALSE(key_of_row("01.02.2013", "23:59:58", values));
}

TEST(WaveformFile, CompanionSitsBesideTheTable) {
  EXPECT_EQ(companion_path("/data/Участок 5.db"), std::filesystem::path("/data/Участок 5.vkw"));
  EXPECT_EQ(companion_path("/data/a.b.DB"), std::filesystem::path("/data/a.b.vkw"));
}

const ObjectParameters kParameters = {
    "Трасса М-4, ПК 12+40", "щебень", "Иванов И. И.", "РС7-0815", 120.5, "07.12.03"};

// The parameters block of kParameters: length, flag, modulus, five texts, checksum.
constexpr std::size_t kParametersBlock = 4 + 9 + 5 * 2 + 29 + 12 + 20 + 10 + 8 + 4;

TEST(WaveformFile, BytesFollowTheDocumentedLayout) {
  WaveformFile file;
  file.set_parameters(kParameters);
  file.add(measurement(kFirst, 1));
  const Bytes b = file.serialize();
  const std::size_t h = 12 + kParametersBlock;
  ASSERT_EQ(b.size(), h + kRecordLength);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 8), std::string("VKTWAVE\x1A"));
  EXPECT_EQ(b[8] | (b[9] << 8), 2);
  EXPECT_EQ(b[10] | (b[11] << 8), h);
  const std::uint32_t p = get32(b, 12);
  EXPECT_EQ(p, kParametersBlock - 8);
  EXPECT_EQ(b[16], 1);
  // 120.5 as a little-endian double: 0x405E200000000000.
  EXPECT_EQ(Bytes(b.begin() + 17, b.begin() + 25), (Bytes{0, 0, 0, 0, 0, 0x20, 0x5E, 0x40}));
  EXPECT_EQ(b[25] | (b[26] << 8), 29);
  EXPECT_EQ(std::string(b.begin() + 27, b.begin() + 56), kParameters.object);
  EXPECT_EQ(b[56] | (b[57] << 8), 12);
  EXPECT_EQ(std::string(b.begin() + 58, b.begin() + 70), "щебень");
  EXPECT_EQ(b[h - 26] | (b[h - 25] << 8), 10);
  EXPECT_EQ(std::string(b.begin() + h - 24, b.begin() + h - 14), "РС7-0815");
  EXPECT_EQ(b[h - 14] | (b[h - 13] << 8), 8);
  EXPECT_EQ(std::string(b.begin() + h - 12, b.begin() + h - 4), "07.12.03");
  EXPECT_EQ(get32(b, 16 + p), crc32(std::span(b).subspan(12, 4 + p)));

  EXPECT_EQ(get32(b, h), 12282U);
  EXPECT_EQ(std::string(b.begin() + h + 4, b.begin() + h + 22), "12.05.201110:00:00");
  EXPECT_EQ(b[h + 22] | (b[h + 23] << 8), 100);        // D9
  EXPECT_EQ(b[h + 44] | (b[h + 45] << 8), 111);        // D6
  EXPECT_EQ(get32(b, h + 46), 100000U);                // drop 1, displacement 0
  EXPECT_EQ(get32(b, h + 46 + 4 * 510), 0xFFFFFFFFU);  // drop 1, force 0
  EXPECT_EQ(get32(b, h + 46 + 4 * 1020), 101000U);     // drop 2, displacement 0
  EXPECT_EQ(get32(b, h + 4 + 12282), crc32(std::span(b).subspan(h, 4 + 12282)));

  // Without parameters: no modulus and five empty texts, still checked.
  const Bytes empty = WaveformFile().serialize();
  ASSERT_EQ(empty.size(), 12u + 8 + 9 + 10);
  EXPECT_EQ(empty[10], 39);
  EXPECT_EQ(Bytes(empty.begin() + 16, empty.begin() + 35), Bytes(19, 0));
}

TEST(WaveformFile, RoundTripThroughTheDisk) {
  ScratchDir dir;
  const auto path = dir / "a.vkw";
  const WaveformFile missing = WaveformFile::load(path);
  EXPECT_EQ(missing.size(), 0u);
  EXPECT_TRUE(missing.writable());
  EXPECT_EQ(missing.message(), "");

  WaveformFile file;
  const std::vector<MeasurementWaveforms> both = {measurement(kFirst, 1), measurement(kSecond, 2)};
  file.add(both);
  file.save(path);

  WaveformFile read = WaveformFile::load(path);
  EXPECT_EQ(read.message(), "");
  ASSERT_EQ(read.size(), 2u);
  ASSERT_NE(read.find(kFirst), nullptr);
  EXPECT_EQ(*read.find(kFirst), both[0]);
  EXPECT_EQ(*read.find(kSecond), both[1]);
  EXPECT_EQ(read.find(key("12.05.2011", "10:00:01", 100)), nullptr);

  // A later download of the same measurement replaces it; new ones join the others.
  const MeasurementKey third = key("13.05.2011", "08:00:00", 300);
  read.add(std::vector{measurement(kFirst, 7), measurement(third, 3)});
  read.save(path);
  const WaveformFile again = WaveformFile::load(path);
  EXPECT_EQ(again.size(), 3u);
  EXPECT_EQ(again.find(kFirst)->drops[0].displacement[0], 700000U);
  EXPECT_EQ(*again.find(kSecond), both[1]);
}

// A download's new and changed waveforms go after the last record; a file cut by a crash in that
// write, or one whose parameters changed, is written whole again.
TEST(WaveformFile, DownloadsAddOnlyWhatChangedAtTheEnd) {
  ScratchDir dir;
  const auto path = dir / "a.vkw";
  const MeasurementKey third = key("13.05.2011", "08:00:00", 300);
  WaveformFile file;
  file.add_and_save(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)}, path);
  const Bytes two = to_bytes(file_bytes(path));

  WaveformFile read = WaveformFile::load(path);
  read.add_and_save(std::vector{measurement(kFirst, 1), measurement(kSecond, 9), measurement(third, 3)},
                    path);
  const Bytes appended = to_bytes(file_bytes(path));
  ASSERT_EQ(appended.size(), two.size() + 2 * kRecordLength);
  EXPECT_TRUE(std::equal(two.begin(), two.end(), appended.begin()));
  WaveformFile again = WaveformFile::load(path);
  EXPECT_EQ(again.message(), "");
  EXPECT_EQ(again.size(), 3u);
  EXPECT_EQ(again.find(kSecond)->drops[0].displacement[0], 900000U);  // the later record counts
  // The same download once more writes nothing.
  again.add_and_save(std::vector{measurement(third, 3)}, path);
  EXPECT_EQ(file_bytes(path).size(), appended.size());

  // A write cut short: the record before the cut is read, and the next write is a whole file
  // without the cut piece.
  write_bytes(path, std::string(appended.begin(), appended.end() - 100));
  WaveformFile cut = WaveformFile::load(path);
  EXPECT_EQ(cut.size(), 2u);
  cut.add_and_save(std::vector{measurement(third, 3)}, path);
  const WaveformFile whole = WaveformFile::load(path);
  EXPECT_EQ(whole.message(), "");
  EXPECT_EQ(file_bytes(path).size(), header_size(two) + 3 * kRecordLength);

  // New parameters change the header: the whole file again, with them.
  WaveformFile changed = WaveformFile::load(path);
  ObjectParameters parameters;
  parameters.object = "Участок 5";
  changed.set_parameters(parameters);
  changed.add_and_save(std::vector{measurement(key("14.05.2011", "08:00:00", 400), 4)}, path);
  const WaveformFile reread = WaveformFile::load(path);
  EXPECT_EQ(reread.parameters(), parameters);
  EXPECT_EQ(reread.size(), 4u);
}

TEST(WaveformFile, BadChecksumCostsThatMeasurementOnly) {
  WaveformFile file;
  file.add(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)});
  Bytes b = file.serialize();
  const std::size_t h = header_size(b);
  b[h + 4 + 42 + 1000] ^= 0x01;  // a sample of the first record (kFirst sorts first)

  WaveformFile read = WaveformFile::parse(b, "a.vkw");
  EXPECT_EQ(read.find(kFirst), nullptr);
  EXPECT_TRUE(read.is_damaged(kFirst));
  EXPECT_FALSE(read.is_damaged(kSecond));
  ASSERT_NE(read.find(kSecond), nullptr);
  EXPECT_EQ(read.damaged_count(), 1u);
  EXPECT_TRUE(read.writable());
  EXPECT_NE(read.message().find("12.05.2011 10:00:00"), std::string::npos) << read.message();

  // Written again, the damaged record keeps its bytes and stays damaged.
  const Bytes rewritten = read.serialize();
  EXPECT_EQ(Bytes(rewritten.end() - kRecordLength, rewritten.end()),
            Bytes(b.begin() + h, b.begin() + h + kRecordLength));
  EXPECT_TRUE(WaveformFile::parse(rewritten, "a.vkw").is_damaged(kFirst));

  // A new download of the measurement heals it.
  read.add(measurement(kFirst, 1));
  EXPECT_FALSE(read.is_damaged(kFirst));
  EXPECT_EQ(WaveformFile::parse(read.serialize(), "a.vkw").size(), 2u);
}

TEST(WaveformFile, ForeignAndUnreadableFilesAreLeftAlone) {
  ScratchDir dir;
  const auto path = dir / "a.vkw";
  WaveformFile ours;
  ours.add(measurement(kFirst, 1));
  Bytes version0 = ours.serialize();
  version0[8] = 0;
  for (const Bytes& foreign : {to_bytes("PK\x03\x04 a zip"), to_bytes("VKTWAVE"), version0}) {
    write_bytes(path, std::string(foreign.begin(), foreign.end()));
    WaveformFile read = WaveformFile::load(path);
    EXPECT_EQ(read.size(), 0u);
    EXPECT_FALSE(read.writable());
    EXPECT_NE(read.message().find("не является файлом кривых"), std::string::npos) << read.message();
    read.add(measurement(kSecond, 2));
    try {
      read.save(path);
      ADD_FAILURE() << "a foreign file was overwritten";
    } catch (const vkt::Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::NoAccess);
    }
    EXPECT_EQ(file_bytes(path), std::string(foreign.begin(), foreign.end()));
  }
  // A folder under the name cannot be read.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  const WaveformFile folder = WaveformFile::load(path);
  EXPECT_FALSE(folder.writable());
  EXPECT_NE(folder.message().find("не читается"), std::string::npos) << folder.message();
}

TEST(WaveformFile, BrokenTailKeepsTheRecordsBeforeIt) {
  WaveformFile file;
  file.add(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)});
  const Bytes whole = file.serialize();
  for (const std::size_t cut : {whole.size() - 1, whole.size() - kRecordLength + 3}) {
    const WaveformFile read = WaveformFile::parse(std::span(whole).first(cut), "a.vkw");
    EXPECT_EQ(read.size(), 1u) << cut;
    EXPECT_NE(read.find(kFirst), nullptr);
    EXPECT_TRUE(read.writable());
    EXPECT_NE(read.message().find("повреждён: прочитано измерений: 1;"), std::string::npos) << read.message();
  }
  Bytes short_length = whole;
  put32(short_length, header_size(whole), 100);
  EXPECT_EQ(WaveformFile::parse(short_length, "a.vkw").size(), 0u);
}

TEST(WaveformParameters, AnIndependentReaderFindsThemWhereTheLayoutSays) {
#ifdef _WIN32
  GTEST_SKIP() << "the Python reader cannot open the paths of a Windows program";
#endif
  ScratchDir dir;
  WaveformFile file;
  file.set_parameters(kParameters);
  file.add(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)});
  file.save(dir / "a.vkw");
  EXPECT_EQ(dbf::testing::run_python("../waveform/vkw_dump.py", dbf::testing::quoted_arg(dir / "a.vkw")),
            "version 2 header 118\n"
            "parameters ok Трасса М-4, ПК 12+40|щебень|Иванов И. И.|РС7-0815|07.12.03 120.5\n"
            "record 12.05.2011 10:00:00 100 111 ok 100000\n"
            "record 12.05.2011 10:00:00 200 211 ok 200000\n");
}

// Files written from docs/waveform-file.md by a small independent writer (the fuzz corpus).
WaveformFile corpus_file(const char* name) {
  return WaveformFile::load(std::filesystem::path(VKT_SOURCE_DIR) / "fuzz" / "waveform" / "corpus" / name);
}

TEST(WaveformFile, ReadsTheFilesOfAnIndependentWriter) {
  const WaveformFile two = corpus_file("two-records.vkw");
  EXPECT_EQ(two.message(), "");
  ASSERT_EQ(two.size(), 2u);
  const MeasurementWaveforms* m = two.find(key("12.05.2011", "10:00:00", 100));
  ASSERT_NE(m, nullptr);
  // Sample i of the record (drop by drop, displacement before force) holds 7 + i.
  EXPECT_EQ(m->drops[0].displacement[0], 7U);
  EXPECT_EQ(m->drops[0].force[0], 7U + 510);
  EXPECT_EQ(m->drops[2].force[509], 7U + 3059);

  const WaveformFile bad = corpus_file("bad-checksum.vkw");
  EXPECT_EQ(bad.size(), 1u);
  std::array<std::optional<double>, kStoredValues> largest;
  largest.fill(65535.0);
  EXPECT_TRUE(bad.is_damaged(*key_of_row("01.01.2000", "00:00:00", largest)));
}

// A file of our layout with another version and `extra` bytes at the end of the header.
Bytes with_version(Bytes b, std::uint16_t version, std::size_t extra = 0) {
  const std::size_t h = header_size(b) + extra;
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(h - extra), extra, 0xAB);
  b[8] = static_cast<std::uint8_t>(version);
  b[9] = 0;
  b[10] = static_cast<std::uint8_t>(h);
  b[11] = static_cast<std::uint8_t>(h >> 8);
  return b;
}

TEST(WaveformParameters, RoundTripAndRefuseWhatTheFileCannotCarry) {
  ScratchDir dir;
  const auto path = dir / "a.vkw";
  WaveformFile file;
  file.add(measurement(kFirst, 1));
  file.set_parameters(kParameters);
  file.save(path);
  WaveformFile read = WaveformFile::load(path);
  EXPECT_EQ(read.message(), "");
  EXPECT_EQ(read.parameters(), kParameters);
  EXPECT_EQ(read.size(), 1u);

  // Refused parameters leave the file's as they were.
  for (const double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()}) {
    ObjectParameters p = kParameters;
    p.required_modulus = bad;
    try {
      read.save_with_parameters(p, path);
      ADD_FAILURE() << bad;
    } catch (const vkt::Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::Usage) << bad;
    }
  }
  ObjectParameters longest;
  longest.object = std::string(65496, 'x');
  EXPECT_NO_THROW(read.set_parameters(longest));
  longest.layer = "y";
  try {
    read.set_parameters(longest);
    ADD_FAILURE() << "too long";
  } catch (const vkt::Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Limit);
  }
  EXPECT_EQ(read.parameters().object.size(), 65496u);
  read.set_parameters({"", "", "", "", std::nullopt, ""});
  read.save(path);
  EXPECT_EQ(WaveformFile::load(path).parameters(), ObjectParameters{});
  EXPECT_EQ(file_bytes(path).size(), 12 + 8 + 9 + 10 + kRecordLength);

  // The first files of this version end the parameters after the serial number: no firmware.
  ObjectParameters four = kParameters;
  four.instrument_firmware.clear();
  file.set_parameters(four);
  Bytes b = file.serialize();
  const std::size_t h = header_size(b);
  b.erase(b.begin() + static_cast<std::ptrdiff_t>(h - 6), b.begin() + static_cast<std::ptrdiff_t>(h - 4));
  put32(b, 12, get32(b, 12) - 2);
  put32(b, h - 6, crc32(std::span(b).subspan(12, 4 + get32(b, 12))));
  b[10] = static_cast<std::uint8_t>(h - 2);
  const WaveformFile older = WaveformFile::parse(b, "a.vkw");
  EXPECT_FALSE(older.parameters_damaged());
  EXPECT_EQ(older.parameters(), four);
  EXPECT_EQ(older.size(), 1u);
}

TEST(WaveformParameters, VersionOneFilesReadWithoutThem) {
  WaveformFile file;
  file.add(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)});
  // Version 1: the 12-byte header straight before the records.
  const Bytes current = file.serialize();
  Bytes v1(current.begin(), current.begin() + 12);
  v1[8] = 1;
  v1[10] = 12;
  v1.insert(v1.end(), current.begin() + 12 + 8 + 9 + 10, current.end());
  WaveformFile read = WaveformFile::parse(v1, "a.vkw");
  EXPECT_EQ(read.message(), "");
  EXPECT_TRUE(read.writable());
  EXPECT_FALSE(read.parameters_damaged());
  EXPECT_EQ(read.parameters(), ObjectParameters{});
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(*read.find(kSecond), measurement(kSecond, 2));
  // Written again it is a version 2 file with the same records.
  read.set_parameters(kParameters);
  const WaveformFile again = WaveformFile::parse(read.serialize(), "a.vkw");
  EXPECT_EQ(again.parameters(), kParameters);
  EXPECT_EQ(again.size(), 2u);
  // A version 1 header tail is nobody's parameters.
  EXPECT_EQ(WaveformFile::parse(with_version(v1, 1, 30), "a.vkw").message(), "");
}

TEST(WaveformParameters, DamagedParametersAreToldAndKeptWhileTheWaveformsRead) {
  WaveformFile file;
  file.set_parameters(kParameters);
  file.add(std::vector{measurement(kFirst, 1), measurement(kSecond, 2)});
  const Bytes good = file.serialize();
  Bytes text = good;
  text[40] ^= 0x01;  // inside the object's text
  Bytes length = good;
  put32(length, 12, 5000);  // past the header
  Bytes flag = good;
  flag[16] = 2;
  put32(flag, 12 + kParametersBlock - 4, crc32(std::span(flag).subspan(12, kParametersBlock - 4)));
  for (const Bytes& damaged : {text, length, flag}) {
    WaveformFile read = WaveformFile::parse(damaged, "a.vkw");
    EXPECT_TRUE(read.parameters_damaged());
    EXPECT_EQ(read.parameters(), ObjectParameters{});
    EXPECT_NE(read.message().find("испорчены параметры объекта"), std::string::npos) << read.message();
    EXPECT_TRUE(read.writable());
    EXPECT_EQ(read.size(), 2u);
    EXPECT_EQ(*read.find(kFirst), measurement(kFirst, 1));
    // Written back byte for byte, until new parameters replace them.
    EXPECT_EQ(read.serialize(), damaged);
    read.set_parameters(kParameters);
    EXPECT_EQ(read.serialize(), good);
  }
}

TEST(WaveformParameters, NewerVersionIsReadButNeverWritten) {
  ScratchDir dir;
  WaveformFile ours;
  ours.set_parameters(kParameters);
  ours.add(measurement(kFirst, 1));
  // A later version: more header after the parameters.
  const Bytes newer = with_version(ours.serialize(), 3, 6);
  write_bytes(dir / "a.vkw", std::string(newer.begin(), newer.end()));
  WaveformFile read = WaveformFile::load(dir / "a.vkw");
  EXPECT_EQ(read.size(), 1u);
  EXPECT_EQ(read.parameters(), kParameters);
  EXPECT_FALSE(read.writable());
  EXPECT_NE(read.message().find("более новой версией"), std::string::npos) << read.message();
  read.add(measurement(kSecond, 2));
  EXPECT_THROW(read.save(dir / "b.vkw"), vkt::Error);
  try {
    read.save_with_parameters({}, dir / "a.vkw");
    ADD_FAILURE() << "written";
  } catch (const vkt::Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NoAccess);
  }
  EXPECT_EQ(read.parameters(), kParameters);
  EXPECT_FALSE(std::filesystem::exists(dir / "b.vkw"));
  EXPECT_EQ(file_bytes(dir / "a.vkw"), std::string(newer.begin(), newer.end()));

  // The corpus's file of a longer header and body (version 2, a header tail too short for a
  // parameters block): the record reads, the parameters do not.
  const WaveformFile corpus = corpus_file("newer-version.vkw");
  EXPECT_NE(corpus.find(key("12.05.2011", "10:00:00", 0)), nullptr);
  EXPECT_TRUE(corpus.parameters_damaged());
}

}  // namespace
}  // namespace vkt::waveform
