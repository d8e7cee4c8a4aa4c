#include "ui/graphwindow.h"

#include <QApplication>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "ui/dialogs.h"
#include "ui/graphcurves.h"
#include "ui/programtitle.h"
#include "ui/screenfit.h"

namespace vkt {

namespace {

constexpr int kWindowWidth = 870;
constexpr int kWindowHeight = 640;
constexpr int kChart1Height = 297;
constexpr int kSplitterWidth = 3;
constexpr int kPanelHeight = 41;
constexpr int kPrintButtonLeft = 752;
constexpr int kZoomAnimationMs = 300;
constexpr int kLabel1Left = 8;
constexpr int kLabel2Left = 232;
constexpr int kLabelTop = 12;
constexpr int kLabelGap = 8;

// The crosshair is XOR-ed onto the charts in yellow, so it shows on any background and a
// second drawing at the same place would restore the picture.
const QColor kCrosshairColour(255, 255, 0);
const QColor kForceColour(255, 0, 0);
const QColor kDisplacementColour(0, 128, 0);

// Labels of the time axes lie on multiples of 100 µs; the value axes go down to thousandths.
constexpr double kTimeLabelStep = kSampleSpacingUs;
constexpr double kValueLabelStep = 0.001;
constexpr double kHorizontalLabelSpacing = 70;
constexpr double kVerticalLabelSpacing = 30;

QChart* make_chart() {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setBackgroundRoundness(0);
  chart->setBackgroundBrush(Qt::white);
  chart->setBackgroundPen(Qt::NoPen);
  chart->setMargins(QMargins(4, 4, 8, 4));
  chart->setAnimationOptions(QChart::SeriesAnimations);
  chart->setAnimationDuration(kZoomAnimationMs);
  chart->setLocalizeNumbers(true);
  return chart;
}

QValueAxis* make_axis(const QString& title) {
  auto* axis = new QValueAxis;
  axis->setTitleText(title);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0);
  axis->setMinorTickCount(0);
  QFont font = program_font();
  axis->setLabelsFont(font);
  axis->setTitleFont(font);
  return axis;
}

QList<QPointF> to_points(const std::vector<CurvePoint>& curve) {
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(curve.size()));
  for (const CurvePoint& p : curve) {
    points.append(QPointF(p.time_us, p.value));
  }
  return points;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

GraphChartView::GraphChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  setRubberBand(QChartView::RectangleRubberBand);
  setMouseTracking(true);
  setFrameShape(QFrame::NoFrame);
  setBackgroundBrush(Qt::white);
}

void GraphChartView::set_crosshair(std::optional<QPoint> at) {
  if (at == crosshair_) {
    return;
  }
  crosshair_ = at;
  viewport()->update();
}

QRectF GraphChartView::plot_rect() const {
  return viewportTransform().mapRect(chart()->mapRectToScene(chart()->plotArea()));
}

QPointF GraphChartView::to_chart(const QPoint& pixel) const {
  return chart()->mapFromScene(viewportTransform().inverted().map(QPointF(pixel)));
}

void GraphChartView::mouseMoveEvent(QMouseEvent* event) {
  emit mouse_moved(event->position().toPoint());
  QChartView::mouseMoveEvent(event);
}

void GraphChartView::mousePressEvent(QMouseEvent* event) {
  emit mouse_pressed(event->position().toPoint());
  if (event->button() == Qt::LeftButton) {
    pressed_span_ = span();
  }
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;  // the right button steps back on release, instead of zooming out by half
  }
  QChartView::mousePressEvent(event);
}

void GraphChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    if (zooms_.isEmpty()) {
      reset_zoom();
    } else {
      set_span(zooms_.takeLast());
    }
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && span() != pressed_span_) {
    zooms_.append(pressed_span_);
  }
}

QRectF GraphChartView::span() const {
  const auto across = chart()->axes(Qt::Horizontal);
  const auto up = chart()->axes(Qt::Vertical);
  const auto* x = across.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(across.first());
  const auto* y = up.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(up.first());
  if (x == nullptr || y == nullptr) {
    return {};
  }
  return QRectF(QPointF(x->min(), y->min()), QPointF(x->max(), y->max()));
}

void GraphChartView::set_span(const QRectF& span) {
  const auto across = chart()->axes(Qt::Horizontal);
  const auto up = chart()->axes(Qt::Vertical);
  if (!across.isEmpty() && !up.isEmpty()) {
    across.first()->setRange(span.left(), span.right());
    up.first()->setRange(span.top(), span.bottom());
  }
}

void GraphChartView::reset_zoom() {
  zooms_.clear();
  chart()->zoomReset();
}

void GraphChartView::leaveEvent(QEvent* event) {
  emit mouse_left();
  QChartView::leaveEvent(event);
}

