// The life of a measurement file without a window: open, create from a download, append,
// save, close, sort, delete, renumber, edits, and the kinds of failure told apart.
#include "store/measurement/measurementdocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "core/error.h"
#include "core/programstate.h"
#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "store/dbf/table.h"
#include "store/dbf/testfiles.h"
#include "store/measurement/measurementschema.h"
#include "store/waveform/waveformfile.h"

namespace vkt::measurement {
namespace {

using dbf::testing::file_bytes;
using dbf::testing::ScratchDir;
using dbf::testing::write_bytes;

// A file with rows numbered as given, P and R from the number, all of device A.
std::filesystem::path write_rows(const std::filesystem::path& path, const std::vector<int>& numbers) {
  dbf::Table t;
  create_measurement_file(t, path);
  for (int n : numbers) {
    t.append();
    t.set_integer("N", n);
    t.set_text("DATE", "12.05.2011");
    t.set_double("P", n * 1.5);
    t.set_integer("DEV_TYPE", 2);
    t.post();
  }
  t.close();
  return path;
}

std::vector<double> column(MeasurementDocument& doc, const char* field) {
  const std::size_t f = *doc.find_field(field);
  std::vector<double> out;
  for (std::uint32_t recno : doc.rows()) {
    out.push_back(doc.number(recno, f).value_or(-1));
  }
  return out;
}

ErrorKind open_failure(const std::filesystem::path& path, Access access = Access::ReadWrite) {
  MeasurementDocument doc;
  try {
    doc.open(path, access);
  } catch (const vkt::Error& e) {
    EXPECT_FALSE(doc.is_open());
    return e.kind();
  }
  ADD_FAILURE() << "opened " << path;
  return ErrorKind::Usage;
}

// A download of device A records, one a day apart from day `first`.
std::unique_ptr<ProgramState> download(int first, int count) {
  std::vector<image::DeviceARecord> records(std::size_t(count), image::DeviceARecord{});
  for (int i = 0; i < count; ++i) {
    records[std::size_t(i)].date = {std::uint8_t(first + i), 5, 11};
    records[std::size_t(i)].time = {0, 0, 10};
  }
  auto state = std::make_unique<ProgramState>();
  const auto bytes = image::build_image(records);
  std::copy(bytes.begin(), bytes.end(), state->mem_image.begin());
  state->image_length = bytes.size() + 4;
  return state;
}

TEST(MeasurementDocument, OpenSortSaveCloseAndOpenAgain) {
  ScratchDir dir;
  const auto path = write_rows(dir / "m.db", {3, 1, 2});
  MeasurementDocument doc;
  EXPECT_TRUE(doc.open(path).index_problem.empty());
  EXPECT_EQ(doc.device_code(), 2);
  EXPECT_FALSE(doc.read_only());
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{3, 1, 2}));

  doc.sort("tab1", "N", true);
  EXPECT_TRUE(doc.has_tag("tab1"));
  EXPECT_TRUE(std::filesystem::exists(dir / "m.mdx"));
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{3, 2, 1}));
  doc.sort("tab1", "N", false);  // the tag of that name is replaced
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3}));
  doc.save();  // the order survives the reopening
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3}));

  doc.clear_sort("tab1");
  doc.clear_sort("tab2");  // no such tag: nothing to do
  EXPECT_FALSE(doc.has_tag("tab1"));
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{3, 1, 2}));

  doc.sort("tab2", "P", true);
  doc.close();
  EXPECT_FALSE(doc.is_open());
  EXPECT_FALSE(std::filesystem::exists(dir / "m.mdx"));
  doc.open(path);
  EXPECT_FALSE(doc.has_tag("tab2"));
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{3, 1, 2}));
}

TEST(MeasurementDocument, LockedDamagedForeignAndMissingFilesAreToldApart) {
  ScratchDir dir;
  const auto path = write_rows(dir / "m.db", {1});
  {
    MeasurementDocument holder;
    holder.open(path);
    EXPECT_EQ(open_failure(path), ErrorKind::Locked);
    // Readers share the file with each other, not with a writer.
    EXPECT_EQ(open_failure(path, Access::ReadOnly), ErrorKind::Locked);
  }
  EXPECT_EQ(open_failure(dir / "missing.db"), ErrorKind::NotFound);
  std::ofstream(dir / "junk.db") << "this is not a table";
  EXPECT_EQ(open_failure(dir / "junk.db"), ErrorKind::Damaged);
  {
    dbf::Table foreign;
    foreign.create(dir / "foreign.db", {{"NAME", dbf::FieldType::Character, 10, 0}});
  }
  EXPECT_EQ(open_failure(dir / "foreign.db"), ErrorKind::NotOurSchema);

  // After a failure the document opens the next file as usual.
  MeasurementDocument doc;
  EXPECT_THROW(doc.open(dir / "junk.db"), vkt::Error);
  doc.open(path, Access::ReadOnly);
  EXPECT_TRUE(doc.is_open());
  MeasurementDocument second_reader;
  EXPECT_NO_THROW(second_reader.open(path, Access::ReadOnly));
}

