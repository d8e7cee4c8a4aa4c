#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <exception>
#include <functional>
#include <memory>

#include "store/gridstatistics.h"
#include "ui/dialogs.h"
#include "ui/failuretext.h"
#include "ui/mainactions.h"

class QTabWidget;
class QWidget;

namespace vkt {

namespace measurement {
class MeasurementDocument;
}

class AboutWindow;
class DownloadDialog;
class GraphCommand;
class ReportCommands;
class MeasurementGrid;
class MeasurementModel;
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
  // Serial ports to look for the instrument on, in order; empty: the "Ports" setting, else the
  // automatic search.
  QStringList ports;
};

// The main window (TForm1): menus, toolbar, the two device tabs, the looks with and without a
// file, help and the about window.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const MainWindowServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  const MainActions& actions() const { return actions_; }
  QTabWidget* page_control() const { return page_control_; }
  MeasurementGrid* grid1() const { return grid1_; }
  MeasurementGrid* grid2() const { return grid2_; }
  MeasurementModel* model1() const { return model1_; }
  MeasurementModel* model2() const { return model2_; }
  DownloadDialog* download_window() const { return download_; }
  measurement::MeasurementDocument& document() { return *document_; }

  // The two looks: background of button faces with the tabs, of button shadows without a file.
  bool has_file_look() const { return file_look_; }
  QColor background() const;
  QString help_file() const { return help_file_; }
  // The whole-view statistics of the footers, over the rows the filter admits.
  void find_mma();
  const GridStatistics& statistics() const { return statistics_; }

  // The life of a measurement file.
  void Open_DB(const QString& path);
  void Save_DB();
  void Close_DB();
  // Creates the file named by the save dialog and fills it from the last download.
  void Create_DB(const QString& path);

 public slots:
  void N2Click();          // "Создать"
  void N3Click();          // "Открыть"
  void N4Click();          // "Дополнить"
  void N5Click();          // "Сохранить"
  void N7Click();          // "Закрыть"
  void N17Click();         // "Задать цвет"
  void N18Click();         // "Убрать цвет"
  void N19Click();         // "Убрать все цвета"
  void N23Click();         // "Выровнять столбцы"
  void N21Click();         // "Удалить строки", "Удалить"
  void N33Click();         // "Убрать сортировку"
  void N37Click();         // "Перенумеровать строки"
  void Grid1DblClick();    // also "Сервис" -> "График" and the context menu's "График"
  void Excel1Click();      // "Экспорт в Excel"
  void Xlsx1Click();       // "Экспорт в Excel (.xlsx)", where the build writes .xlsx
  void Csv1Click();        // "Экспорт в CSV"
  void HelpClick();        // "Помощь", F1
  void HelpButtonClick();  // the toolbar's help button
  void AboutClick();       // "О программе"
  void ExitClick();        // "Выход"

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The 16 controls that need an open file, with the exports beside "Экспорт в Excel".
  void enable_button();
  void disable_button();
  void tab_vis_en();
  void tab_vis_dis();
  void show_file_look();
  void show_no_file_look();
  void set_caption(const QString& caption);
  // The grid of the visible tab (nullptr without a file).
  MeasurementGrid* visible_grid() const;

  void create_tabs();
  void set_up();
  void read_work_dir();
  void show_help(const QString& file);
  void connect_commands();
  void create_report_commands();
  void exp2excel();
  // The rows of the visible tab in another format, through the save dialog as "Экспорт в Excel".
  void export_rows(int format, const QString& filter, const QString& suffix, const QString& caption);
  void TabSheet1Show();
  void TabSheet2Show();
  void show_rows(MeasurementModel* shown, MeasurementModel* hidden, const char* filter);
  void grid_selection_changed(MeasurementGrid* grid);
  void load_layout(const QString& name, MeasurementGrid* grid);
  void store_layout(const QString& name, MeasurementGrid* grid);
  // Every failure a command meets is told through here, in the application's error box.
  void show_failure(const std::exception& error, FailureContext context = FailureContext::Working);
  void show_error(const QString& text);
  bool import_download(int mode);
  void title_clicked(MeasurementGrid* grid, int column, bool ctrl);
  void TitleStateChange(MeasurementGrid* grid, int column);
  // Drops a grid's sort marks and the file's sort tag ("tab1", "tab2").
  void clear_sort(MeasurementGrid* grid, const QString& tag);
  // Deletes the selected rows of a grid and compacts the file.
  void delete_rows(MeasurementGrid* grid);
  QString sort_tag(const MeasurementGrid* grid) const;
  MeasurementModel* model_of(const MeasurementGrid* grid) const;
  void post_pending();
  void detach_models();
  // Back to the look without a file after a file failed to show.
  void leave_failed_file();
  void reload_models();
  Dialogs::FileRequest database_request() const;
  QChar decimal_point() const;

  MainWindowServices services_;
  QList<QIcon> pictures_;
  MainActions actions_;
  QWidget* client_ = nullptr;
  QTabWidget* page_control_ = nullptr;
  MeasurementGrid* grid1_ = nullptr;
  MeasurementGrid* grid2_ = nullptr;
  MeasurementModel* model1_ = nullptr;
  MeasurementModel* model2_ = nullptr;
  std::unique_ptr<measurement::MeasurementDocument> document_;  // Dbf1: the one table
  GridStatistics statistics_;
  AboutWindow* about_ = nullptr;
  DownloadDialog* download_ = nullptr;   // TForm2
  std::unique_ptr<GraphCommand> graph_;  // TForm7 and TGraff
  ReportCommands* reports_ = nullptr;    // "Предварительный просмотр", "Печать"
  QString help_file_;
  bool file_look_ = false;
};

}  // namespace vkt
