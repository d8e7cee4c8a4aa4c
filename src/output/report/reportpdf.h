#pragma once

#include <QString>

#include "output/report/reportdocument.h"

class QIODevice;

namespace vkt::report {

enum class PdfOutcome {
  Written,
  // A font of the pages has no TrueType outlines to embed: nothing was written.
  FontNotEmbeddable,
  WriteFailed,
};

// Writes the document's pages as a compact PDF file: the texts as strings of glyphs in fonts cut
// down to the glyphs used, the frames as lines, 300 dots to the inch.
PdfOutcome write_compact_pdf(const ReportDocument& document, QIODevice& out, const QString& title);

}  // namespace vkt::report