TEST(MeasurementDocument, DeleteRenumberAndEditRows) {
  ScratchDir dir;
  const auto path = write_rows(dir / "m.db", {10, 20, 30, 40, 50});
  MeasurementDocument doc;
  doc.open(path);
  doc.sort("tab1", "N", true);
  doc.sort("tab2", "P", true);
  std::vector<std::uint32_t> recnos = doc.rows();
  // Rows 40 and 20, given in the grid's order; both sort tags go with them.
  doc.delete_rows(std::vector<std::uint32_t>{recnos[1], recnos[3]});
  EXPECT_FALSE(doc.has_tag("tab1"));
  EXPECT_FALSE(doc.has_tag("tab2"));
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{10, 30, 50}));
  EXPECT_EQ(doc.table().record_count(), 3u);  // packed

  recnos = doc.rows();
  doc.renumber(std::vector<std::uint32_t>{recnos[2], recnos[0], recnos[1]});
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{2, 3, 1}));

  const std::size_t p = *doc.find_field("P");
  const std::size_t comment = *doc.find_field("COMMENT");
  EXPECT_EQ(doc.check_cell(p, "12.5"), CellCheck::Ok);
  EXPECT_EQ(doc.check_cell(p, "abc"), CellCheck::NotANumber);
  EXPECT_EQ(doc.check_cell(p, "1e30"), CellCheck::TooWide);
  EXPECT_EQ(doc.check_cell(comment, "abc"), CellCheck::Ok);
  doc.set_cells(recnos[0], std::vector<std::pair<std::size_t, std::string>>{{p, ""}, {comment, "щебень"}});
  EXPECT_EQ(doc.number(recnos[0], p), std::nullopt);
  EXPECT_EQ(doc.text(recnos[0], comment), "щебень");
  EXPECT_EQ(doc.text(recnos[1], p), "45");
  doc.close();
  doc.open(path);
  EXPECT_EQ(doc.text(doc.rows()[0], comment), "щебень");
}

TEST(MeasurementDocument, CreateFromADownloadThenAppendOnlyWhatIsNew) {
  ScratchDir dir;
  const auto path = dir / "new.db";
  write_rows(path, {7, 8});  // replaced without a question
  MeasurementDocument doc;
  doc.reserve(path);
  // The old file is held while the instrument is read, and stays whole until the new one is.
  EXPECT_EQ(open_failure(path), ErrorKind::Locked);
  {
    MeasurementDocument other;
    EXPECT_THROW(other.reserve(path), vkt::Error);
  }
  auto first = download(1, 3);
  const image::ImportResult created = doc.create(*first, ".");
  EXPECT_EQ(created.appended, 3u);
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3}));

  doc.check_appendable();
  // Days 2 to 5: two are in the file already.
  auto second = download(2, 4);
  const image::ImportResult appended = doc.append(*second, ".");
  EXPECT_EQ(appended.appended, 2u);
  EXPECT_EQ(appended.skipped, 2u);
  EXPECT_TRUE(doc.is_open());
  // The new rows keep their numbers in the instrument's memory.
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3, 3, 4}));

  // Nothing new: the file is not rewritten.
  const auto written = std::filesystem::last_write_time(path);
  EXPECT_EQ(doc.append(*second, ".").appended, 0u);
  EXPECT_EQ(std::filesystem::last_write_time(path), written);
  doc.close();
  MeasurementDocument reader;
  reader.open(path, Access::ReadOnly);
  EXPECT_EQ(reader.rows().size(), 5u);
}

