#include "ui/mainwindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "core/programstate.h"
#include "scripteddialogs.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"
#include "ui/aboutwindow.h"
#include "ui/helpwindow.h"
#include "ui/russiantexts.h"
#include "ui/splashwindow.h"
#include "windowtest.h"

namespace vkt {
namespace {

class MainWindowTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(config_.isValid());
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    settings_ = std::make_unique<AppSettings>();
  }

  // A window of the test's own, not yet shown.
  std::unique_ptr<MainWindow> new_window() {
    make_window({}, false);
    return std::move(window_);
  }

  // A measurement file without rows.
  QString empty_file() {
    const QString path = QDir(dir_.path()).filePath("empty.db");
    dbf::Table table;
    measurement::create_measurement_file(table, path.toStdU16String());
    return path;
  }

  // Closes whatever modal window opens next, so a test can trigger a command that shows one.
  static void close_next_modal(QString* seen_name = nullptr) {
    QTimer::singleShot(0, [seen_name] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr) {
        if (seen_name != nullptr) {
          *seen_name = modal->objectName();
        }
        modal->close();
      }
    });
  }
};

// Entry texts of a menu, separators as "-".
QStringList entries(const QMenu* menu) {
  QStringList out;
  for (const QAction* a : menu->actions()) {
    out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  }
  return out;
}

TEST_F(MainWindowTest, MainMenuEntriesOrderAndSeparators) {
  auto w = new_window();
  QStringList titles;
  for (const QAction* a : w->menuBar()->actions()) {
    titles << QString(a->text()).remove('&');  // the Alt letters are marked with '&'
    EXPECT_TRUE(a->text().contains('&')) << a->text().toStdString();
  }
  EXPECT_EQ(titles, QStringList({"Файл", "Вид", "Правка", "Сервис", "Справка"}));

  const QList<QAction*> menus = w->menuBar()->actions();
  EXPECT_EQ(entries(menus[0]->menu()),
            QStringList({"Создать", "Открыть", "Последние файлы", "Дополнить", "Сохранить", "Сохранить как…",
                         "Закрыть", "-", "Предварительный просмотр", "Печать", "-", "Выход"}));
  EXPECT_EQ(entries(menus[1]->menu()), QStringList({"Выровнять столбцы", "-", "Задать цвет", "Убрать цвет",
                                                    "Убрать все цвета", "-", "Убрать сортировку"}));
  EXPECT_EQ(entries(menus[2]->menu()), QStringList({"Удалить строки"}));
  QStringList service = {"График",
                         "Протокол испытания…",
                         "-",
                         "Экспорт в Excel",
                         "Экспорт в Excel (.xlsx)",
                         "Экспорт в CSV",
                         "Сохранить как PDF",
                         "Перенумеровать строки"};
#ifndef VKT_WITH_XLSX
  service.removeAll("Экспорт в Excel (.xlsx)");  // a build without the .xlsx writer
#endif
  service.append({"-", "Параметры объекта…", "Порт прибора…"});
  EXPECT_EQ(entries(menus[3]->menu()), service);
  EXPECT_EQ(entries(menus[4]->menu()), QStringList({"Помощь", "-", "О программе"}));
}

