// The waveform file of a full download (438 measurements, about 5 MB): what writing it adds to an
// import, and what reading it adds to opening the file. The goal is at most 50 ms for the write.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "image/imagelayout.h"
#include "store/dbf/filereplacement.h"
#include "store/measurement/measurementwaveforms.h"
#include "store/waveform/waveformfile.h"

namespace {

namespace fs = std::filesystem;
using namespace vkt::waveform;

constexpr std::size_t kFullDownload = 438;

std::vector<MeasurementWaveforms> full_download() {
  std::vector<MeasurementWaveforms> all(kFullDownload);
  for (std::size_t k = 0; k < all.size(); ++k) {
    std::array<std::optional<double>, kStoredValues> values;
    for (std::size_t i = 0; i < values.size(); ++i) {
      values[i] = static_cast<double>(k + i);
    }
    const std::string time = "10:" + std::to_string(10 + k / 60) + ":" + std::to_string(10 + k % 50);
    all[k].key = *key_of_row("12.05.2011", time, values);
    for (Drop& drop : all[k].drops) {
      for (std::size_t i = 0; i < kCurveSamples; ++i) {
        drop.displacement[i] = static_cast<std::uint32_t>(k * 7919 + i * 31);
        drop.force[i] = static_cast<std::uint32_t>(k * 104729 + i * 17);
      }
    }
  }
  return all;
}

// On a shared machine the fastest run says most about the code.
double fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

fs::path bench_file(const char* name) {
  const fs::path dir = fs::temp_directory_path() / "vkt_waveform_bench";
  fs::create_directories(dir);
  return dir / name;
}

// Adding a download's waveforms and putting the whole file in place, flushed, over an old one.
void BM_WriteFullDownload(benchmark::State& bench) {
  const auto records = full_download();
  const fs::path path = bench_file("write.vkw");
  WaveformFile().save(path);
  for (auto _ : bench) {
    WaveformFile file = WaveformFile::load(path);
    file.add(records);
    file.save(path);
    bench.PauseTiming();
    WaveformFile().save(path);
    bench.ResumeTiming();
  }
  fs::remove(path);
}
BENCHMARK(BM_WriteFullDownload)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

// What a download adds to its import: the waveforms taken out of the memory image under their
// rows' keys, and the file written beside a new measurement file.
void BM_CompanionOfFullDownload(benchmark::State& bench) {
  std::vector<vkt::image::DeviceARecord> records(kFullDownload);
  for (std::size_t k = 0; k < records.size(); ++k) {
    for (std::size_t j = 0; j < records[k].samples.size(); ++j) {
      records[k].samples[j] = static_cast<std::uint32_t>(k * 7919 + j * 31);
    }
    records[k].time = {static_cast<std::uint8_t>(k % 60), static_cast<std::uint8_t>(k / 60), 10};
  }
  auto state = std::make_unique<vkt::ProgramState>();
  const auto image = vkt::image::build_image(records);
  std::copy(image.begin(), image.end(), state->mem_image.begin());
  state->image_length = image.size();
  const fs::path path = bench_file("companion.vkw");
  for (auto _ : bench) {
    WaveformFile file;
    file.add(vkt::measurement::downloaded_waveforms(*state));
    file.save(path);
    if (file.size() != kFullDownload) {
      bench.SkipWithError("measurements missing");
    }
  }
  fs::remove(path);
}
BENCHMARK(BM_CompanionOfFullDownload)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

// The bytes alone, without the disk.
void BM_SerializeFullDownload(benchmark::State& bench) {
  WaveformFile file;
  file.add(full_download());
  for (auto _ : bench) {
    benchmark::DoNotOptimize(file.serialize());
  }
}
BENCHMARK(BM_SerializeFullDownload)->Unit(benchmark::kMillisecond);

// The disk's share: the same bytes written and put in place through the atomic replacement.
void BM_ReplaceOnly(benchmark::State& bench) {
  WaveformFile file;
  file.add(full_download());
  const auto bytes = file.serialize();
  const fs::path path = bench_file("replace.vkw");
  for (auto _ : bench) {
    vkt::dbf::FileReplacement replacement(path);
    replacement.file().write_at(0, bytes.data(), bytes.size());
    replacement.commit();
  }
  fs::remove(path);
}
BENCHMARK(BM_ReplaceOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a measurement file reads its waveform file whole.
void BM_LoadFullDownload(benchmark::State& bench) {
  const fs::path path = bench_file("load.vkw");
  WaveformFile file;
  file.add(full_download());
  file.save(path);
  for (auto _ : bench) {
    const WaveformFile read = WaveformFile::load(path);
    if (read.size() != kFullDownload) {
      bench.SkipWithError("measurements missing");
    }
  }
  fs::remove(path);
}
BENCHMARK(BM_LoadFullDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
