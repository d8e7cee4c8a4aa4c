#pragma once

#include <cstdint>
#include <span>

#include "store/measurement/evaluation.h"

class QPrinter;
class QWidget;

namespace vkt::measurement {
class MeasurementDocument;
}

namespace vkt::protocol {
struct Protocol;
}

namespace vkt {

// Paints the protocol on a printer: the pages the print dialog chose (all of them without a
// range). False when the printer could not be started.
bool print_protocol(QPrinter& printer, const protocol::Protocol& protocol);

// Shows the print preview of the test protocol of the rows `recnos` of the open file, modally;
// from it the user prints the pages or, choosing the PDF printer, saves them as a file.
void show_protocol_preview(QWidget* parent, const measurement::MeasurementDocument& document,
                           std::span<const std::uint32_t> recnos,
                           const measurement::ObjectParameters& parameters);

}  // namespace vkt
