#include "output/report/reportdocument.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "output/report/reportlayouts.h"

namespace vkt::report {
namespace {

// The cell of a page whose static text or field is the given one, among cells of the band at top.
const PlacedCell* find_cell(const std::vector<PlacedCell>& cells, const std::string& field, double top) {
  for (const auto& c : cells) {
    if (c.cell->field == field && std::abs(c.top - top) < 1e-6) {
      return &c;
    }
  }
  return nullptr;
}

std::vector<std::string> texts(const std::vector<PlacedCell>& cells) {
  std::vector<std::string> out;
  for (const auto& c : cells) {
    out.push_back(c.text);
  }
  return out;
}

bool has_text(const std::vector<PlacedCell>& cells, const std::string& text) {
  const auto all = texts(cells);
  return std::find(all.begin(), all.end(), text) != all.end();
}

MemoryDataset device_b_rows(int count) {
  MemoryDataset data;
  for (int i = 1; i <= count; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i));
    data.set(r, "DATE", std::string("05.03.2021"));
    data.set(r, "TIME", std::string("10:15:0") + std::to_string(i % 10));
    data.set(r, "SERIAL", 1234.0);
    data.set(r, "NB_TYPE", 1.0);
    data.set(r, "P", 3.0 + i);
    data.set(r, "R", 12.5);
    data.set(r, "ZAV", std::string("базовая"));
    data.set(r, "COMMENT", std::string("участок ") + std::to_string(i));
  }
  return data;
}

TEST(ReportDocument, ThreeDeviceBRowsMakeOnePage) {
  const MemoryDataset data = device_b_rows(3);
  const ReportDocument doc(report2(), data, {"."});
  ASSERT_EQ(doc.page_count(), 1);
  const auto cells = doc.page_cells(0);
  // Title, 7 header cells, 3 rows of 7 cells, footer.
  EXPECT_EQ(cells.size(), 1u + 7 + 3 * 7 + 1);
  EXPECT_EQ(cells.front().text, "ЗРН2-РС7  № 1234");
  EXPECT_EQ(cells.back().text, "Стр. 1 из 1");
  EXPECT_NEAR(cells.back().top, 297 - 6.9 - 5.5, 1e-9);
  for (const std::string header : {"N", "Дата", "Время", "P, кН", "R, МПа", "№ зависимости", "Примечание"}) {
    EXPECT_TRUE(has_text(cells, header)) << header;
  }
  // Rows follow the header directly, 11.1 mm apart.
  for (int i = 0; i < 3; ++i) {
    const PlacedCell* n = find_cell(cells, "N", 41.2 + 11.1 * i);
    ASSERT_NE(n, nullptr) << i;
    EXPECT_EQ(n->text, std::to_string(i + 1));
    EXPECT_NEAR(n->height, 11.1, 1e-9);
  }
}

TEST(ReportDocument, PullOffValuesPrintWithACommaUnderAPointLocale) {
  const MemoryDataset data = device_b_rows(1);
  for (const ReportLayout* layout : {&report2(), &report3()}) {
    SCOPED_TRACE(layout->name);
    const ReportDocument doc(*layout, data, {"."});
    const auto cells = doc.page_cells(0);
    const PlacedCell* r = find_cell(cells, "R", 41.2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->text, "12,50");
    const PlacedCell* p = find_cell(cells, "P", 41.2);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->text, "4,00");
  }
}

TEST(ReportDocument, DeviceAModuliRoundedExceptF3) {
  MemoryDataset data;
  const auto r = data.add_row();
  data.set(r, "N", 7.0);
  data.set(r, "D9", 151.0);
  data.set(r, "P", 152.6);
  data.set(r, "R", 149.5);
  data.set(r, "T", 152.6);
  data.set(r, "P10", 310.0);
  data.set(r, "P3", std::string("0,3"));
  data.set(r, "D2", std::string("Песок"));
  for (const std::string sep : {".", ","}) {
    const ReportDocument doc(report1(), data, {sep});
    const auto cells = doc.page_cells(0);
    auto text_of = [&](const std::string& field) {
      const PlacedCell* c = find_cell(cells, field, 41.2);
      return c == nullptr ? std::string("<none>") : c->text;
    };
    EXPECT_EQ(text_of("P"), "153");
    EXPECT_EQ(text_of("R"), "150");
    EXPECT_EQ(text_of("D9"), "151");
    EXPECT_EQ(text_of("T"), "152" + sep + "6");
    EXPECT_EQ(text_of("P10"), "310");
    EXPECT_EQ(text_of("P3"), "0,3");
    EXPECT_EQ(text_of("D4"), "");  // empty field
    EXPECT_EQ(cells.front().text, "ВКТ-РС7 ");
  }
}

