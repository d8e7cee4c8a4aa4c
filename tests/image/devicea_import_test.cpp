#include "image/devicea_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <variant>
#include <vector>

#include "image/imagelayout.h"

namespace vkt::image {
namespace {

// A table in memory that records what the import did to it.
class MemoryTable : public ImportTable {
 public:
  using Value = std::variant<std::int32_t, double, std::string>;
  using Row = std::map<std::string, Value, std::less<>>;

  bool open = true;
  std::vector<Row> rows;
  std::string filter;
  std::size_t current = 0;
  int changes = 0;        // appends, setters and posts
  int fail_at_post = -1;  // the post that raises an error (0 = the first)

  bool is_open() const override { return open; }
  std::string file_name() const override { return "D:\\замеры\\участок 1.db"; }
  void set_filter(const std::string& expression) override { filter = expression; }
  bool last() override {
    for (std::size_t i = rows.size(); i-- > 0;) {
      if (admitted(rows[i])) {
        current = i;
        return true;
      }
    }
    return false;
  }
  std::string text(std::string_view field) override {
    const auto it = rows.at(current).find(field);
    return it == rows[current].end() ? std::string() : std::get<std::string>(it->second);
  }
  void append() override {
    ++changes;
    pending = Row{};
  }
  void set_int(std::string_view field, std::int32_t value) override { set(field, value); }
  void set_double(std::string_view field, double value) override { set(field, value); }
  void set_text(std::string_view field, std::string_view value) override { set(field, std::string(value)); }
  void post() override {
    ++changes;
    if (posts++ == fail_at_post) {
      throw std::runtime_error("disk full");
    }
    rows.push_back(*pending);
    current = rows.size() - 1;
    pending.reset();
  }

  bool admitted(const Row& row) const {
    const auto kind = row.find("NB_TYPE");
    const std::int32_t value = kind == row.end() ? 0 : std::get<std::int32_t>(kind->second);
    return filter == "NB_TYPE=" + std::to_string(value);
  }
  static Row stored(std::string date, std::string time, std::int32_t kind = 0) {
    Row row{{"DATE", std::move(date)}, {"TIME", std::move(time)}};
    if (kind != 0) {
      row["NB_TYPE"] = kind;
    }
    return row;
  }

