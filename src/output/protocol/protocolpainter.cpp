#include "output/protocol/protocolpainter.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

namespace vkt::protocol {

namespace {

constexpr qreal kMmPerInch = 25.4;
constexpr char kFontFamily[] = "Arial";

// Margins of the page, mm: the wider left one leaves room for binding.
constexpr double kLeft = 20;
constexpr double kRight = kPageWidthMm - 10;
constexpr double kTop = 12;
constexpr double kBottom = kPageHeightMm - 12;
constexpr double kWidth = kRight - kLeft;

// Font sizes, points.
constexpr double kTitleSize = 15;
constexpr double kSubtitleSize = 10;
constexpr double kTextSize = 10;
constexpr double kTableSize = 9.5;
constexpr double kSmallSize = 8;
constexpr double kVerdictSize = 13;
// A text that does not fit shrinks in steps down to this size.
constexpr double kSmallestSize = 6;
constexpr double kShrinkStep = 0.5;

constexpr double kThinLine = 0.2;
constexpr double kFrameLine = 0.35;
constexpr double kCurveLine = 0.4;
// A curve's samples closer than this to the straight line through their neighbours kept are left
// out of its path, mm: far below the line's width, and most of a flat or straight stretch goes.
constexpr double kCurveTolerance = 0.05;

// The three drops in print: told apart by dash pattern as well as colour, for black-and-white
// printers.
const QColor kDropColours[3] = {QColor(0, 0, 0), QColor(0, 70, 200), QColor(200, 30, 30)};
constexpr Qt::PenStyle kDropStyles[3] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine};
const QColor kGridColour(200, 200, 200);
const QColor kLabelColour(80, 80, 80);
const QColor kFailColour(170, 0, 0);

constexpr char kDash[] = "—";

QString utf8(const std::string& text) {
  return QString::fromStdString(text);
}

QString or_dash(const std::string& text) {
  return text.empty() ? QString::fromUtf8(kDash) : utf8(text);
}

QString value_or_dash(const std::optional<double>& value, int decimals) {
  return value ? decimal(*value, decimals) : QString::fromUtf8(kDash);
}

// A force stored in whole newtons, in kN to the nearest 10 N (halves up, as the newtons say, not
// as the nearest binary fraction of the quotient would).
QString kilonewtons(const std::optional<double>& newtons) {
  return newtons ? decimal(std::round(*newtons / 10) / 100, 2) : QString::fromUtf8(kDash);
}

// A step of 1, 2 or 5 × 10^k that divides `span` into about `parts` parts.
double nice_step(double span, int parts) {
  const double rough = span / parts;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * power >= rough) {
      return m * power;
    }
  }
  return 10 * power;
}

struct Axis {
  double low = 0;
  double high = 1;
  double step = 1;
};

Axis axis_for(double low, double high, int parts) {
  low = std::min(low, 0.0);
  if (high <= low) {
    high = low + 1;
  }
  Axis axis;
  axis.step = nice_step(high - low, parts);
  axis.low = std::floor(low / axis.step) * axis.step;
  axis.high = std::ceil(high / axis.step) * axis.step;
  return axis;
}

std::optional<double> mean_pulse(const ProtocolPoint& point) {
  if (!point.evaluation.drops) {
    return std::nullopt;
  }
  double sum = 0;
  int n = 0;
  for (const image::DropAnalysis& drop : *point.evaluation.drops) {
    if (drop.pulse_ms) {
      sum += *drop.pulse_ms;
      ++n;
    }
  }
  return n > 0 ? std::optional<double>(sum / n) : std::nullopt;
}

QString verdict_words(const ProtocolPoint& point) {
  return QString::fromUtf8(measurement::verdict_text(point.evaluation.verdict).data());
}

