#pragma once

#include <QObject>

class QMenu;
#include <QString>

#include "ui/dialogs.h"
#include "ui/windowcontext.h"

namespace vkt {

class DownloadDialog;

// The life of the window's measurement file: "Создать" (a new file from a download),
// "Открыть", "Дополнить", "Сохранить", "Закрыть".
class FileCommands : public QObject {
  Q_OBJECT
 public:
  FileCommands(const WindowContext& context, DownloadDialog& download, QObject* parent);

  void Open_DB(const QString& path);
  // False when the file could not be written (the failure has been shown).
  bool Save_DB();
  // Asks whether to keep unsaved edits first.
  void Close_DB();

 public slots:
  void N2Click();      // "Создать"
  void N3Click();      // "Открыть"
  void N4Click();      // "Дополнить"
  void N5Click();      // "Сохранить"
  void N7Click();      // "Закрыть"
  void SaveAsClick();  // "Сохранить как…"
  // Fills "Последние файлы" (the five files opened last that are still there).
  void fill_recent(QMenu* menu);

 signals:
  // A file's rows are on screen now, or no file is any more. The caption names an opened file
  // (its path); a file just made from a download leaves it as it is (an empty path).
  void file_shown(const QString& path);
  void file_gone();
  // Everything typed is in the file now.
  void file_saved();
  // What a command did, for the status line ("Файл сохранён.").
  void told(const QString& text);

 private:
  // Shows the open file, or closes it again when its rows cannot be shown.
  void show_file(bool named);
  // Back to the look without a file.
  void leave_file();
  // What the last open, create or append found wrong with the waveforms beside the file.
  void tell_waveform_problem();
  Dialogs::FileRequest database_request(const QString& filter) const;
  // The file just opened goes first in "Последние файлы".
  void remember(const QString& path);

  WindowContext context_;
  DownloadDialog& download_;
};

}  // namespace vkt
