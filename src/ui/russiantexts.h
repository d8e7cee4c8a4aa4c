#pragma once

class QCoreApplication;

namespace vkt {

// Loads Qt's own Russian texts into the application, whatever the system's language: the buttons
// of message boxes ("Да", "Нет", "Отмена"), the file and colour dialogs, the question before a
// file is replaced. They are looked for in the folder "translations" beside the program, then in
// Qt's own folder. False when none was found (the program then goes on with Qt's English texts).
bool install_russian_qt_texts(QCoreApplication& application);

}  // namespace vkt