// The points of a polyline that keep it within `tolerance` of the original (Douglas-Peucker): the
// first and last always, between two kept points the one farthest from their chord when it lies
// farther than the tolerance.
std::vector<QPointF> simplified(const std::vector<QPointF>& points, qreal tolerance) {
  if (points.size() < 3) {
    return points;
  }
  std::vector<bool> keep(points.size(), false);
  keep.front() = keep.back() = true;
  std::vector<std::pair<std::size_t, std::size_t>> spans = {{0, points.size() - 1}};
  while (!spans.empty()) {
    const auto [first, last] = spans.back();
    spans.pop_back();
    const QPointF a = points[first];
    const QPointF chord = points[last] - a;
    const qreal length = std::hypot(chord.x(), chord.y());
    qreal farthest = -1;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
      const QPointF d = points[i] - a;
      const qreal distance =
          length > 0 ? std::abs(chord.x() * d.y() - chord.y() * d.x()) / length : std::hypot(d.x(), d.y());
      if (distance > farthest) {
        farthest = distance;
        at = i;
      }
    }
    if (farthest > tolerance) {
      keep[at] = true;
      spans.emplace_back(first, at);
      spans.emplace_back(at, last);
    }
  }
  std::vector<QPointF> kept;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (keep[i]) {
      kept.push_back(points[i]);
    }
  }
  return kept;
}

}  // namespace

