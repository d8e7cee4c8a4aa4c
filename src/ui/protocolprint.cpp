#include "ui/protocolprint.h"

#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>
#include <vector>

#include "output/protocol/protocoldata.h"
#include "output/protocol/protocolpdf.h"

namespace vkt {

bool print_protocol(QPrinter& printer, const protocol::Protocol& protocol) {
  std::vector<int> pages;
  if (printer.printRange() == QPrinter::PageRange) {
    for (const QPageRanges::Range& r : printer.pageRanges().toRangeList()) {
      for (int p = std::max(r.from, 1); p <= std::min(r.to, protocol.page_count()); ++p) {
        pages.push_back(p);
      }
    }
  } else {
    for (int p = 1; p <= protocol.page_count(); ++p) {
      pages.push_back(p);
    }
  }
  if (pages.empty()) {
    return true;  // the chosen pages are not in the protocol: nothing to print
  }
  QPainter painter;
  if (!painter.begin(&printer)) {
    return false;
  }
  protocol::paint_pages(painter, printer, protocol, pages);
  return painter.end();
}

void show_protocol_preview(QWidget* parent, const measurement::MeasurementDocument& document,
                           std::span<const std::uint32_t> recnos,
                           const measurement::ObjectParameters& parameters) {
  const protocol::Protocol protocol = protocol::read_protocol(document, recnos, parameters);
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  // The pages keep their own margins.
  printer.setFullPage(true);
  printer.setDocName(QStringLiteral("Протокол испытания"));
  printer.setFromTo(1, protocol.page_count());
  QPrintPreviewDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("ProtocolPreview"));
  dialog.setWindowTitle(QStringLiteral("Протокол испытания"));
  dialog.setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  // Tall enough for a portrait page; a smaller screen scales the window down as it shows.
  dialog.resize(820, 1000);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                   [&protocol](QPrinter* target) { print_protocol(*target, protocol); });
  dialog.exec();
}

}  // namespace vkt
