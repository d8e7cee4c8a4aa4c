#pragma once

#include <string>

#include "output/xls/bytes.h"
#include "output/xls/workbook.h"

namespace vkt::xls {

// Base of the workbook writers. Save does nothing here.
class WorkbookWriter {
 public:
  virtual ~WorkbookWriter() = default;
  virtual void Save(const XlsWorkbook& workbook, const std::string& file_name);
};

// Writes an Excel 97–2003 workbook (".xls"): a compound file whose one stream "Workbook" holds
// the BIFF8 records. The file appears complete or not at all: it is written under a temporary
// name beside the target and renamed over it at the end. Throws XlsLimitError before writing
// anything when the workbook does not fit the format, XlsStorageError when the file cannot be
// created or written.
class ExcelWriter : public WorkbookWriter {
 public:
  void Save(const XlsWorkbook& workbook, const std::string& file_name) override;
};

// The same bytes in memory: the "Workbook" stream alone, and the whole file.
Bytes workbook_stream(const XlsWorkbook& workbook);
Bytes workbook_file(const XlsWorkbook& workbook);

}  // namespace vkt::xls