void GraphChartView::drawForeground(QPainter* painter, const QRectF& rect) {
  QChartView::drawForeground(painter, rect);
  if (!crosshair_) {
    return;
  }
  // The painter works in scene coordinates; the crosshair's pixel is a view position.
  const QPointF at = viewportTransform().inverted().map(QPointF(*crosshair_));
  const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  QPen pen(kCrosshairColour, 0, Qt::SolidLine);
  pen.setCosmetic(true);
  painter->setPen(pen);
  painter->drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
  painter->drawLine(QPointF(plot.left(), at.y()), QPointF(plot.right(), at.y()));
  painter->restore();
}

// ---------------------------------------------------------------------------------------------

GraphWindow::GraphWindow(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
  set_up_window();
  build_force_chart();
  build_displacement_chart();
  build_splitter();
  build_readouts();
  build_print_button();
  lay_out();
  connect_mouse_and_button();
  follow_zoom();

  force_time_axis_->setRange(0, kSampleSpacingUs * (kDropSamples - 1));
  displacement_time_axis_->setRange(0, kSampleSpacingUs * (kDropSamples - 1));
  chart1_->setLocale(locale());
  chart2_->setLocale(locale());
}

void GraphWindow::set_up_window() {
  setObjectName(QStringLiteral("TGraff"));
  setWindowTitle(QStringLiteral("График"));
  setFont(program_font());
  setModal(true);
  resize(kWindowWidth, kWindowHeight);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
}

// The force of the drop: red, against time below.
void GraphWindow::build_force_chart() {
  chart1_ = make_chart();
  series1_ = new QLineSeries;
  series1_->setObjectName(QStringLiteral("Series1"));
  series1_->setPen(QPen(kForceColour, 1));
  chart1_->addSeries(series1_);
  force_time_axis_ = make_axis(QStringLiteral("Время, мкс"));
  force_axis_ = make_axis(QStringLiteral("Сила удара, Н"));
  chart1_->addAxis(force_time_axis_, Qt::AlignBottom);
  chart1_->addAxis(force_axis_, Qt::AlignLeft);
  series1_->attachAxis(force_time_axis_);
  series1_->attachAxis(force_axis_);
}

// The displacement: green, against time above, growing downwards.
void GraphWindow::build_displacement_chart() {
  chart2_ = make_chart();
  line_series1_ = new QLineSeries;
  line_series1_->setObjectName(QStringLiteral("LineSeries1"));
  line_series1_->setPen(QPen(kDisplacementColour, 1));
  chart2_->addSeries(line_series1_);
  displacement_time_axis_ = make_axis(QString());
  displacement_axis_ = make_axis(QStringLiteral("Перемещение, мкм."));
  displacement_axis_->setReverse(true);
  chart2_->addAxis(displacement_time_axis_, Qt::AlignTop);
  chart2_->addAxis(displacement_axis_, Qt::AlignLeft);
  line_series1_->attachAxis(displacement_time_axis_);
  line_series1_->attachAxis(displacement_axis_);
}

// The two charts one above the other; the force chart keeps its height when the window grows.
void GraphWindow::build_splitter() {
  chart1_view_ = new GraphChartView(chart1_);
  chart1_view_->setObjectName(QStringLiteral("Chart1"));
  chart2_view_ = new GraphChartView(chart2_);
  chart2_view_->setObjectName(QStringLiteral("Chart2"));

  splitter_ = new QSplitter(Qt::Vertical);
  splitter_->setObjectName(QStringLiteral("Splitter1"));
  splitter_->setHandleWidth(kSplitterWidth);
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(chart1_view_);
  splitter_->addWidget(chart2_view_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kChart1Height, kWindowHeight - kPanelHeight - kSplitterWidth - kChart1Height});
}

// The panel under the charts with the two lines of the crosshair's readout.
void GraphWindow::build_readouts() {
  panel3_ = new QWidget;
  panel3_->setObjectName(QStringLiteral("Panel3"));
  panel3_->setFixedHeight(kPanelHeight);
  label1_ = new QLabel(panel3_);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->move(kLabel1Left, kLabelTop);
  label2_ = new QLabel(panel3_);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->move(kLabel2Left, kLabelTop);
}

void GraphWindow::build_print_button() {
  print_button_ = new QPushButton(QStringLiteral("Печать"), panel3_);
  print_button_->setObjectName(QStringLiteral("Button1"));
  print_button_->setGeometry(kPrintButtonLeft, 8, 75, 25);
  print_button_->setAutoDefault(false);
  // Every zoom can be undone at once: the button or the Home key.
  reset_button_ = new QPushButton(QStringLiteral("Исходный масштаб"), panel3_);
  reset_button_->setObjectName(QStringLiteral("ResetZoom"));
  reset_button_->setAutoDefault(false);
  reset_button_->adjustSize();
  reset_button_->move(kPrintButtonLeft - reset_button_->width() - kLabelGap, 8);
  auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
  connect(home, &QShortcut::activated, reset_button_, &QPushButton::click);
  connect(reset_button_, &QPushButton::clicked, this, [this] {
    chart1_view_->reset_zoom();
    chart2_view_->reset_zoom();
  });
}

