#include "store/columnlayout.h"

#include <gtest/gtest.h>

namespace vkt {
namespace {

TEST(ColumnLayout, EveryPropertySurvivesTheText) {
  QList<StoredColumn> columns;
  columns.append({"N", 40, std::nullopt, SortMark::None, 0, int(Qt::AlignCenter), ""});
  columns.append({"P", 73, QColor(255, 200, 10), SortMark::Up, 1, int(Qt::AlignRight | Qt::AlignVCenter),
                  "Liberation Sans,8,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"});
  columns.append({"COMMENT", 2, QColor(0, 0, 0, 128), SortMark::Down, 21, int(Qt::AlignLeft), ""});
  const QString text = layout_to_text(columns);
  EXPECT_EQ(layout_from_text(text), columns);
  // Cyrillic and quotes in a font name do not break the text.
  columns[0].font = "Шрифт \"1\"";
  EXPECT_EQ(layout_from_text(layout_to_text(columns)), columns);
}

TEST(ColumnLayout, DamagedTextGivesWhatCanBeRead) {
  EXPECT_TRUE(layout_from_text("").isEmpty());
  EXPECT_TRUE(layout_from_text("not a layout").isEmpty());
  const QList<StoredColumn> read =
      layout_from_text(R"([{"field":"P","width":5,"color":"nonsense","sort":"sideways"},{"width":9},7])");
  ASSERT_EQ(read.size(), 1);
  EXPECT_EQ(read[0].field, "P");
  EXPECT_EQ(read[0].width, 5);
  EXPECT_FALSE(read[0].color.has_value());
  EXPECT_EQ(read[0].sort, SortMark::None);
}

}  // namespace
}  // namespace vkt
