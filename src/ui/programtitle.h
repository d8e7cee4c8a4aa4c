#pragma once

#include <QFont>
#include <QString>

namespace vkt {

// The program's name as the user sees it: application title, the main window's caption
// without a file, and the caption of the closing question.
inline QString program_title() {
  return QStringLiteral("ВКТ - РС7");
}

// The font of the program's windows: MS Sans Serif 8 pt where it exists, otherwise the
// platform's closest sans-serif face.
QFont program_font();

}  // namespace vkt
