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

void ExcelWriter::Save(const XlsWorkbook& workbook, const std::string& file_name) {
  check_limits(workbook);
  OutputFile file(file_name);
  FileSink sink(file);
  std::optional<CompoundFileWriter> stream;
  try {
    stream.emplace(sink, kStreamName);
  } catch (const std::bad_alloc&) {
    throw create_stream_error(storage_code::kInsufficientMemory);
  }
  write_workbook_stream(workbook, *stream);
  stream->finish();
  sink.flush();
  file.commit();
}

Bytes workbook_stream(const XlsWorkbook& workbook) {
  check_limits(workbook);
  MemorySink sink;
  write_workbook_stream(workbook, sink);
  return sink.bytes();
}

Bytes workbook_file(const XlsWorkbook& workbook) {
  check_limits(workbook);
  MemorySink sink;
  CompoundFileWriter stream(sink, kStreamName);
  write_workbook_stream(workbook, stream);
  stream.finish();
  return sink.bytes();
}

}  // namespace vkt::xls