TEST_F(MainWindowTest, ShortcutsRunTheirCommandsAndTheMenusShowPictures) {
  auto w = new_window();
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  const auto press = [&](const char* keys) {
    QTest::keySequence(w.get(), QKeySequence(QString::fromLatin1(keys)));
    QCoreApplication::processEvents();
  };
  // Ctrl+N asks where to create a file, Ctrl+O which file to open; both dialogs are cancelled.
  press("Ctrl+N");
  press("Ctrl+O");
  ASSERT_EQ(dialogs_.shown.size(), 2);
  EXPECT_EQ(dialogs_.shown[0].kind, "save");
  EXPECT_EQ(dialogs_.shown[1].kind, "open");
  // Ctrl+S and Ctrl+P need a file: without one nothing happens.
  press("Ctrl+S");
  press("Ctrl+P");
  EXPECT_EQ(dialogs_.shown.size(), 2);
  // F1 opens the help file (the default one, missing here: the built-in help window shows).
  QString seen;
  close_next_modal(&seen);
  press("F1");
  EXPECT_EQ(seen, "HelpWindow");

  const QStringList with_picture = {"N2", "N3", "N5", "N8", "N9", "N21", "Help1"};
  for (QAction* a : w->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!a->objectName().startsWith("ToolButton") && !a->text().isEmpty()) {
      EXPECT_EQ(!a->icon().isNull(), with_picture.contains(a->objectName())) << a->text().toStdString();
    }
  }
}

TEST_F(MainWindowTest, ToggledControlsFollowTheFileState) {
  auto w = new_window();
  const QStringList toggled_texts = {
      "Дополнить", "Сохранить", "Закрыть", "Предварительный просмотр", "Печать", "Выровнять столбцы",
      "Задать цвет", "Убрать цвет", "Убрать все цвета", "Убрать сортировку", "Удалить строки",
      "Экспорт в Excel", "Перенумеровать строки",
      // the exports beside "Экспорт в Excel" follow the same state
      "Экспорт в Excel (.xlsx)", "Экспорт в CSV", "Сохранить как PDF", "Сохранить как…",
      // and so do the object's parameters and its protocol
      "Параметры объекта…", "Протокол испытания…"};
  ASSERT_EQ(w->actions().toggled.size(), 16);

  auto check = [&](bool file_open) {
    for (QAction* a : w->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
      const bool is_toggled =
          toggled_texts.contains(a->text()) ||
          QStringList({"ToolButton3", "ToolButton4", "ToolButton5"}).contains(a->objectName());
      EXPECT_EQ(a->isEnabled(), is_toggled ? file_open : true)
          << a->objectName().toStdString() << " " << a->text().toStdString();
    }
  };
  check(false);
  w->files().Open_DB(empty_file());
  check(true);
  w->files().Close_DB();
  check(false);
}

TEST_F(MainWindowTest, ToolbarShowsSixPicturesWithoutCaptionsRunningTheMenuCommands) {
  auto w = new_window();
  auto* bar = w->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->height(), 29);
  const QList<QAction*> buttons = bar->actions();
  ASSERT_EQ(buttons.size(), 6);
  for (QAction* b : buttons) {
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_TRUE(b->text().isEmpty());
    EXPECT_TRUE(b->toolTip().isEmpty());
  }
  // The create button runs "Создать"; open runs "Открыть".
  int created = 0;
  int opened = 0;
  QObject::connect(testing::command(*w, "N2"), &QAction::triggered, [&] { ++created; });
  QObject::connect(testing::command(*w, "N3"), &QAction::triggered, [&] { ++opened; });
  buttons[0]->trigger();
  buttons[1]->trigger();
  EXPECT_EQ(created, 1);
  EXPECT_EQ(opened, 1);
}

TEST_F(MainWindowTest, ContextMenuIsNeverDisabledAndRunsTheMenuCommands) {
  auto w = new_window();
  QMenu* popup = w->actions().popup;
  EXPECT_EQ(entries(popup), QStringList({"График", "-", "Печать", "-", "Задать цвет", "Убрать цвет",
                                         "Убрать все цвета", "-", "Выровнять столбцы", "-", "Удалить"}));
  for (QAction* a : popup->actions()) {
    EXPECT_TRUE(a->isEnabled());
  }
  // Even while "Печать" in the menu is disabled, the context entry reaches its command.
  ASSERT_FALSE(testing::command(*w, "N9")->isEnabled());
  int printed = 0;
  int deleted = 0;
  QObject::connect(testing::command(*w, "N9"), &QAction::triggered, [&] { ++printed; });
  QObject::connect(testing::command(*w, "N21"), &QAction::triggered, [&] { ++deleted; });
  popup->findChild<QAction*>("PopupPrint")->trigger();
  popup->findChild<QAction*>("PopupDelete")->trigger();
  EXPECT_EQ(printed, 1);
  EXPECT_EQ(deleted, 1);
}