 private:
  void set(std::string_view field, Value value) {
    ++changes;
    ASSERT_TRUE(pending.has_value()) << "field set outside an appended row";
    ASSERT_EQ(pending->count(field), 0u) << field << " set twice";
    pending->emplace(std::string(field), std::move(value));
  }
  std::optional<Row> pending;
  int posts = 0;
};

DeviceARecord record_at(StoredDate date, StoredTime time, std::uint32_t seed) {
  DeviceARecord r;
  for (std::size_t j = 0; j < r.samples.size(); ++j) {
    r.samples[j] = seed * 1000003u + static_cast<std::uint32_t>(j);
  }
  r.dependency = std::uint8_t(seed % 13);
  r.material = std::uint8_t(seed % 16);
  r.mu = std::uint8_t(seed);
  for (std::size_t i = 0; i < 4; ++i) {
    r.modulus[i] = std::uint16_t(100 * seed + i);
    r.displacement[i] = std::uint16_t(200 * seed + i);
    r.force[i] = std::uint16_t(300 * seed + i);
  }
  r.time = time;
  r.date = date;
  return r;
}

std::unique_ptr<ProgramState> state_with(const std::vector<DeviceARecord>& records) {
  auto state = std::make_unique<ProgramState>();
  const auto image = build_image(records);
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size() + 4;  // the link's checksum follows the records
  return state;
}

std::vector<DeviceARecord> three_records() {
  return {record_at({12, 5, 11}, {0, 0, 10}, 1), record_at({12, 5, 11}, {0, 5, 10}, 2),
          record_at({13, 5, 11}, {30, 0, 8}, 3)};
}

void expect_row_holds(const MemoryTable::Row& row, const DeviceARecord& r, double number,
                      const char* separator) {
  const MemoryTable::Row expected{
      {"N", number},
      {"TIME", time_text(encode_record(r), kTimeOffset)},
      {"DATE", date_text(encode_record(r), kDateOffset)},
      {"P5", dependency_name(r.dependency)},
      {"D2", material_name(r.material)},
      {"P3", mu_text(r.mu, separator)},
      {"D9", std::int32_t{r.modulus[kMean]}},
      {"P", static_cast<double>(r.modulus[kDrop1])},
      {"R", static_cast<double>(r.modulus[kDrop2])},
      {"T", static_cast<double>(r.modulus[kDrop3])},
      {"P10", static_cast<double>(r.displacement[kMean])},
      {"P9", static_cast<double>(r.displacement[kDrop1])},
      {"P2", static_cast<double>(r.displacement[kDrop2])},
      {"P4", static_cast<double>(r.displacement[kDrop3])},
      {"D3", std::int32_t{r.force[kMean]}},
      {"D4", std::int32_t{r.force[kDrop1]}},
      {"D5", std::int32_t{r.force[kDrop2]}},
      {"D6", std::int32_t{r.force[kDrop3]}},
  };
  EXPECT_EQ(row, expected);
}

void expect_waveforms_at(const ProgramState& state, std::size_t position, const DeviceARecord& r) {
  for (std::size_t j = 0; j < kSamplesPerRecord; ++j) {
    ASSERT_EQ(state.waveforms[position + j], static_cast<double>(r.samples[j])) << position + j;
  }
}

TEST(DeviceAImport, NewFileGetsOneRowPerRecordAndTheirWaveforms) {
  auto records = three_records();
  records[1].dependency = 5;
  records[1].material = 9;
  records[1].mu = 30;
  records[1].force[kDrop2] = 65535;
  records[1].modulus[kDrop1] = 65535;
  records[2].samples[3059] = 0xFFFFFFFF;
  auto state = state_with(records);
  state->waveforms[3 * 3060] = -7.0;  // beyond the imported records nothing changes
  MemoryTable table;

  const ImportResult result = flash2lmf(table, *state, ImportMode::kNewFile, ",");
  EXPECT_EQ(result.appended, 3u);
  EXPECT_EQ(result.skipped, 0u);
  EXPECT_EQ(state->rec_count, 3);
  EXPECT_EQ(table.filter, "NB_TYPE=0");
  ASSERT_EQ(table.rows.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    expect_row_holds(table.rows[k], records[k], double(k + 1), ",");
    expect_waveforms_at(*state, k * 3060, records[k]);
  }
  EXPECT_EQ(std::get<std::string>(table.rows[1].at("P5")), "Индивидуальная зависимость №1");
  EXPECT_EQ(std::get<std::string>(table.rows[1].at("D2")), "Пески, супеси");
  EXPECT_EQ(std::get<std::string>(table.rows[1].at("P3")), "0,3");
  EXPECT_EQ(std::get<double>(table.rows[1].at("P")), 65535.0);
  EXPECT_EQ(std::get<std::int32_t>(table.rows[1].at("D5")), 65535);
  EXPECT_EQ(state->waveforms[2 * 3060 + 3059], 4294967295.0);
  EXPECT_EQ(state->waveforms[3 * 3060], -7.0);
  EXPECT_EQ(state->waveform_owners[1], (WaveformOwner{table.file_name(), 2, "12.05.2011", "10:05:00"}));
  EXPECT_EQ(state->waveform_owners[2], (WaveformOwner{table.file_name(), 3, "13.05.2011", "08:00:30"}));
  EXPECT_FALSE(state->waveform_owners[3].has_value());
}

TEST(DeviceAImport, AppendSkipsLeadingRecordsUpToTheLastRow) {
  const std::vector<DeviceARecord> records = {
      record_at({11, 5, 11}, {0, 0, 9}, 1), record_at({12, 5, 11}, {0, 0, 10}, 2),
      record_at({12, 5, 11}, {1, 0, 10}, 3), record_at({11, 5, 11}, {0, 0, 8}, 4)};
  auto state = state_with(records);
  std::fill(state->waveforms.begin(), state->waveforms.end(), -1.0);
  const WaveformOwner earlier{"old.db", 2, "01.01.2011", "00:00:00"};
  state->waveform_owners[1] = earlier;
  MemoryTable table;
  table.rows = {MemoryTable::stored("01.01.2020", "00:00:00", 1),
                MemoryTable::stored("12.05.2011", "10:00:00"),
                MemoryTable::stored("02.02.2021", "00:00:00", 1)};

  const ImportResult result = flash2lmf(table, *state, ImportMode::kAppend, ".");
  EXPECT_EQ(result.appended, 2u);
  EXPECT_EQ(result.skipped, 2u);
  EXPECT_EQ(state->rec_count, 2);
  ASSERT_EQ(table.rows.size(), 5u);
  expect_row_holds(table.rows[3], records[2], 3, ".");
  expect_row_holds(table.rows[4], records[3], 4, ".");
  expect_waveforms_at(*state, 6120, records[2]);
  expect_waveforms_at(*state, 9180, records[3]);
  EXPECT_EQ(state->waveforms[6119], -1.0);
  EXPECT_EQ(state->waveforms[12240], -1.0);
  EXPECT_EQ(state->waveform_owners[1], earlier);
  EXPECT_EQ(state->waveform_owners[2], (WaveformOwner{table.file_name(), 3, "12.05.2011", "10:00:01"}));
  EXPECT_EQ(state->waveform_owners[3], (WaveformOwner{table.file_name(), 4, "11.05.2011", "08:00:00"}));
}

TEST(DeviceAImport, AppendWithoutDeviceARowsSkipsNothing) {
  auto state = state_with(three_records());
  MemoryTable table;
  table.rows = {MemoryTable::stored("31.12.2099", "23:59:59", 1)};
  const ImportResult result = flash2lmf(table, *state, ImportMode::kAppend, ".");
  EXPECT_EQ(result.skipped, 0u);
  ASSERT_EQ(table.rows.size(), 4u);
  EXPECT_EQ(std::get<double>(table.rows[1].at("N")), 1.0);
  EXPECT_EQ(state->rec_count, 3);
}

TEST(DeviceAImport, AppendOfAnImageTheFileHoldsAddsNothing) {
  auto state = state_with(three_records());
  MemoryTable table;
  flash2lmf(table, *state, ImportMode::kNewFile, ".");
  const auto before = table.rows;
  const int changes = table.changes;

  const ImportResult result = flash2lmf(table, *state, ImportMode::kAppend, ".");
  EXPECT_EQ(result.appended, 0u);
  EXPECT_EQ(result.skipped, 3u);
  EXPECT_EQ(state->rec_count, 0);
  EXPECT_EQ(table.rows, before);
  EXPECT_EQ(table.changes, changes);
}

TEST(DeviceAImport, AfterTheInstrumentWasClearedNumbersStartAgain) {
  auto state = state_with({record_at({1, 6, 11}, {0, 0, 9}, 1), record_at({2, 6, 11}, {0, 0, 9}, 2)});
  MemoryTable table;
  table.rows = {MemoryTable::stored("12.05.2011", "10:00:00"), MemoryTable::stored("13.05.2011", "10:00:00")};
  table.rows[0]["N"] = 1.0;
  table.rows[1]["N"] = 2.0;
  const ImportResult result = flash2lmf(table, *state, ImportMode::kAppend, ".");
  EXPECT_EQ(result.appended, 2u);
  ASSERT_EQ(table.rows.size(), 4u);
  EXPECT_EQ(std::get<double>(table.rows[2].at("N")), 1.0);
  EXPECT_EQ(std::get<double>(table.rows[3].at("N")), 2.0);
}

TEST(DeviceAImport, DatesThatNameNoDayEndAnAppendBeforeAnyRow) {
  // A record of 29.02.2011 imports as text into a new file but cannot be compared in an append.
  auto state = state_with({record_at({29, 2, 11}, {0, 0, 9}, 1), record_at({1, 3, 11}, {0, 0, 9}, 2)});
  MemoryTable fresh;
  flash2lmf(fresh, *state, ImportMode::kNewFile, ".");
  ASSERT_EQ(fresh.rows.size(), 2u);
  EXPECT_EQ(std::get<std::string>(fresh.rows[0].at("DATE")), "29.02.2011");

  state->rec_count = 77;
  MemoryTable table;
  table.rows = {MemoryTable::stored("01.01.2011", "00:00:00")};
  try {
    flash2lmf(table, *state, ImportMode::kAppend, ".");
    FAIL() << "the append went on";
  } catch (const ImageError& e) {
    EXPECT_STREQ(e.what(), "'29.02.2011 09:00:00' is not a valid date and time");
  }
  EXPECT_EQ(table.rows.size(), 1u);
  EXPECT_EQ(table.changes, 0);
  EXPECT_EQ(state->rec_count, 77);

  // The table's own last row is just as much a foreign text.
  auto good = state_with(three_records());
  MemoryTable typed_over;
  typed_over.rows = {MemoryTable::stored("вчера", "10:00:00")};
  EXPECT_THROW(flash2lmf(typed_over, *good, ImportMode::kAppend, "."), ImageError);
  EXPECT_EQ(typed_over.changes, 0);
}

TEST(DeviceAImport, NothingHappensWithoutAnOpenTable) {
  auto state = state_with(three_records());
  state->rec_count = 9;
  MemoryTable table;
  table.open = false;
  const ImportResult result = flash2lmf(table, *state, ImportMode::kNewFile, ".");
  EXPECT_EQ(result.appended + result.skipped, 0u);
  EXPECT_TRUE(table.filter.empty());
  EXPECT_EQ(state->rec_count, 9);
  EXPECT_EQ(state->waveforms[0], 0.0);
}

TEST(DeviceAImport, ImagesWhoseRecordsLieBeyondTheDownloadAreRefused) {
  auto state = state_with(three_records());
  state->image_length = 4 + 3 * 12273 - 1;  // the download ended inside the last record
  state->rec_count = 3;
  MemoryTable table;
  EXPECT_THROW(flash2lmf(table, *state, ImportMode::kNewFile, "."), ImageError);
  EXPECT_TRUE(table.filter.empty());
  EXPECT_EQ(table.changes, 0);
  EXPECT_EQ(state->waveforms[0], 0.0);
  EXPECT_EQ(state->rec_count, 3);

  state->image_length = 3;
  EXPECT_THROW(flash2lmf(table, *state, ImportMode::kNewFile, "."), ImageError);

  // A header that claims more records than the image could ever hold.
  state->image_length = state->mem_image.size() + 1000;
  state->mem_image[0] = 0xFF;
  state->mem_image[1] = 0xFF;
  EXPECT_THROW(flash2lmf(table, *state, ImportMode::kNewFile, "."), ImageError);
  EXPECT_EQ(table.changes, 0);

  // The exact record area (no checksum) is enough.
  state = state_with(three_records());
  state->image_length = 4 + 3 * 12273;
  EXPECT_EQ(flash2lmf(table, *state, ImportMode::kNewFile, ".").appended, 3u);
}

TEST(DeviceAImport, TheWaveformStoreBoundsTheRecordCount) {
  std::vector<DeviceARecord> records(501, record_at({1, 1, 20}, {0, 0, 0}, 0));
  records[499].samples[3059] = 4242;
  auto state = state_with(records);
  MemoryTable table;
  EXPECT_THROW(flash2lmf(table, *state, ImportMode::kNewFile, "."), ImageError);
  EXPECT_EQ(table.changes, 0);

  records.pop_back();
  state = state_with(records);
  EXPECT_EQ(flash2lmf(table, *state, ImportMode::kNewFile, ".").appended, 500u);
  EXPECT_EQ(state->waveforms[499 * 3060 + 3059], 4242.0);
  EXPECT_EQ(state->waveforms[1'530'000], 0.0);
}

TEST(DeviceAImport, RecordSizeWordDoesNotMoveTheRecords) {
  const auto records = three_records();
  auto state = std::make_unique<ProgramState>();
  const auto image = build_image(records, 5);
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size();
  MemoryTable table;
  flash2lmf(table, *state, ImportMode::kNewFile, ".");
  ASSERT_EQ(table.rows.size(), 3u);
  expect_row_holds(table.rows[1], records[1], 2, ".");
}

TEST(DeviceAImport, ATableErrorKeepsTheRowsPostedBeforeIt) {
  auto state = state_with(three_records());
  state->waveform_owners[2] = WaveformOwner{"old.db", 3, "01.01.2011", "00:00:00"};
  MemoryTable table;
  table.fail_at_post = 2;
  EXPECT_THROW(flash2lmf(table, *state, ImportMode::kNewFile, "."), std::runtime_error);
  EXPECT_EQ(table.rows.size(), 2u);
  EXPECT_TRUE(state->waveform_owners[1].has_value());
  // The block was overwritten for a row that never reached the table: it belongs to no row.
  EXPECT_FALSE(state->waveform_owners[2].has_value());
}

TEST(MuText, ShortestDecimalFormWithTheGivenSeparator) {
  EXPECT_EQ(mu_text(30, "."), "0.3");
  EXPECT_EQ(mu_text(30, ","), "0,3");
  EXPECT_EQ(mu_text(5, "."), "0.05");
  EXPECT_EQ(mu_text(100, ","), "1");
  EXPECT_EQ(mu_text(0, "."), "0");
  EXPECT_EQ(mu_text(255, ","), "2,55");
  for (int b = 0; b < 256; ++b) {
    char general[32];
    std::snprintf(general, sizeof general, "%.15g", b / 100.0);
    ASSERT_EQ(mu_text(std::uint8_t(b), "."), general) << b;
  }
}

}  // namespace
}  // namespace vkt::image