void GraphWindow::lay_out() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(splitter_, 1);
  layout->addWidget(panel3_);
}

void GraphWindow::connect_mouse_and_button() {
  connect(chart1_view_, &GraphChartView::mouse_moved, this, &GraphWindow::Chart1MouseMove);
  connect(chart2_view_, &GraphChartView::mouse_moved, this, &GraphWindow::Chart2MouseMove);
  connect(chart1_view_, &GraphChartView::mouse_pressed, this, &GraphWindow::Chart1MouseDown);
  connect(chart2_view_, &GraphChartView::mouse_pressed, this, &GraphWindow::Chart2MouseDown);
  connect(chart1_view_, &GraphChartView::mouse_left, this, &GraphWindow::erase_crosshair);
  connect(chart2_view_, &GraphChartView::mouse_left, this, &GraphWindow::erase_crosshair);
  connect(print_button_, &QPushButton::clicked, this, &GraphWindow::Button1Click);
}

// A zoom redraws the curves, which takes the crosshair away; the labels follow the new span.
void GraphWindow::follow_zoom() {
  for (QValueAxis* axis : {force_axis_, force_time_axis_, displacement_axis_, displacement_time_axis_}) {
    connect(axis, &QValueAxis::rangeChanged, this, [this] {
      erase_crosshair();
      update_all_labels();
    });
  }
  connect(chart1_, &QChart::plotAreaChanged, this, &GraphWindow::update_all_labels);
  connect(chart2_, &QChart::plotAreaChanged, this, &GraphWindow::update_all_labels);
}

GraphWindow::~GraphWindow() = default;

void GraphWindow::set_curves(const DropCurves& curves) {
  erase_crosshair();
  chart1_view_->reset_zoom();
  chart2_view_->reset_zoom();
  series1_->replace(to_points(curves.force));
  line_series1_->replace(to_points(curves.displacement));
  const double last_time = kSampleSpacingUs * (kDropSamples - 1);
  force_time_axis_->setRange(0, last_time);
  displacement_time_axis_->setRange(0, last_time);
  const ValueRange force = curve_range(curves.force);
  force_axis_->setRange(force.min, force.max);
  const ValueRange displacement = curve_range(curves.displacement);
  displacement_axis_->setRange(displacement.min, displacement.max);
  update_all_labels();
}

std::unique_ptr<QPrinter> GraphWindow::default_printer() {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    return nullptr;
  }
  return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

void GraphWindow::erase_crosshair() {
  crosshair_x_ = -1;
  chart1_view_->set_crosshair(std::nullopt);
  chart2_view_->set_crosshair(std::nullopt);
}

void GraphWindow::Chart1MouseMove(const QPoint& pixel) {
  chart_mouse_move(chart1_view_, pixel);
}

void GraphWindow::Chart2MouseMove(const QPoint& pixel) {
  chart_mouse_move(chart2_view_, pixel);
}

void GraphWindow::chart_mouse_move(GraphChartView* view, const QPoint& pixel) {
  if (crosshair_x_ != -1) {
    erase_crosshair();
  }
  if (!inside_plot(view->plot_rect(), QPointF(pixel))) {
    return;  // the readouts keep their last values
  }
  crosshair_x_ = pixel.x();
  crosshair_y_ = pixel.y();
  update_readouts(view, pixel);
}

namespace {

// Where a chart's crosshair meets its curve at a value: the view pixel, or none when the value
// lies outside the chart's plot (zoomed elsewhere).
std::optional<QPoint> crosshair_at(GraphChartView* view, QLineSeries* series, QPointF value) {
  const QPointF on_chart = view->chart()->mapToPosition(value, series);
  const QPoint pixel = view->mapFromScene(view->chart()->mapToScene(on_chart));
  if (!inside_plot(view->plot_rect(), QPointF(pixel))) {
    return std::nullopt;
  }
  return pixel;
}

}  // namespace

