#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/xls/value.h"

// The workbook interface keeps the names the export has always called it by (XlsWorkbook,
// XlsWorksheet, XlsRange, XlsPageSetup, AddSheet, Cells, Value, Name, Title, Save); everything
// else in the writer is snake_case like the rest of the program.
namespace vkt::xls {

class XlsWorkbook;
class XlsWorksheet;

// Page settings written for every sheet; the writer offers no way to change them.
struct XlsPageSetup {
  std::uint16_t paper_size = 9;  // A4
  bool portrait = true;
  std::uint16_t scale = 100;
  std::uint16_t first_page_number = 1;
  std::uint16_t fit_width = 1;
  std::uint16_t fit_height = 1;
  double left_margin = 2.0;
  double right_margin = 2.0;
  double top_margin = 2.5;
  double bottom_margin = 2.5;
  double header_margin = 0.0;
  double footer_margin = 0.0;
  std::uint16_t copies = 0;
};

// Rectangle covered by everything ever requested through Cells; all -1 until the first request.
struct UsedArea {
  std::int32_t first_column = -1;
  std::int32_t first_row = -1;
  std::int32_t last_column = -1;
  std::int32_t last_row = -1;
  bool empty() const { return first_row < 0 && last_row < 0 && first_column < 0 && last_column < 0; }
};

// A range as the sheet stores it: by value, 32 bytes, so a full sheet of single cells stays one
// contiguous array. Texts live in the sheet's text store.
struct RangeData {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
  CellValue::Kind kind;
  std::uint32_t text_length;  // UTF-8 bytes of a text value
  std::uint64_t payload;      // integer, double bits, or offset into the text store

  bool covers(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) const {
    return left == l && top == t && right == r && bottom == b;
  }
  bool is_merged() const { return left != right || top != bottom; }
};
static_assert(sizeof(RangeData) == 32);

// A rectangle of cells treated as one cell. A handle into its sheet: valid until the next call
// of Cells on that sheet, which may move ranges.
class XlsRange {
 public:
  XlsRange(XlsWorksheet& sheet, std::size_t index) : sheet_(&sheet), index_(index) {}

  std::int32_t left() const { return data().left; }
  std::int32_t top() const { return data().top; }
  std::int32_t right() const { return data().right; }
  std::int32_t bottom() const { return data().bottom; }

  // The range's value. Texts have every CR LF pair replaced by a single LF.
  CellValue Value() const;
  XlsRange& Value(const CellValue& value);

 private:
  const RangeData& data() const;
  XlsWorksheet* sheet_;
  std::size_t index_;
};

class XlsWorksheet {
 public:
  static constexpr std::size_t kMaxNameLength = 31;

  explicit XlsWorksheet(XlsWorkbook& owner, std::string name);
  XlsWorksheet(const XlsWorksheet&) = delete;
  XlsWorksheet& operator=(const XlsWorksheet&) = delete;

  XlsWorkbook& owner() const { return *owner_; }

  const std::string& Name() const { return name_; }
  // Keeps the first 31 characters, then trims leading and trailing blanks.
  void Name(std::string_view name);

  // The range of exactly this rectangle, created when needed; ranges that overlap a new
  // rectangle are removed with their values.
  XlsRange Cells(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

  std::size_t range_count() const { return ranges_.size(); }
  XlsRange range(std::size_t index) { return XlsRange(*this, index); }
  // Ranges in ascending order of top row, older before newer on the same top row.
  const std::vector<RangeData>& ranges() const { return ranges_; }
  std::string_view text(const RangeData& range) const;
  CellValue value(const RangeData& range) const;

  const UsedArea& used_area() const { return used_; }
  std::int32_t tallest_height() const { return tallest_; }
  const XlsPageSetup& page_setup() const { return page_setup_; }

  // Room for this many ranges and text bytes, for callers that know the size beforehand.
  void reserve(std::size_t ranges, std::size_t text_bytes = 0);

 private:
  friend class XlsRange;
  void set_value(std::size_t index, const CellValue& value);

  // Where Cells puts a rectangle: the index of its range in the list, and whether ranges it
  // overlapped were dropped.
  struct Placement {
    std::size_t index;
    bool removed_any;
  };
  bool follows_all_ranges(const RangeData& x) const;
  std::size_t append_range(const RangeData& fresh);
  std::size_t place_range(const RangeData& fresh);
  Placement replace_overlapping(std::size_t first, const RangeData& fresh);
  void widen_used_area(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b);
  void note_last_row();
  void share_recent_text(RangeData& range);

  XlsWorkbook* owner_;
  std::string name_;
  XlsPageSetup page_setup_;
  std::vector<RangeData> ranges_;
  std::string texts_;
  // Where texts set lately lie in texts_, by a hash of their bytes.
  struct RecentText {
    std::uint64_t offset;
    std::uint32_t length;
  };
  static constexpr std::size_t kRecentTexts = 1024;
  std::vector<RecentText> recent_texts_;
  UsedArea used_;
  std::int32_t tallest_ = 0;
  std::int32_t last_row_right_ = 0;  // rightmost column among the ranges sharing the last top row
};

class XlsWorkbook {
 public:
  XlsWorkbook() = default;
  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  const std::string& Title() const { return title_; }

  // Appends a sheet named "Sheet<n>", n being the first free number from the sheet count + 1.
  XlsWorksheet& AddSheet();
  std::size_t sheet_count() const { return sheets_.size(); }
  XlsWorksheet& sheet(std::size_t index) { return *sheets_.at(index); }
  const XlsWorksheet& sheet(std::size_t index) const { return *sheets_.at(index); }

 private:
  bool has_sheet_named(std::string_view name) const;

  std::string title_ = "PReport";
  std::vector<std::unique_ptr<XlsWorksheet>> sheets_;
};

// Sheet names compare without regard to letter case (Latin and Cyrillic letters).
bool same_sheet_name(std::string_view a, std::string_view b);

}  // namespace vkt::xls
