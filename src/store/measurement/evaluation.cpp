#include "store/measurement/evaluation.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "store/measurement/measurementdocument.h"

namespace vkt::measurement {

std::optional<double> parse_required_modulus(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  std::string number(text);
  std::replace(number.begin(), number.end(), ',', '.');
  if (number.empty() || number.front() == '+') {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value) || value <= 0) {
    return std::nullopt;
  }
  return value;
}

Verdict verdict_for(std::optional<double> modulus, std::optional<double> required) {
  if (!modulus || !required) {
    return Verdict::None;
  }
  return *modulus >= *required ? Verdict::Passes : Verdict::Fails;
}

std::string_view verdict_text(Verdict verdict) {
  switch (verdict) {
    case Verdict::Passes:
      return "соответствует";
    case Verdict::Fails:
      return "не соответствует";
    case Verdict::None:
      break;
  }
  return {};
}

bool PointEvaluation::implausible() const {
  if (!drops) {
    return false;
  }
  return drops_differ || std::any_of(drops->begin(), drops->end(), [](const image::DropAnalysis& d) {
           return d.flags.pulse_out_of_range || d.flags.clipped || d.flags.flat;
         });
}

PointEvaluation evaluate_point(const waveform::MeasurementWaveforms* waveforms, std::optional<double> modulus,
                               std::optional<double> required) {
  PointEvaluation point;
  point.modulus = modulus;
  point.verdict = verdict_for(modulus, required);
  if (waveforms == nullptr) {
    return point;
  }
  std::array<image::DropAnalysis, 3> drops;
  std::vector<double> displacement(waveform::kCurveSamples);
  std::vector<double> force(waveform::kCurveSamples);
  double s_over_v = 0;
  int with_s_over_v = 0;
  for (std::size_t k = 0; k < waveform::kDrops; ++k) {
    const waveform::Drop& drop = waveforms->drops[k];
    std::copy(drop.displacement.begin(), drop.displacement.end(), displacement.begin());
    std::copy(drop.force.begin(), drop.force.end(), force.begin());
    // The key's values are mean, drop 1, 2, 3.
    drops[k] = image::analyse_drop(displacement, force, waveforms->key.displacement[k + 1],
                                   waveforms->key.force[k + 1]);
    if (drops[k].s_over_v_ms) {
      s_over_v += *drops[k].s_over_v_ms;
      ++with_s_over_v;
    }
  }
  if (with_s_over_v > 0) {
    point.s_over_v_ms = s_over_v / with_s_over_v;
  }
  point.drops_differ = image::drops_differ(drops);
  point.drops = drops;
  return point;
}

PointEvaluation evaluate_row(const MeasurementDocument& document, std::uint32_t recno,
                             std::optional<double> required) {
  std::optional<double> modulus;
  if (const auto field = document.find_field("D9")) {
    modulus = document.number(recno, *field);
  }
  return evaluate_point(document.waveforms(recno), modulus, required);
}

std::optional<double> EvaluationSummary::share_passing() const {
  if (judged == 0) {
    return std::nullopt;
  }
  return static_cast<double>(passing) / static_cast<double>(judged);
}

EvaluationSummary summarise(std::span<const PointEvaluation> points) {
  EvaluationSummary summary;
  double sum = 0;
  for (const PointEvaluation& point : points) {
    if (point.verdict != Verdict::None) {
      ++summary.judged;
      summary.passing += point.verdict == Verdict::Passes ? 1 : 0;
    }
    if (!point.modulus) {
      continue;
    }
    const double e = *point.modulus;
    summary.minimum = summary.points == 0 ? e : std::min(summary.minimum, e);
    summary.maximum = summary.points == 0 ? e : std::max(summary.maximum, e);
    sum += e;
    ++summary.points;
  }
  if (summary.points == 0) {
    return summary;
  }
  summary.mean = sum / static_cast<double>(summary.points);
  if (summary.points > 1) {
    double squares = 0;
    for (const PointEvaluation& point : points) {
      if (point.modulus) {
        squares += (*point.modulus - summary.mean) * (*point.modulus - summary.mean);
      }
    }
    summary.standard_deviation = std::sqrt(squares / static_cast<double>(summary.points - 1));
  }
  return summary;
}

}  // namespace vkt::measurement
