#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <functional>
#include <memory>

class QMimeData;

#include "ui/mainactions.h"
#include "ui/windowcontext.h"

namespace vkt {

class AboutWindow;
class DownloadDialog;
class FileCommands;
class MeasurementTabs;
class RowCommands;
class StatusLine;
class AppSettings;
class Dialogs;
struct ProgramState;

// What the main window needs from its surroundings; tests hand in their own.
struct MainWindowServices {
  ProgramState* state = nullptr;
  Dialogs* dialogs = nullptr;
  AppSettings* settings = nullptr;
  // Where the program's own file lies (the help file "zrn2.hlp" is looked for there).
  QString program_dir;
  // Opens an existing help file with the desktop's viewer; false when that failed.
  std::function<bool(const QString& path)> open_document;
  // Serial ports to look for the instrument on, in order; empty: the "Ports" setting, read at
  // each download, else the automatic search.
  QStringList ports;
};

// The main window (TForm1): menus, toolbar, the two device tabs, the looks with and without a
// file, help and the about window. The file's life and the commands on its rows live in their
// own classes; the window wires them to its menus.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const MainWindowServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  const MainActions& actions() const { return actions_; }
  MeasurementTabs* tabs() const { return tabs_; }
  FileCommands& files() const { return *files_; }
  DownloadDialog* download_window() const { return download_; }
  measurement::MeasurementDocument& document() { return *document_; }

  // The two looks: background of button faces with the tabs, of button shadows without a file.
  bool has_file_look() const { return file_look_; }
  QColor background() const;
  QString help_file() const { return help_file_; }

 public slots:
  void HelpClick();        // "Помощь", F1
  void HelpButtonClick();  // the toolbar's help button
  void AboutClick();       // "О программе"
  void ExitClick();        // "Выход"

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void create_tabs();
  void create_commands();
  void connect_commands();
  void set_up();
  void read_work_dir();
  void show_help(const QString& file);
  // The 16 controls that need an open file, with the exports beside "Экспорт в Excel".
  void enable_button();
  void disable_button();
  void show_file_look();
  void show_no_file_look();
  void set_caption(const QString& caption);
  // The caption's mark of unsaved edits and the status line, after anything that changes them.
  void refresh_status();
  // The one measurement file (".db") a drag carries, or nothing.
  static QString dropped_file(const QMimeData* data);

  MainWindowServices services_;
  QList<QIcon> pictures_;
  MainActions actions_;
  std::unique_ptr<measurement::MeasurementDocument> document_;  // Dbf1: the one table
  QWidget* client_ = nullptr;
  MeasurementTabs* tabs_ = nullptr;  // PageControl1
  WindowContext context_;
  DownloadDialog* download_ = nullptr;  // TForm2
  FileCommands* files_ = nullptr;
  RowCommands* rows_ = nullptr;
  StatusLine* status_ = nullptr;
  AboutWindow* about_ = nullptr;
  QString help_file_;
  QString caption_;
  bool file_look_ = false;
};

}  // namespace vkt
