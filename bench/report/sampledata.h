#pragma once

#include "output/report/reportdataset.h"

namespace vkt::report {

// Rows as an instrument would leave them, for benchmarks and sample pages.
MemoryDataset sample_device_a_rows(int count);
MemoryDataset sample_device_b_rows(int count);

}  // namespace vkt::report