QString decimal(double value, int decimals) {
  // No "-0" for a small negative value.
  if (std::abs(value) < 0.5 * std::pow(10.0, -decimals)) {
    value = 0;
  }
  return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString flags_text(const image::DropFlags& flags) {
  QStringList words;
  if (flags.pulse_out_of_range) {
    words << QStringLiteral("импульс вне допуска");
  }
  if (flags.clipped) {
    words << QStringLiteral("сигнал ограничен");
  }
  if (flags.flat) {
    words << QStringLiteral("нет сигнала");
  }
  return words.join(QStringLiteral(", "));
}

ProtocolPainter::ProtocolPainter(const QPaintDevice* device)
    : device_(device),
      dpmm_x_(device->logicalDpiX() / kMmPerInch),
      dpmm_y_(device->logicalDpiY() / kMmPerInch) {}

const ProtocolPainter::FontEntry& ProtocolPainter::font(double point_size, bool bold) {
  const auto key = std::make_pair(static_cast<int>(std::lround(point_size * 10)), bold);
  auto it = fonts_.find(key);
  if (it == fonts_.end()) {
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPointSizeF(point_size);
    f.setBold(bold);
    // The same widths on screen, on paper and in PDF.
    f.setHintingPreference(QFont::PreferNoHinting);
    it = fonts_.emplace(key, FontEntry{f, QFontMetricsF(f, device_)}).first;
  }
  return it->second;
}

QRectF ProtocolPainter::box(double left, double top, double width, double height) const {
  return QRectF(x(left), y(top), x(width), y(height));
}

void ProtocolPainter::text(QPainter& painter, const QRectF& area, const QString& text, double point_size,
                           bool bold, int alignment) {
  double size = point_size;
  while (size > kSmallestSize && font(size, bold).metrics.horizontalAdvance(text) > area.width()) {
    size -= kShrinkStep;
  }
  const FontEntry& entry = font(size, bold);
  painter.setFont(entry.font);
  painter.drawText(area, alignment | Qt::TextSingleLine,
                   entry.metrics.elidedText(text, Qt::ElideRight, area.width()));
}

double ProtocolPainter::title(QPainter& painter, const QString& line1, const QString& line2) {
  painter.setPen(Qt::black);
  text(painter, box(kLeft, kTop, kWidth, 8), line1, kTitleSize, true, Qt::AlignHCenter | Qt::AlignVCenter);
  text(painter, box(kLeft, kTop + 8, kWidth, 6), line2, kSubtitleSize, false,
       Qt::AlignHCenter | Qt::AlignVCenter);
  painter.setPen(QPen(Qt::black, pen(kFrameLine)));
  painter.drawLine(QPointF(x(kLeft), y(kTop + 15.5)), QPointF(x(kRight), y(kTop + 15.5)));
  return kTop + 18;
}

double ProtocolPainter::header(QPainter& painter, const Protocol& protocol, const ProtocolPoint& point,
                               double top) {
  const measurement::ObjectParameters& p = protocol.parameters;
  QString instrument = utf8(protocol.instrument);
  if (!p.instrument_serial.empty()) {
    instrument += QStringLiteral(", зав. № ") + utf8(p.instrument_serial);
  }
  if (!p.instrument_firmware.empty()) {
    instrument += QStringLiteral(", ПО ") + utf8(p.instrument_firmware);
  }
  QString when = utf8(point.date);
  if (!point.time.empty()) {
    when += QStringLiteral("  ") + utf8(point.time);
  }
  struct Pair {
    QString label;
    QString value;
  };
  // A row of one pair across the page, or of two pairs side by side.
  const std::vector<std::vector<Pair>> rows = {
      {{QStringLiteral("Объект:"), or_dash(p.object)}},
      {{QStringLiteral("Слой:"), or_dash(p.layer)}},
      {{QStringLiteral("Точка №:"), or_dash(point.number)},
       {QStringLiteral("Дата и время:"), when.isEmpty() ? QString::fromUtf8(kDash) : when}},
      {{QStringLiteral("Оператор:"), or_dash(p.operator_name)}, {QStringLiteral("Прибор:"), instrument}},
      {{QStringLiteral("Зависимость:"), or_dash(point.dependency)},
       {QStringLiteral("Материал:"), or_dash(point.material)}},
      {{QStringLiteral("µ:"), or_dash(point.mu)}, {QStringLiteral("Примечание:"), or_dash(point.comment)}},
  };
  constexpr double kRow = 6;
  constexpr double kLabel = 27;
  double row_top = top;
  for (const auto& row : rows) {
    const double cell = kWidth / static_cast<double>(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
      const double left = kLeft + cell * static_cast<double>(i);
      painter.setPen(kLabelColour);
      text(painter, box(left, row_top, kLabel, kRow), row[i].label, kTextSize, false,
           Qt::AlignLeft | Qt::AlignVCenter);
      painter.setPen(Qt::black);
      text(painter, box(left + kLabel, row_top, cell - kLabel - 2, kRow), row[i].value, kTextSize, true,
           Qt::AlignLeft | Qt::AlignVCenter);
      painter.setPen(QPen(kGridColour, pen(kThinLine)));
      painter.drawLine(QPointF(x(left + kLabel), y(row_top + kRow - 0.8)),
                       QPointF(x(left + cell - 2), y(row_top + kRow - 0.8)));
    }
    row_top += kRow;
  }
  return row_top + 3;
}

double ProtocolPainter::drop_table(QPainter& painter, const ProtocolPoint& point, double top) {
  painter.setPen(Qt::black);
  text(painter, box(kLeft, top, kWidth, 6), QStringLiteral("Результаты измерений"), 11, true,
       Qt::AlignLeft | Qt::AlignVCenter);
  top += 7;
  struct Column {
    double width;
    QString title;
  };
  const Column columns[] = {
      {20, QStringLiteral("Сброс")},
      {24, QStringLiteral("Fmax, кН")},
      {22, QStringLiteral("s, мкм")},
      {26, QStringLiteral("Evd, МН/м²")},
      {24, QStringLiteral("Импульс, мс")},
      {22, QStringLiteral("s/v, мс")},
      {kWidth - 138, QStringLiteral("Замечания")},
  };
  constexpr double kHead = 8;
  constexpr double kRow = 6.5;
  const auto& drops = point.evaluation.drops;
  std::vector<std::array<QString, 7>> rows;
  for (std::size_t k = 0; k < 3; ++k) {
    const StoredDrop& stored = point.drops[k];
    const image::DropAnalysis* derived = drops ? &(*drops)[k] : nullptr;
    rows.push_back({QString::number(k + 1), kilonewtons(stored.force_n),
                    value_or_dash(stored.settlement_um, 0), value_or_dash(stored.modulus, 0),
                    derived ? value_or_dash(derived->pulse_ms, 1) : QString::fromUtf8(kDash),
                    derived ? value_or_dash(derived->s_over_v_ms, 2) : QString::fromUtf8(kDash),
                    derived ? flags_text(derived->flags) : QString()});
  }
  rows.push_back({QStringLiteral("Среднее"), kilonewtons(point.mean_force),
                  value_or_dash(point.mean_settlement, 0), value_or_dash(point.mean_modulus, 0),
                  value_or_dash(mean_pulse(point), 1), value_or_dash(point.evaluation.s_over_v_ms, 2),
                  point.evaluation.drops_differ ? QStringLiteral("осадки сбросов различаются") : QString()});

  const double height = kHead + kRow * static_cast<double>(rows.size());
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(235, 235, 235));
  painter.drawRect(box(kLeft, top, kWidth, kHead));
  painter.setBrush(Qt::NoBrush);
  double left = kLeft;
  for (const Column& column : columns) {
    painter.setPen(Qt::black);
    text(painter, box(left + 1, top, column.width - 2, kHead), column.title, kTableSize, true,
         Qt::AlignCenter);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::size_t c = static_cast<std::size_t>(&column - columns);
      const bool last = c + 1 == std::size(columns);
      const bool mean = r + 1 == rows.size();
      painter.setPen(last ? kFailColour : QColor(Qt::black));
      text(painter, box(left + 1, top + kHead + kRow * static_cast<double>(r), column.width - 2, kRow),
           rows[r][c], last ? kSmallSize : kTableSize, mean && !last,
           last ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
    left += column.width;
  }
  // The grid: the frame, the line under the heads and above the means heavier.
  painter.setPen(QPen(Qt::black, pen(kThinLine)));
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const double line = top + kHead + kRow * static_cast<double>(r);
    painter.drawLine(QPointF(x(kLeft), y(line)), QPointF(x(kRight), y(line)));
  }
  left = kLeft;
  for (std::size_t c = 0; c + 1 < std::size(columns); ++c) {
    left += columns[c].width;
    painter.drawLine(QPointF(x(left), y(top)), QPointF(x(left), y(top + height)));
  }
  painter.setPen(QPen(Qt::black, pen(kFrameLine)));
  painter.drawRect(box(kLeft, top, kWidth, height));
  painter.drawLine(QPointF(x(kLeft), y(top + kHead)), QPointF(x(kRight), y(top + kHead)));
  const double means = top + kHead + kRow * 3;
  painter.drawLine(QPointF(x(kLeft), y(means)), QPointF(x(kRight), y(means)));
  return top + height + 4;
}

