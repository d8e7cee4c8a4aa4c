#include "ui/guardedapplication.h"

#include <QMessageBox>
#include <exception>
#include <new>

#include "store/measurement/measurementfile.h"

namespace vkt {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QString GuardedApplication::escaped_error_text(const QString& what) {
  return QStringLiteral("Команда прервана из-за ошибки: %1\nОткрытый файл не изменён сверх уже сохранённого.")
      .arg(what);
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    report(QString::fromStdString(measurement::failure_text(e)));
  } catch (...) {
    report(QStringLiteral("неизвестная ошибка"));
  }
  return false;
}

void GuardedApplication::report(const QString& what) {
  // An error while the box of an earlier one is up is not stacked on it.
  if (reporting_) {
    return;
  }
  reporting_ = true;
  const QString text = escaped_error_text(what);
  if (report_) {
    report_(text);
  } else {
    QMessageBox::critical(activeWindow(), applicationName(), text);
  }
  reporting_ = false;
}

}  // namespace vkt
