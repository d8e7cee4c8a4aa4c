// A row finds its downloaded waveforms by its key through everything that moves or renumbers
// rows, and loses them only when one of the key's own fields is edited.
#include "store/measurement/measurementwaveforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "image/imagelayout.h"
#include "store/dbf/filereplacement.h"
#include "store/dbf/testfiles.h"
#include "store/measurement/measurementdocument.h"

namespace vkt::measurement {
namespace {

using dbf::testing::ScratchDir;

// Measurements `first`, `first` + 1, ... a second apart on a day of an instrument whose clock was
// never set; sample j of record i holds i × 10000 + j.
std::unique_ptr<ProgramState> download(std::uint16_t first, std::uint16_t count) {
  std::vector<image::DeviceARecord> records(count);
  for (std::uint16_t n = 0; n < count; ++n) {
    const auto i = static_cast<std::uint16_t>(first + n);
    image::DeviceARecord& r = records[n];
    r.time = {static_cast<std::uint8_t>(i), 0, 0};
    for (std::size_t j = 0; j < r.samples.size(); ++j) {
      r.samples[j] = static_cast<std::uint32_t>(i * 10000 + j);
    }
    r.modulus = {i, 2, 3, 4};
    r.displacement = {400, 401, 402, 403};
    r.force = {7000, 7001, 7002, static_cast<std::uint16_t>(65535 - i)};
  }
  auto state = std::make_unique<ProgramState>();
  const auto bytes = image::build_image(records);
  std::copy(bytes.begin(), bytes.end(), state->mem_image.begin());
  state->image_length = bytes.size();
  return state;
}

// For every row in the current order: the record its waveforms came from (by the first sample),
// or -1 when it has none.
std::vector<int> found_records(MeasurementDocument& doc) {
  std::vector<int> found;
  for (std::uint32_t recno : doc.rows()) {
    const waveform::MeasurementWaveforms* m = doc.waveforms(recno);
    found.push_back(m ? static_cast<int>(m->drops[0].displacement[0] / 10000) : -1);
  }
  return found;
}

TEST(MeasurementWaveforms, RecordsCarryTheirSamplesInDropOrder) {
  const auto state = download(0, 5);
  const auto all = downloaded_waveforms(*state);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(waveform::key_text(all[3].key), "01.01.2000 00:00:03");
  EXPECT_EQ(all[3].key.modulus[0], 3);
  EXPECT_EQ(all[3].key.force[3], 65532);
  EXPECT_EQ(all[3].drops[0].displacement[509], 30509U);
  EXPECT_EQ(all[3].drops[0].force[0], 30510U);
  EXPECT_EQ(all[3].drops[2].force[509], 33059U);

  // Records past the decoded bytes are left out.
  state->image_length -= 1;
  EXPECT_EQ(downloaded_waveforms(*state).size(), 4u);
}

TEST(MeasurementWaveforms, EachDropIsScaledToItsOwnStoredValues) {
  waveform::MeasurementWaveforms m;
  m.key.displacement = {0, 400, 500, 600};
  m.key.force = {0, 7000, 8000, 9000};
  for (waveform::Drop& drop : m.drops) {
    for (std::size_t k = 0; k < waveform::kCurveSamples; ++k) {
      drop.displacement[k] =
          static_cast<std::uint32_t>(k <= 300 ? k * 10 : 6000 - k * 10);  // peak 3000 at 300
      drop.force[k] = k == 40 ? 2000 : 100;
    }
  }
  for (int drop = 1; drop <= 3; ++drop) {
    const auto scaled = scaled_drop(m, drop);
    ASSERT_TRUE(scaled);
    ASSERT_EQ(scaled->displacement_um.size(), 510u);
    EXPECT_DOUBLE_EQ(scaled->displacement_um[300], m.key.displacement[drop]) << drop;
    EXPECT_DOUBLE_EQ(scaled->displacement_um[150], m.key.displacement[drop] / 2.0) << drop;
    EXPECT_DOUBLE_EQ(scaled->force_n[40], m.key.force[drop]) << drop;
    EXPECT_DOUBLE_EQ(scaled->force_n[0], m.key.force[drop] / 20.0) << drop;
  }
  EXPECT_FALSE(scaled_drop(m, 0));
  EXPECT_FALSE(scaled_drop(m, 4));
  m.drops[1].force.fill(0);
  EXPECT_FALSE(scaled_drop(m, 2));
}

TEST(MeasurementWaveforms, RowsKeepTheirWaveformsThroughRenumberSortDeleteEditsAndACopy) {
  ScratchDir dir;
  auto state = download(0, 5);
  MeasurementDocument doc;
  doc.reserve(dir / "a.db");
  doc.create(*state, ".");
  EXPECT_EQ(doc.waveform_problem(), "");
  doc.set_filter("NB_TYPE=0");
  EXPECT_EQ(found_records(doc), (std::vector{0, 1, 2, 3, 4}));

  auto rows = doc.rows();
  std::reverse(rows.begin(), rows.end());
  doc.renumber(rows);
  doc.delete_rows(std::vector{doc.rows()[1]});
  doc.sort("tab1", "N", false);
  EXPECT_EQ(found_records(doc), (std::vector{4, 3, 2, 0}));

  // Edits of fields outside the key keep the link; an edit of a stored value parts it.
  using Cells = std::vector<std::pair<std::size_t, std::string>>;
  const auto sorted = doc.rows();
  doc.set_cells(sorted[0], Cells{{*doc.find_field("COMMENT"), "слабое основание"},
                                 {*doc.find_field("D2"), "Глина"},
                                 {*doc.find_field("N"), "77"}});
  doc.set_cells(sorted[1], Cells{{*doc.find_field("P2"), "500"}});
  doc.close();

  // Both files copied elsewhere.
  std::filesystem::create_directory(dir / "copy");
  for (const char* name : {"a.db", "a.vkw"}) {
    std::filesystem::copy_file(dir / name, dir / "copy" / name);
  }
  EXPECT_EQ(doc.open(dir / "copy" / "a.db").waveform_problem, "");
  doc.set_filter("NB_TYPE=0");
  // File order again: the sort went with the closed file.
  EXPECT_EQ(found_records(doc), (std::vector{0, 2, -1, 4}));
}

// The waveform file is written before the table; a failure at either step of the table's commit
// leaves every row of whichever table is on disk its waveforms.
TEST(MeasurementWaveforms, AnAppendCutShortLeavesTableAndWaveformsAgreeing) {
  ScratchDir dir;
  const auto path = dir / "a.db";
  auto first = download(0, 3);
  {
    MeasurementDocument doc;
    doc.reserve(path);
    doc.create(*first, ".");
  }
  auto later = download(3, 2);
  for (int crash_at : {1, 2}) {
    MeasurementDocument doc;
    doc.open(path);
    doc.table().set_replace_hook([&](dbf::ReplaceStep s) {
      if (s == (crash_at == 1 ? dbf::ReplaceStep::AppendFlushed : dbf::ReplaceStep::AppendCounted)) {
        throw std::runtime_error("killed");
      }
    });
    EXPECT_THROW(doc.append(*later, "."), std::runtime_error) << crash_at;
    doc.close();
    doc.open(path);
    doc.set_filter("NB_TYPE=0");
    EXPECT_EQ(found_records(doc), (std::vector{0, 1, 2})) << crash_at;
  }
  MeasurementDocument doc;
  doc.open(path);
  doc.append(*later, ".");
  doc.set_filter("NB_TYPE=0");
  EXPECT_EQ(found_records(doc), (std::vector{0, 1, 2, 3, 4}));
  EXPECT_EQ(doc.waveforms_damaged(doc.rows()[0]), false);
}

// A waveform file the program must not write never stops a download, and says why.
TEST(MeasurementWaveforms, AForeignWaveformFileIsLeftAloneAndTold) {
  ScratchDir dir;
  dbf::testing::write_bytes(dir / "a.vkw", "somebody else's");
  auto state = download(0, 2);
  MeasurementDocument doc;
  doc.reserve(dir / "a.db");
  EXPECT_EQ(doc.create(*state, ".").appended, 2u);
  EXPECT_NE(doc.waveform_problem().find("не является файлом кривых"), std::string::npos);
  EXPECT_EQ(doc.waveforms(doc.rows()[0]), nullptr);
  EXPECT_EQ(dbf::testing::file_bytes(dir / "a.vkw"), "somebody else's");
  doc.close();
  EXPECT_NE(doc.open(dir / "a.db").waveform_problem.find("не является файлом кривых"), std::string::npos);
}

}  // namespace
}  // namespace vkt::measurement
