#include "ui/failuretext.h"

#include "output/export/tableexport.h"
#include "store/measurement/measurementfile.h"

namespace vkt {

QString failure_text(const std::exception& error, FailureContext context) {
  if (context == FailureContext::Opening) {
    return QString::fromStdString(measurement::open_failure_text(error));
  }
  // The export's wording covers the workbook's own failures and falls back on the table's.
  return QString::fromStdString(output::export_failure_text(error));
}

}  // namespace vkt