double ProtocolPainter::verdict(QPainter& painter, const Protocol& protocol, const ProtocolPoint& point,
                                double top) {
  const std::optional<double>& required = protocol.parameters.required_modulus;
  constexpr double kLine = 6;
  painter.setPen(Qt::black);
  text(painter, box(kLeft, top, kWidth, kLine),
       QStringLiteral("Требуемый модуль упругости Evd,треб: %1")
           .arg(required ? decimal(*required, *required == std::floor(*required) ? 0 : 1) +
                               QStringLiteral(" МН/м²")
                         : QStringLiteral("не задан")),
       kTextSize, false, Qt::AlignLeft | Qt::AlignVCenter);
  text(painter, box(kLeft, top + kLine, kWidth, kLine),
       QStringLiteral("Модуль упругости Evd (среднее по трём сбросам, по данным прибора): %1")
           .arg(point.mean_modulus ? decimal(*point.mean_modulus, 0) + QStringLiteral(" МН/м²")
                                   : QString::fromUtf8(kDash)),
       kTextSize, false, Qt::AlignLeft | Qt::AlignVCenter);
  const measurement::Verdict v = point.evaluation.verdict;
  const QString conclusion =
      v == measurement::Verdict::None
          ? (required ? QStringLiteral("нет значения модуля упругости") : QStringLiteral("не выносится"))
          : QStringLiteral("%1 требованию").arg(verdict_words(point));
  painter.setPen(v == measurement::Verdict::Fails ? kFailColour : QColor(Qt::black));
  text(painter, box(kLeft, top + 2 * kLine, kWidth, 8), QStringLiteral("Заключение: ") + conclusion,
       kVerdictSize, true, Qt::AlignLeft | Qt::AlignVCenter);
  double bottom = top + 2 * kLine + 8;
  if (point.evaluation.implausible()) {
    painter.setPen(kFailColour);
    text(painter, box(kLeft, bottom, kWidth, 5),
         QStringLiteral("Внимание: по осциллограммам испытание сомнительно (см. замечания); "
                        "заключение дано по модулю, измеренному прибором."),
         kSmallSize, false, Qt::AlignLeft | Qt::AlignVCenter);
    bottom += 5;
  }
  return bottom + 3;
}

