#include "output/protocol/protocoldata.h"

#include <cmath>
#include <filesystem>
#include <string_view>

#include "store/measurement/measurementdocument.h"

namespace vkt::protocol {

namespace {

std::optional<double> number_of(const measurement::MeasurementDocument& document, std::uint32_t recno,
                                std::string_view field) {
  const auto index = document.find_field(field);
  return index ? document.number(recno, *index) : std::nullopt;
}

std::string text_of(const measurement::MeasurementDocument& document, std::uint32_t recno,
                    std::string_view field) {
  const auto index = document.find_field(field);
  return index ? document.text(recno, *index) : std::string();
}

std::string number_text(std::optional<double> value) {
  if (!value) {
    return {};
  }
  if (std::floor(*value) == *value && std::abs(*value) < 1e15) {
    return std::to_string(static_cast<long long>(*value));
  }
  std::string text = std::to_string(*value);
  while (!text.empty() && text.back() == '0') {
    text.pop_back();
  }
  return text;
}

ProtocolPoint read_point(const measurement::MeasurementDocument& document, std::uint32_t recno,
                         std::optional<double> required) {
  ProtocolPoint point;
  point.number = number_text(number_of(document, recno, "N"));
  point.date = text_of(document, recno, "DATE");
  point.time = text_of(document, recno, "TIME");
  point.dependency = text_of(document, recno, "P5");
  point.material = text_of(document, recno, "D2");
  point.mu = text_of(document, recno, "P3");
  point.comment = text_of(document, recno, "COMMENT");
  point.mean_modulus = number_of(document, recno, "D9");
  point.mean_settlement = number_of(document, recno, "P10");
  point.mean_force = number_of(document, recno, "D3");
  constexpr std::array<std::string_view, 3> kModulus = {"P", "R", "T"};
  constexpr std::array<std::string_view, 3> kSettlement = {"P9", "P2", "P4"};
  constexpr std::array<std::string_view, 3> kForce = {"D4", "D5", "D6"};
  for (std::size_t k = 0; k < 3; ++k) {
    point.drops[k] = {number_of(document, recno, kModulus[k]), number_of(document, recno, kSettlement[k]),
                      number_of(document, recno, kForce[k])};
  }
  if (const waveform::MeasurementWaveforms* kept = document.waveforms(recno)) {
    std::array<std::optional<measurement::ScaledDrop>, 3> curves;
    for (std::size_t k = 0; k < 3; ++k) {
      curves[k] = measurement::scaled_drop(*kept, static_cast<int>(k) + 1);
    }
    point.curves = std::move(curves);
  } else {
    point.waveforms_damaged = document.waveforms_damaged(recno);
  }
  point.evaluation = measurement::evaluate_row(document, recno, required);
  return point;
}

}  // namespace

int Protocol::page_count() const {
  return static_cast<int>(points.size()) + (has_summary_page() ? 1 : 0);
}

Protocol read_protocol(const measurement::MeasurementDocument& document,
                       std::span<const std::uint32_t> recnos,
                       const measurement::ObjectParameters& parameters) {
  Protocol protocol;
  protocol.parameters = parameters;
  const std::u8string name = document.path().filename().u8string();
  protocol.source_file.assign(name.begin(), name.end());
  protocol.points.reserve(recnos.size());
  std::vector<measurement::PointEvaluation> evaluations;
  evaluations.reserve(recnos.size());
  for (const std::uint32_t recno : recnos) {
    protocol.points.push_back(read_point(document, recno, parameters.required_modulus));
    evaluations.push_back(protocol.points.back().evaluation);
  }
  protocol.summary = measurement::summarise(evaluations);
  return protocol;
}

}  // namespace vkt::protocol
