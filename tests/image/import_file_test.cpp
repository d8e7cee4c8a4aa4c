// The device A import into real measurement files, read back by an independent dBase reader.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "rowdump.h"
#include "store/measurement/measurementfile.h"
#include "store/measurement/measurementschema.h"

namespace vkt::image {
namespace {

namespace fs = std::filesystem;

class ImportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vkt_image_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = dir_ / "измерения.db";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::uint8_t> file_bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::vector<std::string> rows_read_back() const { return testing::rows_read_back(path_); }

  fs::path dir_;
  fs::path path_;
  dbf::Table table_;
};

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "f:%.9f", value);
  return text;
}

// The row the reader must give for record r imported as row number `n`, every field in file
// order: the eighteen written ones and the empty rest.
std::string expected_row(const DeviceARecord& r, std::size_t n, const char* separator) {
  const auto bytes = encode_record(r);
  const auto integer = [](unsigned v) { return "i:" + std::to_string(v); };
  const std::vector<std::pair<std::string, std::string>> written = {
      {"N", number(double(n))},
      {"DATE", "s:" + date_text(bytes, kDateOffset)},
      {"TIME", "s:" + time_text(bytes, kTimeOffset)},
      {"P", number(r.modulus[kDrop1])},
      {"R", number(r.modulus[kDrop2])},
      {"D3", integer(r.force[kMean])},
      {"D4", integer(r.force[kDrop1])},
      {"D5", integer(r.force[kDrop2])},
      {"D6", integer(r.force[kDrop3])},
      {"D9", integer(r.modulus[kMean])},
      {"T", number(r.modulus[kDrop3])},
      {"P2", number(r.displacement[kDrop2])},
      {"P3", "s:" + mu_text(r.mu, separator)},
      {"D2", "s:" + material_name(r.material)},
      {"P4", number(r.displacement[kDrop3])},
      {"P9", number(r.displacement[kDrop1])},
      {"P5", "s:" + dependency_name(r.dependency)},
      {"P10", number(r.displacement[kMean])},
  };
  std::string line;
  for (const auto& field : measurement::kMeasurementFields) {
    std::string value = field.kind == measurement::ValueKind::Text ? "s:" : "-";
    for (const auto& [name, v] : written) {
      if (name == field.name) {
        value = v;
      }
    }
    if (!line.empty()) {
      line += '\t';
    }
    line.append(field.name).append("=").append(value);
  }
  return line;
}

std::vector<DeviceARecord> random_records(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  const auto byte = [&](int limit) { return static_cast<std::uint8_t>(random() % limit); };
  std::vector<DeviceARecord> records(count);
  for (std::size_t k = 0; k < count; ++k) {
    DeviceARecord& r = records[k];
    for (auto& s : r.samples) {
      s = static_cast<std::uint32_t>(random());
    }
    r.dependency = byte(14);  // 13: beyond the table
    r.material = byte(17);    // 16: beyond the table
    r.mu = byte(256);
    for (auto* words : {&r.modulus, &r.displacement, &r.force}) {
      for (auto& w : *words) {
        w = static_cast<std::uint16_t>(random() % 5 == 0 ? 65535 : random() % 65536);
      }
    }
    // Ascending moments, a few with parts out of range.
    r.time = {byte(62), byte(61), byte(25)};
    r.date = {static_cast<std::uint8_t>(1 + k % 28), static_cast<std::uint8_t>(1 + (k / 28) % 12),
              static_cast<std::uint8_t>(10 + k / 336)};
  }
  return records;
}

std::unique_ptr<ProgramState> state_with(const std::vector<DeviceARecord>& records) {
  auto state = std::make_unique<ProgramState>();
  const auto image = build_image(records);
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size() + 4;
  return state;
}

TEST_F(ImportFileTest, AFullDownloadGivesItsRowsAndWaveforms) {
  const auto records = random_records(438, 1);
  auto state = state_with(records);
  measurement::create_measurement_file(table_, path_);
  const ImportResult result = flash2lmf(table_, *state, ImportMode::kNewFile, ",");
  EXPECT_EQ(result.appended, 438u);
  EXPECT_EQ(state->rec_count, 438);
  EXPECT_EQ(table_.filter(), "NB_TYPE=0");
  EXPECT_EQ(table_.count(), 438u);
  table_.close();

  const auto rows = rows_read_back();
  ASSERT_EQ(rows.size(), 438u);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k], expected_row(records[k], k + 1, ",")) << "row " << k + 1;
    for (std::size_t j = 0; j < kSamplesPerRecord; j += 17) {
      ASSERT_EQ(state->waveforms[k * 3060 + j], double(records[k].samples[j])) << k << " " << j;
    }
  }
  EXPECT_EQ(state->waveforms[437 * 3060 + 3059], double(records[437].samples[3059]));
  ASSERT_TRUE(state->waveform_owners[437].has_value());
  EXPECT_EQ(fs::path(std::u8string(state->waveform_owners[437]->file.begin(),
                                   state->waveform_owners[437]->file.end())),
            path_);
  EXPECT_EQ(state->waveform_owners[437]->row_number, 438);
  EXPECT_EQ(state->waveforms[438 * 3060], 0.0);
}

