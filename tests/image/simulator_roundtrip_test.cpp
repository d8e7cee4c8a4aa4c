// A whole download from the simulated instrument, through the download exchange, imported into a
// measurement file and read back by an independent dBase reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "link/downloadsession.h"
#include "rowdump.h"
#include "sim/instrument.h"
#include "store/measurement/measurementfile.h"

namespace vkt::image {
namespace {

namespace fs = std::filesystem;

// Runs the exchange against the instrument until it finishes; true when it finished with OK.
bool download(link::DownloadSession& session, sim::Instrument& instrument) {
  auto effects = session.show();
  for (int round = 0; round < 10; ++round) {
    std::string answer;
    for (const auto& effect : effects) {
      if (effect.kind == link::Effect::Kind::Finish) {
        return effect.value == static_cast<std::uint32_t>(link::Result::Ok);
      }
      if (effect.kind == link::Effect::Kind::Send) {
        instrument.respond(static_cast<char>(effect.value), answer);
      }
    }
    if (answer.empty()) {
      return false;
    }
    effects = session.chunk(answer.data(), answer.size());
  }
  return false;
}

// The value dbfread gave a field of a dumped row ("-" when empty).
std::string field_of(const std::string& row, const std::string& name) {
  const std::string key = name + "=";
  std::size_t at = row.rfind("\t" + key);
  at = row.compare(0, key.size(), key) == 0 ? 0 : (at == std::string::npos ? at : at + 1);
  if (at == std::string::npos) {
    return "<missing>";
  }
  const std::size_t end = row.find('\t', at);
  return row.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
}

std::string float_text(unsigned v) {
  char text[40];
  std::snprintf(text, sizeof text, "f:%.9f", double(v));
  return text;
}

TEST(SimulatorRoundTrip, EveryMeasurementOfAFullMemoryArrivesInTheFile) {
  sim::Instrument instrument({.records = 438, .seed = 11});
  auto state = std::make_unique<ProgramState>();
  link::DownloadSession session(*state, {"sim"});
  ASSERT_TRUE(download(session, instrument));

  const fs::path dir = fs::temp_directory_path() / "vkt_image_simulator_roundtrip";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path path = dir / "download.db";
  dbf::Table table;
  measurement::create_measurement_file(table, path);
  const ImportResult result = flash2lmf(table, *state, ImportMode::kNewFile, ",");
  table.close();
  EXPECT_EQ(result.appended, 438u);
  EXPECT_EQ(state->rec_count, 438);

  const auto& records = instrument.records();
  const auto rows = testing::rows_read_back(path);
  ASSERT_EQ(rows.size(), records.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const DeviceARecord& r = records[k];
    const std::string& row = rows[k];
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "s:%02u.%02u.%04u", r.date.day, r.date.month, 2000u + r.date.year);
    std::snprintf(time, sizeof time, "s:%02u:%02u:%02u", r.time.hours, r.time.minutes, r.time.seconds);
    ASSERT_EQ(field_of(row, "N"), float_text(unsigned(k + 1))) << row;
    ASSERT_EQ(field_of(row, "DATE"), date) << row;
    ASSERT_EQ(field_of(row, "TIME"), time) << row;
    ASSERT_EQ(field_of(row, "P5"), "s:" + dependency_name(r.dependency));
    ASSERT_EQ(field_of(row, "D2"), "s:" + material_name(r.material));
    ASSERT_EQ(field_of(row, "P3"), "s:" + mu_text(r.mu, ","));
    ASSERT_EQ(field_of(row, "D9"), "i:" + std::to_string(r.modulus[kMean]));
    ASSERT_EQ(field_of(row, "P"), float_text(r.modulus[kDrop1]));
    ASSERT_EQ(field_of(row, "R"), float_text(r.modulus[kDrop2]));
    ASSERT_EQ(field_of(row, "T"), float_text(r.modulus[kDrop3]));
    ASSERT_EQ(field_of(row, "P10"), float_text(r.displacement[kMean]));
    ASSERT_EQ(field_of(row, "P9"), float_text(r.displacement[kDrop1]));
    ASSERT_EQ(field_of(row, "P2"), float_text(r.displacement[kDrop2]));
    ASSERT_EQ(field_of(row, "P4"), float_text(r.displacement[kDrop3]));
    ASSERT_EQ(field_of(row, "D3"), "i:" + std::to_string(r.force[kMean]));
    ASSERT_EQ(field_of(row, "D4"), "i:" + std::to_string(r.force[kDrop1]));
    ASSERT_EQ(field_of(row, "D5"), "i:" + std::to_string(r.force[kDrop2]));
    ASSERT_EQ(field_of(row, "D6"), "i:" + std::to_string(r.force[kDrop3]));
    for (const char* empty : {"NB_TYPE", "DEV_TYPE", "SERIAL"}) {
      ASSERT_EQ(field_of(row, empty), "-") << empty;
    }
    for (const char* empty : {"ZAV", "COMMENT"}) {
      ASSERT_EQ(field_of(row, empty), "s:") << empty;
    }
    for (std::size_t j = 0; j < kSamplesPerRecord; ++j) {
      ASSERT_EQ(state->waveforms[k * kSamplesPerRecord + j], double(r.samples[j])) << k << " " << j;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vkt::image
