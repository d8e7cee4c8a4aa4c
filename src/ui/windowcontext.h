#pragma once

#include <QChar>
#include <QString>
#include <exception>

#include "ui/failuretext.h"

class QWidget;

namespace vkt {

namespace measurement {
class MeasurementDocument;
}

class AppSettings;
class Dialogs;
class MeasurementTabs;
struct ProgramState;

// What the main window's groups of commands share: the window they speak from, the program's
// state and dialogs, the open measurement file and the tabs that show its rows.
struct WindowContext {
  QWidget* window = nullptr;
  ProgramState* state = nullptr;
  Dialogs* dialogs = nullptr;
  AppSettings* settings = nullptr;  // may be absent
  measurement::MeasurementDocument* document = nullptr;
  MeasurementTabs* tabs = nullptr;

  // Every failure a command meets is told through here, in the application's error box.
  void show_failure(const std::exception& error, FailureContext context = FailureContext::Working) const;
  void show_error(const QString& text) const;
  // The folder the file dialogs start in.
  QString work_dir() const;
  // A file is open and its rows are shown.
  bool showing_rows() const;
};

// The decimal separator of the system's locale, which the grids and the imports use.
QChar system_decimal_point();

}  // namespace vkt
