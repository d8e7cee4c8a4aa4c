// What a measurement point says about the tested layer: the derived values of its three drops,
// read from the kept waveforms, and the verdict against the modulus the object requires.
//
//   verdict       the mean modulus the instrument stored (D9, MN/m²) against the required one:
//                 "соответствует" when D9 >= required, "не соответствует" below it; no verdict
//                 without a required modulus or without a stored D9
//   s/v           the mean of the drops' s/v (image::analyse_drop), over the drops that have one
//   implausible   a drop flagged (pulse out of range, clipped, flat) or the drops differ
//                 (image::drops_differ); shown beside the verdict, never changing it: the
//                 instrument's modulus is the result, the flags tell how far to trust it
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image/dropanalysis.h"
#include "store/waveform/waveformfile.h"

namespace vkt::measurement {

class MeasurementDocument;

// What the engineer states about the tested object (see waveform::ObjectParameters).
using ObjectParameters = waveform::ObjectParameters;

// A typed required modulus: a finite number above 0, with '.' or ',' before the fraction, blanks
// around it allowed. Nothing for anything else (an empty text included).
std::optional<double> parse_required_modulus(std::string_view text);

enum class Verdict { None, Passes, Fails };

Verdict verdict_for(std::optional<double> modulus, std::optional<double> required);
// "соответствует", "не соответствует", or empty for no verdict (UTF-8).
std::string_view verdict_text(Verdict verdict);

struct PointEvaluation {
  std::optional<double> modulus;                            // D9, MN/m²
  std::optional<std::array<image::DropAnalysis, 3>> drops;  // none without waveforms
  std::optional<double> s_over_v_ms;
  bool drops_differ = false;
  Verdict verdict = Verdict::None;

  bool implausible() const;
};

// A point from its kept waveforms (none: no derived values) and its stored mean modulus.
PointEvaluation evaluate_point(const waveform::MeasurementWaveforms* waveforms, std::optional<double> modulus,
                               std::optional<double> required);
// A row of the open file.
PointEvaluation evaluate_row(const MeasurementDocument& document, std::uint32_t recno,
                             std::optional<double> required);

// The closing figures of a set of points: the moduli of the points that have one, and the share
// of judged points that pass.
struct EvaluationSummary {
  std::size_t points = 0;  // points with a modulus
  double mean = 0;
  double standard_deviation = 0;  // sample deviation (n − 1); 0 for a single point
  double minimum = 0;
  double maximum = 0;
  std::size_t judged = 0;  // points with a verdict
  std::size_t passing = 0;

  // passing / judged, as a fraction; nothing when no point was judged.
  std::optional<double> share_passing() const;
};

EvaluationSummary summarise(std::span<const PointEvaluation> points);

}  // namespace vkt::measurement
