#include "ui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

namespace vkt {

QString qt_file_filter(const QString& filter) {
  const auto parts = filter.split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    out << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
  }
  return out.join(QStringLiteral(";;"));
}

namespace {

QMessageBox::StandardButton to_qt(Dialogs::Button b) {
  switch (b) {
    case Dialogs::Button::Ok:
      return QMessageBox::Ok;
    case Dialogs::Button::Yes:
      return QMessageBox::Yes;
    case Dialogs::Button::No:
      return QMessageBox::No;
    case Dialogs::Button::Cancel:
      return QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon to_qt(Dialogs::Icon icon) {
  switch (icon) {
    case Dialogs::Icon::None:
      return QMessageBox::NoIcon;
    case Dialogs::Icon::Information:
      return QMessageBox::Information;
    case Dialogs::Icon::Warning:
      return QMessageBox::Warning;
    case Dialogs::Icon::Error:
      return QMessageBox::Critical;
    case Dialogs::Icon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QString with_suffix(QString name, const QString& suffix) {
  if (!name.isEmpty() && !suffix.isEmpty() && QFileInfo(name).suffix().isEmpty()) {
    name += '.' + suffix;
  }
  return name;
}

}  // namespace

Dialogs::Button QtDialogs::message(QWidget* parent, const QString& caption, const QString& text, Icon icon,
                                   const QList<Button>& buttons) {
  QMessageBox box(to_qt(icon), caption, text, QMessageBox::NoButton, parent);
  for (Button b : buttons) {
    box.addButton(to_qt(b));
  }
  const int pressed = box.exec();
  for (Button b : buttons) {
    if (pressed == to_qt(b)) {
      return b;
    }
  }
  return buttons.isEmpty() ? Button::Ok : buttons.front();
}

QString QtDialogs::open_file(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.caption, request.directory, qt_file_filter(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(request.default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  if (request.chosen_filter != nullptr) {
    *request.chosen_filter =
        std::max(0, static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())));
  }
  return with_suffix(dialog.selectedFiles().front(), request.default_suffix);
}

QString QtDialogs::save_file(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.caption, request.directory, qt_file_filter(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(request.default_suffix);
  if (!request.confirm_overwrite) {
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return with_suffix(dialog.selectedFiles().front(), request.default_suffix);
}

std::optional<QColor> QtDialogs::color(QWidget* parent, const QColor& initial) {
  const QColor c = QColorDialog::getColor(initial, parent);
  if (!c.isValid()) {
    return std::nullopt;
  }
  return c;
}

bool QtDialogs::print_setup(QWidget* parent, QPrinter* printer) {
  QPrintDialog dialog(printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace vkt
