#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>

namespace vkt {

// The start-up window (TForm5): a borderless picture shown for a fixed time; the user
// cannot dismiss it earlier. exec() returns Accepted when the time is up.
class SplashWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kShowMs = 3000;

  explicit SplashWindow(int show_ms = kShowMs, QWidget* parent = nullptr);

  // The picture, 400 x 78, drawn in code.
  static QPixmap draw_picture();

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Timer1Timer();

  QTimer timer_;
  QPixmap picture_;
  bool time_up_ = false;
};

}  // namespace vkt