TEST(ReportDocument, OlderModelLayoutHasAnEmptyPlateTypeCell) {
  MemoryDataset data = device_b_rows(2);
  data.set(1, "TYPE", std::string("круг 50 мм"));
  const ReportDocument doc(report3(), data, {","});
  const auto cells = doc.page_cells(0);
  EXPECT_EQ(cells.front().text, "ЛМФ-РС7  № 1234");
  EXPECT_TRUE(has_text(cells, "Тип и размер пластины"));
  const PlacedCell* first = find_cell(cells, "TYPE", 41.2);
  const PlacedCell* second = find_cell(cells, "TYPE", 41.2 + 15.2);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->text, "");
  EXPECT_EQ(second->text, "круг 50 мм");
  EXPECT_NEAR(second->height, 14.7, 1e-9);
  // The header cells stand 0.3 mm below the band's top.
  const auto header =
      std::find_if(cells.begin(), cells.end(), [](const PlacedCell& c) { return c.text == "N"; });
  ASSERT_NE(header, cells.end());
  EXPECT_NEAR(header->top, 24.6 + 0.3, 1e-9);
}

TEST(ReportDocument, LaterPagesHaveNoTitleAndCountThePages) {
  const MemoryDataset data = device_b_rows(50);  // 21 + 23 + 6 rows
  const ReportDocument doc(report2(), data, {","});
  ASSERT_EQ(doc.page_count(), 3);
  const auto second = doc.page_cells(1);
  EXPECT_FALSE(has_text(second, "ЗРН2-РС7  № 1234"));
  EXPECT_EQ(second.size(), 7u + 23 * 7 + 1);
  EXPECT_EQ(second.back().text, "Стр. 2 из 3");
  // The header is at the top margin; the first row is row 22.
  const PlacedCell* n = find_cell(second, "N", 6.9 + 16.6);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->text, "22");
  EXPECT_EQ(doc.page_cells(2).back().text, "Стр. 3 из 3");
  EXPECT_THROW(doc.page_cells(3), std::out_of_range);
  EXPECT_THROW(doc.page_cells(-1), std::out_of_range);
}

TEST(ReportDocument, NoRowsPrintTitleWithoutSerialHeaderAndFooter) {
  const MemoryDataset data;
  const ReportDocument doc(report2(), data, {","});
  ASSERT_EQ(doc.page_count(), 1);
  const auto cells = doc.page_cells(0);
  EXPECT_EQ(cells.size(), 1u + 7 + 1);
  EXPECT_EQ(cells.front().text, "ЗРН2-РС7  № ");
  EXPECT_EQ(cells.back().text, "Стр. 1 из 1");
}

TEST(ReportChoice, FollowsTheVisibleTabAndTheInstrumentCode) {
  EXPECT_EQ(choose_report(false, true, 0, 0), std::nullopt);
  EXPECT_EQ(choose_report(true, false, 0, 0), std::nullopt);
  EXPECT_EQ(choose_report(true, true, -1, 0), std::nullopt);
  EXPECT_EQ(choose_report(true, true, 0, 0), ReportKind::Report1);
  EXPECT_EQ(choose_report(true, true, 0, 1), ReportKind::Report1);
  EXPECT_EQ(choose_report(true, true, 0, 13), ReportKind::Report3);
  EXPECT_EQ(choose_report(true, true, 1, 13), ReportKind::Report2);
  EXPECT_EQ(choose_report(true, true, 1, 0), ReportKind::Report2);
  EXPECT_EQ(&layout_of(ReportKind::Report3), &report3());
}

TEST(ReportLayouts, ReadTheFieldsOfTheirColumns) {
  const auto a = fields_used(report1());
  EXPECT_EQ(a.size(), 18u);
  EXPECT_EQ(a.front(), "N");
  EXPECT_EQ(a.back(), "D6");
  const auto b = fields_used(report2());
  EXPECT_EQ(b, (std::vector<std::string>{"SERIAL", "N", "DATE", "TIME", "P", "R", "ZAV", "COMMENT"}));
  const auto c = fields_used(report3());
  EXPECT_NE(std::find(c.begin(), c.end(), "TYPE"), c.end());
}

TEST(ReportLayouts, CellsStayOnThePaperAndColumnsDoNotLeaveGaps) {
  for (const ReportLayout* layout : {&report1(), &report2(), &report3()}) {
    SCOPED_TRACE(layout->name);
    for (const Band* band : {&layout->title, &layout->page_header, &layout->row, &layout->page_footer}) {
      for (const Cell& c : band->cells) {
        EXPECT_GE(c.left, 0);
        EXPECT_LE(c.left + c.width, layout->page.width);
        EXPECT_LE(c.height, band->height + 0.3 + 1e-9);
      }
    }
    const auto& cols = layout->row.cells;
    for (std::size_t i = 1; i < cols.size(); ++i) {
      // Neighbouring columns touch or overlap a little (N and Дата of Report1 by 0.8 mm).
      const double gap = cols[i].left - (cols[i - 1].left + cols[i - 1].width);
      EXPECT_LE(gap, 0.1 + 1e-9) << i;
      EXPECT_GE(gap, -0.8 - 1e-9) << i;
    }
  }
}

}  // namespace
}  // namespace vkt::report