void ProtocolPainter::chart(QPainter& painter, const ProtocolPoint& point, bool force, const QRectF& frame) {
  // frame is in mm: the title line, then the plot with room for the scale on the left and below.
  constexpr double kTitle = 6;
  constexpr double kScaleLeft = 14;
  constexpr double kScaleBelow = 9;
  const double scale = force ? 0.001 : 1;  // force in kN
  const auto& curves = *point.curves;
  double low = 0;
  double high = 0;
  std::size_t samples = 0;
  for (const auto& curve : curves) {
    if (!curve) {
      continue;
    }
    const std::vector<double>& values = force ? curve->force_n : curve->displacement_um;
    for (const double v : values) {
      low = std::min(low, v * scale);
      high = std::max(high, v * scale);
    }
    samples = std::max(samples, values.size());
  }
  const double duration_ms =
      static_cast<double>(std::max<std::size_t>(samples, 1) - 1) * image::kSampleSpacingMs;
  const Axis vertical = axis_for(low, high, 5);
  const Axis horizontal{0, duration_ms, 5};

  painter.setPen(Qt::black);
  text(painter, box(frame.left(), frame.top(), frame.width() * 0.55, kTitle),
       force ? QStringLiteral("Сила удара F, кН") : QStringLiteral("Осадка штампа s, мкм"), 10, true,
       Qt::AlignLeft | Qt::AlignVCenter);
  // The legend, on the title's line.
  double legend = frame.right();
  for (int k = 2; k >= 0; --k) {
    const double width = 22;
    legend -= width;
    painter.setPen(QPen(kDropColours[k], pen(kCurveLine), kDropStyles[k]));
    const double mid = frame.top() + kTitle / 2;
    painter.drawLine(QPointF(x(legend), y(mid)), QPointF(x(legend + 8), y(mid)));
    painter.setPen(Qt::black);
    text(painter, box(legend + 9, frame.top(), width - 9, kTitle), QStringLiteral("Сброс %1").arg(k + 1),
         kSmallSize, false, Qt::AlignLeft | Qt::AlignVCenter);
  }

  const double plot_left = frame.left() + kScaleLeft;
  const double plot_top = frame.top() + kTitle + 1;
  const double plot_width = frame.right() - plot_left;
  const double plot_height = frame.bottom() - kScaleBelow - plot_top;
  const auto to_x = [&](double t) {
    return x(plot_left + (t - horizontal.low) / (horizontal.high - horizontal.low) * plot_width);
  };
  const auto to_y = [&](double v) {
    return y(plot_top + plot_height - (v - vertical.low) / (vertical.high - vertical.low) * plot_height);
  };
  // Grid and scales.
  for (double t = horizontal.low; t <= horizontal.high + 1e-9; t += horizontal.step) {
    painter.setPen(QPen(kGridColour, pen(kThinLine)));
    painter.drawLine(QPointF(to_x(t), y(plot_top)), QPointF(to_x(t), y(plot_top + plot_height)));
    painter.setPen(Qt::black);
    text(painter, QRectF(to_x(t) - x(6), y(plot_top + plot_height + 0.5), x(12), y(4)), decimal(t, 0),
         kSmallSize, false, Qt::AlignHCenter | Qt::AlignTop);
  }
  const int decimals = vertical.step < 1 ? (vertical.step < 0.1 ? 2 : 1) : 0;
  for (double v = vertical.low; v <= vertical.high + vertical.step * 1e-6; v += vertical.step) {
    painter.setPen(QPen(kGridColour, pen(kThinLine)));
    painter.drawLine(QPointF(x(plot_left), to_y(v)), QPointF(x(plot_left + plot_width), to_y(v)));
    painter.setPen(Qt::black);
    text(painter, QRectF(x(frame.left()), to_y(v) - y(2), x(kScaleLeft - 1.5), y(4)), decimal(v, decimals),
         kSmallSize, false, Qt::AlignRight | Qt::AlignVCenter);
  }
  painter.setPen(Qt::black);
  text(painter, box(plot_left + plot_width - 30, plot_top + plot_height + 4.5, 30, 4.5),
       QStringLiteral("время t, мс"), kSmallSize, false, Qt::AlignRight | Qt::AlignVCenter);
  painter.setPen(QPen(Qt::black, pen(kFrameLine)));
  painter.drawRect(box(plot_left, plot_top, plot_width, plot_height));

  // The curves, as vectors.
  painter.save();
  painter.setClipRect(box(plot_left, plot_top, plot_width, plot_height));
  for (std::size_t k = 0; k < curves.size(); ++k) {
    if (!curves[k]) {
      continue;
    }
    const std::vector<double>& values = force ? curves[k]->force_n : curves[k]->displacement_um;
    std::vector<QPointF> samples;
    samples.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      samples.emplace_back(to_x(static_cast<double>(i) * image::kSampleSpacingMs), to_y(values[i] * scale));
    }
    QPainterPath path;
    const std::vector<QPointF> points = simplified(samples, x(kCurveTolerance));
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i == 0) {
        path.moveTo(points[i]);
      } else {
        path.lineTo(points[i]);
      }
    }
    QPen line(kDropColours[k], pen(kCurveLine), kDropStyles[k]);
    line.setJoinStyle(Qt::RoundJoin);
    painter.setPen(line);
    painter.drawPath(path);
  }
  painter.restore();
}

