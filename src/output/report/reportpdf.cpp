#include "output/report/reportpdf.h"

#include <QByteArray>
#include <QIODevice>
#include <QRawFont>
#include <climits>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "output/pdf/pdfwriter.h"
#include "output/report/reportpainter.h"

namespace vkt::report {

namespace {

constexpr int kDotsPerInch = 300;
constexpr double kMmPerInch = 25.4;

// A paint device that is only a page and a resolution: the fonts and text layouts of the pages
// are made for it, as they would be for a printer of that resolution.
class PageMetrics : public QPaintDevice {
 public:
  PageMetrics(double width_mm, double height_mm) : width_mm_(width_mm), height_mm_(height_mm) {}
  QPaintEngine* paintEngine() const override { return nullptr; }
  double width() const { return width_mm_ / kMmPerInch * kDotsPerInch; }
  double height() const { return height_mm_ / kMmPerInch * kDotsPerInch; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth:
        return static_cast<int>(width());
      case PdmHeight:
        return static_cast<int>(height());
      case PdmWidthMM:
        return static_cast<int>(width_mm_);
      case PdmHeightMM:
        return static_cast<int>(height_mm_);
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return kDotsPerInch;
      case PdmDepth:
        return 32;
      case PdmNumColors:
        return INT_MAX;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
      default:
        return 0;
    }
  }

 private:
  double width_mm_;
  double height_mm_;
};

// The fonts of the glyph runs, each read and handed to the writer once: the same face at
// several sizes is one font of the file.
class PdfFonts {
 public:
  explicit PdfFonts(pdf::DocumentWriter& writer) : writer_(writer) {}

  // The writer's number for the run's font; nothing for a font without TrueType outlines.
  std::optional<int> number_of(const QRawFont& raw) {
    for (const auto& [known, number] : sizes_) {
      if (known == raw) {
        return number;
      }
    }
    const std::optional<int> number = face_of(raw);
    sizes_.emplace_back(raw, number);
    return number;
  }

 private:
  std::optional<int> face_of(const QRawFont& raw) {
    if (!raw.isValid()) {
      return std::nullopt;
    }
    // A face is told by its header table, which holds its revision, dates and checksum.
    const std::string face = raw.fontTable("head").toStdString() + static_cast<char>(raw.weight()) +
                             static_cast<char>(raw.style());
    if (const auto found = faces_.find(face); found != faces_.end()) {
      return found->second;
    }
    std::map<std::string, std::string> tables;
    for (const char* tag : {"head", "hhea", "hmtx", "loca", "glyf", "maxp", "cvt ", "fpgm", "prep", "name"}) {
      const QByteArray table = raw.fontTable(tag);
      if (!table.isEmpty()) {
        tables.emplace(tag, table.toStdString());
      }
    }
    std::optional<pdf::TrueTypeFont> font = pdf::TrueTypeFont::from_tables(std::move(tables));
    std::optional<int> number;
    if (font) {
      fonts_.push_back(std::move(*font));
      number = writer_.add_font(fonts_.back());
    }
    faces_.emplace(face, number);
    return number;
  }

  pdf::DocumentWriter& writer_;
  std::vector<std::pair<QRawFont, std::optional<int>>> sizes_;
  std::map<std::string, std::optional<int>> faces_;
  std::deque<pdf::TrueTypeFont> fonts_;  // the writer keeps their addresses
};

struct FontMissing {};

// Hands a page's lines and texts to the writer.
void write_page(pdf::DocumentWriter& writer, PdfFonts& fonts, const ReportPainter::PageDrawing& drawing,
                const PageMetrics& page) {
  writer.begin_page(page.width(), page.height());
  std::vector<pdf::Segment> segments;
  segments.reserve(drawing.frames.size());
  for (const QLineF& l : drawing.frames) {
    segments.push_back({l.x1(), l.y1(), l.x2(), l.y2()});
  }
  writer.lines(segments, drawing.frame_width);
  std::vector<pdf::PlacedGlyph> glyphs;
  for (const ReportPainter::PlacedLine& text : drawing.texts) {
    for (const QGlyphRun& run : text.line->runs) {
      const QRawFont raw = run.rawFont();
      const std::optional<int> font = fonts.number_of(raw);
      if (!font) {
        throw FontMissing{};
      }
      const QList<quint32> indexes = run.glyphIndexes();
      const QList<QPointF> positions = run.positions();
      glyphs.clear();
      bool unknown = false;
      for (qsizetype i = 0; i < indexes.size(); ++i) {
        const auto glyph = static_cast<pdf::GlyphId>(indexes[i]);
        glyphs.push_back({glyph, text.at.x() + positions[i].x(), text.at.y() + positions[i].y()});
        unknown = unknown || !writer.knows_text_of(*font, glyph);
      }
      if (unknown) {
        // The characters of the line tell what its glyphs stand for.
        for (const uint code : text.line->text.toUcs4()) {
          const auto one = static_cast<char32_t>(code);
          const QList<quint32> found = raw.glyphIndexesForString(QString::fromUcs4(&one, 1));
          if (found.size() == 1 && found.front() != 0) {
            writer.set_text_of(*font, static_cast<pdf::GlyphId>(found.front()), code);
          }
        }
      }
      writer.text(*font, raw.pixelSize(), glyphs);
    }
  }
  writer.end_page();
}

}  // namespace

PdfOutcome write_compact_pdf(const ReportDocument& document, QIODevice& out, const QString& title) {
  bool failed = false;
  const auto sink = [&out, &failed](std::string_view bytes) {
    if (!failed &&
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
      failed = true;
    }
  };
  // qCompress puts the length before the zlib data; the file wants the zlib data alone.
  const auto deflate = [](std::string_view data) {
    const QByteArray packed =
        qCompress(reinterpret_cast<const uchar*>(data.data()), static_cast<qsizetype>(data.size()));
    return std::string(packed.constData() + 4, static_cast<std::size_t>(packed.size() - 4));
  };
  pdf::DocumentWriter writer(sink, deflate, kDotsPerInch);
  PdfFonts fonts(writer);
  const PageMetrics page(document.layout().page.width, document.layout().page.height);
  ReportPainter painter(&page);
  try {
    for (int i = 0; i < document.page_count() && !failed; ++i) {
      write_page(writer, fonts, painter.compose_page(document, i), page);
    }
  } catch (const FontMissing&) {
    return PdfOutcome::FontNotEmbeddable;
  }
  writer.finish(title.toStdU16String(), QStringLiteral("ВКТ-РС7").toStdU16String());
  return failed ? PdfOutcome::WriteFailed : PdfOutcome::Written;
}

}  // namespace vkt::report