// "Дополнить" writes in place what it wrote through a copy of the whole file: the same bytes, and
// the index gone with its sort tags. The grid's filter stays; a failure leaves the old rows open.
TEST(MeasurementDocument, AppendInPlaceWritesWhatTheCopyWrote) {
  ScratchDir dir;
  const auto path = dir / "m.db";
  {
    MeasurementDocument doc;
    doc.reserve(path);
    doc.create(*download(1, 3), ".");
    doc.sort("tab1", "N", true);
  }
  const std::string old_db = file_bytes(path);
  const std::string old_mdx = file_bytes(dir / "m.mdx");
  const auto second = download(2, 4);
  {
    dbf::Table original;
    open_measurement_file(original, path);
    MeasurementRewrite copy(path, original);
    EXPECT_EQ(image::flash2lmf(copy.table(), *second, image::ImportMode::kAppend, ".").appended, 2u);
    original.close();
    copy.commit();
  }
  const std::string through_copy = file_bytes(path);
  EXPECT_FALSE(std::filesystem::exists(dir / "m.mdx"));

  write_bytes(path, old_db);
  write_bytes(dir / "m.mdx", old_mdx);
  {
    MeasurementDocument doc;
    doc.open(path);
    doc.sort("tab1", "N", true);  // the newest row is still found in file order
    doc.set_filter("NB_TYPE=1");
    EXPECT_EQ(doc.append(*second, ".").appended, 2u);
    EXPECT_FALSE(doc.has_tag("tab1"));
    EXPECT_TRUE(doc.rows().empty());
    doc.set_filter("");
    EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3, 3, 4}));
  }
  EXPECT_EQ(file_bytes(path), through_copy);
  EXPECT_FALSE(std::filesystem::exists(dir / "m.mdx"));

  write_bytes(path, old_db);
  MeasurementDocument doc;
  doc.open(path);
  doc.table().set_replace_hook([](dbf::ReplaceStep s) {
    if (s == dbf::ReplaceStep::AppendFlushed) {
      throw dbf::DbfError(dbf::ErrorKind::Io, "disk pulled out");
    }
  });
  EXPECT_THROW(doc.append(*second, "."), vkt::Error);
  EXPECT_TRUE(doc.is_open());
  EXPECT_EQ(column(doc, "N"), (std::vector<double>{1, 2, 3}));
}

TEST(MeasurementDocument, RowsNoReaderCanReadStopAnAppend) {
  ScratchDir dir;
  const auto path = write_rows(dir / "m.db", {1, 2});
  {
    // P of the second row (after the flag, N, DATE, TIME, DEV_TYPE, SERIAL, NB_TYPE).
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(kHeaderLength + kRecordLength + 1 + 18 + 10 + 8 + 4 + 18 + 4));
    f << "not a number here";
  }
  MeasurementDocument doc;
  doc.open(path);
  try {
    doc.check_appendable();
    ADD_FAILURE() << "accepted";
  } catch (const vkt::Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Damaged);
    EXPECT_NE(std::string(e.text()).find("строка 2"), std::string::npos) << e.text();
  }
}

const ObjectParameters kObject = {"Обход Кашина, ПК 3", "песок", "Петрова", "0815", 90, ""};

ObjectParameters read_parameters(const std::filesystem::path& path) {
  MeasurementDocument doc;
  doc.open(path, Access::ReadOnly);
  return doc.object_parameters();
}

// How many rows of the open file find their waveforms.
std::size_t rows_with_waveforms(MeasurementDocument& doc) {
  const auto recnos = doc.rows();
  return static_cast<std::size_t>(std::count_if(
      recnos.begin(), recnos.end(), [&](std::uint32_t r) { return doc.waveforms(r) != nullptr; }));
}

