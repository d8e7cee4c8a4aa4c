#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "output/report/reportdocument.h"

class QPagedPaintDevice;
class QPrinter;

namespace vkt::report {

// Paper size and orientation of a layout on a paged device, with the origin at the paper's corner.
void set_up_page(QPagedPaintDevice& device, const ReportLayout& layout);
// The same for a printer, also telling it to draw over the whole paper.
void set_up_printer(QPrinter& printer, const ReportLayout& layout);

// Writes the document's pages to a PDF file. The file appears whole or not at all: the pages go
// to a temporary file beside it that is renamed over it at the end. False with a reason in *error
// when it could not be written.
bool write_pdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

// The order in which pages (numbered from 1) go to the printer: the pages of `ranges` (first,
// last; empty for all pages), `copies` times, collated (1 2 3 1 2 3) or not (1 1 2 2 3 3). Pages
// beyond the document are passed over.
std::vector<int> print_order(int page_count, const std::vector<std::pair<int, int>>& ranges, int copies,
                             bool collate);

// Prints the document on a printer the print dialog has set up: its page ranges, copies and
// collation. False when the printer could not be started.
bool print_document(QPrinter& printer, const ReportDocument& document);

}  // namespace vkt::report
