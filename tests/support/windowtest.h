#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QAction;
class QMainWindow;
#include <memory>

#include "core/programstate.h"
#include "scripteddialogs.h"
#include "store/appsettings.h"
#include "ui/filecommands.h"
#include "ui/mainwindow.h"
#include "ui/measurementtabs.h"

namespace vkt::testing {

// A command of the window by its objectName ("N2", "Excel1", "ToolButton3").
QAction* command(const QMainWindow& window, const QString& object_name);

// A main window of its own for each test: its own settings folder, program state and scripted
// dialogs, and a folder for the test's measurement files.
class WindowTest : public ::testing::Test {
 protected:
  // Builds and shows the window; `ports` are where it looks for the instrument. Help files it
  // opens with the desktop's viewer are recorded in opened_.
  // Without `shown` it stays as built: hidden, maximized.
  void make_window(const QStringList& ports = {QStringLiteral("/nonexistent")}, bool shown = true);
  // A file in the test's folder.
  QString path(const QString& name) const;

  QTemporaryDir config_;
  QTemporaryDir dir_;
  std::unique_ptr<AppSettings> settings_;
  ProgramState state_;
  ScriptedDialogs dialogs_;
  QStringList opened_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace vkt::testing
