#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "output/report/reportdataset.h"

namespace vkt::dbf {
class Table;
}

namespace vkt::report {

// The rows a table's view admits (its filter, in its order), read once with the given fields:
// text fields as stored, numeric fields as numbers, empty fields as empty. A field the table
// lacks reads as empty. The cursor is put back on the row it was on.
MemoryDataset read_table_rows(dbf::Table& table, const std::vector<std::string>& fields);

// Which rows of a measurement file a report from the command line prints.
enum class DeviceKind { A, B };

// Writes the report of a measurement file's rows of one device kind, in file order, to a PDF
// file, choosing the layout as the main window does for the kind's tab (the instrument code read
// from the first row's DEV_TYPE). Without a kind: device A when the file has any device A row,
// else device B. The file is opened exclusively while it is read. False with the reason in
// *error when the file cannot be read or the PDF cannot be written.
bool write_measurement_report(const QString& db_path, const QString& pdf_path, std::optional<DeviceKind> kind,
                              const std::string& decimal_separator, QString* error);

}  // namespace vkt::report
