#include "ui/programtitle.h"

#include <QFont>

namespace vkt {

QFont program_font() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace vkt
