#include "ui/windowcontext.h"

#include <QCoreApplication>
#include <QLocale>

#include "core/programstate.h"
#include "store/measurement/measurementdocument.h"
#include "ui/dialogs.h"
#include "ui/measurementtabs.h"

namespace vkt {

void WindowContext::show_failure(const std::exception& error, FailureContext context) const {
  if (context == FailureContext::Opening) {
    dialogs->error(window, QStringLiteral("Ошибка"), failure_text(error, context));
  } else {
    show_error(failure_text(error, context));
  }
}

void WindowContext::show_error(const QString& text) const {
  // The application's own error box: the program's title as caption.
  dialogs->error(window, QCoreApplication::applicationName(), text);
}

QString WindowContext::work_dir() const {
  return QString::fromStdString(state->work_dir);
}

bool WindowContext::showing_rows() const {
  return state->db_open && document->is_open() && tabs->visible_grid() != nullptr;
}

QChar system_decimal_point() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? QChar('.') : point.front();
}

}  // namespace vkt
