// What a test protocol shows of each measurement point, read once from the open measurement file:
// the stored values of the row, the kept waveforms scaled to physical units, the evaluation
// against the required modulus, and the closing figures of all points.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "store/measurement/evaluation.h"
#include "store/measurement/measurementwaveforms.h"

namespace vkt::protocol {

// One drop as the instrument stored it.
struct StoredDrop {
  std::optional<double> modulus;        // MN/m² (P, R, T)
  std::optional<double> settlement_um;  // P9, P2, P4
  std::optional<double> force_n;        // D4, D5, D6
};

struct ProtocolPoint {
  std::string number;  // N as the grid shows it
  std::string date;
  std::string time;
  std::string dependency;  // P5
  std::string material;    // D2
  std::string mu;          // P3, as stored
  std::string comment;
  std::optional<double> mean_modulus;     // D9
  std::optional<double> mean_settlement;  // P10
  std::optional<double> mean_force;       // D3
  std::array<StoredDrop, 3> drops;
  // The three drops' curves; none when the row has no kept waveforms. A drop that cannot be
  // scaled (no displacement peak or no force) has no curve.
  std::optional<std::array<std::optional<measurement::ScaledDrop>, 3>> curves;
  bool waveforms_damaged = false;  // kept, but their checksum failed
  measurement::PointEvaluation evaluation;
};

struct Protocol {
  measurement::ObjectParameters parameters;
  std::string instrument = "ВКТ-РС7";
  std::string source_file;  // the measurement file's name, for the page footers
  std::vector<ProtocolPoint> points;
  measurement::EvaluationSummary summary;

  // One page per point, and a summary page after two points or more.
  int page_count() const;
  bool has_summary_page() const { return points.size() > 1; }
};

// The protocol of the given rows of the open file, in the order given.
Protocol read_protocol(const measurement::MeasurementDocument& document,
                       std::span<const std::uint32_t> recnos,
                       const measurement::ObjectParameters& parameters);

}  // namespace vkt::protocol
