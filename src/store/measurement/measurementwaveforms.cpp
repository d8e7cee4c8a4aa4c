#include "store/measurement/measurementwaveforms.h"

#include <algorithm>
#include <array>
#include <span>

#include "image/dropanalysis.h"
#include "image/imagelayout.h"
#include "store/measurement/measurementdocument.h"

namespace vkt::measurement {

namespace {

using waveform::kStoredValues;

static_assert(waveform::kDrops * 2 * waveform::kCurveSamples == image::kSamplesPerRecord);

// The record words behind the key's stored values, in the key's order (kStoredValueFields).
constexpr std::array<std::size_t, kStoredValues> stored_value_offsets() {
  std::array<std::size_t, kStoredValues> offsets{};
  for (std::size_t i = 0; i < 4; ++i) {
    offsets[i] = image::kModulusOffset + 2 * i;
    offsets[4 + i] = image::kDisplacementOffset + 2 * i;
    offsets[8 + i] = image::kForceOffset + 2 * i;
  }
  return offsets;
}

constexpr auto kOffsets = stored_value_offsets();

waveform::MeasurementWaveforms waveforms_at(std::span<const std::uint8_t> image, std::size_t r) {
  std::array<std::optional<double>, kStoredValues> values;
  for (std::size_t i = 0; i < kStoredValues; ++i) {
    values[i] = image::image_word(image, r + kOffsets[i]);
  }
  waveform::MeasurementWaveforms m;
  // date_text and time_text always give 10 and 8 characters, and a word always fits.
  m.key = *waveform::key_of_row(image::date_text(image, r + image::kDateOffset),
                                image::time_text(image, r + image::kTimeOffset), values);
  // The samples lie before the words read above, so they are inside the image; read without a
  // check per sample, as there are 3060 of them.
  const std::uint8_t* b = image.data() + r + image::kWaveformOffset;
  for (waveform::Drop& drop : m.drops) {
    for (auto* curve : {&drop.displacement, &drop.force}) {
      for (std::uint32_t& sample : *curve) {
        sample = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                 (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        b += 4;
      }
    }
  }
  return m;
}

}  // namespace

std::vector<waveform::MeasurementWaveforms> downloaded_waveforms(const ProgramState& state) {
  const std::size_t decoded = std::min(state.image_length, state.mem_image.size());
  if (decoded < image::kHeaderSize) {
    return {};
  }
  const std::span<const std::uint8_t> image(state.mem_image.data(), decoded);
  const std::size_t n = image::image_word(image, image::kRecordCountOffset);
  std::vector<waveform::MeasurementWaveforms> all;
  all.reserve(std::min(n, (decoded - image::kHeaderSize) / image::kRecordSize));
  for (std::size_t k = 0; k < n && image::record_offset(k + 1) <= decoded; ++k) {
    all.push_back(waveforms_at(image, image::record_offset(k)));
  }
  return all;
}

std::optional<waveform::MeasurementKey> row_key(const MeasurementDocument& document, std::uint32_t recno) {
  const auto date = document.find_field("DATE");
  const auto time = document.find_field("TIME");
  if (!date || !time) {
    return std::nullopt;
  }
  std::array<std::optional<double>, kStoredValues> values;
  for (std::size_t i = 0; i < kStoredValues; ++i) {
    const auto field = document.find_field(waveform::kStoredValueFields[i]);
    if (!field) {
      return std::nullopt;
    }
    values[i] = document.number(recno, *field);
  }
  return waveform::key_of_row(document.text(recno, *date), document.text(recno, *time), values);
}

std::optional<ScaledDrop> scaled_drop(const waveform::MeasurementWaveforms& measurement, int drop) {
  if (drop < 1 || drop > static_cast<int>(waveform::kDrops)) {
    return std::nullopt;
  }
  const waveform::Drop& samples = measurement.drops[static_cast<std::size_t>(drop - 1)];
  ScaledDrop scaled{std::vector<double>(samples.displacement.begin(), samples.displacement.end()),
                    std::vector<double>(samples.force.begin(), samples.force.end())};
  const double peak = image::displacement_peak(scaled.displacement_um);
  const double fmax = image::force_maximum(scaled.force_n);
  if (peak <= 0 || fmax <= 0) {
    return std::nullopt;
  }
  const auto k = static_cast<std::size_t>(drop);  // the key's values: mean, then drops 1, 2, 3
  const double displacement_scale = measurement.key.displacement[k] / peak;
  const double force_scale = measurement.key.force[k] / fmax;
  for (double& v : scaled.displacement_um) {
    v *= displacement_scale;
  }
  for (double& v : scaled.force_n) {
    v *= force_scale;
  }
  return scaled;
}

}  // namespace vkt::measurement
