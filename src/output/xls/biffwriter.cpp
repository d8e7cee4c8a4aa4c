#include "output/xls/biffwriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>

#include "output/xls/colours.h"
#include "output/xls/errors.h"
#include "output/xls/records.h"
#include "output/xls/sst.h"
#include "output/xls/utf16.h"

namespace vkt::xls {

namespace {

constexpr std::int32_t kMaxRow = 65535;
constexpr std::int32_t kMaxColumn = 255;
constexpr std::size_t kMaxTextLength = 32767;
constexpr std::uint32_t kNoString = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kFlushLimit = 1 << 20;
constexpr std::uint16_t kFirstCellXf = 15;
constexpr std::size_t kRowRecordSize = record::kHeaderSize + 16;

// Currency formats every workbook carries, with their format numbers.
struct FixedFormat {
  std::uint16_t number;
  const char* text;
};
constexpr std::array<FixedFormat, 8> kCurrencyFormats = {{
    {5, "#,##0\"р.\";\\-#,##0\"р.\""},
    {6, "#,##0\"р.\";[Red]\\-#,##0\"р.\""},
    {7, "#,##0.00\"р.\";\\-#,##0.00\"р.\""},
    {8, "#,##0.00\"р.\";[Red]\\-#,##0.00\"р.\""},
    {42, "_-* #,##0\"р.\"_-;\\-* #,##0\"р.\"_-;_-* \"-\"\"р.\"_-;_-@_-"},
    {41, "_-* #,##0_р_._-;\\-* #,##0_р_._-;_-* \"-\"_р_._-;_-@_-"},
    {44, "_-* #,##0.00\"р.\"_-;\\-* #,##0.00\"р.\"_-;_-* \"-\"??\"р.\"_-;_-@_-"},
    {43, "_-* #,##0.00_р_._-;\\-* #,##0.00_р_._-;_-* \"-\"??_р_._-;_-@_-"},
}};

using record::XfBytes;

constexpr XfBytes kStyleXf0 = {0x00, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};
constexpr XfBytes kStyleXfFont1 = {0x01, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF4,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};
constexpr XfBytes kStyleXfFont2 = {0x02, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF4,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};
constexpr XfBytes kStyleXfFont0 = {0x00, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF4,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};

// Cell XFs 15 to 20: the default cell format and those of the built-in number styles.
constexpr std::array<XfBytes, 6> kFixedCellXfs = {{
    {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0x00,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
    {0x01, 0x00, 0x2C, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
    {0x01, 0x00, 0x2A, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
    {0x01, 0x00, 0x09, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
    {0x01, 0x00, 0x2B, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
    {0x01, 0x00, 0x29, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0xF8,
     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20},
}};

// Built-in styles: Currency, Currency [0], Normal, Percent, Comma, Comma [0].
constexpr std::array<std::array<std::uint8_t, 4>, 6> kStyles = {{
    {0x10, 0x80, 0x04, 0xFF},
    {0x11, 0x80, 0x07, 0xFF},
    {0x00, 0x80, 0x00, 0xFF},
    {0x12, 0x80, 0x05, 0xFF},
    {0x13, 0x80, 0x03, 0xFF},
    {0x14, 0x80, 0x06, 0xFF},
}};

struct Font {
  std::string name = "Arial";
  std::uint16_t size = 10;
  Colour colour;
  bool bold = false, italic = false, underline = false, strike_out = false;
  std::uint8_t pitch = 0;
  std::uint8_t charset = 1;
  bool operator==(const Font&) const = default;
};

// Every range has the same look: Arial 10 black, format General, alignment general/bottom.
const Font kRangeFont{"Arial", 10, Colour::from_rgb(0x000000)};
const Colour kPatternColour = Colour::from_rgb(0x000000);
const Colour kBackgroundColour = Colour::from_rgb(0x000000);
constexpr std::size_t kDefaultFonts = 4;

std::string range_text(int row, int column) {
  return "строка " + std::to_string(row + 1) + ", столбец " + std::to_string(column + 1);
}

std::string area_text(const RangeData& r) {
  return "строки " + std::to_string(static_cast<std::int64_t>(r.top) + 1) + "–" +
         std::to_string(static_cast<std::int64_t>(r.bottom) + 1) + ", столбцы " +
         std::to_string(static_cast<std::int64_t>(r.left) + 1) + "–" +
         std::to_string(static_cast<std::int64_t>(r.right) + 1);
}

bool in_sheet(std::int32_t first_row, std::int32_t first_column, std::int32_t last_row,
              std::int32_t last_column) {
  return first_row >= 0 && first_column >= 0 && last_row <= kMaxRow && last_column <= kMaxColumn;
}

std::string sheet_prefix(const XlsWorksheet& sheet) {
  return "Лист \"" + sheet.Name() + "\": ";
}

const char* const kNotWritten = " Файл не записан.";
const char* const kSheetLimits = "лист Excel 97–2003 вмещает строки 1–65536 и столбцы 1–256.";

// The text a text cell shows: its text, or the text form of a non-number value.
std::string_view cell_text(const XlsWorksheet& sheet, const RangeData& r) {
  switch (r.kind) {
    case CellValue::Kind::Text:
      return sheet.text(r);
    case CellValue::Kind::Boolean:
      return r.payload != 0 ? "True" : "False";
    default:
      return {};
  }
}

double number_of(const RangeData& r) {
  switch (r.kind) {
    case CellValue::Kind::Single:
    case CellValue::Kind::Double: {
      double v;
      std::memcpy(&v, &r.payload, sizeof v);
      return v;
    }
    case CellValue::Kind::Currency:
      return static_cast<double>(static_cast<std::int64_t>(r.payload)) / 10000.0;
    default:
      return static_cast<double>(static_cast<std::int64_t>(r.payload));
  }
}

bool is_number_kind(CellValue::Kind kind) {
  using Kind = CellValue::Kind;
  return kind == Kind::Int16 || kind == Kind::Int32 || kind == Kind::Byte || kind == Kind::Single ||
         kind == Kind::Double || kind == Kind::Currency;
}

// Which ranges of a sheet hold a string of the shared table, and its number there: one bit a
// range and a running count every 64 ranges, instead of a number for every range (a full sheet
// has over a million).
class StringNumbers {
 public:
  std::uint32_t first = 0;  // number of the sheet's first string

  // Ranges are added in ascending order.
  void add(std::size_t range) {
    const std::size_t word = range / 64;
    while (bits_.size() <= word) {
      counts_.push_back(
          bits_.empty() ? 0 : counts_.back() + static_cast<std::uint32_t>(std::popcount(bits_.back())));
      bits_.push_back(0);
    }
    bits_[word] |= std::uint64_t{1} << (range % 64);
  }
  bool has(std::size_t range) const {
    const std::size_t word = range / 64;
    return word < bits_.size() && (bits_[word] >> (range % 64) & 1) != 0;
  }
  // The range's string number, kNoString when it holds none.
  std::uint32_t number(std::size_t range) const {
    if (!has(range)) {
      return kNoString;
    }
    const std::size_t word = range / 64;
    const std::uint64_t below = bits_[word] & ((std::uint64_t{1} << (range % 64)) - 1);
    return first + counts_[word] + static_cast<std::uint32_t>(std::popcount(below));
  }

 private:
  std::vector<std::uint64_t> bits_;
  std::vector<std::uint32_t> counts_;  // strings in the words before each word
};

class BiffWriter {
 public:
  BiffWriter(const XlsWorkbook& workbook, ByteSink& stream) : book_(workbook), stream_(stream) {
    out_.reserve(kFlushLimit + 64 * 1024);
  }

  void write() {
    build_tables();
    write_globals();
    for (std::size_t i = 0; i < book_.sheet_count(); ++i) {
      write_sheet(i);
    }
    flush();
    for (std::size_t i = 0; i < book_.sheet_count(); ++i) {
      std::uint8_t at[4];
      set_u32(at, static_cast<std::uint32_t>(sheet_positions_[i]));
      stream_.write_at(bound_sheet_positions_[i] + record::kBoundSheetPositionOffset, at, 4);
    }
  }

 private:
  std::uint64_t position() const { return stream_.size() + out_.size(); }

  void flush() {
    if (!out_.empty()) {
      stream_.write(out_);
      out_.clear();
    }
  }

  void flush_if_full() {
    if (out_.size() >= kFlushLimit) {
      flush();
    }
  }

  // Font, format, XF and string tables, in the order the format's numbering needs.
  void build_tables() {
    for (std::size_t i = 0; i < kDefaultFonts; ++i) {
      fonts_.push_back(Font{"Arial", 10, Colour::window_text()});
    }
    strings_.resize(book_.sheet_count());
    for (std::size_t s = 0; s < book_.sheet_count(); ++s) {
      const XlsWorksheet& sheet = book_.sheet(s);
      strings_[s].first = string_count_;
      for (std::size_t r = 0; r < sheet.ranges().size(); ++r) {
        const RangeData& range = sheet.ranges()[r];
        if (range_font_number_ == 0) {
          range_font_number_ = font_number(kRangeFont);
        }
        if (!is_number_kind(range.kind) && !cell_text(sheet, range).empty()) {
          strings_[s].add(r);
          ++string_count_;
        }
      }
    }
  }

  std::uint16_t font_number(const Font& font) {
    const auto found = std::find(fonts_.begin(), fonts_.end(), font);
    if (found != fonts_.end()) {
      return static_cast<std::uint16_t>(found - fonts_.begin() + 1);
    }
    fonts_.push_back(font);
    return static_cast<std::uint16_t>(fonts_.size());
  }

  // A range's XF, looked up byte for byte among the cell XFs; equal looks share one.
  std::uint16_t range_xf(bool merged) {
    std::optional<std::uint16_t>& known = merged ? merged_xf_ : single_xf_;
    if (known) {
      return *known;
    }
    const std::uint16_t pattern = palette_.index_of(kPatternColour);
    const std::uint16_t background = palette_.index_of(kBackgroundColour);
    XfBytes xf{};
    set_u16(&xf[0], range_font_number_);
    set_u16(&xf[2], 0);       // format General
    set_u16(&xf[4], 0x0001);  // locked cell XF, parent style XF 0
    xf[6] = 0x20;             // horizontal general, vertical bottom
    xf[7] = 0;                // no rotation
    set_u16(&xf[8], static_cast<std::uint16_t>(0x7C00 | (merged ? 0x0020 : 0)));
    set_u16(&xf[18], static_cast<std::uint16_t>(pattern | (background << 7)));
    const auto found = std::find(cell_xfs_.begin(), cell_xfs_.end(), xf);
    if (found != cell_xfs_.end()) {
      known = static_cast<std::uint16_t>(kFirstCellXf + (found - cell_xfs_.begin()));
    } else {
      cell_xfs_.push_back(xf);
      known = static_cast<std::uint16_t>(kFirstCellXf + cell_xfs_.size() - 1);
    }
    return *known;
  }

  void write_globals() {
    record::bof(out_, record::BofType::Globals);
    record::interface_hdr(out_);
    record::mms(out_);
    record::interface_end(out_);
    record::write_access(out_, book_.Title());
    record::code_page(out_);
    record::dsf(out_);
    record::excel9_file(out_);
    record::tab_id(out_, book_.sheet_count());
    record::fn_group_count(out_);
    record::window_protect(out_);
    record::protect(out_);
    record::password(out_);
    record::prot4_rev(out_);
    record::prot4_rev_pass(out_);
    record::window1(out_);
    record::backup(out_);
    record::hide_obj(out_);
    record::date_mode(out_);
    record::precision(out_);
    record::refresh_all(out_);
    record::book_bool(out_);
    for (const Font& font : fonts_) {
      record::FontRecord f;
      f.height = static_cast<std::uint16_t>(font.size * 20);
      f.bold = font.bold;
      f.italic = font.italic;
      f.underline = font.underline;
      f.strike_out = font.strike_out;
      f.colour_index = palette_.index_of(font.colour);
      f.name = font.name;
      record::font(out_, f);
    }
    for (const FixedFormat& format : kCurrencyFormats) {
      record::format(out_, format.number, format.text);
    }
    cell_xfs_.assign(kFixedCellXfs.begin(), kFixedCellXfs.end());
    for (std::size_t s = 0; s < book_.sheet_count(); ++s) {
      for (const RangeData& range : book_.sheet(s).ranges()) {
        range_xf(range.is_merged());
      }
    }
    record::xf(out_, kStyleXf0);
    record::xf(out_, kStyleXfFont1);
    record::xf(out_, kStyleXfFont1);
    record::xf(out_, kStyleXfFont2);
    record::xf(out_, kStyleXfFont2);
    for (int i = 5; i < 15; ++i) {
      record::xf(out_, kStyleXfFont0);
    }
    for (const XfBytes& xf : cell_xfs_) {
      record::xf(out_, xf);
    }
    for (const auto& style : kStyles) {
      record::style(out_, style);
    }
    if (palette_.changed()) {
      record::palette(out_, palette_.colours());
    }
    record::uses_elfs(out_);
    for (std::size_t s = 0; s < book_.sheet_count(); ++s) {
      bound_sheet_positions_.push_back(position());
      record::bound_sheet(out_, book_.sheet(s).Name());
    }
    record::country(out_);
    if (string_count_ > 0) {
      write_strings();
    }
    record::eof(out_);
  }

  void write_strings() {
    flush();
    SstWriter sst(stream_, string_count_);
    std::u16string wide;
    for (std::size_t s = 0; s < book_.sheet_count(); ++s) {
      const XlsWorksheet& sheet = book_.sheet(s);
      for (std::size_t r = 0; r < sheet.ranges().size(); ++r) {
        if (strings_[s].has(r)) {
          to_utf16(cell_text(sheet, sheet.ranges()[r]), wide);
          sst.add(wide);
        }
      }
    }
    sst.finish();
  }

  void write_sheet(std::size_t s) {
    const XlsWorksheet& sheet = book_.sheet(s);
    const UsedArea& used = sheet.used_area();
    const std::size_t rows = used.empty() ? 0 : static_cast<std::size_t>(used.last_row - used.first_row) + 1;
    const std::size_t blocks = (rows + record::kRowBlockSize - 1) / record::kRowBlockSize;

    sheet_positions_.push_back(position());
    record::bof(out_, record::BofType::Worksheet);
    const std::uint64_t index_position = position();
    record::index(out_, used.empty() ? 0 : static_cast<std::uint32_t>(used.first_row),
                  used.empty() ? 0 : static_cast<std::uint32_t>(used.last_row) + 1, blocks);
    record::calc_mode(out_);
    record::calc_count(out_);
    record::ref_mode(out_);
    record::iteration(out_);
    record::delta(out_);
    record::save_recalc(out_);
    record::print_headers(out_);
    record::print_gridlines(out_);
    record::grid_set(out_);
    record::guts(out_);
    record::default_row_height(out_);
    record::ws_bool(out_);
    record::header(out_);
    record::footer(out_);
    record::h_center(out_);
    record::v_center(out_);
    const XlsPageSetup& page = sheet.page_setup();
    record::left_margin(out_, page.left_margin);
    record::right_margin(out_, page.right_margin);
    record::top_margin(out_, page.top_margin);
    record::bottom_margin(out_, page.bottom_margin);
    record::setup(out_, page);
    record::def_col_width(out_);
    record::dimensions(out_, used);

    Bytes db_cell_positions;
    if (rows > 0) {
      write_row_blocks(s, used, rows, db_cell_positions);
    }

    record::window2(out_, s == 0);
    record::selection(out_);
    write_merged_areas(sheet);
    record::eof(out_);

    if (!db_cell_positions.empty()) {
      // The INDEX may already be in the stream: patch it there, or in what is still buffered.
      if (index_position >= stream_.size()) {
        std::copy(db_cell_positions.begin(), db_cell_positions.end(),
                  out_.begin() + static_cast<std::ptrdiff_t>(index_position - stream_.size() +
                                                             record::kIndexPositionsOffset));
      } else {
        flush();
        stream_.write_at(index_position + record::kIndexPositionsOffset, db_cell_positions.data(),
                         db_cell_positions.size());
      }
    }
  }

  void write_row_blocks(std::size_t s, const UsedArea& used, std::size_t rows, Bytes& db_cell_positions) {
    const XlsWorksheet& sheet = book_.sheet(s);
    const std::vector<RangeData>& ranges = sheet.ranges();
    std::vector<std::uint32_t> active;  // ranges touching the current row, by left column
    std::size_t next = 0;               // first range not yet active
    Bytes cells;
    std::array<std::int64_t, record::kRowBlockSize> first_cell{};  // offset in `cells`, -1: none
    std::array<std::uint16_t, record::kRowBlockSize> offsets{};

    for (std::size_t block_start = 0; block_start < rows; block_start += record::kRowBlockSize) {
      const std::size_t block_rows = std::min(record::kRowBlockSize, rows - block_start);
      const std::uint64_t first_row_position = position();
      cells.clear();
      for (std::size_t i = 0; i < block_rows; ++i) {
        const std::int32_t row = used.first_row + static_cast<std::int32_t>(block_start + i);
        std::erase_if(active, [&](std::uint32_t k) { return ranges[k].bottom < row; });
        while (next < ranges.size() && ranges[next].top <= row) {
          const auto k = static_cast<std::uint32_t>(next++);
          if (ranges[k].bottom < row) {
            continue;
          }
          const auto at = std::upper_bound(
              active.begin(), active.end(), k,
              [&](std::uint32_t a, std::uint32_t b) { return ranges[a].left < ranges[b].left; });
          active.insert(at, k);
        }
        const auto row_number = static_cast<std::uint16_t>(row);
        if (active.empty()) {
          record::row(out_, row_number, 0, 0);
          first_cell[i] = -1;
          continue;
        }
        record::row(out_, row_number, static_cast<std::uint16_t>(ranges[active.front()].left),
                    static_cast<std::uint16_t>(ranges[active.back()].right + 1));
        first_cell[i] = static_cast<std::int64_t>(cells.size());
        for (std::uint32_t k : active) {
          write_cells(cells, ranges[k], strings_[s].number(k), row);
        }
        if (static_cast<std::int64_t>(cells.size()) == first_cell[i]) {
          first_cell[i] = -1;
        }
      }
      const std::uint64_t cells_position = position();
      put_bytes(out_, cells);
      const std::uint64_t db_cell_position = position();
      // Each offset leads from the previous row's first cell (for the first row: from the end
      // of the first ROW record) to this row's first cell; a row without cells has 0.
      std::uint64_t previous = first_row_position + kRowRecordSize;
      for (std::size_t i = 0; i < block_rows; ++i) {
        if (first_cell[i] < 0) {
          offsets[i] = 0;
          continue;
        }
        const std::uint64_t at = cells_position + static_cast<std::uint64_t>(first_cell[i]);
        offsets[i] = static_cast<std::uint16_t>(at - previous);
        previous = at;
      }
      record::db_cell(out_, static_cast<std::uint32_t>(db_cell_position - first_row_position),
                      std::span<const std::uint16_t>(offsets.data(), block_rows));
      put_u32(db_cell_positions, static_cast<std::uint32_t>(db_cell_position));
      flush_if_full();
    }
  }

  void write_cells(Bytes& cells, const RangeData& range, std::uint32_t string, std::int32_t row) {
    const std::uint16_t xf = range_xf(range.is_merged());
    const auto row_number = static_cast<std::uint16_t>(row);
    std::int32_t blank_from = range.left;
    if (row == range.top) {
      const auto column = static_cast<std::uint16_t>(range.left);
      if (is_number_kind(range.kind)) {
        record::number(cells, row_number, column, xf, number_of(range));
        ++blank_from;
      } else if (string != kNoString) {
        record::label_sst(cells, row_number, column, xf, string);
        ++blank_from;
      }
    }
    if (blank_from == range.right) {
      record::blank(cells, row_number, static_cast<std::uint16_t>(blank_from), xf);
    } else if (blank_from < range.right) {
      record::mul_blank(cells, row_number, static_cast<std::uint16_t>(blank_from),
                        static_cast<std::uint16_t>(range.right), xf);
    }
  }

  void write_merged_areas(const XlsWorksheet& sheet) {
    std::vector<record::MergedArea> areas;
    for (const RangeData& r : sheet.ranges()) {
      if (!r.is_merged()) {
        continue;
      }
      areas.push_back({static_cast<std::uint16_t>(r.top), static_cast<std::uint16_t>(r.bottom),
                       static_cast<std::uint16_t>(r.left), static_cast<std::uint16_t>(r.right)});
      if (areas.size() == record::kMaxMergedPerRecord) {
        record::merged_cells(out_, areas);
        areas.clear();
      }
    }
    if (!areas.empty()) {
      record::merged_cells(out_, areas);
    }
  }

  const XlsWorkbook& book_;
  ByteSink& stream_;
  Bytes out_;
  ColourPalette palette_;
  std::vector<Font> fonts_;
  std::uint16_t range_font_number_ = 0;
  std::vector<XfBytes> cell_xfs_;
  std::optional<std::uint16_t> single_xf_;
  std::optional<std::uint16_t> merged_xf_;
  std::vector<StringNumbers> strings_;  // per sheet
  std::uint32_t string_count_ = 0;
  std::vector<std::uint64_t> bound_sheet_positions_;
  std::vector<std::uint64_t> sheet_positions_;
};

}  // namespace

void check_limits(const XlsWorkbook& workbook) {
  if (workbook.sheet_count() == 0) {
    throw XlsLimitError(std::string("Книга не содержит ни одного листа.") + kNotWritten);
  }
  for (std::size_t s = 0; s < workbook.sheet_count(); ++s) {
    const XlsWorksheet& sheet = workbook.sheet(s);
    for (const RangeData& r : sheet.ranges()) {
      if (r.left > r.right || r.top > r.bottom) {
        throw XlsLimitError(sheet_prefix(sheet) + "неверная область ячеек (" + area_text(r) + ")." +
                            kNotWritten);
      }
      if (!in_sheet(r.top, r.left, r.bottom, r.right)) {
        throw XlsLimitError(sheet_prefix(sheet) + "область ячеек (" + area_text(r) +
                            ") выходит за пределы листа: " + kSheetLimits + kNotWritten);
      }
      if (r.kind == CellValue::Kind::Text && r.text_length > kMaxTextLength &&
          utf16_length(sheet.text(r)) > kMaxTextLength) {
        throw XlsLimitError(sheet_prefix(sheet) + "текст в ячейке (" + range_text(r.top, r.left) +
                            ") длиннее 32767 символов, в файле Excel 97–2003 он не помещается." +
                            kNotWritten);
      }
    }
    const UsedArea& used = sheet.used_area();
    if (!used.empty() && !in_sheet(used.first_row, used.first_column, used.last_row, used.last_column)) {
      RangeData area{
          used.first_column, used.first_row, used.last_column, used.last_row, CellValue::Kind::Empty, 0, 0};
      throw XlsLimitError(sheet_prefix(sheet) + "занятая область (" + area_text(area) +
                          ") выходит за пределы листа: " + kSheetLimits + kNotWritten);
    }
  }
}

void write_workbook_stream(const XlsWorkbook& workbook, ByteSink& stream) {
  BiffWriter(workbook, stream).write();
}

}  // namespace vkt::xls
