#pragma once

#include <QList>
#include <QMenu>

class QAction;
class QIcon;
class QMainWindow;

namespace vkt {

// The main window's commands (TForm1's menu items and toolbar buttons), each under its
// objectName. The toolbar buttons and the context menu's entries trigger their menu twins, except
// the toolbar's help button, which has a command of its own.
struct MainActions {
  QAction* create = nullptr;        // N2 "Создать"
  QAction* open = nullptr;          // N3 "Открыть"
  QAction* append = nullptr;        // N4 "Дополнить"
  QAction* save = nullptr;          // N5 "Сохранить"
  QAction* close = nullptr;         // N7 "Закрыть"
  QAction* preview = nullptr;       // N8 "Предварительный просмотр"
  QAction* print = nullptr;         // N9 "Печать"
  QAction* exit = nullptr;          // Exit1 "Выход"
  QAction* align = nullptr;         // N23 "Выровнять столбцы"
  QAction* set_color = nullptr;     // N17 "Задать цвет"
  QAction* clear_color = nullptr;   // N18 "Убрать цвет"
  QAction* clear_colors = nullptr;  // N19 "Убрать все цвета"
  QAction* clear_sort = nullptr;    // N33 "Убрать сортировку"
  QAction* delete_rows = nullptr;   // N21 "Удалить строки"
  QAction* graph = nullptr;         // Graph1 "График"
  QAction* excel = nullptr;         // Excel1 "Экспорт в Excel"
  QAction* xlsx = nullptr;          // Xlsx1, only where the build writes .xlsx
  QAction* csv = nullptr;           // Csv1 "Экспорт в CSV"
  QAction* pdf = nullptr;           // Pdf1 "Сохранить как PDF"
  QAction* renumber = nullptr;      // N37 "Перенумеровать строки"
  QAction* save_as = nullptr;       // SaveAs1 "Сохранить как…", Ctrl+Shift+S
  QAction* port_setup = nullptr;    // PortSetup1 "Порт прибора…"
  QAction* object = nullptr;        // ObjectParameters1 "Параметры объекта…"
  QAction* protocol = nullptr;      // Protocol1 "Протокол испытания…"
  QAction* help = nullptr;          // Help1 "Помощь"
  QAction* about = nullptr;         // About1 "О программе"
  QAction* help_button = nullptr;   // ToolButton6
  QMenu* popup = nullptr;           // PopupMenu1, the grids' context menu
  QMenu* recent = nullptr;          // RecentFiles1 "Последние файлы", in the "Файл" menu

  // The 16 controls that need an open file: 13 menu entries and the toolbar's save, preview
  // and print buttons.
  QList<QAction*> toggled;
  // The exports beside "Экспорт в Excel", "Сохранить как…", the object's parameters and the
  // protocol, toggled with the 16.
  QList<QAction*> exports;
};

// Builds the commands, the main menu, the toolbar and the context menu of the window.
MainActions create_main_actions(QMainWindow* window, const QList<QIcon>& pictures, bool with_xlsx);

}  // namespace vkt