void ProtocolPainter::curves(QPainter& painter, const ProtocolPoint& point, double top, double bottom) {
  painter.setPen(Qt::black);
  text(painter, box(kLeft, top, kWidth, 6), QStringLiteral("Осциллограммы сбросов"), 11, true,
       Qt::AlignLeft | Qt::AlignVCenter);
  top += 7;
  if (!point.curves) {
    painter.setPen(QPen(kGridColour, pen(kFrameLine)));
    painter.drawRect(box(kLeft, top, kWidth, bottom - top));
    painter.setPen(Qt::black);
    text(painter, box(kLeft, top, kWidth, bottom - top),
         point.waveforms_damaged ? QStringLiteral("Осциллограммы повреждены (не сходится контрольная сумма)")
                                 : QStringLiteral("Осциллограммы не сохранены"),
         12, false, Qt::AlignCenter);
    return;
  }
  const double half = (bottom - top) / 2;
  chart(painter, point, false, QRectF(kLeft, top, kWidth, half - 2));
  chart(painter, point, true, QRectF(kLeft, top + half + 2, kWidth, half - 2));
}

void ProtocolPainter::footer(QPainter& painter, const Protocol& protocol, int index) {
  painter.setPen(QPen(Qt::black, pen(kThinLine)));
  painter.drawLine(QPointF(x(kLeft), y(kBottom - 5)), QPointF(x(kRight), y(kBottom - 5)));
  painter.setPen(kLabelColour);
  QString source = QStringLiteral("Протокол составлен программой ВКТ-РС7");
  if (!protocol.source_file.empty()) {
    source += QStringLiteral(" по файлу ") + utf8(protocol.source_file);
  }
  text(painter, box(kLeft, kBottom - 4.5, kWidth - 30, 4.5), source, kSmallSize, false,
       Qt::AlignLeft | Qt::AlignVCenter);
  text(painter, box(kRight - 30, kBottom - 4.5, 30, 4.5),
       QStringLiteral("Стр. %1 из %2").arg(index + 1).arg(protocol.page_count()), kSmallSize, false,
       Qt::AlignRight | Qt::AlignVCenter);
}

void ProtocolPainter::point_page(QPainter& painter, const Protocol& protocol, int index) {
  const ProtocolPoint& point = protocol.points[static_cast<std::size_t>(index)];
  double top = title(painter, QStringLiteral("ПРОТОКОЛ ИСПЫТАНИЯ № %1").arg(or_dash(point.number)),
                     QStringLiteral("Определение динамического модуля упругости "
                                    "прибором с падающим грузом, штамп ∅ 300 мм"));
  top = header(painter, protocol, point, top);
  top = drop_table(painter, point, top);
  top = verdict(painter, protocol, point, top);
  // The signature above the footer.
  const double signature = kBottom - 14;
  painter.setPen(Qt::black);
  QString signer = QStringLiteral("Испытание провёл: ______________________");
  if (!protocol.parameters.operator_name.empty()) {
    signer += QStringLiteral("  / ") + utf8(protocol.parameters.operator_name) + QStringLiteral(" /");
  }
  text(painter, box(kLeft, signature, kWidth, 6), signer, kTextSize, false, Qt::AlignLeft | Qt::AlignVCenter);
  curves(painter, point, top, signature - 4);
  footer(painter, protocol, index);
}

