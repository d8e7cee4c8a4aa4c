#include "store/columnlayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vkt {

namespace {

QString sort_name(SortMark mark) {
  switch (mark) {
    case SortMark::Up:
      return QStringLiteral("up");
    case SortMark::Down:
      return QStringLiteral("down");
    case SortMark::None:
      break;
  }
  return QStringLiteral("none");
}

SortMark sort_of(const QString& name) {
  if (name == QLatin1String("up")) {
    return SortMark::Up;
  }
  if (name == QLatin1String("down")) {
    return SortMark::Down;
  }
  return SortMark::None;
}

}  // namespace

QString layout_to_text(const QList<StoredColumn>& columns) {
  QJsonArray array;
  for (const StoredColumn& c : columns) {
    QJsonObject o;
    o[QStringLiteral("field")] = c.field;
    o[QStringLiteral("width")] = c.width;
    o[QStringLiteral("color")] = c.color ? c.color->name(QColor::HexArgb) : QString();
    o[QStringLiteral("sort")] = sort_name(c.sort);
    o[QStringLiteral("position")] = c.position;
    o[QStringLiteral("alignment")] = c.alignment;
    o[QStringLiteral("font")] = c.font;
    array.append(o);
  }
  return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<StoredColumn> layout_from_text(const QString& text) {
  QList<StoredColumn> out;
  const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
  for (const QJsonValue& v : doc.array()) {
    const QJsonObject o = v.toObject();
    StoredColumn c;
    c.field = o.value(QStringLiteral("field")).toString();
    if (c.field.isEmpty()) {
      continue;
    }
    c.width = o.value(QStringLiteral("width")).toInt();
    const QString color = o.value(QStringLiteral("color")).toString();
    if (!color.isEmpty() && QColor::isValidColorName(color)) {
      c.color = QColor::fromString(color);
    }
    c.sort = sort_of(o.value(QStringLiteral("sort")).toString());
    c.position = o.value(QStringLiteral("position")).toInt();
    c.alignment = o.value(QStringLiteral("alignment")).toInt();
    c.font = o.value(QStringLiteral("font")).toString();
    out.append(c);
  }
  return out;
}

}  // namespace vkt
