// A row finds its downloaded waveforms by its key through everything that moves or renumbers
// rows, and loses them only when one of the key's own fields is edited.
#include "store/measurement/measurementwaveforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "image/imagelayout.h"
#include "store/dbf/testfiles.h"
#include "store/measurement/measurementdocument.h"

namespace vkt::measurement {
namespace {

using dbf::testing::ScratchDir;

// Five measurements at one moment (an instrument whose clock was never set), told apart by their
// stored values; sample j of record i holds i × 10000 + j.
std::unique_ptr<ProgramState> download() {
  std::vector<image::DeviceARecord> records(5);
  for (std::uint16_t i = 0; i < records.size(); ++i) {
    image::DeviceARecord& r = records[i];
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

// For every row in the current order: the record its key finds (by the first sample), or -1.
std::vector<int> found_records(MeasurementDocument& doc, const waveform::WaveformFile& file) {
  std::vector<int> found;
  for (std::uint32_t recno : doc.rows()) {
    const auto key = row_key(doc, recno);
    const waveform::MeasurementWaveforms* m = key ? file.find(*key) : nullptr;
    found.push_back(m ? static_cast<int>(m->drops[0].displacement[0] / 10000) : -1);
  }
  return found;
}

TEST(MeasurementWaveforms, RecordsCarryTheirSamplesInDropOrder) {
  const auto state = download();
  const auto all = downloaded_waveforms(*state);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(waveform::key_text(all[3].key), "01.01.2000 00:00:00");
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

TEST(MeasurementWaveforms, RowsKeepTheirWaveformsThroughRenumberSortDeleteAndACopy) {
  ScratchDir dir;
  auto state = download();
  waveform::WaveformFile file;
  file.add(downloaded_waveforms(*state));
  MeasurementDocument doc;
  doc.create(dir / "a.db");
  doc.import_new(*state, ".");
  doc.set_filter("NB_TYPE=0");
  EXPECT_EQ(found_records(doc, file), (std::vector{0, 1, 2, 3, 4}));

  auto rows = doc.rows();
  std::reverse(rows.begin(), rows.end());
  doc.renumber(rows);
  doc.delete_rows(std::vector{doc.rows()[1]});
  doc.sort("tab1", "N", false);
  EXPECT_EQ(found_records(doc, file), (std::vector{4, 3, 2, 0}));

  // Edits of fields outside the key keep the link; an edit of a stored value parts it.
  const std::uint32_t first = doc.rows()[0];
  doc.set_cells(first,
                std::vector<std::pair<std::size_t, std::string>>{
                    {*doc.find_field("COMMENT"), "слабое основание"}, {*doc.find_field("D2"), "Глина"}});
  doc.set_cells(doc.rows()[1],
                std::vector<std::pair<std::size_t, std::string>>{{*doc.find_field("P2"), "500"}});
  doc.close();

  std::filesystem::create_directory(dir / "copy");
  std::filesystem::copy_file(dir / "a.db", dir / "copy" / "a.db");
  doc.open(dir / "copy" / "a.db");
  doc.set_filter("NB_TYPE=0");
  // File order again: the sort went with the closed file.
  EXPECT_EQ(found_records(doc, file), (std::vector{0, 2, -1, 4}));
}

}  // namespace
}  // namespace vkt::measurement