void ProtocolPainter::summary_page(QPainter& painter, const Protocol& protocol, int index) {
  const measurement::ObjectParameters& p = protocol.parameters;
  const measurement::EvaluationSummary& s = protocol.summary;
  double top = title(painter, QStringLiteral("СВОДКА РЕЗУЛЬТАТОВ ИСПЫТАНИЙ"),
                     QStringLiteral("Динамический модуль упругости Evd по точкам протокола"));
  const QString required =
      p.required_modulus
          ? decimal(*p.required_modulus, *p.required_modulus == std::floor(*p.required_modulus) ? 0 : 1) +
                QStringLiteral(" МН/м²")
          : QStringLiteral("не задан");
  QString share = QStringLiteral("не оценивается: требуемый модуль не задан");
  if (const auto fraction = s.share_passing()) {
    share = QStringLiteral("%1 из %2 (%3 %)").arg(s.passing).arg(s.judged).arg(decimal(*fraction * 100, 0));
  }
  const bool moduli = s.points > 0;
  const auto modulus = [&](double v, int decimals) {
    return moduli ? decimal(v, decimals) : QString::fromUtf8(kDash);
  };
  const std::vector<std::pair<QString, QString>> rows = {
      {QStringLiteral("Объект"), or_dash(p.object)},
      {QStringLiteral("Слой"), or_dash(p.layer)},
      {QStringLiteral("Оператор"), or_dash(p.operator_name)},
      {QStringLiteral("Требуемый модуль упругости Evd,треб"), required},
      {QStringLiteral("Количество точек"), QString::number(protocol.points.size())},
      {QStringLiteral("Средний модуль упругости Evd, МН/м²"), modulus(s.mean, 1)},
      {QStringLiteral("Стандартное отклонение, МН/м²"), modulus(s.standard_deviation, 1)},
      {QStringLiteral("Минимум, МН/м²"), modulus(s.minimum, 0)},
      {QStringLiteral("Максимум, МН/м²"), modulus(s.maximum, 0)},
      {QStringLiteral("Соответствуют требованию"), share},
  };
  constexpr double kRow = 7.5;
  constexpr double kLabel = 95;
  top += 2;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double row_top = top + kRow * static_cast<double>(r);
    painter.setPen(Qt::black);
    text(painter, box(kLeft + 2, row_top, kLabel - 4, kRow), rows[r].first, 11, false,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(painter, box(kLeft + kLabel + 2, row_top, kWidth - kLabel - 4, kRow), rows[r].second, 11, true,
         Qt::AlignLeft | Qt::AlignVCenter);
    painter.setPen(QPen(Qt::black, pen(kThinLine)));
    painter.drawLine(QPointF(x(kLeft), y(row_top + kRow)), QPointF(x(kRight), y(row_top + kRow)));
  }
  const double table_bottom = top + kRow * static_cast<double>(rows.size());
  painter.setPen(QPen(Qt::black, pen(kFrameLine)));
  painter.drawRect(box(kLeft, top, kWidth, table_bottom - top));
  painter.drawLine(QPointF(x(kLeft + kLabel), y(top)), QPointF(x(kLeft + kLabel), y(table_bottom)));
  if (moduli && s.points < protocol.points.size()) {
    painter.setPen(kLabelColour);
    text(painter, box(kLeft, table_bottom + 1, kWidth, 5),
         QStringLiteral("Точек без значения модуля: %1; они не входят в среднее.")
             .arg(protocol.points.size() - s.points),
         kSmallSize, false, Qt::AlignLeft | Qt::AlignVCenter);
  }

  // The points that fail, by number, as many lines as they take.
  QStringList failing;
  for (const ProtocolPoint& point : protocol.points) {
    if (point.evaluation.verdict == measurement::Verdict::Fails) {
      failing << or_dash(point.number);
    }
  }
  if (!failing.isEmpty()) {
    const FontEntry& entry = font(kTextSize, false);
    painter.setFont(entry.font);
    painter.setPen(kFailColour);
    const QRectF area = box(kLeft, table_bottom + 8, kWidth, kBottom - 20 - table_bottom - 8);
    painter.drawText(
        area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
        QStringLiteral("Не соответствуют требованию точки № ") + failing.join(QStringLiteral(", ")));
  }
  footer(painter, protocol, index);
}

void ProtocolPainter::paint_page(QPainter& painter, const Protocol& protocol, int index) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setBrush(Qt::NoBrush);
  if (index < static_cast<int>(protocol.points.size())) {
    point_page(painter, protocol, index);
  } else if (protocol.has_summary_page() && index == static_cast<int>(protocol.points.size())) {
    summary_page(painter, protocol, index);
  }
  painter.restore();
}

}  // namespace vkt::protocol
