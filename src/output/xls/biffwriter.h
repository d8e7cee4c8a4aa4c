#pragma once

#include "output/xls/bytesink.h"
#include "output/xls/workbook.h"

namespace vkt::xls {

// Throws XlsLimitError, with a text for the user, when the workbook holds what the file format
// cannot carry: no sheet, rows past 65,535, columns past 255, negative or inverted rectangles,
// texts longer than 32,767 characters.
void check_limits(const XlsWorkbook& workbook);

// Writes the BIFF8 "Workbook" stream of the workbook, from position 0 of `stream`. The workbook
// must have passed check_limits.
void write_workbook_stream(const XlsWorkbook& workbook, ByteSink& stream);

}  // namespace vkt::xls
