#pragma once

// Measurements as a device A in the field would hold them: a series of test points taken one after
// another, each with three drops of the load, their moduli, displacements and forces, and the
// displacement and force curves the instrument recorded.

#include <cstdint>
#include <vector>

#include "image/imagelayout.h"

namespace vkt::sim {

// `count` measurements; the same seed always gives the same measurements.
std::vector<image::DeviceARecord> make_measurements(std::size_t count, std::uint32_t seed);

}  // namespace vkt::sim