TEST_F(MainWindowTest, NoFileLookAndTabs) {
  auto w = new_window();
  EXPECT_EQ(w->objectName(), "TForm1");
  EXPECT_EQ(w->windowTitle(), "ВКТ - РС7");
  EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
  EXPECT_FALSE(w->has_file_look());
  EXPECT_EQ(w->background(), w->palette().color(QPalette::Dark));
  QTabWidget* tabs = w->tabs();
  EXPECT_EQ(tabs->objectName(), "PageControl1");
  EXPECT_TRUE(tabs->isHidden());
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "ВКТ-РС7");
  EXPECT_EQ(tabs->tabText(1), "ЗРН2-РС7");
  EXPECT_EQ(tabs->widget(0)->objectName(), "TabSheet1");
  EXPECT_EQ(tabs->widget(1)->objectName(), "TabSheet2");
  EXPECT_NE(tabs->widget(0)->findChild<QTableView*>("Grid1"), nullptr);
  EXPECT_NE(tabs->widget(1)->findChild<QTableView*>("Grid2"), nullptr);
  EXPECT_FALSE(state_.db_open);

  w->files().Open_DB(empty_file());
  EXPECT_EQ(w->background(), w->palette().color(QPalette::Button));
  w->files().Close_DB();
  EXPECT_EQ(w->background(), w->palette().color(QPalette::Dark));
}

TEST_F(MainWindowTest, QtsOwnButtonsAndDialogsSpeakRussian) {
  ASSERT_TRUE(install_russian_qt_texts(*QCoreApplication::instance()));
  QMessageBox box(QMessageBox::Question, "t", "?", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), "Да");
  EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), "Нет");
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Отмена");
  QFileDialog files(nullptr);
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setAcceptMode(QFileDialog::AcceptSave);
  const auto* buttons = files.findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove('&'), "Отмена");
  EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text().remove('&'), "Сохранить");
}

TEST_F(MainWindowTest, AboutWindowTextsFontsAndVersion) {
  EXPECT_EQ(AboutWindow::version_text("1.0.0.0"), "1.0.0.0");
  EXPECT_EQ(AboutWindow::version_text("7"), "0.0.0.0");
  EXPECT_EQ(AboutWindow::version_text(""), "0.0.0.0");

  auto w = new_window();
  auto* about = w->findChild<AboutWindow*>("Tform6");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), "О программе");
  EXPECT_EQ(about->size(), QSize(515, 151));
  EXPECT_TRUE(about->windowFlags() & Qt::Tool);

  QString shown;
  close_next_modal(&shown);
  testing::command(*w, "About1")->trigger();
  EXPECT_EQ(shown, "Tform6");

  auto label = [&](const char* name) { return about->findChild<QLabel*>(name); };
  EXPECT_EQ(label("Label1")->text(), "ВКТ - РС7");
  EXPECT_EQ(label("Label1")->font().pointSize(), 12);
  EXPECT_TRUE(label("Label1")->font().bold());
  EXPECT_EQ(label("Label2")->text(), QStringLiteral("Версия ") + QStringLiteral(VKT_VERSION));
  EXPECT_EQ(label("Label2")->font().pointSize(), 10);
  EXPECT_EQ(label("Label3")->text(), "Программа для передачи данных с приборов ВКТ-РС7");
  EXPECT_EQ(label("Label3")->font().pointSize(), 10);
  EXPECT_EQ(about->findChild<QPushButton*>("Button1")->text(), "Ок");
}

