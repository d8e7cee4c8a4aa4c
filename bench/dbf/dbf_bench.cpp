// Table engine speed on 100,000 measurement rows (about 108 MB): appending, walking the device A
// view while summing P and R (in file order, and in a shuffled order as an index would give),
// packing away half of the rows, and adding a download to such a file. With shapelib installed,
// the same walk through its DBFReadDoubleAttribute runs beside ours on the same file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementfile.h"
#include "store/waveform/waveformfile.h"

#ifdef VKT_HAVE_SHAPELIB
#include <shapefil.h>
#endif

namespace {

using vkt::dbf::Table;

constexpr int kRows = 100'000;

std::filesystem::path bench_dir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / "vkt-dbf-bench";
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// One device A row as the import writes it.
void append_row(Table& t, int n) {
  t.append();
  t.set_integer("N", n);
  t.set_text("DATE", "12.05.2011");
  t.set_text("TIME", "10:00:00");
  t.set_text("P5", "Базовая зависимость №1");
  t.set_text("D2", "Суглинки");
  t.set_text("P3", "0.3");
  t.set_integer("D9", 100 + n % 50);
  t.set_double("P", 80 + n % 40);
  t.set_double("R", 90 + n % 30);
  t.set_double("T", 85);
  t.set_double("P10", 410);
  t.set_double("P9", 400);
  t.set_double("P2", 410);
  t.set_double("P4", 420);
  t.set_integer("D3", 7100);
  t.set_integer("D4", 7000);
  t.set_integer("D5", 7100);
  t.set_integer("D6", 7200);
  t.post();
}

// The shared walking file, written once; shapelib insists on the ".dbf" extension.
const std::filesystem::path& walk_file() {
  static const std::filesystem::path path = [] {
    const auto p = bench_dir() / "walk.dbf";
    Table t;
    vkt::measurement::create_measurement_file(t, p);
    for (int n = 1; n <= kRows; ++n) {
      append_row(t, n);
    }
    t.close();
    return p;
  }();
  return path;
}

void BM_Append100k(benchmark::State& state) {
  const auto path = bench_dir() / "append.db";
  for (auto _ : state) {
    state.PauseTiming();
    Table t;
    vkt::measurement::create_measurement_file(t, path);
    state.ResumeTiming();
    for (int n = 1; n <= kRows; ++n) {
      append_row(t, n);
    }
    state.PauseTiming();
    t.close();
    state.ResumeTiming();
  }
}

void BM_Append100kWithFinalFlush(benchmark::State& state) {
  const auto path = bench_dir() / "append.db";
  for (auto _ : state) {
    state.PauseTiming();
    Table t;
    vkt::measurement::create_measurement_file(t, path);
    state.ResumeTiming();
    for (int n = 1; n <= kRows; ++n) {
      append_row(t, n);
    }
    t.close();
  }
}

void BM_WalkDeviceA100k(benchmark::State& state) {
  const auto& path = walk_file();
  for (auto _ : state) {
    Table t;
    vkt::measurement::open_measurement_file(t, path);
    t.set_filter("NB_TYPE=0");
    const std::size_t p = t.field_index("P");
    const std::size_t r = t.field_index("R");
    double sum = 0;
    int rows = 0;
    for (bool ok = t.first(); ok; ok = t.next()) {
      sum += t.read_double(p).value_or(0) + t.read_double(r).value_or(0);
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
    if (rows != kRows) {
      state.SkipWithError("wrong row count");
    }
  }
}

// The same walk in an order given from outside (as an index gives it): a jump per row.
void BM_WalkDeviceA100kInIndexOrder(benchmark::State& state) {
  const auto& path = walk_file();
  std::vector<std::uint32_t> order(kRows);
  std::iota(order.begin(), order.end(), 1u);
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  for (auto _ : state) {
    Table t;
    vkt::measurement::open_measurement_file(t, path);
    t.set_filter("NB_TYPE=0");
    t.set_order(order);
    const std::size_t p = t.field_index("P");
    const std::size_t r = t.field_index("R");
    double sum = 0;
    int rows = 0;
    for (bool ok = t.first(); ok; ok = t.next()) {
      sum += t.read_double(p).value_or(0) + t.read_double(r).value_or(0);
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
    if (rows != kRows) {
      state.SkipWithError("wrong row count");
    }
  }
}

#ifdef VKT_HAVE_SHAPELIB
void BM_WalkDeviceA100kShapelib(benchmark::State& state) {
  const auto& path = walk_file();
  for (auto _ : state) {
    DBFHandle dbf = DBFOpen(path.c_str(), "rb");
    const int kind = DBFGetFieldIndex(dbf, "NB_TYPE");
    const int p = DBFGetFieldIndex(dbf, "P");
    const int r = DBFGetFieldIndex(dbf, "R");
    const int count = DBFGetRecordCount(dbf);
    double sum = 0;
    int rows = 0;
    for (int i = 0; i < count; ++i) {
      if (DBFIsRecordDeleted(dbf, i) || DBFReadDoubleAttribute(dbf, i, kind) != 0) {
        continue;
      }
      sum += DBFReadDoubleAttribute(dbf, i, p) + DBFReadDoubleAttribute(dbf, i, r);
      ++rows;
    }
    DBFClose(dbf);
    benchmark::DoNotOptimize(sum);
    if (rows != kRows) {
      state.SkipWithError("wrong row count");
    }
  }
}
BENCHMARK(BM_WalkDeviceA100kShapelib)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

void BM_Pack100kHalfDeleted(benchmark::State& state) {
  const auto path = bench_dir() / "pack.db";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(walk_file(), path, std::filesystem::copy_options::overwrite_existing);
    Table t;
    t.open(path);
    for (std::uint32_t r = 2; r <= kRows; r += 2) {
      t.delete_record(r);
    }
    t.flush();
    state.ResumeTiming();
    t.pack();
    state.PauseTiming();
    if (t.record_count() != kRows / 2) {
      state.SkipWithError("wrong row count after pack");
    }
    t.close();
    state.ResumeTiming();
  }
}

// A full download (438 measurements) added to a file that already holds 100,000 rows row by row,
// each row counted by the header as it goes, up to the one flush that puts them on the disk: the
// floor of any append in place (a crash here could leave some of the rows counted).
void BM_Append438To100kDurably(benchmark::State& state) {
  const auto path = bench_dir() / "grow.db";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(walk_file(), path, std::filesystem::copy_options::overwrite_existing);
    Table t;
    vkt::measurement::open_measurement_file(t, path);
    t.flush();  // the copy's own pages go to the disk before the clock runs
    state.ResumeTiming();
    for (int n = 1; n <= 438; ++n) {
      append_row(t, kRows + n);
    }
    t.flush();
    state.PauseTiming();
    if (t.record_count() != kRows + 438) {
      state.SkipWithError("rows missing");
    }
    t.close();
    state.ResumeTiming();
  }
}

// The same rows appended into a copy of the whole file (MeasurementRewrite), flushed and renamed
// over the original, as the program appended before it appended in place. The copy's 108 MB,
// written and flushed, are the cost.
void BM_Append438To100kThroughCopy(benchmark::State& state) {
  const auto path = bench_dir() / "grow-copy.db";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(walk_file(), path, std::filesystem::copy_options::overwrite_existing);
    Table original;
    vkt::measurement::open_measurement_file(original, path);
    original.flush();
    state.ResumeTiming();
    vkt::measurement::MeasurementRewrite copy(path, original);
    for (int n = 1; n <= 438; ++n) {
      append_row(copy.table(), kRows + n);
    }
    original.close();
    copy.commit();
    state.PauseTiming();
    Table check;
    vkt::measurement::open_measurement_file(check, path);
    if (check.record_count() != kRows + 438) {
      state.SkipWithError("rows missing");
    }
    state.ResumeTiming();
  }
}

