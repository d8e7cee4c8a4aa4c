#include "ui/filecommands.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <algorithm>
#include <filesystem>

#include "core/programstate.h"
#include "store/appsettings.h"
#include "store/measurement/measurementdocument.h"
#include "ui/downloaddialog.h"
#include "ui/measurementtabs.h"
#include "ui/programtitle.h"

namespace vkt {

namespace {

constexpr qsizetype kRecentFiles = 5;

std::filesystem::path to_path(const QString& path) {
  return std::filesystem::path(QFileInfo(path).absoluteFilePath().toStdU16String());
}

}  // namespace

FileCommands::FileCommands(const WindowContext& context, DownloadDialog& download, QObject* parent)
    : QObject(parent), context_(context), download_(download) {}

Dialogs::FileRequest FileCommands::database_request(const QString& filter) const {
  Dialogs::FileRequest request;
  request.filter = filter;
  request.default_suffix = QStringLiteral("db");
  request.directory = context_.work_dir();
  return request;
}

// --- opening, saving, closing ---

void FileCommands::N3Click() {
  const QString name =
      context_.dialogs->open_file(context_.window, database_request(QStringLiteral("Базы данных|*.db")));
  if (name.isEmpty()) {
    return;
  }
  Close_DB();
  context_.state->work_dir = QFileInfo(name).absolutePath().toStdString();
  Open_DB(name);
}

void FileCommands::Open_DB(const QString& path) {
  if (context_.state->db_open) {
    Close_DB();
  }
  measurement::MeasurementDocument::Opened opened;
  try {
    // A file on a read-only medium is shown all the same; a change says why it cannot be made.
    opened = context_.document->open(to_path(path), measurement::Access::Editing);
  } catch (const std::exception& e) {
    context_.show_failure(e, FailureContext::Opening);
    return;
  }
  if (!opened.index_problem.empty()) {
    context_.show_error(QString::fromStdString(opened.index_problem));
  }
  tell_waveform_problem();
  show_file(true);
  if (context_.state->db_open) {
    remember(path);
  }
}

void FileCommands::remember(const QString& path) {
  if (context_.settings == nullptr) {
    return;
  }
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList files = context_.settings->recent_files();
  files.removeAll(absolute);
  files.prepend(absolute);
  context_.settings->set_recent_files(files.mid(0, kRecentFiles));
}

void FileCommands::fill_recent(QMenu* menu) {
  menu->clear();
  QStringList files = context_.settings == nullptr ? QStringList() : context_.settings->recent_files();
  // Files moved or deleted since are dropped from the list.
  files.erase(
      std::remove_if(files.begin(), files.end(), [](const QString& f) { return !QFileInfo::exists(f); }),
      files.end());
  if (context_.settings != nullptr) {
    context_.settings->set_recent_files(files);
  }
  for (qsizetype i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
    connect(entry, &QAction::triggered, this, [this, path] {
      Close_DB();
      context_.state->work_dir = QFileInfo(path).absolutePath().toStdString();
      Open_DB(path);
    });
  }
  menu->setEnabled(!files.isEmpty());
}

void FileCommands::SaveAsClick() {
  if (!context_.state->db_open || !context_.document->is_open()) {
    return;
  }
  Dialogs::FileRequest request = database_request(QStringLiteral("Базы данных|*.db"));
  request.confirm_overwrite = true;
  const QString name = context_.dialogs->save_file(context_.window, request);
  if (name.isEmpty() || !Save_DB()) {
    return;
  }
  context_.tabs->detach();
  bool saved = true;
  try {
    context_.document->save_as(to_path(name));
  } catch (const std::exception& e) {
    saved = false;
    context_.show_failure(e);
  }
  if (!context_.document->is_open()) {
    leave_file();  // not even the old file could be opened again
    return;
  }
  show_file(true);
  if (saved) {
    context_.state->work_dir = QFileInfo(name).absolutePath().toStdString();
    remember(name);
    emit told(QStringLiteral("Файл сохранён как ") + QDir::toNativeSeparators(name) + QLatin1Char('.'));
  }
}

void FileCommands::show_file(bool named) {
  ProgramState& state = *context_.state;
  if (named) {
    // A file just made from a download keeps the code the import found.
    state.device_code = context_.document->device_code();
  }
  state.db_open = true;
  try {
    context_.tabs->show_file();
    // The statistics describe the rows of the tab just shown.
    context_.tabs->find_mma();
  } catch (const std::exception& e) {
    // Rows that cannot be shown: the file is closed again, as it was found.
    leave_file();
    context_.show_failure(e, FailureContext::Opening);
    return;
  }
  context_.tabs->load_layouts(context_.settings);
  state.db_modified = false;
  emit file_shown(named ? QString::fromStdU16String(context_.document->path().u16string()) : QString());
}

void FileCommands::tell_waveform_problem() {
  // The rows are shown all the same; only the graph of a row without waveforms needs the
  // instrument.
  const std::string& problem = context_.document->waveform_problem();
  if (!problem.empty()) {
    context_.dialogs->message(context_.window, QStringLiteral("Кривые измерений"),
                              QString::fromStdString(problem), Dialogs::Icon::Warning, {Dialogs::Button::Ok});
  }
}

void FileCommands::leave_file() {
  context_.state->db_open = false;
  context_.state->db_modified = false;
  context_.tabs->hide_file();
  try {
    context_.document->close();
  } catch (const std::exception& e) {
    context_.show_failure(e);
  }
  emit file_gone();
}

void FileCommands::N5Click() {
  if (context_.state->db_open && Save_DB()) {
    emit told(QStringLiteral("Файл сохранён."));
  }
}

bool FileCommands::Save_DB() {
  if (!context_.state->db_open) {
    return false;
  }
  bool saved = true;
  if (context_.document->is_open()) {
    try {
      context_.tabs->post_pending();
      context_.document->save();
    } catch (const std::exception& e) {
      context_.show_failure(e);
      saved = false;
    }
    context_.tabs->reload();
  }
  context_.state->db_modified = false;
  emit file_saved();
  return saved;
}

void FileCommands::N7Click() {
  Close_DB();
}

void FileCommands::Close_DB() {
  if (context_.state->db_modified) {
    const auto answer = context_.dialogs->message(
        context_.window, program_title(), QStringLiteral("Сохранить изменения в таблицах ?"),
        Dialogs::Icon::Question, {Dialogs::Button::Yes, Dialogs::Button::No});
    if (answer == Dialogs::Button::Yes) {
      Save_DB();
    } else {
      context_.tabs->drop_pending();
    }
  }
  if (context_.state->db_open) {
    context_.tabs->store_layout(context_.settings);
  }
  leave_file();
}

// --- a download into a measurement file ---

void FileCommands::N2Click() {
  Close_DB();
  Dialogs::FileRequest request = database_request(QStringLiteral("Файлы данных|*.db"));
  // Replacing a file of months of measurements deserves the usual question.
  request.confirm_overwrite = true;
  const QString name = context_.dialogs->save_file(context_.window, request);
  if (name.isEmpty()) {
    return;
  }
  // A folder that takes no new file, or a file another program holds, is said before the
  // instrument is asked, not after; the file is held until the new one takes its place.
  try {
    context_.document->reserve(to_path(name));
  } catch (const std::exception& e) {
    context_.show_failure(e);
    return;
  }
  if (download_.exec() != QDialog::Accepted) {
    context_.document->close();
    return;
  }
  try {
    context_.document->create(*context_.state, QString(system_decimal_point()).toStdString());
  } catch (const std::exception& e) {
    context_.document->close();
    context_.show_failure(e);
    return;
  }
  tell_waveform_problem();
  show_file(false);
}

void FileCommands::N4Click() {
  if (!context_.state->db_open) {
    const QString name =
        context_.dialogs->open_file(context_.window, database_request(QStringLiteral("Базы данных|*.db")));
    if (name.isEmpty()) {
      return;
    }
    Open_DB(name);
  }
  if (!context_.state->db_open) {
    return;
  }
  measurement::MeasurementDocument& document = *context_.document;
  // Rows added after rows no reader can read would be lost with them; the waveform file beside
  // the table is written anew in the file's folder, which must take new files.
  try {
    document.check_appendable();
  } catch (const std::exception& e) {
    context_.show_error(failure_text(e, FailureContext::Opening));
    return;
  }
  try {
    measurement::check_replaceable(document.path());
  } catch (const std::exception& e) {
    context_.show_failure(e);
    return;
  }
  if (download_.exec() != QDialog::Accepted) {
    return;
  }
  context_.tabs->clear_sorts();
  // The table's header counts the new rows only once they are on the disk, so a failure or a
  // crash on the way leaves the file as it was.
  context_.tabs->detach();
  try {
    const image::ImportResult added =
        document.append(*context_.state, QString(system_decimal_point()).toStdString());
    emit told(QStringLiteral("Добавлено строк: %1, пропущено: %2").arg(added.appended).arg(added.skipped));
  } catch (const std::exception& e) {
    context_.show_failure(e);
  }
  tell_waveform_problem();
  Save_DB();
  context_.tabs->show_file();
  context_.tabs->find_mma();
}

}  // namespace vkt
