#include "scripteddialogs.h"

namespace vkt::testing {

namespace {

template <typename T>
T take(std::deque<T>& queue, T fallback) {
  if (queue.empty()) {
    return fallback;
  }
  T value = queue.front();
  queue.pop_front();
  return value;
}

}  // namespace

Dialogs::Button ScriptedDialogs::message(QWidget*, const QString& caption, const QString& text, Icon icon,
                                         const QList<Button>& buttons) {
  shown.append({QStringLiteral("message"), caption, text, icon, buttons, {}});
  return take(button_answers, buttons.isEmpty() ? Button::Ok : buttons.front());
}

QString ScriptedDialogs::open_file(QWidget*, const FileRequest& request) {
  shown.append({QStringLiteral("open"), request.caption, request.filter, Icon::None, {}, request});
  return take(file_answers, QString());
}

QString ScriptedDialogs::save_file(QWidget*, const FileRequest& request) {
  shown.append({QStringLiteral("save"), request.caption, request.filter, Icon::None, {}, request});
  if (request.chosen_filter != nullptr) {
    *request.chosen_filter = take(filter_answers, 0);
  }
  return take(file_answers, QString());
}

std::optional<QColor> ScriptedDialogs::color(QWidget*, const QColor&) {
  shown.append({QStringLiteral("color"), {}, {}, Icon::None, {}, {}});
  return take(color_answers, std::optional<QColor>());
}

bool ScriptedDialogs::print_setup(QWidget*, QPrinter*) {
  shown.append({QStringLiteral("print"), {}, {}, Icon::None, {}, {}});
  return take(print_answers, false);
}

QStringList ScriptedDialogs::messages() const {
  QStringList out;
  for (const auto& s : shown) {
    if (s.kind == QLatin1String("message")) {
      out << s.text;
    }
  }
  return out;
}

}  // namespace vkt::testing
