#include "output/xls/writer.h"

#include <new>
#include <optional>

#include "output/xls/biffwriter.h"
#include "output/xls/compoundfile.h"
#include "output/xls/errors.h"
#include "output/xls/outputfile.h"

namespace vkt::xls {

namespace {
constexpr char16_t kStreamName[] = u"Workbook";
}

void WorkbookWriter::Save(const XlsWorkbook&, const std::string&) {}

void ExcelWriter::Save(const XlsWorkbook& workbook, const std::string& fileName) {
  checkLimits(workbook);
  OutputFile file(fileName);
  FileSink sink(file);
  std::optional<CompoundFileWriter> stream;
  try {
    stream.emplace(sink, kStreamName);
  } catch (const std::bad_alloc&) {
    throw createStreamError(storage_code::kInsufficientMemory);
  }
  writeWorkbookStream(workbook, *stream);
  stream->finish();
  sink.flush();
  file.commit();
}

Bytes workbookStream(const XlsWorkbook& workbook) {
  checkLimits(workbook);
  MemorySink sink;
  writeWorkbookStream(workbook, sink);
  return sink.bytes();
}

Bytes workbookFile(const XlsWorkbook& workbook) {
  checkLimits(workbook);
  MemorySink sink;
  CompoundFileWriter stream(sink, kStreamName);
  writeWorkbookStream(workbook, stream);
  stream.finish();
  return sink.bytes();
}

}  // namespace vkt::xls
