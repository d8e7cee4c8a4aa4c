#include "sim/measurements.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace vkt::sim {

namespace {

// Only the engine's raw output is used: its sequence is the same everywhere, unlike that of the
// standard distributions.
class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  double uniform(double low, double high) { return low + (high - low) * (engine_() / 4294967296.0); }
  int between(int low, int high) {
    return low + static_cast<int>(engine_() % static_cast<unsigned>(high - low + 1));
  }

 private:
  std::mt19937 engine_;
};

int days_in_month(int month, int year) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The working day of the technician: measurements from 08:00, a few minutes apart, until the
// evening, then on the next day.
struct Clock {
  int year, month, day, seconds_of_day;

  void advance(int seconds) {
    seconds_of_day += seconds;
    if (seconds_of_day < 18 * 3600) {
      return;
    }
    seconds_of_day = 8 * 3600 + seconds_of_day % 600;
    if (++day > days_in_month(month, year)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
};

// Samples are 100 µs apart; each curve holds 510 of them (51 ms).
constexpr double kSampleMs = 0.1;
// Raw instrument units per µm of displacement and per newton of force.
constexpr double kDisplacementUnits = 8.0;
constexpr double kForceUnits = 0.5;

// One drop: the force is a half-sine pulse of about 17 ms; the plate follows it a little later,
// springs back past its resting point and settles with a small lasting set.
void drop_curves(Random& random, double displacement_um, double force_n, std::uint32_t* displacement,
                 std::uint32_t* force) {
  const double start = random.uniform(3.5, 5.0);  // ms
  const double pulse = random.uniform(16.5, 17.5);
  const double lag = random.uniform(0.8, 1.6);
  const double settle = random.uniform(0.03, 0.07);
  const double d_peak = displacement_um * kDisplacementUnits;
  const double f_peak = force_n * kForceUnits;
  constexpr double pi = std::numbers::pi;
  for (std::size_t k = 0; k < image::kSamplesPerCurve; ++k) {
    const double t = static_cast<double>(k) * kSampleMs;
    double f = 0.0;
    if (t >= start && t <= start + pulse) {
      f = f_peak * std::sin(pi * (t - start) / pulse);
    }
    double d = 0.0;
    const double d_start = start + lag * 0.4;
    const double d_length = pulse + 2.0 * lag;
    if (t >= d_start && t <= d_start + d_length) {
      d = d_peak * std::sin(pi * (t - d_start) / d_length);
      if (t > d_start + d_length / 2) {
        d = std::max(d, d_peak * settle);
      }
    } else if (t > d_start + d_length) {
      // A damped swing round the lasting set.
      const double after = t - d_start - d_length;
      d = d_peak * (settle - 0.06 * std::exp(-after / 6.0) * std::sin(2 * pi * after / 14.0));
    }
    d += random.uniform(-0.004, 0.004) * d_peak;
    f += random.uniform(-0.003, 0.003) * f_peak;
    displacement[k] = static_cast<std::uint32_t>(std::lround(std::max(d, 0.0)));
    force[k] = static_cast<std::uint32_t>(std::lround(std::max(f, 0.0)));
  }
}

std::uint16_t word(double value) {
  return static_cast<std::uint16_t>(std::clamp<long>(std::lround(value), 0, 65535));
}

}  // namespace

std::vector<image::DeviceARecord> make_measurements(std::size_t count, std::uint32_t seed) {
  Random random(seed);
  Clock clock{random.between(2021, 2025), random.between(1, 12), 1, 8 * 3600};
  clock.day = random.between(1, days_in_month(clock.month, clock.year));
  clock.seconds_of_day += random.between(0, 3600);

  // A site is tested on one dependency and one material for a while, then the next.
  int dependency = random.between(0, 12);
  int material = random.between(0, 15);
  std::vector<image::DeviceARecord> records(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto& r = records[i];
    if (random.between(0, 9) == 0) {
      dependency = random.between(0, 12);
      material = random.between(0, 15);
    }
    r.dependency = static_cast<std::uint8_t>(dependency);
    r.material = static_cast<std::uint8_t>(material);
    r.mu = static_cast<std::uint8_t>(random.between(25, 45));

    // The soil: a modulus between loose fill and a good base course; each drop compacts it a
    // little, so the plate moves less.
    const double base_modulus = random.uniform(15.0, 120.0);
    double sum_l = 0;
    double sum_f = 0;
    double sum_e = 0;
    for (std::size_t d = 1; d <= 3; ++d) {
      const double force = 7070.0 * random.uniform(0.98, 1.02);
      const double modulus =
          base_modulus * (1.0 + 0.03 * static_cast<double>(d - 1)) * random.uniform(0.97, 1.03);
      // Plate of 300 mm: E = 1.5 r sigma / s, that is 22.5 MN/m² at 1 mm under 7.07 kN.
      const double displacement = 22.5 / modulus * (force / 7070.0) * 1000.0;
      r.force[d] = word(force);
      r.displacement[d] = word(displacement);
      r.modulus[d] = word(modulus);
      sum_l += r.displacement[d];
      sum_f += r.force[d];
      sum_e += r.modulus[d];
      const std::size_t block = (d - 1) * image::kSamplesPerDrop;
      drop_curves(random, displacement, force, r.samples.data() + block,
                  r.samples.data() + block + image::kSamplesPerCurve);
    }
    r.displacement[image::kMean] = word(sum_l / 3);
    r.force[image::kMean] = word(sum_f / 3);
    r.modulus[image::kMean] = word(sum_e / 3);

    const int s = clock.seconds_of_day;
    r.time = {static_cast<std::uint8_t>(s % 60), static_cast<std::uint8_t>(s / 60 % 60),
              static_cast<std::uint8_t>(s / 3600)};
    r.date = {static_cast<std::uint8_t>(clock.day), static_cast<std::uint8_t>(clock.month),
              static_cast<std::uint8_t>(clock.year - 2000)};
    clock.advance(random.between(90, 720));
  }
  return records;
}

}  // namespace vkt::sim
