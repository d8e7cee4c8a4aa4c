#include "output/report/reportpainter.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace vkt::report {

namespace {

constexpr qreal kMmPerInch = 25.4;
// Shaped texts kept at most (a few kilobytes each); a report of ever new values starts over past
// this.
constexpr std::size_t kMaxShapedTexts = 4'000;
// A cell's font shrinks in these steps, down to this size, until its widest word fits.
constexpr double kShrinkStep = 0.5;
constexpr double kSmallestPointSize = 5.0;

// Cuts a word wider than the line into pieces that fit, at least one character each.
void break_word(const QString& word, const QFontMetricsF& metrics, qreal max_width, QStringList& lines) {
  QString piece;
  for (const QChar c : word) {
    if (!piece.isEmpty() && metrics.horizontalAdvance(piece + c) > max_width) {
      lines << piece;
      piece.clear();
    }
    piece += c;
  }
  if (!piece.isEmpty()) {
    lines << piece;
  }
}

void wrap_paragraph(const QString& paragraph, const QFontMetricsF& metrics, qreal max_width,
                    QStringList& lines) {
  if (metrics.horizontalAdvance(paragraph) <= max_width) {
    lines << paragraph;
    return;
  }
  QString line;
  for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    if (metrics.horizontalAdvance(joined) <= max_width) {
      line = joined;
      continue;
    }
    if (!line.isEmpty()) {
      lines << line;
      line.clear();
    }
    if (metrics.horizontalAdvance(word) <= max_width) {
      line = word;
    } else {
      break_word(word, metrics, max_width, lines);
      line = lines.takeLast();
    }
  }
  if (!line.isEmpty()) {
    lines << line;
  }
}

// The frames of a page as the lines they are made of: an edge that neighbouring cells share is
// drawn once, and the edges along one row or column that meet, overlap or leave a gap narrower
// than the pen are one line. The pen's square caps cover the corners as the frames' mitred joins
// did; a PDF page then holds a few dozen lines instead of four edges per cell.
std::vector<QLineF> frame_lines(const std::vector<QRectF>& boxes, qreal pen_width) {
  struct Edges {
    qreal at = 0;
    std::vector<std::pair<qreal, qreal>> spans;
  };
  // Edges are grouped by their position to a thousandth of a device unit, so that a shared edge
  // computed from two cells' own positions is still one edge.
  const auto key = [](qreal v) { return std::llround(v * 1000); };
  std::map<long long, Edges> horizontal;
  std::map<long long, Edges> vertical;
  const auto add = [&key](std::map<long long, Edges>& edges, qreal at, qreal from, qreal to) {
    Edges& e = edges[key(at)];
    e.at = at;
    e.spans.emplace_back(from, to);
  };
  for (const QRectF& box : boxes) {
    add(horizontal, box.top(), box.left(), box.right());
    add(horizontal, box.bottom(), box.left(), box.right());
    add(vertical, box.left(), box.top(), box.bottom());
    add(vertical, box.right(), box.top(), box.bottom());
  }
  std::vector<QLineF> lines;
  const auto merge = [&lines, pen_width](std::map<long long, Edges>& edges, bool across) {
    for (auto& entry : edges) {
      Edges& e = entry.second;
      std::sort(e.spans.begin(), e.spans.end());
      std::pair<qreal, qreal> run = e.spans.front();
      const auto flush = [&] {
        lines.push_back(across ? QLineF(run.first, e.at, run.second, e.at)
                               : QLineF(e.at, run.first, e.at, run.second));
      };
      for (const auto& span : e.spans) {
        // Edges closer than the pen's width are one line: the square caps close such a gap.
        if (span.first <= run.second + pen_width) {
          run.second = std::max(run.second, span.second);
        } else {
          flush();
          run = span;
        }
      }
      flush();
    }
  };
  merge(horizontal, true);
  merge(vertical, false);
  return lines;
}

qreal widest_word(const QFontMetricsF& metrics, const std::string& text) {
  const QString whole = QString::fromStdString(text);
  qreal widest = 0;
  qsizetype start = 0;
  for (qsizetype i = 0; i <= whole.size(); ++i) {
    if (i == whole.size() || whole[i].isSpace()) {
      if (i > start) {
        widest = std::max(widest, metrics.horizontalAdvance(whole.mid(start, i - start)));
      }
      start = i + 1;
    }
  }
  return widest;
}

