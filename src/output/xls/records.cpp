#include "output/xls/records.h"

#include <cstring>

#include "output/xls/utf16.h"

namespace vkt::xls::record {

namespace {

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBuild = 3515;
constexpr std::uint16_t kBuildYear = 1996;
constexpr std::uint8_t kUncompressed = 1;  // option byte of a text: 16-bit characters
constexpr std::size_t kWriteAccessSize = 112;

// Identifier and data length; the data follow.
void begin(Bytes& out, std::uint16_t id, std::size_t size) {
  put_u16(out, id);
  put_u16(out, static_cast<std::uint16_t>(size));
}

void empty(Bytes& out, std::uint16_t id) {
  begin(out, id, 0);
}

void u16_record(Bytes& out, std::uint16_t id, std::uint16_t value) {
  begin(out, id, 2);
  put_u16(out, value);
}

void double_record(Bytes& out, std::uint16_t id, double value) {
  begin(out, id, 8);
  put_f64(out, value);
}

}  // namespace

void framed(Bytes& out, std::uint16_t id, std::span<const std::uint8_t> data) {
  std::size_t at = 0;
  do {
    const std::size_t piece = std::min(kMaxData, data.size() - at);
    begin(out, at == 0 ? id : kContinue, piece);
    put_bytes(out, data.subspan(at, piece));
    at += piece;
  } while (at < data.size());
}

void bof(Bytes& out, BofType type) {
  begin(out, kBof, 16);
  put_u16(out, kBiff8);
  put_u16(out, static_cast<std::uint16_t>(type));
  put_u16(out, kBuild);
  put_u16(out, kBuildYear);
  if (type == BofType::Globals) {
    put_u32(out, 0);       // file history flags
    put_u32(out, kBiff8);  // lowest version that can read all records
  } else {
    put_u64(out, 0);
  }
}

void interface_hdr(Bytes& out) {
  u16_record(out, kInterfaceHdr, 1252);
}
void mms(Bytes& out) {
  u16_record(out, kMms, 0);
}
void interface_end(Bytes& out) {
  empty(out, kInterfaceEnd);
}

void write_access(Bytes& out, std::string_view title) {
  const std::u16string text = to_utf16(title);
  begin(out, kWriteAccess, kWriteAccessSize);
  const std::size_t start = out.size();
  put_u16(out, static_cast<std::uint16_t>(text.size()));
  put_u8(out, kUncompressed);
  put_utf16(out, text);
  out.resize(start + kWriteAccessSize, 0x20);  // blank-filled to the fixed size
}

void code_page(Bytes& out) {
  u16_record(out, kCodePage, 1252);
}
void dsf(Bytes& out) {
  u16_record(out, kDsf, 0);
}
void excel9_file(Bytes& out) {
  empty(out, kExcel9File);
}

void tab_id(Bytes& out, std::size_t sheets) {
  begin(out, kTabId, 2 * sheets);
  for (std::size_t i = 1; i <= sheets; ++i) {
    put_u16(out, static_cast<std::uint16_t>(i));
  }
}

void fn_group_count(Bytes& out) {
  u16_record(out, kFnGroupCount, 14);
}
void window_protect(Bytes& out) {
  u16_record(out, kWindowProtect, 0);
}
void protect(Bytes& out) {
  u16_record(out, kProtect, 0);
}
void password(Bytes& out) {
  u16_record(out, kPassword, 0);
}
void prot4_rev(Bytes& out) {
  u16_record(out, kProt4Rev, 0);
}
void prot4_rev_pass(Bytes& out) {
  u16_record(out, kProt4RevPass, 0);
}

void window1(Bytes& out) {
  begin(out, kWindow1, 18);
  put_u16(out, 360);     // left, twips
  put_u16(out, 30);      // top
  put_u16(out, 7454);    // width
  put_u16(out, 6240);    // height
  put_u16(out, 0x0038);  // scroll bars and sheet tabs shown
  put_u16(out, 0);       // active sheet
  put_u16(out, 0);       // first visible tab
  put_u16(out, 1);       // selected tabs
  put_u16(out, 600);     // tab bar width ratio, per mille
}

void backup(Bytes& out) {
  u16_record(out, kBackup, 0);
}
void hide_obj(Bytes& out) {
  u16_record(out, kHideObj, 0);
}
void date_mode(Bytes& out) {
  u16_record(out, kDateMode, 0);
}
void precision(Bytes& out) {
  u16_record(out, kPrecision, 1);
}
void refresh_all(Bytes& out) {
  u16_record(out, kRefreshAll, 0);
}
void book_bool(Bytes& out) {
  u16_record(out, kBookBool, 0);
}

void font(Bytes& out, const FontRecord& f) {
  const std::u16string name = to_utf16(f.name);
  begin(out, kFont, 16 + 2 * name.size());
  put_u16(out, f.height);
  put_u16(out, static_cast<std::uint16_t>((f.italic ? 0x0002 : 0) | (f.strike_out ? 0x0008 : 0)));
  put_u16(out, f.colour_index);
  put_u16(out, f.bold ? 1000 : 100);
  put_u16(out, 0);  // escapement
  put_u8(out, f.underline ? 1 : 0);
  put_u8(out, 0);  // family
  put_u8(out, 1);  // character set
  put_u8(out, 0);
  put_u8(out, static_cast<std::uint8_t>(name.size()));
  put_u8(out, kUncompressed);
  put_utf16(out, name);
}

void format(Bytes& out, std::uint16_t number, std::string_view text) {
  const std::u16string wide = to_utf16(text);
  begin(out, kFormat, 5 + 2 * wide.size());
  put_u16(out, number);
  put_u16(out, static_cast<std::uint16_t>(wide.size()));
  put_u8(out, kUncompressed);
  put_utf16(out, wide);
}

void xf(Bytes& out, const XfBytes& data) {
  begin(out, kXf, data.size());
  put_bytes(out, data);
}

void style(Bytes& out, const std::array<std::uint8_t, 4>& data) {
  begin(out, kStyle, data.size());
  put_bytes(out, data);
}

void palette(Bytes& out, std::span<const std::uint32_t> colours) {
  begin(out, kPalette, 2 + 4 * colours.size());
  put_u16(out, static_cast<std::uint16_t>(colours.size()));
  for (std::uint32_t rgb : colours) {
    put_u8(out, static_cast<std::uint8_t>(rgb >> 16));
    put_u8(out, static_cast<std::uint8_t>(rgb >> 8));
    put_u8(out, static_cast<std::uint8_t>(rgb));
    put_u8(out, 0);
  }
}

void uses_elfs(Bytes& out) {
  u16_record(out, kUsesElfs, 0);
}

void bound_sheet(Bytes& out, std::string_view name) {
  const std::u16string wide = to_utf16(name);
  begin(out, kBoundSheet, 8 + 2 * wide.size());
  put_u32(out, 0);  // BOF position, patched later
  put_u16(out, 0);  // visible worksheet
  put_u8(out, static_cast<std::uint8_t>(wide.size()));
  put_u8(out, kUncompressed);
  put_utf16(out, wide);
}

void country(Bytes& out) {
  begin(out, kCountry, 4);
  put_u16(out, 7);  // user interface: Russia
  put_u16(out, 7);  // system settings: Russia
}

void eof(Bytes& out) {
  empty(out, kEof);
}

void index(Bytes& out, std::uint32_t first_row, std::uint32_t last_row_plus_one, std::size_t blocks) {
  begin(out, kIndex, 16 + 4 * blocks);
  put_u32(out, 0);
  put_u32(out, first_row);
  put_u32(out, last_row_plus_one);
  put_u32(out, 0);
  out.resize(out.size() + 4 * blocks, 0);  // DBCELL positions, patched later
}

void calc_mode(Bytes& out) {
  u16_record(out, kCalcMode, 1);
}
void calc_count(Bytes& out) {
  u16_record(out, kCalcCount, 100);
}
void ref_mode(Bytes& out) {
  u16_record(out, kRefMode, 1);
}
void iteration(Bytes& out) {
  u16_record(out, kIteration, 0);
}
void delta(Bytes& out) {
  double_record(out, kDelta, 0.001);
}
void save_recalc(Bytes& out) {
  u16_record(out, kSaveRecalc, 1);
}
void print_headers(Bytes& out) {
  u16_record(out, kPrintHeaders, 0);
}
void print_gridlines(Bytes& out) {
  u16_record(out, kPrintGridlines, 0);
}
void grid_set(Bytes& out) {
  u16_record(out, kGridSet, 1);
}

void guts(Bytes& out) {
  begin(out, kGuts, 8);
  put_u64(out, 0);
}

void default_row_height(Bytes& out) {
  begin(out, kDefaultRowHeight, 4);
  put_u16(out, 0);
  put_u16(out, 255);
}

void ws_bool(Bytes& out) {
  u16_record(out, kWsBool, 0x04C1);
}
void header(Bytes& out) {
  empty(out, kHeader);
}
void footer(Bytes& out) {
  empty(out, kFooter);
}
void h_center(Bytes& out) {
  u16_record(out, kHCenter, 0);
}
void v_center(Bytes& out) {
  u16_record(out, kVCenter, 0);
}
void left_margin(Bytes& out, double inches) {
  double_record(out, kLeftMargin, inches);
}
void right_margin(Bytes& out, double inches) {
  double_record(out, kRightMargin, inches);
}
void top_margin(Bytes& out, double inches) {
  double_record(out, kTopMargin, inches);
}
void bottom_margin(Bytes& out, double inches) {
  double_record(out, kBottomMargin, inches);
}

void setup(Bytes& out, const XlsPageSetup& page) {
  begin(out, kSetup, 34);
  put_u16(out, page.paper_size);
  put_u16(out, page.scale);
  put_u16(out, page.first_page_number);
  put_u16(out, page.fit_width);
  put_u16(out, page.fit_height);
  put_u16(out, page.portrait ? 0x0002 : 0x0000);
  put_u16(out, 0);  // resolution
  put_u16(out, 0);  // vertical resolution
  put_f64(out, page.header_margin);
  put_f64(out, page.footer_margin);
  put_u16(out, page.copies);
}

void def_col_width(Bytes& out) {
  u16_record(out, kDefColWidth, 8);
}

void dimensions(Bytes& out, const UsedArea& used) {
  begin(out, kDimensions, 14);
  if (used.empty()) {
    out.resize(out.size() + 14, 0);
    return;
  }
  put_u32(out, static_cast<std::uint32_t>(used.first_row));
  put_u32(out, static_cast<std::uint32_t>(used.last_row) + 1);
  put_u16(out, static_cast<std::uint16_t>(used.first_column));
  put_u16(out, static_cast<std::uint16_t>(used.last_column + 1));
  put_u16(out, 0);
}

// Cell and row records are written a million times for a full sheet: each is assembled in a
// fixed buffer and appended at once.
void row(Bytes& out, std::uint16_t row_number, std::uint16_t first_column,
         std::uint16_t last_column_plus_one) {
  std::uint8_t r[20] = {};
  set_u16(r, kRow);
  set_u16(r + 2, 16);
  set_u16(r + 4, row_number);
  set_u16(r + 6, first_column);
  set_u16(r + 8, last_column_plus_one);
  set_u16(r + 10, 255);  // height, twentieths of a point; then 0, 0, options 0 and XF 0
  out.insert(out.end(), r, r + sizeof r);
}

void number(Bytes& out, std::uint16_t row_number, std::uint16_t column, std::uint16_t xf_index,
            double value) {
  std::uint8_t r[18];
  set_u16(r, kNumber);
  set_u16(r + 2, 14);
  set_u16(r + 4, row_number);
  set_u16(r + 6, column);
  set_u16(r + 8, xf_index);
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  set_u32(r + 10, static_cast<std::uint32_t>(bits));
  set_u32(r + 14, static_cast<std::uint32_t>(bits >> 32));
  out.insert(out.end(), r, r + sizeof r);
}

void label_sst(Bytes& out, std::uint16_t row_number, std::uint16_t column, std::uint16_t xf_index,
               std::uint32_t sst_index) {
  std::uint8_t r[14];
  set_u16(r, kLabelSst);
  set_u16(r + 2, 10);
  set_u16(r + 4, row_number);
  set_u16(r + 6, column);
  set_u16(r + 8, xf_index);
  set_u32(r + 10, sst_index);
  out.insert(out.end(), r, r + sizeof r);
}

void blank(Bytes& out, std::uint16_t row_number, std::uint16_t column, std::uint16_t xf_index) {
  begin(out, kBlank, 6);
  put_u16(out, row_number);
  put_u16(out, column);
  put_u16(out, xf_index);
}

void mul_blank(Bytes& out, std::uint16_t row_number, std::uint16_t first_column, std::uint16_t last_column,
               std::uint16_t xf_index) {
  const std::size_t columns = static_cast<std::size_t>(last_column - first_column) + 1;
  begin(out, kMulBlank, 6 + 2 * columns);
  put_u16(out, row_number);
  put_u16(out, first_column);
  for (std::size_t i = 0; i < columns; ++i) {
    put_u16(out, xf_index);
  }
  put_u16(out, last_column);
}

void db_cell(Bytes& out, std::uint32_t back_to_first_row, std::span<const std::uint16_t> row_offsets) {
  begin(out, kDbCell, 4 + 2 * row_offsets.size());
  put_u32(out, back_to_first_row);
  for (std::uint16_t offset : row_offsets) {
    put_u16(out, offset);
  }
}

void window2(Bytes& out, bool selected) {
  begin(out, kWindow2, 18);
  put_u16(out, static_cast<std::uint16_t>(0x04B6 | (selected ? 0x0200 : 0)));
  put_u16(out, 0);       // top row
  put_u16(out, 0);       // left column
  put_u32(out, 0x0040);  // grid line colour: window text
  put_u16(out, 0);
  put_u16(out, 0);
  put_u32(out, 0);
}

void selection(Bytes& out) {
  begin(out, kSelection, 15);
  put_u8(out, 3);   // pane
  put_u16(out, 0);  // active row
  put_u16(out, 0);  // active column
  put_u16(out, 0);  // active reference
  put_u16(out, 1);  // references
  put_u16(out, 0);  // first row
  put_u16(out, 0);  // last row
  put_u8(out, 0);   // first column
  put_u8(out, 0);   // last column
}

void merged_cells(Bytes& out, std::span<const MergedArea> areas) {
  begin(out, kMergedCells, 2 + 8 * areas.size());
  put_u16(out, static_cast<std::uint16_t>(areas.size()));
  for (const MergedArea& a : areas) {
    put_u16(out, a.first_row);
    put_u16(out, a.last_row);
    put_u16(out, a.first_column);
    put_u16(out, a.last_column);
  }
}

}  // namespace vkt::xls::record
