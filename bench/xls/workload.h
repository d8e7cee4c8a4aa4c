#pragma once

#include <string>

#include "output/xls/workbook.h"

namespace vkt::xls::bench {

constexpr int kExportRows = 65536;
constexpr int kExportColumns = 19;

// The export's sheet: 19 columns per row, six texts (one Cyrillic) and thirteen numbers, each a
// single cell requested through Cells and given its Value, row by row.
void buildExportSheet(XlsWorkbook& book, int rows);

// The same cells as CSV (comma-separated, UTF-8), for office suites to convert.
void writeExportCsv(const std::string& path, int rows);

// Peak resident memory of this process in KiB, 0 where unknown.
long peakMemoryKiB();

}  // namespace vkt::xls::bench