// A cache key: a font entry's address, a width in hundredths of a unit, and a text.
std::string text_key(const void* font, qreal width, const std::string& text) {
  const auto hundredths = static_cast<long long>(std::llround(width * 100));
  std::string key(sizeof font + sizeof hundredths, '\0');
  std::memcpy(key.data(), &font, sizeof font);
  std::memcpy(key.data() + sizeof font, &hundredths, sizeof hundredths);
  key += text;
  return key;
}

}  // namespace

QStringList wrap_text(const QString& text, const QFontMetricsF& metrics, qreal max_width) {
  QStringList lines;
  QString flat = text;
  flat.remove(QLatin1Char('\r'));
  for (const QString& paragraph : flat.split(QLatin1Char('\n'))) {
    wrap_paragraph(paragraph, metrics, max_width, lines);
  }
  return lines;
}

ReportPainter::ReportPainter(const QPaintDevice* device)
    : device_(device),
      dpmm_x_(device->logicalDpiX() / kMmPerInch),
      dpmm_y_(device->logicalDpiY() / kMmPerInch) {}

const ReportPainter::FontEntry& ReportPainter::font_for(const CellFont& font) {
  const auto key = std::make_pair(
      font.family, std::make_pair(static_cast<int>(std::lround(font.point_size * 10)), font.bold));
  auto it = fonts_.find(key);
  if (it == fonts_.end()) {
    QFont qfont(QString::fromStdString(font.family));
    qfont.setPointSizeF(font.point_size);
    qfont.setBold(font.bold);
    // The same line breaks on screen, on paper and in PDF.
    qfont.setHintingPreference(QFont::PreferNoHinting);
    it = fonts_.emplace(key, FontEntry{qfont, QFontMetricsF(qfont, device_)}).first;
  }
  return it->second;
}

ReportPainter::PageDrawing ReportPainter::compose_page(const ReportDocument& document, int index) {
  // The texts of one page point into the caches: they are emptied between pages, never during one.
  if (shaped_.size() >= kMaxShapedTexts) {
    shaped_.clear();
  }
  if (fitted_.size() >= kMaxShapedTexts) {
    fitted_.clear();
  }
  const std::vector<PlacedCell> cells = document.page_cells(index);
  PageDrawing drawing;
  drawing.frame_width = kFrameLineWidth * dpmm_x_;
  std::vector<QRectF> frames;
  for (const PlacedCell& placed : cells) {
    if (placed.cell->frame == Frame::Box) {
      frames.push_back(box_of(placed));
    }
  }
  if (!frames.empty()) {
    drawing.frames = frame_lines(frames, drawing.frame_width);
  }
  for (const PlacedCell& placed : cells) {
    place_cell(placed, drawing.texts);
  }
  return drawing;
}

void ReportPainter::paint_page(QPainter& painter, const ReportDocument& document, int index) {
  const PageDrawing drawing = compose_page(document, index);
  painter.save();
  painter.setBrush(Qt::NoBrush);
  // All frames with one pen, then all texts: every change of pen or font is a change of state
  // written into a PDF page.
  QPen pen(Qt::black);
  pen.setWidthF(drawing.frame_width);
  pen.setJoinStyle(Qt::MiterJoin);
  pen.setCapStyle(Qt::SquareCap);
  painter.setPen(pen);
  if (!drawing.frames.empty()) {
    painter.drawLines(drawing.frames.data(), static_cast<int>(drawing.frames.size()));
  }
  painter.setPen(Qt::black);
  for (const PlacedLine& text : drawing.texts) {
    text.line->layout->draw(&painter, text.at);
  }
  painter.restore();
}

QRectF ReportPainter::box_of(const PlacedCell& placed) const {
  return {placed.left * dpmm_x_, placed.top * dpmm_y_, placed.width * dpmm_x_, placed.height * dpmm_y_};
}