TEST_F(ImportFileTest, AppendingTheSameDownloadChangesNothingButTheHeaderDate) {
  const auto records = random_records(20, 2);
  auto state = state_with(records);
  measurement::create_measurement_file(table_, path_);
  flash2lmf(table_, *state, ImportMode::kNewFile, ".");
  table_.close();
  const auto before = file_bytes();

  measurement::open_measurement_file(table_, path_);
  const ImportResult result = flash2lmf(table_, *state, ImportMode::kAppend, ".");
  table_.close();
  EXPECT_EQ(result.appended, 0u);
  EXPECT_EQ(result.skipped, 20u);
  EXPECT_EQ(state->rec_count, 0);
  auto after = file_bytes();
  ASSERT_EQ(after.size(), before.size());
  std::copy(before.begin() + 1, before.begin() + 4, after.begin() + 1);  // date of last update
  EXPECT_TRUE(after == before);
}

TEST_F(ImportFileTest, AppendPlacesNewRowsAfterTheFileAndTheirWaveformsByImageIndex) {
  // The file's last device A row is 12.05.2011 10:00:00; a device B row follows it.
  measurement::create_measurement_file(table_, path_);
  for (const auto& [date, kind] : {std::pair{"12.05.2011", 0}, std::pair{"20.05.2011", 1}}) {
    table_.append();
    table_.set_double("N", 1);
    table_.set_text("DATE", date);
    table_.set_text("TIME", "10:00:00");
    if (kind != 0) {
      table_.set_integer("NB_TYPE", kind);
    }
    table_.post();
  }
  std::vector<DeviceARecord> records = random_records(4, 3);
  records[0].date = {11, 5, 11};
  records[0].time = {0, 0, 9};
  records[1].date = {12, 5, 11};
  records[1].time = {0, 0, 10};
  records[2].date = {12, 5, 11};
  records[2].time = {1, 0, 10};
  records[3].date = {11, 5, 11};
  records[3].time = {0, 0, 8};
  auto state = state_with(records);

  const ImportResult result = flash2lmf(table_, *state, ImportMode::kAppend, ".");
  EXPECT_EQ(result.skipped, 2u);
  EXPECT_EQ(result.appended, 2u);
  EXPECT_EQ(state->rec_count, 2);
  table_.close();

  const auto rows = rows_read_back();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_NE(rows[1].find("NB_TYPE=i:1"), std::string::npos) << rows[1];
  EXPECT_EQ(rows[2], expected_row(records[2], 3, "."));
  EXPECT_EQ(rows[3], expected_row(records[3], 4, "."));
  EXPECT_EQ(state->waveforms[6119], 0.0);
  EXPECT_EQ(state->waveforms[6120], double(records[2].samples[0]));
  EXPECT_EQ(state->waveforms[9180 + 3059], double(records[3].samples[3059]));
}

TEST_F(ImportFileTest, AKeyFailureLeavesTheFileByteForByte) {
  measurement::create_measurement_file(table_, path_);
  table_.append();
  table_.set_text("DATE", "29.02.2011");
  table_.set_text("TIME", "10:00:00");
  table_.post();
  table_.close();
  const auto before = file_bytes();
  const auto stamp = fs::last_write_time(path_);

  auto state = state_with(random_records(3, 4));
  measurement::open_measurement_file(table_, path_);
  try {
    flash2lmf(table_, *state, ImportMode::kAppend, ".");
    FAIL() << "the import went on";
  } catch (const ImageError& e) {
    EXPECT_STREQ(e.what(), "'29.02.2011 10:00:00' is not a valid date and time");
  }
  EXPECT_EQ(table_.state(), dbf::Table::State::Browse);
  table_.close();
  EXPECT_TRUE(file_bytes() == before);
  EXPECT_EQ(fs::last_write_time(path_), stamp);
}

TEST_F(ImportFileTest, ARefusedImageLeavesTheNewFileEmpty) {
  auto state = state_with(random_records(3, 5));
  state->image_length = 4 + 2 * kRecordSize;  // the third record never arrived
  measurement::create_measurement_file(table_, path_);
  EXPECT_THROW(flash2lmf(table_, *state, ImportMode::kNewFile, "."), ImageError);
  table_.close();
  EXPECT_TRUE(rows_read_back().empty());
}

}  // namespace
}  // namespace vkt::image
