#pragma once

#include <QChartView>
#include <QDialog>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>

class QChart;
class QLabel;
class QLineSeries;
class QPrinter;
class QPushButton;
class QSplitter;
class QValueAxis;

namespace vkt {

class Dialogs;
struct DropCurves;

// One of the two charts of the graph window: reports the mouse to the window and draws the
// crosshair over its plotting rectangle. Dragging a rectangle zooms, a right click steps back
// to the span before the last zoom; there is no panning.
class GraphChartView : public QChartView {
  Q_OBJECT
 public:
  explicit GraphChartView(QChart* chart, QWidget* parent = nullptr);

  // The crosshair at a pixel of the view, or none.
  void set_crosshair(std::optional<QPoint> at);
  std::optional<QPoint> crosshair() const { return crosshair_; }

  // The chart's plotting rectangle in the view's pixels.
  QRectF plot_rect() const;
  // A pixel of the view as chart coordinates.
  QPointF to_chart(const QPoint& pixel) const;

  // The spans of the axes (time across, value up), and back to the span of the curves as set.
  QRectF span() const;
  void reset_zoom();

 signals:
  void mouse_moved(const QPoint& pixel);
  void mouse_pressed(const QPoint& pixel);
  void mouse_left();

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void drawForeground(QPainter* painter, const QRectF& rect) override;

 private:
  void set_span(const QRectF& span);

  std::optional<QPoint> crosshair_;
  // The spans before each zoom, the latest last; the span when the left button went down.
  QList<QRectF> zooms_;
  QRectF pressed_span_;
};

// The graph window (TGraff): the force of one drop above its displacement, a crosshair with a
// numeric readout that follows the mouse, and printing of the window.
class GraphWindow : public QDialog {
  Q_OBJECT
 public:
  // Hands out the printer to print on, or nothing when there is none.
  using PrinterSource = std::function<std::unique_ptr<QPrinter>()>;

  explicit GraphWindow(Dialogs& dialogs, QWidget* parent = nullptr);
  ~GraphWindow() override;

  // Replaces both curves and shows them whole.
  void set_curves(const DropCurves& curves);

  void set_printer_source(PrinterSource source) { printer_source_ = std::move(source); }
  // The default printer, landscape-capable; nothing when no printer is installed.
  static std::unique_ptr<QPrinter> default_printer();

  // Pixel position of the crosshair now drawn; x is -1 when none is drawn.
  int crosshair_x() const { return crosshair_x_; }
  int crosshair_y() const { return crosshair_y_; }

  GraphChartView* chart1() const { return chart1_view_; }
  GraphChartView* chart2() const { return chart2_view_; }
  QLineSeries* series1() const { return series1_; }
  QLineSeries* line_series1() const { return line_series1_; }
  QValueAxis* force_axis() const { return force_axis_; }
  QValueAxis* force_time_axis() const { return force_time_axis_; }
  QValueAxis* displacement_axis() const { return displacement_axis_; }
  QValueAxis* displacement_time_axis() const { return displacement_time_axis_; }
  QWidget* panel3() const { return panel3_; }
  QLabel* label1() const { return label1_; }
  QLabel* label2() const { return label2_; }
  QPushButton* print_button() const { return print_button_; }

 public slots:
  void Chart1MouseMove(const QPoint& pixel);
  void Chart2MouseMove(const QPoint& pixel);
  void Chart1MouseDown(const QPoint& pixel);
  void Chart2MouseDown(const QPoint& pixel);
  void Button1Click();  // "Печать"

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The steps of building the window, in order.
  void set_up_window();
  void build_force_chart();
  void build_displacement_chart();
  void build_splitter();
  void build_readouts();
  void build_print_button();
  void lay_out();
  void connect_mouse_and_button();
  void follow_zoom();

  void chart_mouse_move(GraphChartView* view, const QPoint& pixel);
  void erase_crosshair();
  void update_readouts(GraphChartView* view, const QPoint& pixel);
  void update_labels_of(QValueAxis* axis, Qt::Orientation orientation, QChart* chart, double min_step);
  void update_all_labels();
  bool print_on(QPrinter& printer);

  Dialogs& dialogs_;
  PrinterSource printer_source_;
  QChart* chart1_ = nullptr;
  QChart* chart2_ = nullptr;
  GraphChartView* chart1_view_ = nullptr;
  GraphChartView* chart2_view_ = nullptr;
  QLineSeries* series1_ = nullptr;
  QLineSeries* line_series1_ = nullptr;
  QValueAxis* force_axis_ = nullptr;
  QValueAxis* force_time_axis_ = nullptr;
  QValueAxis* displacement_axis_ = nullptr;
  QValueAxis* displacement_time_axis_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QWidget* panel3_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QPushButton* reset_button_ = nullptr;  // "Исходный масштаб"
  QPushButton* print_button_ = nullptr;
  int crosshair_x_ = -1;
  int crosshair_y_ = 0;
};

}  // namespace vkt
