#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <functional>

class QAction;
class QMenu;
class QTabWidget;
class QTableView;
class QToolBar;
class QWidget;

namespace vkt {

class AboutWindow;
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
};

// The main window (TForm1): menus, toolbar, the two device tabs, the looks with and without a
// file, help and the about window.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const MainWindowServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The 16 controls that need an open file.
  void enable_button();
  void disable_button();
  QList<QAction*> toggled_controls() const { return toggled_; }

  void tab_vis_dis();

  // The two looks: background of button faces with the tabs, of button shadows without a file.
  void show_file_look();
  void show_no_file_look();
  bool has_file_look() const { return file_look_; }
  QColor background() const;

  // The window caption, which is also the application's title.
  void set_caption(const QString& caption);

  QString help_file() const { return help_file_; }

  QAction* command(const QString& object_name) const;
  QMenu* context_menu() const { return popup_menu_; }
  QTabWidget* page_control() const { return page_control_; }

 public slots:
  void HelpClick();        // "Помощь", F1
  void HelpButtonClick();  // the toolbar's help button
  void AboutClick();       // "О программе"
  void ExitClick();        // "Выход"

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void create_actions();
  void create_menus();
  void create_toolbar();
  void create_tabs();
  void set_up();
  void read_work_dir();
  void show_help(const QString& file);

  QAction* add_action(const QString& name, const QString& text, int picture = -1,
                      const QKeySequence& shortcut = {});

  MainWindowServices services_;
  QList<QIcon> pictures_;
  QList<QAction*> toggled_;
  QWidget* client_ = nullptr;
  QTabWidget* page_control_ = nullptr;
  QTableView* grid1_ = nullptr;
  QTableView* grid2_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QMenu* popup_menu_ = nullptr;
  AboutWindow* about_ = nullptr;
  QString help_file_;
  bool file_look_ = false;
};

}  // namespace vkt
