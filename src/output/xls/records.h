#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "output/xls/bytes.h"
#include "output/xls/workbook.h"

namespace vkt::xls {

// One function per BIFF8 record. Each appends the complete record (identifier, length, data) to
// `out`. Numbers are little-endian, texts UTF-16LE.
namespace record {

// Record identifiers.
constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kInterfaceHdr = 0x00E1;
constexpr std::uint16_t kMms = 0x00C1;
constexpr std::uint16_t kInterfaceEnd = 0x00E2;
constexpr std::uint16_t kWriteAccess = 0x005C;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kDsf = 0x0161;
constexpr std::uint16_t kExcel9File = 0x01C0;
constexpr std::uint16_t kTabId = 0x013D;
constexpr std::uint16_t kFnGroupCount = 0x009C;
constexpr std::uint16_t kWindowProtect = 0x0019;
constexpr std::uint16_t kProtect = 0x0012;
constexpr std::uint16_t kPassword = 0x0013;
constexpr std::uint16_t kProt4Rev = 0x01AF;
constexpr std::uint16_t kProt4RevPass = 0x01BC;
constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kBackup = 0x0040;
constexpr std::uint16_t kHideObj = 0x008D;
constexpr std::uint16_t kDateMode = 0x0022;
constexpr std::uint16_t kPrecision = 0x000E;
constexpr std::uint16_t kRefreshAll = 0x01B7;
constexpr std::uint16_t kBookBool = 0x00DA;
constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kFormat = 0x041E;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kStyle = 0x0293;
constexpr std::uint16_t kPalette = 0x0092;
constexpr std::uint16_t kUsesElfs = 0x0160;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::uint16_t kCountry = 0x008C;
constexpr std::uint16_t kSst = 0x00FC;
constexpr std::uint16_t kExtSst = 0x00FF;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kIndex = 0x020B;
constexpr std::uint16_t kCalcMode = 0x000D;
constexpr std::uint16_t kCalcCount = 0x000C;
constexpr std::uint16_t kRefMode = 0x000F;
constexpr std::uint16_t kIteration = 0x0011;
constexpr std::uint16_t kDelta = 0x0010;
constexpr std::uint16_t kSaveRecalc = 0x005F;
constexpr std::uint16_t kPrintHeaders = 0x002A;
constexpr std::uint16_t kPrintGridlines = 0x002B;
constexpr std::uint16_t kGridSet = 0x0082;
constexpr std::uint16_t kGuts = 0x0080;
constexpr std::uint16_t kDefaultRowHeight = 0x0225;
constexpr std::uint16_t kWsBool = 0x0081;
constexpr std::uint16_t kHeader = 0x0014;
constexpr std::uint16_t kFooter = 0x0015;
constexpr std::uint16_t kHCenter = 0x0083;
constexpr std::uint16_t kVCenter = 0x0084;
constexpr std::uint16_t kLeftMargin = 0x0026;
constexpr std::uint16_t kRightMargin = 0x0027;
constexpr std::uint16_t kTopMargin = 0x0028;
constexpr std::uint16_t kBottomMargin = 0x0029;
constexpr std::uint16_t kSetup = 0x00A1;
constexpr std::uint16_t kDefColWidth = 0x0055;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kRow = 0x0208;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kLabelSst = 0x00FD;
constexpr std::uint16_t kBlank = 0x0201;
constexpr std::uint16_t kMulBlank = 0x00BE;
constexpr std::uint16_t kDbCell = 0x00D7;
constexpr std::uint16_t kWindow2 = 0x023E;
constexpr std::uint16_t kSelection = 0x001D;
constexpr std::uint16_t kMergedCells = 0x00E5;

// Data bytes of one record at most; longer data continue in CONTINUE records.
constexpr std::size_t kMaxData = 8224;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kRowBlockSize = 32;
constexpr std::size_t kMaxMergedPerRecord = 1024;
constexpr std::size_t kBoundSheetPositionOffset = kHeaderSize;   // where BOUNDSHEET keeps the BOF position
constexpr std::size_t kIndexPositionsOffset = kHeaderSize + 16;  // first DBCELL position in INDEX

enum class BofType : std::uint16_t { Globals = 0x0005, Worksheet = 0x0010 };

// Frames `data` under `id`, cutting it into CONTINUE records past kMaxData bytes.
void framed(Bytes& out, std::uint16_t id, std::span<const std::uint8_t> data);

// Workbook globals.
void bof(Bytes& out, BofType type);
void interface_hdr(Bytes& out);
void mms(Bytes& out);
void interface_end(Bytes& out);
void write_access(Bytes& out, std::string_view title);
void code_page(Bytes& out);
void dsf(Bytes& out);
void excel9_file(Bytes& out);
void tab_id(Bytes& out, std::size_t sheets);
void fn_group_count(Bytes& out);
void window_protect(Bytes& out);
void protect(Bytes& out);
void password(Bytes& out);
void prot4_rev(Bytes& out);
void prot4_rev_pass(Bytes& out);
void window1(Bytes& out);
void backup(Bytes& out);
void hide_obj(Bytes& out);
void date_mode(Bytes& out);
void precision(Bytes& out);
void refresh_all(Bytes& out);
void book_bool(Bytes& out);

struct FontRecord {
  std::uint16_t height = 200;  // twentieths of a point
  bool italic = false;
  bool strike_out = false;
  bool bold = false;
  bool underline = false;
  std::uint16_t colour_index = 8;
  std::string_view name = "Arial";
};
void font(Bytes& out, const FontRecord& font);
void format(Bytes& out, std::uint16_t number, std::string_view text);
using XfBytes = std::array<std::uint8_t, 20>;
void xf(Bytes& out, const XfBytes& data);
void style(Bytes& out, const std::array<std::uint8_t, 4>& data);
void palette(Bytes& out, std::span<const std::uint32_t> colours);
void uses_elfs(Bytes& out);
// The BOF position is written as 0 and patched once known (kBoundSheetPositionOffset).
void bound_sheet(Bytes& out, std::string_view name);
void country(Bytes& out);
void eof(Bytes& out);

// Sheet records.
void index(Bytes& out, std::uint32_t first_row, std::uint32_t last_row_plus_one, std::size_t blocks);
void calc_mode(Bytes& out);
void calc_count(Bytes& out);
void ref_mode(Bytes& out);
void iteration(Bytes& out);
void delta(Bytes& out);
void save_recalc(Bytes& out);
void print_headers(Bytes& out);
void print_gridlines(Bytes& out);
void grid_set(Bytes& out);
void guts(Bytes& out);
void default_row_height(Bytes& out);
void ws_bool(Bytes& out);
void header(Bytes& out);
void footer(Bytes& out);
void h_center(Bytes& out);
void v_center(Bytes& out);
void left_margin(Bytes& out, double inches);
void right_margin(Bytes& out, double inches);
void top_margin(Bytes& out, double inches);
void bottom_margin(Bytes& out, double inches);
void setup(Bytes& out, const XlsPageSetup& page);
void def_col_width(Bytes& out);
void dimensions(Bytes& out, const UsedArea& used);
void row(Bytes& out, std::uint16_t row, std::uint16_t first_column, std::uint16_t last_column_plus_one);
void number(Bytes& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf, double value);
void label_sst(Bytes& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
               std::uint32_t sst_index);
void blank(Bytes& out, std::uint16_t row, std::uint16_t column, std::uint16_t xf);
void mul_blank(Bytes& out, std::uint16_t row, std::uint16_t first_column, std::uint16_t last_column,
               std::uint16_t xf);
void db_cell(Bytes& out, std::uint32_t back_to_first_row, std::span<const std::uint16_t> row_offsets);
void window2(Bytes& out, bool selected);
void selection(Bytes& out);
struct MergedArea {
  std::uint16_t first_row, last_row, first_column, last_column;
};
void merged_cells(Bytes& out, std::span<const MergedArea> areas);

}  // namespace record
}  // namespace vkt::xls
