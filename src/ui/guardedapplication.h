#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace vkt {

// The window's last line of defence: an error that escapes an event handler is shown in an error
// box and the program goes on, instead of ending with the files in whatever state the handler
// left them. Handlers report their own failures; what reaches this is a fault of ours, so the
// box says so and names it.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the text; by default a modal error box captioned with the program title. Tests replace it.
  void set_error_reporter(std::function<void(const QString&)> report) { report_ = std::move(report); }

  // The text shown for an error that reached the event loop.
  static QString escaped_error_text(const QString& what);

 private:
  void report(const QString& what);

  std::function<void(const QString&)> report_;
  bool reporting_ = false;
};

}  // namespace vkt
