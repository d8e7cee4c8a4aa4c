#include "ui/mainactions.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <optional>

#include "ui/icons.h"

namespace vkt {

namespace {

QAction* make_action(QMainWindow* window, const QList<QIcon>& pictures, const char* name, const QString& text,
                     std::optional<Picture> picture = std::nullopt, const QKeySequence& shortcut = {}) {
  auto* action = new QAction(text, window);
  action->setObjectName(QString::fromLatin1(name));
  if (picture) {
    action->setIcon(pictures.at(static_cast<int>(*picture)));
  }
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
  }
  return action;
}

void create_commands(MainActions& a, QMainWindow* w, const QList<QIcon>& pics, bool with_xlsx) {
  using P = Picture;
  a.create =
      make_action(w, pics, "N2", QStringLiteral("Создать"), P::Create, QKeySequence(Qt::CTRL | Qt::Key_N));
  a.open = make_action(w, pics, "N3", QStringLiteral("Открыть"), P::Open, QKeySequence(Qt::CTRL | Qt::Key_O));
  a.append = make_action(w, pics, "N4", QStringLiteral("Дополнить"));
  a.save =
      make_action(w, pics, "N5", QStringLiteral("Сохранить"), P::Save, QKeySequence(Qt::CTRL | Qt::Key_S));
  a.save_as = make_action(w, pics, "SaveAs1", QStringLiteral("Сохранить как…"), std::nullopt,
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  a.close = make_action(w, pics, "N7", QStringLiteral("Закрыть"));
  a.preview = make_action(w, pics, "N8", QStringLiteral("Предварительный просмотр"), P::Preview);
  a.print =
      make_action(w, pics, "N9", QStringLiteral("Печать"), P::Print, QKeySequence(Qt::CTRL | Qt::Key_P));
  a.exit = make_action(w, pics, "Exit1", QStringLiteral("Выход"));
  a.align = make_action(w, pics, "N23", QStringLiteral("Выровнять столбцы"));
  a.set_color = make_action(w, pics, "N17", QStringLiteral("Задать цвет"));
  a.clear_color = make_action(w, pics, "N18", QStringLiteral("Убрать цвет"));
  a.clear_colors = make_action(w, pics, "N19", QStringLiteral("Убрать все цвета"));
  a.clear_sort = make_action(w, pics, "N33", QStringLiteral("Убрать сортировку"));
  // Del deletes the marked rows (after the question); a cell being edited takes Del itself.
  a.delete_rows = make_action(w, pics, "N21", QStringLiteral("Удалить строки"), P::DeleteRows,
                              QKeySequence(QKeySequence::Delete));
  a.graph = make_action(w, pics, "Graph1", QStringLiteral("График"));
  a.excel = make_action(w, pics, "Excel1", QStringLiteral("Экспорт в Excel"));
  a.renumber = make_action(w, pics, "N37", QStringLiteral("Перенумеровать строки"));
  a.port_setup = make_action(w, pics, "PortSetup1", QStringLiteral("Порт прибора…"));
  a.object = make_action(w, pics, "ObjectParameters1", QStringLiteral("Параметры объекта…"));
  a.protocol = make_action(w, pics, "Protocol1", QStringLiteral("Протокол испытания…"));
  a.help = make_action(w, pics, "Help1", QStringLiteral("Помощь"), P::Help, QKeySequence(Qt::Key_F1));
  a.about = make_action(w, pics, "About1", QStringLiteral("О программе"));
  if (with_xlsx) {
    a.xlsx = make_action(w, pics, "Xlsx1", QStringLiteral("Экспорт в Excel (.xlsx)"));
    a.exports.append(a.xlsx);
  }
  a.csv = make_action(w, pics, "Csv1", QStringLiteral("Экспорт в CSV"));
  a.pdf = make_action(w, pics, "Pdf1", QStringLiteral("Сохранить как PDF"));
  a.exports << a.csv << a.pdf << a.save_as << a.object << a.protocol;
  a.recent = new QMenu(QStringLiteral("Последние файлы"), w);
  a.recent->setObjectName(QStringLiteral("RecentFiles1"));
  // In menu order.
  a.toggled = {a.append,      a.save,         a.close,      a.preview,     a.print, a.align,   a.set_color,
               a.clear_color, a.clear_colors, a.clear_sort, a.delete_rows, a.excel, a.renumber};
}

void create_menus(const MainActions& a, QMainWindow* w) {
  struct Entry {
    const char* menu_name;
    QString title;
    QList<QAction*> commands;  // nullptr = separator
  };
  QList<QAction*> service = {a.graph, a.protocol, nullptr, a.excel};
  if (a.xlsx != nullptr) {  // a build without .xlsx has no "Xlsx1"
    service << a.xlsx;
  }
  service << a.csv << a.pdf << a.renumber << nullptr << a.object << a.port_setup;
  // The menu titles with their Alt letters.
  const QList<Entry> menus = {
      {"File1",
       QStringLiteral("&Файл"),
       {a.create, a.open, a.recent->menuAction(), a.append, a.save, a.save_as, a.close, nullptr, a.preview,
        a.print, nullptr, a.exit}},
      {"View1",
       QStringLiteral("&Вид"),
       {a.align, nullptr, a.set_color, a.clear_color, a.clear_colors, nullptr, a.clear_sort}},
      {"Edit1", QStringLiteral("&Правка"), {a.delete_rows}},
      {"Service1", QStringLiteral("&Сервис"), service},
      {"Reference1", QStringLiteral("Спр&авка"), {a.help, nullptr, a.about}},
  };
  w->menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  for (const Entry& entry : menus) {
    QMenu* menu = w->menuBar()->addMenu(entry.title);
    menu->setObjectName(QString::fromLatin1(entry.menu_name));
    for (QAction* action : entry.commands) {
      if (action == nullptr) {
        menu->addSeparator();
      } else {
        menu->addAction(action);
      }
    }
  }
}

void create_toolbar(MainActions& a, QMainWindow* w, const QList<QIcon>& pictures) {
  QToolBar* toolbar = w->addToolBar(QStringLiteral("ToolBar1"));
  toolbar->setObjectName(QStringLiteral("ToolBar1"));
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->setFixedHeight(29);
  toolbar->setIconSize(QSize(16, 16));
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar->toggleViewAction()->setEnabled(false);
  w->setContextMenuPolicy(Qt::NoContextMenu);

  const QList<QPair<QAction*, Picture>> buttons = {{a.create, Picture::Create}, {a.open, Picture::Open},
                                                   {a.save, Picture::Save},     {a.preview, Picture::Preview},
                                                   {a.print, Picture::Print},   {nullptr, Picture::Help}};
  int number = 1;
  for (const auto& [twin, picture] : buttons) {
    // Pictures only: no caption and no hint.
    auto* button = new QAction(pictures.at(static_cast<int>(picture)), QString(), w);
    button->setObjectName(QStringLiteral("ToolButton%1").arg(number++));
    toolbar->addAction(button);
    if (twin == nullptr) {
      a.help_button = button;
      continue;
    }
    QObject::connect(button, &QAction::triggered, twin, &QAction::triggered);
    if (a.toggled.contains(twin)) {
      a.toggled.append(button);
    }
  }
}

// The grids' context menu: never disabled; each entry runs the same command as its menu twin,
// and the command itself checks whether a table is open.
void create_popup(MainActions& a, QMainWindow* w) {
  a.popup = new QMenu(w);
  a.popup->setObjectName(QStringLiteral("PopupMenu1"));
  const QList<QPair<const char*, QAction*>> entries = {
      {"PopupGraph", a.graph},
      {nullptr, nullptr},
      {"PopupPrint", a.print},
      {nullptr, nullptr},
      {"PopupSetColor", a.set_color},
      {"PopupClearColor", a.clear_color},
      {"PopupClearColors", a.clear_colors},
      {nullptr, nullptr},
      {"PopupAlign", a.align},
      {nullptr, nullptr},
      {"PopupDelete", a.delete_rows},
  };
  for (const auto& [name, twin] : entries) {
    if (name == nullptr) {
      a.popup->addSeparator();
      continue;
    }
    const QString text = twin == a.delete_rows ? QStringLiteral("Удалить") : twin->text();
    QAction* entry = a.popup->addAction(text);
    entry->setObjectName(QString::fromLatin1(name));
    QObject::connect(entry, &QAction::triggered, twin, &QAction::triggered);
  }
}

}  // namespace

MainActions create_main_actions(QMainWindow* window, const QList<QIcon>& pictures, bool with_xlsx) {
  MainActions actions;
  create_commands(actions, window, pictures, with_xlsx);
  create_menus(actions, window);
  create_toolbar(actions, window, pictures);
  create_popup(actions, window);
  return actions;
}

}  // namespace vkt
