#pragma once

#include <QString>
#include <vector>

#include "output/protocol/protocoldata.h"

class QPagedPaintDevice;
class QPainter;

namespace vkt::protocol {

// A4 portrait with the origin at the paper's corner.
void set_up_page(QPagedPaintDevice& device);

// Paints the listed pages (numbered from 1) on a device whose painter is already active, a new
// page before each but the first.
void paint_pages(QPainter& painter, QPagedPaintDevice& device, const Protocol& protocol,
                 const std::vector<int>& pages);

// Writes the protocol's pages to a PDF file. The file appears whole or not at all: the pages go
// to a temporary file beside it that is renamed over it at the end. False with a reason in *error
// when it could not be written.
bool write_pdf(const Protocol& protocol, const QString& path, QString* error = nullptr);

}  // namespace vkt::protocol