void ReportPainter::place_cell(const PlacedCell& placed, std::vector<PlacedLine>& out) {
  const Cell& cell = *placed.cell;
  const QRectF box = box_of(placed);
  if (placed.text.empty()) {
    return;
  }
  const QRectF inner = box.adjusted(kCellPaddingX * dpmm_x_, kCellPaddingY * dpmm_y_,
                                    -kCellPaddingX * dpmm_x_, -kCellPaddingY * dpmm_y_);
  const FontEntry* fitted = &font_for(cell.font);
  const ShapedText* wrapped = &shaped(*fitted, placed.text, inner.width());
  if (wrapped->lines.size() > 1) {
    fitted = &fitting_font(cell.font, placed.text, inner.width());
    wrapped = &shaped(*fitted, placed.text, inner.width());
  }
  const FontEntry& entry = *fitted;
  const QFontMetricsF& fm = entry.metrics;
  const ShapedText& text = *wrapped;

  // The row keeps its height: lines that do not fit are left out (the first one always prints).
  const qreal spacing = kLineSpacing * dpmm_y_;
  const qreal line_height = fm.height();
  const auto fitting = static_cast<std::size_t>(
      std::max(0.0, std::floor((inner.height() + spacing) / (line_height + spacing))));
  const std::size_t shown = std::min(text.lines.size(), std::max<std::size_t>(fitting, 1));
  const qreal block = static_cast<qreal>(shown) * line_height + static_cast<qreal>(shown - 1) * spacing;
  qreal y = inner.top();
  if (cell.valign == VAlign::Middle) {
    y += (inner.height() - block) / 2;
  } else if (cell.valign == VAlign::Bottom) {
    y += inner.height() - block;
  }

  for (std::size_t i = 0; i < shown; ++i) {
    const ShapedLine& line = text.lines[i];
    qreal x = inner.left();
    if (cell.halign != HAlign::Left) {
      const qreal free = inner.width() - line.advance;
      x += cell.halign == HAlign::Center ? free / 2 : free;
    }
    out.push_back({&line, QPointF(x, y + fm.ascent() - line.ascent)});
    y += line_height + spacing;
  }
}

ReportPainter::ShapedLine ReportPainter::lay_out_line(const FontEntry& entry, const QString& line,
                                                      qreal width) const {
  ShapedLine shaped_line;
  shaped_line.layout = std::make_unique<QTextLayout>(line, entry.font, const_cast<QPaintDevice*>(device_));
  QTextLayout& layout = *shaped_line.layout;
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine text_line = layout.createLine();
  if (text_line.isValid()) {
    text_line.setLineWidth(width);
    text_line.setPosition(QPointF(0, 0));
    shaped_line.ascent = text_line.ascent();
    shaped_line.advance = text_line.horizontalAdvance();
  }
  layout.endLayout();
  shaped_line.text = line;
  shaped_line.runs = layout.glyphRuns();
  return shaped_line;
}

const ReportPainter::FontEntry& ReportPainter::fitting_font(const CellFont& font, const std::string& text,
                                                            qreal width) {
  const FontEntry* fitted = &font_for(font);
  std::string key = text_key(fitted, width, text);
  if (const auto found = fitted_.find(key); found != fitted_.end()) {
    return *found->second;
  }
  // A word wider than its cell is not broken inside: the cell's font shrinks until the word
  // fits, as spreadsheet programs do.
  CellFont smaller = font;
  while (smaller.point_size > kSmallestPointSize && widest_word(fitted->metrics, text) > width) {
    smaller.point_size = std::max(kSmallestPointSize, smaller.point_size - kShrinkStep);
    fitted = &font_for(smaller);
  }
  fitted_.emplace(std::move(key), fitted);
  return *fitted;
}

const ReportPainter::ShapedText& ReportPainter::shaped(const FontEntry& entry, const std::string& text,
                                                       qreal width) {
  std::string key = text_key(&entry, width, text);
  const auto found = shaped_.find(key);
  if (found != shaped_.end()) {
    return found->second;
  }
  ShapedText result;
  const QString whole = QString::fromStdString(text);
  // Most texts are one line that fits: laid out once, measured by that same layout.
  if (!whole.contains(QLatin1Char('\n')) && !whole.contains(QLatin1Char('\r'))) {
    ShapedLine line = lay_out_line(entry, whole, width);
    if (line.advance <= width) {
      result.lines.push_back(std::move(line));
      return shaped_.emplace(std::move(key), std::move(result)).first->second;
    }
  }
  for (const QString& line : wrap_text(whole, entry.metrics, width)) {
    result.lines.push_back(lay_out_line(entry, line, width));
  }
  return shaped_.emplace(std::move(key), std::move(result)).first->second;
}

}  // namespace vkt::report
