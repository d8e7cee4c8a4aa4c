#include "output/report/pagination.h"

#include <gtest/gtest.h>

#include <numeric>

#include "output/report/reportlayouts.h"

namespace vkt::report {
namespace {

struct RowsPerPage {
  const char* name;
  const ReportLayout& layout;
  std::size_t first;  // the first page also carries the title
  std::size_t other;
};

TEST(Pagination, RowsPerPageOfEachLayout) {
  // Landscape: 210 - 2 x 6.9 = 196.2 mm; title 17.7, header 16.6, footer 5.5, rows 11.1:
  // (196.2 - 39.8) / 11.1 = 14.09 and (196.2 - 22.1) / 11.1 = 15.68.
  // Portrait: 283.2 mm; rows 11.1 give 21.9 and 23.5; rows 15.2 give 16.01 and 17.2.
  const RowsPerPage cases[] = {
      {"Report1", report1(), 14, 15},
      {"Report2", report2(), 21, 23},
      {"Report3", report3(), 16, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rows_per_page(c.layout, true), c.first);
    EXPECT_EQ(rows_per_page(c.layout, false), c.other);
  }
}

TEST(Pagination, TitleOnlyOnTheFirstPageAndEveryRowOnce) {
  const PagePlan plan = paginate(report2(), 50);  // 21 + 23 + 6
  ASSERT_EQ(plan.page_count(), 3);
  EXPECT_TRUE(plan.pages[0].has_title);
  EXPECT_FALSE(plan.pages[1].has_title);
  EXPECT_FALSE(plan.pages[2].has_title);

  std::size_t expected_first = 0;
  for (int i = 0; i < plan.page_count(); ++i) {
    const auto& page = plan.pages[static_cast<std::size_t>(i)];
    EXPECT_EQ(page.number, i + 1);
    EXPECT_EQ(page.first_row, expected_first);
    expected_first += page.row_count;
  }
  EXPECT_EQ(expected_first, 50u);
  EXPECT_EQ(plan.pages[2].row_count, 6u);
}

TEST(Pagination, BandPositionsOnFirstAndLaterPages) {
  const PagePlan plan = paginate(report1(), 20);
  ASSERT_EQ(plan.page_count(), 2);
  const auto& first = plan.pages[0];
  EXPECT_DOUBLE_EQ(first.title_top, 6.9);
  EXPECT_NEAR(first.header_top, 24.6, 1e-9);  // directly below the title
  EXPECT_NEAR(first.rows_top, 41.2, 1e-9);
  EXPECT_NEAR(first.footer_top, 197.6, 1e-9);  // at the bottom: 210 - 6.9 - 5.5
  const auto& second = plan.pages[1];
  EXPECT_NEAR(second.header_top, 6.9, 1e-9);
  EXPECT_NEAR(second.rows_top, 23.5, 1e-9);
  EXPECT_NEAR(second.footer_top, 197.6, 1e-9);
}

TEST(Pagination, PagesFilledExactlyNeedNoEmptyPageAfter) {
  EXPECT_EQ(paginate(report2(), 21).page_count(), 1);
  EXPECT_EQ(paginate(report2(), 22).page_count(), 2);
  EXPECT_EQ(paginate(report2(), 21 + 23).page_count(), 2);
  EXPECT_EQ(paginate(report2(), 21 + 23 + 1).page_count(), 3);
}

TEST(Pagination, NoRowsStillGiveOnePage) {
  const PagePlan plan = paginate(report3(), 0);
  ASSERT_EQ(plan.page_count(), 1);
  EXPECT_TRUE(plan.pages[0].has_title);
  EXPECT_EQ(plan.pages[0].row_count, 0u);
}

TEST(Pagination, TenThousandRowsOfDeviceA) {
  const PagePlan plan = paginate(report1(), 10'000);
  EXPECT_EQ(plan.page_count(), 667);  // 14 on page 1, then 666 pages of up to 15
  EXPECT_EQ(plan.pages.back().first_row + plan.pages.back().row_count, 10'000u);
}

TEST(Pagination, LayoutTallerThanItsPaperStillEnds) {
  ReportLayout tall = report2();
  tall.row.height = 400;
  EXPECT_EQ(rows_per_page(tall, true), 1u);
  EXPECT_EQ(paginate(tall, 3).page_count(), 3);
  ReportLayout flat = report2();
  flat.row.height = 0;
  EXPECT_EQ(paginate(flat, 2).page_count(), 2);
}

}  // namespace
}  // namespace vkt::report
