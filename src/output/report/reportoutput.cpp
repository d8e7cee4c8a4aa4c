#include "output/report/reportoutput.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <algorithm>

#include "output/report/reportpainter.h"
#include "output/report/reportpdf.h"

namespace vkt::report {

namespace {

QPageSize page_size(const ReportLayout& layout) {
  const double shorter = std::min(layout.page.width, layout.page.height);
  const double longer = std::max(layout.page.width, layout.page.height);
  return QPageSize(QSizeF(shorter, longer), QPageSize::Millimeter);
}

QPageLayout::Orientation orientation(const ReportLayout& layout) {
  return layout.page.orientation == Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
}

// Paints the listed pages (from 1) on a device whose painter is already active.
void paint_pages(QPainter& painter, QPagedPaintDevice& device, const ReportDocument& document,
                 const std::vector<int>& pages) {
  ReportPainter report_painter(&device);
  bool first = true;
  for (const int page : pages) {
    if (!first) {
      device.newPage();
    }
    first = false;
    report_painter.paint_page(painter, document, page - 1);
  }
}

}  // namespace

void set_up_page(QPagedPaintDevice& device, const ReportLayout& layout) {
  device.setPageLayout(
      QPageLayout(page_size(layout), orientation(layout), QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

void set_up_printer(QPrinter& printer, const ReportLayout& layout) {
  printer.setPageSize(page_size(layout));
  printer.setPageOrientation(orientation(layout));
  printer.setFullPage(true);
  printer.setDocName(QString::fromStdString(layout.name));
}

// Coordinates in the pages of a PDF file that Qt writes.
constexpr int kPdfDotsPerInch = 300;

namespace {

// The pages through Qt's own PDF writer.
PdfOutcome write_qt_pdf(const ReportDocument& document, QIODevice& out, const QString& title) {
  QPdfWriter writer(&out);
  writer.setCreator(QStringLiteral("ВКТ-РС7"));
  writer.setTitle(title);
  writer.setResolution(kPdfDotsPerInch);
  set_up_page(writer, document.layout());
  QPainter painter;
  if (!painter.begin(&writer)) {
    return PdfOutcome::WriteFailed;
  }
  std::vector<int> all(static_cast<std::size_t>(document.page_count()));
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i] = static_cast<int>(i) + 1;
  }
  paint_pages(painter, writer, document, all);
  return painter.end() ? PdfOutcome::Written : PdfOutcome::WriteFailed;
}

}  // namespace

bool write_pdf(const ReportDocument& document, const QString& path, QString* error) {
  auto fail = [error](const QString& why) {
    if (error != nullptr) {
      *error = why;
    }
    return false;
  };
  const QString title = QFileInfo(path).completeBaseName();
  // The compact writer first. A font whose outlines it cannot embed (PostScript outlines, a bitmap
  // font) goes through Qt's own writer instead, in a file about twice the size.
  for (const auto writer : {write_compact_pdf, write_qt_pdf}) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
      return fail(QStringLiteral("Не удалось создать файл %1: %2").arg(path, file.errorString()));
    }
    const PdfOutcome outcome = writer(document, file, title);
    if (outcome == PdfOutcome::FontNotEmbeddable) {
      file.cancelWriting();
      continue;
    }
    if (outcome == PdfOutcome::Written && file.commit()) {
      return true;
    }
    const QString why = file.error() == QFileDevice::NoError
                            ? QStringLiteral("Не удалось записать файл %1").arg(path)
                            : QStringLiteral("Не удалось записать файл %1: %2").arg(path, file.errorString());
    file.cancelWriting();
    return fail(why);
  }
  return fail(QStringLiteral("Не удалось записать файл %1").arg(path));
}

std::vector<int> print_order(int page_count, const std::vector<std::pair<int, int>>& ranges, int copies,
                             bool collate) {
  std::vector<int> pages;
  if (ranges.empty()) {
    for (int p = 1; p <= page_count; ++p) {
      pages.push_back(p);
    }
  } else {
    for (const auto& [from, to] : ranges) {
      for (int p = std::max(from, 1); p <= std::min(to, page_count); ++p) {
        pages.push_back(p);
      }
    }
  }
  std::vector<int> out;
  const int n = std::max(copies, 1);
  if (collate) {
    for (int c = 0; c < n; ++c) {
      out.insert(out.end(), pages.begin(), pages.end());
    }
  } else {
    for (const int p : pages) {
      out.insert(out.end(), static_cast<std::size_t>(n), p);
    }
  }
  return out;
}

bool print_document(QPrinter& printer, const ReportDocument& document) {
  std::vector<std::pair<int, int>> ranges;
  if (printer.printRange() == QPrinter::PageRange) {
    for (const QPageRanges::Range& r : printer.pageRanges().toRangeList()) {
      ranges.emplace_back(r.from, r.to);
    }
  }
  // A printer that makes its own copies gets the pages once.
  const int copies = printer.supportsMultipleCopies() ? 1 : printer.copyCount();
  const std::vector<int> pages = print_order(document.page_count(), ranges, copies, printer.collateCopies());
  if (pages.empty()) {
    return true;  // the chosen pages are not in the document: nothing to print
  }
  QPainter painter;
  if (!painter.begin(&printer)) {
    return false;
  }
  paint_pages(painter, printer, document, pages);
  return painter.end();
}

}  // namespace vkt::report
