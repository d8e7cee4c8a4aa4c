#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <optional>

namespace vkt {

enum class SortMark { None, Up, Down };

// The stored layout of one grid column, keyed by its field name. Title, visibility, display and
// editability belong to the program, not to the layout.
struct StoredColumn {
  QString field;
  int width = 0;
  std::optional<QColor> color;  // none: the grid's normal colour
  SortMark sort = SortMark::None;
  int position = 0;
  int alignment = 0;  // Qt::Alignment bits
  QString font;       // QFont::toString(), empty for the grid's font
  friend bool operator==(const StoredColumn&, const StoredColumn&) = default;
};

// One text per grid ("Table_1", "Table_2"), a JSON array of columns.
QString layout_to_text(const QList<StoredColumn>& columns);
// Columns of a stored text; entries that cannot be read are passed over.
QList<StoredColumn> layout_from_text(const QString& text);

}  // namespace vkt