void GraphWindow::update_readouts(GraphChartView* view, const QPoint& pixel) {
  // One instant, the time under the mouse on the chart it is over; each line reads its own curve
  // at that instant, and each chart's crosshair meets its curve there, so the lines and the
  // numbers agree.
  QLineSeries* under = view == chart1_view_ ? series1_ : line_series1_;
  const double time = view->chart()->mapToValue(view->to_chart(pixel), under).x();
  const QList<QPointF> force_curve = series1_->points();
  const QList<QPointF> displacement_curve = line_series1_->points();
  const double force = value_at(force_curve, time);
  const double displacement = value_at(displacement_curve, time);
  chart1_view_->set_crosshair(crosshair_at(chart1_view_, series1_, {time, force}));
  chart2_view_->set_crosshair(crosshair_at(chart2_view_, line_series1_, {time, displacement}));
  label1_->setText(force_readout(force, time, locale()));
  label1_->adjustSize();
  label2_->setText(displacement_readout(displacement, time, locale()));
  label2_->adjustSize();
  // A font wider than the window was laid out for must not run the two lines together.
  label2_->move(std::max(kLabel2Left, label1_->geometry().right() + kLabelGap), kLabelTop);
}

void GraphWindow::Chart1MouseDown(const QPoint&) {
  // The crosshair goes before the zoom rectangle is drawn.
  erase_crosshair();
}

void GraphWindow::Chart2MouseDown(const QPoint&) {
  erase_crosshair();
}

void GraphWindow::update_labels_of(QValueAxis* axis, Qt::Orientation orientation, QChart* chart,
                                   double min_step) {
  const QRectF plot = chart->plotArea();
  const bool horizontal = orientation == Qt::Horizontal;
  const double length = horizontal ? plot.width() : plot.height();
  const double step = label_step(axis->max() - axis->min(), length,
                                 horizontal ? kHorizontalLabelSpacing : kVerticalLabelSpacing, min_step);
  axis->setTickInterval(step);
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(label_decimals(step)));
}

void GraphWindow::update_all_labels() {
  update_labels_of(force_time_axis_, Qt::Horizontal, chart1_, kTimeLabelStep);
  update_labels_of(force_axis_, Qt::Vertical, chart1_, kValueLabelStep);
  update_labels_of(displacement_time_axis_, Qt::Horizontal, chart2_, kTimeLabelStep);
  update_labels_of(displacement_axis_, Qt::Vertical, chart2_, kValueLabelStep);
}

void GraphWindow::Button1Click() {
  std::unique_ptr<QPrinter> printer = printer_source_ ? printer_source_() : default_printer();
  if (!printer) {
    dialogs_.error(this, QStringLiteral("Ошибка"),
                   QStringLiteral("Принтер не установлен: график не напечатан"));
    return;
  }
  printer->setPageOrientation(QPageLayout::Landscape);
  printer->setFullPage(false);
  const bool printed = print_on(*printer);
  if (printed) {
    dialogs_.information(this, QStringLiteral("Информация"), QStringLiteral("Документ отправлен на печать"));
  } else {
    dialogs_.error(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось напечатать график"));
  }
  panel3_->show();
}

bool GraphWindow::print_on(QPrinter& printer) {
  // Only the charts go on paper: the panel goes away and the charts take its room. The charts
  // must not be caught half-way through an animation.
  erase_crosshair();
  const auto animations1 = chart1_->animationOptions();
  const auto animations2 = chart2_->animationOptions();
  chart1_->setAnimationOptions(QChart::NoAnimation);
  chart2_->setAnimationOptions(QChart::NoAnimation);
  panel3_->hide();
  layout()->activate();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const QPixmap image = grab();
  chart1_->setAnimationOptions(animations1);
  chart2_->setAnimationOptions(animations2);

  QPainter painter;
  if (image.isNull() || !painter.begin(&printer)) {
    return false;
  }
  // Across the page width, proportions kept; a window taller than the page is fitted to its height.
  const QRect page = painter.viewport();
  double scale = static_cast<double>(page.width()) / image.width();
  if (image.height() * scale > page.height()) {
    scale = static_cast<double>(page.height()) / image.height();
  }
  painter.drawPixmap(QRectF(0, 0, image.width() * scale, image.height() * scale), image,
                     QRectF(image.rect()));
  return painter.end() && printer.printerState() != QPrinter::Error;
}

void GraphWindow::showEvent(QShowEvent* event) {
  move(screen()->availableGeometry().center() - rect().center());
  // On a screen lower than the window (1024 × 600) it is scaled down to stay whole.
  fit_into_screen(*this);
  QDialog::showEvent(event);
}

void GraphWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // "Печать" keeps its place from the right edge when the window is narrower than its own size.
  print_button_->move(width() - (kWindowWidth - kPrintButtonLeft), print_button_->y());
  reset_button_->move(print_button_->x() - reset_button_->width() - kLabelGap, reset_button_->y());
}

void GraphWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) {
    chart1_->setLocale(locale());
    chart2_->setLocale(locale());
  }
  QDialog::changeEvent(event);
}

}  // namespace vkt