TEST(MeasurementDocumentParameters, FollowTheFileAndNeverTouchTheTable) {
  ScratchDir dir;
  const auto path = dir / "m.db";
  MeasurementDocument doc;
  doc.reserve(path);
  doc.create(*download(1, 3), ".");
  EXPECT_EQ(doc.object_parameters(), ObjectParameters{});
  const std::string table = file_bytes(path);
  doc.set_object_parameters(kObject);
  EXPECT_EQ(doc.object_parameters(), kObject);
  EXPECT_EQ(file_bytes(path), table);
  doc.save();
  doc.close();
  EXPECT_EQ(read_parameters(path), kObject);

  doc.open(path);
  doc.check_appendable();
  EXPECT_EQ(doc.append(*download(2, 4), ".").appended, 2u);
  EXPECT_EQ(doc.object_parameters(), kObject);
  EXPECT_EQ(rows_with_waveforms(doc), 5u);
  doc.save_as(dir / "copy.db");
  EXPECT_EQ(doc.object_parameters(), kObject);
  ObjectParameters changed = kObject;
  changed.required_modulus.reset();
  doc.set_object_parameters(changed);
  doc.close();
  EXPECT_EQ(read_parameters(dir / "copy.db"), changed);
  EXPECT_EQ(read_parameters(path), kObject);

  // A new download over the file starts a new object.
  doc.reserve(path);
  doc.create(*download(9, 2), ".");
  EXPECT_EQ(doc.object_parameters(), ObjectParameters{});
  doc.close();
  EXPECT_EQ(read_parameters(path), ObjectParameters{});

  // A file without a waveform file gets one; saved over a file that has one, that one's
  // parameters do not come along.
  const auto plain = write_rows(dir / "plain.db", {1, 2});
  const std::string plain_table = file_bytes(plain);
  doc.open(plain);
  doc.save_as(dir / "copy.db");
  EXPECT_EQ(doc.object_parameters(), ObjectParameters{});
  doc.close();
  doc.open(plain);
  doc.set_object_parameters(kObject);
  doc.close();
  EXPECT_EQ(file_bytes(plain), plain_table);
  EXPECT_EQ(read_parameters(plain), kObject);
  EXPECT_EQ(read_parameters(dir / "copy.db"), ObjectParameters{});

  // Each download tells the instrument's firmware; the rest stays as the user set it.
  const auto first = download(1, 3);
  first->firmware_version = "07.12.03";
  doc.reserve(dir / "f.db");
  doc.create(*first, ".");
  ObjectParameters expected;
  expected.instrument_firmware = "07.12.03";
  EXPECT_EQ(doc.object_parameters(), expected);
  expected = kObject;
  expected.instrument_firmware = "07.12.03";
  doc.set_object_parameters(expected);
  const auto second = download(2, 4);
  second->firmware_version = "08.01.00";
  doc.check_appendable();
  EXPECT_EQ(doc.append(*second, ".").appended, 2u);
  doc.close();
  expected.instrument_firmware = "08.01.00";
  EXPECT_EQ(read_parameters(dir / "f.db"), expected);
}

TEST(MeasurementDocumentParameters, OlderNewerAndDamagedWaveformFiles) {
  ScratchDir dir;
  const auto path = dir / "m.db";
  const auto vkw = dir / "m.vkw";
  MeasurementDocument doc;
  doc.reserve(path);
  doc.create(*download(1, 3), ".");
  doc.set_object_parameters(kObject);
  doc.close();
  const std::string current = file_bytes(vkw);
  const std::size_t header = std::uint8_t(current[10]) | (std::uint8_t(current[11]) << 8);

  // Version 1: the 12-byte header straight before the records.
  write_bytes(vkw, current.substr(0, 8) + std::string("\x01\x00\x0C\x00", 4) + current.substr(header));
  EXPECT_EQ(doc.open(path).waveform_problem, "");
  EXPECT_EQ(rows_with_waveforms(doc), 3u);
  EXPECT_EQ(doc.object_parameters(), ObjectParameters{});
  doc.set_object_parameters(kObject);
  doc.close();
  EXPECT_EQ(file_bytes(vkw), current);

  // Damaged parameters: said, the waveforms serve their rows.
  std::string damaged = current;
  damaged[30] ^= 0x20;
  write_bytes(vkw, damaged);
  EXPECT_NE(doc.open(path).waveform_problem.find("испорчены параметры объекта"), std::string::npos);
  EXPECT_EQ(rows_with_waveforms(doc), 3u);
  EXPECT_EQ(doc.object_parameters(), ObjectParameters{});
  doc.close();

  // A later version's file: the table opens, its parameters read, and they stay as they are.
  std::string newer = current;
  newer[8] = 3;
  write_bytes(vkw, newer);
  EXPECT_NE(doc.open(path).waveform_problem.find("более новой версией"), std::string::npos);
  EXPECT_FALSE(doc.read_only());
  EXPECT_EQ(rows_with_waveforms(doc), 3u);
  EXPECT_EQ(doc.object_parameters(), kObject);
  const auto refused = [&](const char* words) {
    try {
      doc.set_object_parameters({});
      ADD_FAILURE() << "written";
    } catch (const vkt::Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::NoAccess);
      EXPECT_NE(std::string(e.text()).find(words), std::string::npos) << e.text();
    }
    EXPECT_EQ(doc.object_parameters(), kObject);
  };
  refused("более новой версией");
  doc.close();
  EXPECT_EQ(file_bytes(vkw), newer);

  // Neither into a file open read-only.
  write_bytes(vkw, current);
  doc.open(path, Access::ReadOnly);
  refused("только для чтения");
  doc.close();
  EXPECT_EQ(file_bytes(vkw), current);
  EXPECT_THROW(doc.set_object_parameters(kObject), vkt::Error);
}

}  // namespace
}  // namespace vkt::measurement
