#include "sim/instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>

#include "link/linkcodec.h"
#include "sim/measurements.h"

namespace vkt::sim {
namespace {

using image::DeviceARecord;

std::string answer_to(Instrument& instrument, char request) {
  std::string out;
  instrument.respond(request, out);
  return out;
}

bool checksum_ok(const std::string& answer) {
  return link::link_checksum_ok(answer.data(), answer.size());
}

TEST(Instrument, IdentificationAnswer) {
  Instrument instrument({.records = 7, .seed = 3, .type_digit = 1});
  const std::string id = answer_to(instrument, 'V');
  ASSERT_TRUE(checksum_ok(id));
  ASSERT_EQ(id.front(), 'S');
  ASSERT_EQ(id.back(), 'P');
  EXPECT_GE(id.size() - 10, 18u);
  EXPECT_EQ(id[3], '1');  // type digit
  EXPECT_EQ(link::version_text(id.data(), 5), "02.14.05");
  EXPECT_EQ(link::link_word(id.data(), 15), 7);
  EXPECT_TRUE(answer_to(instrument, 'X').empty());
}

TEST(Instrument, DataAnswerCarriesTheEncodedImage) {
  Instrument instrument({.records = 4, .seed = 11});
  std::string data;
  EXPECT_TRUE(instrument.respond('Q', data));
  ASSERT_TRUE(checksum_ok(data));
  const auto& image = instrument.image();
  ASSERT_EQ(data.size(), 1 + 2 * (4 + 4 * image::kRecordSize) + 8 + 1);
  EXPECT_EQ(image::image_word(image, 0), 4);
  EXPECT_EQ(image::image_word(image, 2), image::kRecordSize);
  for (std::size_t i = 0; i < image.size(); ++i) {
    ASSERT_EQ(link::link_byte(data.data(), 1 + 2 * i), image[i]) << i;
  }
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(image::decode_record(image, image::record_offset(k)), instrument.records()[k]);
  }
}

TEST(Measurements, SameSeedSameMeasurements) {
  EXPECT_EQ(make_measurements(5, 42), make_measurements(5, 42));
  EXPECT_NE(make_measurements(5, 42), make_measurements(5, 43));
  EXPECT_TRUE(make_measurements(0, 1).empty());
}

TEST(Measurements, PlausibleFieldsAndIncreasingMoments) {
  const auto records = make_measurements(438, 2024);
  std::int64_t previous = 0;
  std::set<int> materials;
  for (const auto& r : records) {
    EXPECT_LE(r.dependency, 12);
    EXPECT_LE(r.material, 15);
    materials.insert(r.material);
    for (std::size_t d = 1; d <= 3; ++d) {
      EXPECT_GE(r.force[d], 6800);
      EXPECT_LE(r.force[d], 7300);
      EXPECT_GE(r.modulus[d], 10);
      EXPECT_LE(r.modulus[d], 140);
      // A 300 mm plate under about 7 kN: E x s is close to 22.5 MN/m² x mm.
      const double product = r.modulus[d] * r.displacement[d] / 1000.0;
      EXPECT_NEAR(product, 22.5, 2.0);
    }
    for (const auto* q : {&r.modulus, &r.displacement, &r.force}) {
      const double mean = ((*q)[1] + (*q)[2] + (*q)[3]) / 3.0;
      EXPECT_NEAR((*q)[image::kMean], mean, 1.0);
    }
    std::vector<std::uint8_t> bytes(image::kRecordSize);
    image::encode_record(r, bytes);
    const auto key = image::date_time_seconds(image::date_text(bytes, image::kDateOffset),
                                              image::time_text(bytes, image::kTimeOffset));
    EXPECT_GT(key, previous);
    previous = key;
  }
  EXPECT_GT(materials.size(), 1u);
}

TEST(Measurements, ForcePulseAndDisplacementCurve) {
  const auto records = make_measurements(20, 5);
  for (const auto& r : records) {
    for (std::size_t d = 0; d < 3; ++d) {
      const std::uint32_t* disp = r.samples.data() + d * image::kSamplesPerDrop;
      const std::uint32_t* force = disp + image::kSamplesPerCurve;
      const auto f_peak = std::max_element(force, force + image::kSamplesPerCurve) - force;
      const auto d_peak = std::max_element(disp, disp + image::kSamplesPerCurve) - disp;
      // A pulse of about 17 ms (samples 100 µs apart), above a tenth of its peak for most of it.
      const auto above = std::count_if(force, force + image::kSamplesPerCurve,
                                       [&](std::uint32_t v) { return v > force[f_peak] / 10; });
      EXPECT_GT(above, 140);
      EXPECT_LT(above, 175);
      // The plate follows: its peak comes a little after the force's.
      EXPECT_GT(d_peak, f_peak);
      EXPECT_LT(d_peak - f_peak, 40);
      EXPECT_NEAR(disp[d_peak] / 8.0, r.displacement[d + 1], r.displacement[d + 1] * 0.05);
      EXPECT_NEAR(force[f_peak] * 2.0, r.force[d + 1], r.force[d + 1] * 0.02);
      // Smooth: no jump between neighbouring samples larger than a tenth of the peak.
      for (std::size_t k = 1; k < image::kSamplesPerCurve; ++k) {
        EXPECT_LT(std::abs(static_cast<double>(force[k]) - force[k - 1]), force[f_peak] * 0.1);
        EXPECT_LT(std::abs(static_cast<double>(disp[k]) - disp[k - 1]), disp[d_peak] * 0.1);
      }
    }
  }
}

TEST(Instrument, Faults) {
  {
    Instrument i({.fault = Fault::IdentificationChecksum});
    EXPECT_FALSE(checksum_ok(answer_to(i, 'V')));
    EXPECT_TRUE(checksum_ok(answer_to(i, 'Q')));
  }
  {
    Instrument i({.fault = Fault::DataChecksum});
    EXPECT_TRUE(checksum_ok(answer_to(i, 'V')));
    EXPECT_FALSE(checksum_ok(answer_to(i, 'Q')));
  }
  {
    Instrument i({.fault = Fault::WrongType});
    const auto id = answer_to(i, 'V');
    EXPECT_TRUE(checksum_ok(id));
    EXPECT_EQ(id[3], '2');
  }
  {
    Instrument i({.records = 3, .fault = Fault::EmptyHeader});
    const auto data = answer_to(i, 'Q');
    EXPECT_TRUE(checksum_ok(data));
    EXPECT_EQ(link::link_word(data.data(), 1), 3);
    EXPECT_EQ(link::link_word(data.data(), 5), 0);
  }
  {
    Instrument i({.records = 2, .fault = Fault::RestartInData});
    std::string first;
    EXPECT_FALSE(i.respond('Q', first));
    EXPECT_EQ(first.back(), 'Z');
    EXPECT_EQ(first.find('P'), std::string::npos);
    EXPECT_EQ(first.substr(0, first.size() - 1), i.data_answer().substr(0, first.size() - 1));
    EXPECT_EQ(answer_to(i, 'Q'), i.data_answer());
  }
  {
    Instrument i({.fault = Fault::Silence});
    EXPECT_TRUE(answer_to(i, 'V').empty());
    EXPECT_TRUE(answer_to(i, 'Q').empty());
  }
  {
    Instrument i({.fault = Fault::GarbageAfterEnd});
    for (char request : {'V', 'Q'}) {
      const auto text = answer_to(i, request);
      const auto p = text.find('P');
      ASSERT_NE(p, std::string::npos);
      const auto tail = text.substr(p + 1);
      EXPECT_FALSE(tail.empty());
      EXPECT_EQ(tail.find_first_of("SPZ"), std::string::npos);
      EXPECT_TRUE(checksum_ok(text));
    }
  }
}

TEST(Instrument, FaultNamesAndLimits) {
  for (auto name : fault_names()) {
    const auto fault = fault_from_name(name);
    ASSERT_TRUE(fault.has_value()) << name;
    EXPECT_EQ(fault_name(*fault), name);
  }
  EXPECT_EQ(fault_names().size(), 8u);
  EXPECT_FALSE(fault_from_name("bogus").has_value());
  EXPECT_THROW(Instrument({.records = 501}), std::invalid_argument);
  EXPECT_NO_THROW(Instrument({.records = 0}));
}

}  // namespace
}  // namespace vkt::sim
