#pragma once

#include <string>
#include <vector>

namespace vkt::report {

// A report layout is plain data: the page, four bands and their cells. All lengths are in
// millimetres; a cell's Left is measured from the left edge of the paper, its Top from the top of
// its band.

enum class Orientation { Portrait, Landscape };
enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Middle, Bottom };
enum class Frame { None, Box };

enum class ValueFormat {
  AsText,  // the value converted to text: numbers in general form with the locale's separator
  Number,  // the value through number_format ("0", "0.00"), always with a comma
};

struct CellFont {
  std::string family = "Arial";
  double point_size = 8;
  bool bold = false;
  friend bool operator==(const CellFont&, const CellFont&) = default;
};

struct Cell {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  // Static text, printed first; "[PAGE#]" and "[TOTALPAGES]" are replaced by the page number
  // and the page count.
  std::string text;
  // A field of the current row, printed after the text; empty for none.
  std::string field;
  ValueFormat format = ValueFormat::AsText;
  std::string number_format;  // for ValueFormat::Number
  CellFont font;
  HAlign halign = HAlign::Center;
  VAlign valign = VAlign::Middle;
  Frame frame = Frame::None;
};

struct Band {
  double height = 0;  // 0: the band is absent
  std::vector<Cell> cells;
};

struct PageSetup {
  double width = 210;  // of the paper as it lies, so landscape A4 is 297 x 210
  double height = 297;
  Orientation orientation = Orientation::Portrait;
  double margin_left = 0;
  double margin_top = 0;
  double margin_right = 0;
  double margin_bottom = 0;
};

struct ReportLayout {
  std::string name;
  PageSetup page;
  Band title;        // once, at the top of the first page
  Band page_header;  // at the top of every page, below the title on the first
  Band row;          // once per row of the dataset
  Band page_footer;  // at the bottom of every page
};

// Inner padding of every cell and the extra space between wrapped lines, in millimetres.
inline constexpr double kCellPaddingX = 0.6;
inline constexpr double kCellPaddingY = 0.3;
inline constexpr double kLineSpacing = 0.6;
// Width of a box frame's lines.
inline constexpr double kFrameLineWidth = 0.3;

}  // namespace vkt::report