TEST_F(MainWindowTest, HelpFileDefaultsBesideProgramAndSwitchesToVktHlp) {
  {
    auto w = new_window();
    EXPECT_EQ(w->help_file(), QDir(dir_.path()).filePath("VKT.HLP"));
  }
  // A "zrn2.hlp" beside the program becomes the help file, and F1 opens it with the viewer.
  QFile zrn2(QDir(dir_.path()).filePath("zrn2.hlp"));
  ASSERT_TRUE(zrn2.open(QIODevice::WriteOnly));
  zrn2.close();
  auto w = new_window();
  EXPECT_EQ(w->help_file(), zrn2.fileName());
  testing::command(*w, "Help1")->trigger();
  EXPECT_EQ(opened_, QStringList({zrn2.fileName()}));

  // The toolbar button switches to "vkt.hlp" for the rest of the run; with that file present in
  // the current directory, both the button and F1 open it.
  QTemporaryDir cwd;
  const QString old_cwd = QDir::currentPath();
  QDir::setCurrent(cwd.path());
  QFile vkt("vkt.hlp");
  ASSERT_TRUE(vkt.open(QIODevice::WriteOnly));
  vkt.close();
  w->findChild<QAction*>("ToolButton6")->trigger();
  testing::command(*w, "Help1")->trigger();
  QDir::setCurrent(old_cwd);
  EXPECT_EQ(w->help_file(), "vkt.hlp");
  EXPECT_EQ(opened_, QStringList({zrn2.fileName(), "vkt.hlp", "vkt.hlp"}));
}

TEST_F(MainWindowTest, MissingHelpFileShowsTheBuiltInHelp) {
  auto w = new_window();
  QString shown;
  close_next_modal(&shown);
  testing::command(*w, "Help1")->trigger();
  EXPECT_EQ(shown, "HelpWindow");
  EXPECT_TRUE(opened_.isEmpty());
  const QString help = HelpWindow::contents();
  for (const char* topic : {"Создать", "Открыть", "Сортировка", "График", "Печать", "Экспорт в Excel"}) {
    EXPECT_TRUE(help.contains(QString::fromUtf8(topic))) << topic;
  }
}

TEST_F(MainWindowTest, WorkingDirectoryIsReadAtStartAndWrittenOnExit) {
  // No stored value: the current directory is taken and stored at once.
  {
    auto w = new_window();
    EXPECT_EQ(QString::fromStdString(state_.work_dir), QDir::currentPath());
    EXPECT_EQ(settings_->default_dir(), QDir::currentPath());
  }
  settings_->set_default_dir("/srv/measurements");
  auto w = new_window();
  EXPECT_EQ(state_.work_dir, "/srv/measurements");

  // "Выход" takes the close box's road: the working directory is written.
  state_.work_dir = "/srv/other";
  w->show();
  testing::command(*w, "Exit1")->trigger();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(settings_->default_dir(), "/srv/other");
}

TEST_F(MainWindowTest, SizeAndPlaceOfTheWindowAreKeptBetweenRuns) {
  {
    auto w = new_window();
    w->setWindowState(Qt::WindowNoState);
    w->setGeometry(40, 50, 900, 560);
    w->show();
    w->close();
  }
  auto w = new_window();
  w->show();
  EXPECT_FALSE(w->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(w->size(), QSize(900, 560));
}

TEST_F(MainWindowTest, SplashCannotBeDismissedAndEndsAfterItsTime) {
  SplashWindow splash(150);
  EXPECT_EQ(splash.objectName(), "TForm5");
  EXPECT_EQ(splash.size(), QSize(400, 77));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(SplashWindow::draw_picture().size(), QSize(400, 78));
  // Escape and close attempts before the time is up are ignored.
  QTimer::singleShot(20, &splash, [&] {
    splash.reject();
    splash.close();
  });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(splash.exec(), QDialog::Accepted);
  EXPECT_GE(clock.elapsed(), 140);
}

}  // namespace
}  // namespace vkt