// A download of 438 measurements, all later than the rows of walk_file().
const vkt::ProgramState& later_download() {
  static const std::unique_ptr<vkt::ProgramState> state = [] {
    std::vector<vkt::image::DeviceARecord> records(438);
    for (std::size_t k = 0; k < records.size(); ++k) {
      vkt::image::DeviceARecord& r = records[k];
      for (std::size_t j = 0; j < r.samples.size(); ++j) {
        r.samples[j] = static_cast<std::uint32_t>(k * 7919 + j * 31);
      }
      r.modulus = {120, 118, 121, 122};
      r.displacement = {410, 400, 415, 416};
      r.force = {7070, 7000, 7100, 7200};
      r.time = {static_cast<std::uint8_t>(k % 60), static_cast<std::uint8_t>(k / 60), 10};
      r.date = {13, 5, 11};
    }
    auto s = std::make_unique<vkt::ProgramState>();
    const auto image = vkt::image::build_image(records);
    std::copy(image.begin(), image.end(), s->mem_image.begin());
    s->image_length = image.size() + 4;
    return s;
  }();
  return *state;
}

// The download appended to the table as "Дополнить" appends it: the rows in place behind the old
// end mark, flushed, the end mark turned into the first row's flag, flushed, then the header's
// count, flushed. Target: at most 100 ms.
void BM_Append438To100kInPlace(benchmark::State& state) {
  const auto path = bench_dir() / "grow-in-place.db";
  vkt::ProgramState download = later_download();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(walk_file(), path, std::filesystem::copy_options::overwrite_existing);
    Table t;
    vkt::measurement::open_measurement_file(t, path);
    t.flush();
    state.ResumeTiming();
    t.begin_appending();
    vkt::image::flash2lmf(t, download, vkt::image::ImportMode::kAppend, ".");
    t.commit_appended();
    state.PauseTiming();
    if (t.record_count() != kRows + 438) {
      state.SkipWithError("rows missing");
    }
    t.close();
    state.ResumeTiming();
  }
}

// The whole of MeasurementDocument::append: the table as above, and before it the waveform file
// (here a new one of the 438 measurements, about 5 MB, written whole and renamed as there was
// none; to an existing one only the new records are added, at its end).
void BM_Append438To100kDocument(benchmark::State& state) {
  const auto path = bench_dir() / "grow-document.db";
  vkt::ProgramState download = later_download();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(vkt::waveform::companion_path(path));
    std::filesystem::copy_file(walk_file(), path, std::filesystem::copy_options::overwrite_existing);
    vkt::measurement::MeasurementDocument doc;
    doc.open(path);
    doc.table().flush();
    state.ResumeTiming();
    const auto added = doc.append(download, ".");
    state.PauseTiming();
    if (added.appended != 438 || doc.table().record_count() != kRows + 438) {
      state.SkipWithError("rows missing");
    }
    doc.close();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_Append100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Append438To100kDurably)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Append438To100kInPlace)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Append438To100kDocument)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Append438To100kThroughCopy)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Append100kWithFinalFlush)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WalkDeviceA100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WalkDeviceA100kInIndexOrder)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Pack100kHalfDeleted)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
