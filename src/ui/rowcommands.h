#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "ui/windowcontext.h"

namespace vkt {

class GraphCommand;
class MeasurementGrid;
class ReportCommands;
struct MainActions;

// The commands on the rows of the open file: column colours and alignment, the sort, deleting
// and renumbering rows, the graph of a row, the printed reports and the exports.
class RowCommands : public QObject {
  Q_OBJECT
 public:
  RowCommands(const WindowContext& context, const MainActions& actions, QObject* parent);
  ~RowCommands() override;

 public slots:
  void N17Click();       // "Задать цвет"
  void N18Click();       // "Убрать цвет"
  void N19Click();       // "Убрать все цвета"
  void N23Click();       // "Выровнять столбцы"
  void N21Click();       // "Удалить строки", "Удалить"
  void N33Click();       // "Убрать сортировку"
  void N37Click();       // "Перенумеровать строки"
  void Grid1DblClick();  // also "Сервис" -> "График" and the context menu's "График"
  void Excel1Click();    // "Экспорт в Excel"
  void Xlsx1Click();     // "Экспорт в Excel (.xlsx)", where the build writes .xlsx
  void Csv1Click();      // "Экспорт в CSV"
  void ObjectParametersClick();  // "Параметры объекта…"
  void ProtocolClick();          // "Протокол испытания…": the chosen rows

 signals:
  // A line for the status bar.
  void told(const QString& text);

 private:
  // The grid of the visible tab while a file's rows are shown, else nullptr.
  MeasurementGrid* shown_grid() const;
  void create_report_commands(const MainActions& actions);
  void exp2excel();
  // The rows of the visible tab in another format, through the save dialog as "Экспорт в Excel".
  void export_rows(int format, const QString& filter, const QString& suffix, const QString& caption);
  // "Экспорт в файл … завершен успешно."
  void tell_exported(const QString& caption, const QString& name);

  WindowContext context_;
  std::unique_ptr<GraphCommand> graph_;  // TForm7 and TGraff
  ReportCommands* reports_ = nullptr;    // "Предварительный просмотр", "Печать"
};

}  // namespace vkt
