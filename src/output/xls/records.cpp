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
  putU16(out, id);
  putU16(out, static_cast<std::uint16_t>(size));
}

void empty(Bytes& out, std::uint16_t id) {
  begin(out, id, 0);
}

void u16Record(Bytes& out, std::uint16_t id, std::uint16_t value) {
  begin(out, id, 2);
  putU16(out, value);
}

void doubleRecord(Bytes& out, std::uint16_t id, double value) {
  begin(out, id, 8);
  putF64(out, value);
}

}  // namespace

void framed(Bytes& out, std::uint16_t id, std::span<const std::uint8_t> data) {
  std::size_t at = 0;
  do {
    const std::size_t piece = std::min(kMaxData, data.size() - at);
    begin(out, at == 0 ? id : kContinue, piece);
    putBytes(out, data.subspan(at, piece));
    at += piece;
  } while (at < data.size());
}

void bof(Bytes& out, BofType type) {
  begin(out, kBof, 16);
  putU16(out, kBiff8);
  putU16(out, static_cast<std::uint16_t>(type));
  putU16(out, kBuild);
  putU16(out, kBuildYear);
  if (type == BofType::Globals) {
    putU32(out, 0);       // file history flags
    putU32(out, kBiff8);  // lowest version that can read all records
  } else {
    putU64(out, 0);
  }
}

void interfaceHdr(Bytes& out) {
  u16Record(out, kInterfaceHdr, 1252);
}
void mms(Bytes& out) {
  u16Record(out, kMms, 0);
}
void interfaceEnd(Bytes& out) {
  empty(out, kInterfaceEnd);
}

void writeAccess(Bytes& out, std::string_view title) {
  const std::u16string text = toUtf16(title);
  begin(out, kWriteAccess, kWriteAccessSize);
  const std::size_t start = out.size();
  putU16(out, static_cast<std::uint16_t>(text.size()));
  putU8(out, kUncompressed);
  putUtf16(out, text);
  out.resize(start + kWriteAccessSize, 0x20);  // blank-filled to the fixed size
}

void codePage(Bytes& out) {
  u16Record(out, kCodePage, 1252);
}
void dsf(Bytes& out) {
  u16Record(out, kDsf, 0);
}
void excel9File(Bytes& out) {
  empty(out, kExcel9File);
}

void tabId(Bytes& out, std::size_t sheets) {
  begin(out, kTabId, 2 * sheets);
  for (std::size_t i = 1; i <= sheets; ++i) {
    putU16(out, static_cast<std::uint16_t>(i));
  }
}

void fnGroupCount(Bytes& out) {
  u16Record(out, kFnGroupCount, 14);
}
void windowProtect(Bytes& out) {
  u16Record(out, kWindowProtect, 0);
}
void protect(Bytes& out) {
  u16Record(out, kProtect, 0);
}
void password(Bytes& out) {
  u16Record(out, kPassword, 0);
}
void prot4Rev(Bytes& out) {
  u16Record(out, kProt4Rev, 0);
}
void prot4RevPass(Bytes& out) {
  u16Record(out, kProt4RevPass, 0);
}

void window1(Bytes& out) {
  begin(out, kWindow1, 18);
  putU16(out, 360);     // left, twips
  putU16(out, 30);      // top
  putU16(out, 7454);    // width
  putU16(out, 6240);    // height
  putU16(out, 0x0038);  // scroll bars and sheet tabs shown
  putU16(out, 0);       // active sheet
  putU16(out, 0);       // first visible tab
  putU16(out, 1);       // selected tabs
  putU16(out, 600);     // tab bar width ratio, per mille
}

void backup(Bytes& out) {
  u16Record(out, kBackup, 0);
}
void hideObj(Bytes& out) {
  u16Record(out, kHideObj, 0);
}
void dateMode(Bytes& out) {
  u16Record(out, kDateMode, 0);
}
void precision(Bytes& out) {
  u16Record(out, kPrecision, 1);
}
void refreshAll(Bytes& out) {
  u16Record(out, kRefreshAll, 0);
}
void bookBool(Bytes& out) {
  u16Record(out, kBookBool, 0);
}

void font(Bytes& out, const FontRecord& f) {
  const std::u16string name = toUtf16(f.name);
  begin(out, kFont, 16 + 2 * name.size());
  putU16(out, f.height);
  putU16(out, static_cast<std::uint16_t>((f.italic ? 0x0002 : 0) | (f.strikeOut ? 0x0008 : 0)));
  putU16(out, f.colourIndex);
  putU16(out, f.bold ? 1000 : 100);
  putU16(out, 0);  // escapement
  putU8(out, f.underline ? 1 : 0);
  putU8(out, 0);  // family
  putU8(out, 1);  // character set
  putU8(out, 0);
  putU8(out, static_cast<std::uint8_t>(name.size()));
  putU8(out, kUncompressed);
  putUtf16(out, name);
}

void format(Bytes& out, std::uint16_t number, std::string_view text) {
  const std::u16string wide = toUtf16(text);
  begin(out, kFormat, 5 + 2 * wide.size());
  putU16(out, number);
  putU16(out, static_cast<std::uint16_t>(wide.size()));
  putU8(out, kUncompressed);
  putUtf16(out, wide);
}

void xf(Bytes& out, const XfBytes& data) {
  begin(out, kXf, data.size());
  putBytes(out, data);
}

void style(Bytes& out, const std::array<std::uint8_t, 4>& data) {
  begin(out, kStyle, data.size());
  putBytes(out, data);
}

void palette(Bytes& out, std::span<const std::uint32_t> colours) {
  begin(out, kPalette, 2 + 4 * colours.size());
  putU16(out, static_cast<std::uint16_t>(colours.size()));
  for (std::uint32_t rgb : colours) {
    putU8(out, static_cast<std::uint8_t>(rgb >> 16));
    putU8(out, static_cast<std::uint8_t>(rgb >> 8));
    putU8(out, static_cast<std::uint8_t>(rgb));
    putU8(out, 0);
  }
}

void usesElfs(Bytes& out) {
  u16Record(out, kUsesElfs, 0);
}

void boundSheet(Bytes& out, std::string_view name) {
  const std::u16string wide = toUtf16(name);
  begin(out, kBoundSheet, 8 + 2 * wide.size());
  putU32(out, 0);  // BOF position, patched later
  putU16(out, 0);  // visible worksheet
  putU8(out, static_cast<std::uint8_t>(wide.size()));
  putU8(out, kUncompressed);
  putUtf16(out, wide);
}

void country(Bytes& out) {
  begin(out, kCountry, 4);
  putU16(out, 7);  // user interface: Russia
  putU16(out, 7);  // system settings: Russia
}

void eof(Bytes& out) {
  empty(out, kEof);
}

void index(Bytes& out, std::uint32_t firstRow, std::uint32_t lastRowPlusOne, std::size_t blocks) {
  begin(out, kIndex, 16 + 4 * blocks);
  putU32(out, 0);
  putU32(out, firstRow);
  putU32(out, lastRowPlusOne);
  putU32(out, 0);
  out.resize(out.size() + 4 * blocks, 0);  // DBCELL positions, patched later
}

void calcMode(Bytes& out) {
  u16Record(out, kCalcMode, 1);
}
void calcCount(Bytes& out) {
  u16Record(out, kCalcCount, 100);
}
void refMode(Bytes& out) {
  u16Record(out, kRefMode, 1);
}
void iteration(Bytes& out) {
  u16Record(out, kIteration, 0);
}
void delta(Bytes& out) {
  doubleRecord(out, kDelta, 0.001);
}
void saveRecalc(Bytes& out) {
  u16Record(out, kSaveRecalc, 1);
}
void printHeaders(Bytes& out) {
  u16Record(out, kPrintHeaders, 0);
}
void printGridlines(Bytes& out) {
  u16Record(out, kPrintGridlines, 0);
}
void gridSet(Bytes& out) {
  u16Record(out, kGridSet, 1);
}

void guts(Bytes& out) {
  begin(out, kGuts, 8);
  putU64(out, 0);
}

void defaultRowHeight(Bytes& out) {
  begin(out, kDefaultRowHeight, 4);
  putU16(out, 0);
  putU16(out, 255);
}

void wsBool(Bytes& out) {
  u16Record(out, kWsBool, 0x04C1);
}
void header(Bytes& out) {
  empty(out, kHeader);
}
void footer(Bytes& out) {
  empty(out, kFooter);
}
void hCenter(Bytes& out) {
  u16Record(out, kHCenter, 0);
}
void vCenter(Bytes& out) {
  u16Record(out, kVCenter, 0);
}
void leftMargin(Bytes& out, double inches) {
  doubleRecord(out, kLeftMargin, inches);
}
void rightMargin(Bytes& out, double inches) {
  doubleRecord(out, kRightMargin, inches);
}
void topMargin(Bytes& out, double inches) {
  doubleRecord(out, kTopMargin, inches);
}
void bottomMargin(Bytes& out, double inches) {
  doubleRecord(out, kBottomMargin, inches);
}

void setup(Bytes& out, const XlsPageSetup& page) {
  begin(out, kSetup, 34);
  putU16(out, page.paperSize);
  putU16(out, page.scale);
  putU16(out, page.firstPageNumber);
  putU16(out, page.fitWidth);
  putU16(out, page.fitHeight);
  putU16(out, page.portrait ? 0x0002 : 0x0000);
  putU16(out, 0);  // resolution
  putU16(out, 0);  // vertical resolution
  putF64(out, page.headerMargin);
  putF64(out, page.footerMargin);
  putU16(out, page.copies);
}

void defColWidth(Bytes& out) {
  u16Record(out, kDefColWidth, 8);
}

void dimensions(Bytes& out, const UsedArea& used) {
  begin(out, kDimensions, 14);
  if (used.empty()) {
    out.resize(out.size() + 14, 0);
    return;
  }
  putU32(out, static_cast<std::uint32_t>(used.firstRow));
  putU32(out, static_cast<std::uint32_t>(used.lastRow) + 1);
  putU16(out, static_cast<std::uint16_t>(used.firstColumn));
  putU16(out, static_cast<std::uint16_t>(used.lastColumn + 1));
  putU16(out, 0);
}

// Cell and row records are written a million times for a full sheet: each is assembled in a
// fixed buffer and appended at once.
void row(Bytes& out, std::uint16_t rowNumber, std::uint16_t firstColumn, std::uint16_t lastColumnPlusOne) {
  std::uint8_t r[20] = {};
  setU16(r, kRow);
  setU16(r + 2, 16);
  setU16(r + 4, rowNumber);
  setU16(r + 6, firstColumn);
  setU16(r + 8, lastColumnPlusOne);
  setU16(r + 10, 255);  // height, twentieths of a point; then 0, 0, options 0 and XF 0
  out.insert(out.end(), r, r + sizeof r);
}

void number(Bytes& out, std::uint16_t rowNumber, std::uint16_t column, std::uint16_t xfIndex, double value) {
  std::uint8_t r[18];
  setU16(r, kNumber);
  setU16(r + 2, 14);
  setU16(r + 4, rowNumber);
  setU16(r + 6, column);
  setU16(r + 8, xfIndex);
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  setU32(r + 10, static_cast<std::uint32_t>(bits));
  setU32(r + 14, static_cast<std::uint32_t>(bits >> 32));
  out.insert(out.end(), r, r + sizeof r);
}

void labelSst(Bytes& out, std::uint16_t rowNumber, std::uint16_t column, std::uint16_t xfIndex,
              std::uint32_t sstIndex) {
  std::uint8_t r[14];
  setU16(r, kLabelSst);
  setU16(r + 2, 10);
  setU16(r + 4, rowNumber);
  setU16(r + 6, column);
  setU16(r + 8, xfIndex);
  setU32(r + 10, sstIndex);
  out.insert(out.end(), r, r + sizeof r);
}

void blank(Bytes& out, std::uint16_t rowNumber, std::uint16_t column, std::uint16_t xfIndex) {
  begin(out, kBlank, 6);
  putU16(out, rowNumber);
  putU16(out, column);
  putU16(out, xfIndex);
}

void mulBlank(Bytes& out, std::uint16_t rowNumber, std::uint16_t firstColumn, std::uint16_t lastColumn,
              std::uint16_t xfIndex) {
  const std::size_t columns = static_cast<std::size_t>(lastColumn - firstColumn) + 1;
  begin(out, kMulBlank, 6 + 2 * columns);
  putU16(out, rowNumber);
  putU16(out, firstColumn);
  for (std::size_t i = 0; i < columns; ++i) {
    putU16(out, xfIndex);
  }
  putU16(out, lastColumn);
}

void dbCell(Bytes& out, std::uint32_t backToFirstRow, std::span<const std::uint16_t> rowOffsets) {
  begin(out, kDbCell, 4 + 2 * rowOffsets.size());
  putU32(out, backToFirstRow);
  for (std::uint16_t offset : rowOffsets) {
    putU16(out, offset);
  }
}

void window2(Bytes& out, bool selected) {
  begin(out, kWindow2, 18);
  putU16(out, static_cast<std::uint16_t>(0x04B6 | (selected ? 0x0200 : 0)));
  putU16(out, 0);       // top row
  putU16(out, 0);       // left column
  putU32(out, 0x0040);  // grid line colour: window text
  putU16(out, 0);
  putU16(out, 0);
  putU32(out, 0);
}

void selection(Bytes& out) {
  begin(out, kSelection, 15);
  putU8(out, 3);   // pane
  putU16(out, 0);  // active row
  putU16(out, 0);  // active column
  putU16(out, 0);  // active reference
  putU16(out, 1);  // references
  putU16(out, 0);  // first row
  putU16(out, 0);  // last row
  putU8(out, 0);   // first column
  putU8(out, 0);   // last column
}

void mergedCells(Bytes& out, std::span<const MergedArea> areas) {
  begin(out, kMergedCells, 2 + 8 * areas.size());
  putU16(out, static_cast<std::uint16_t>(areas.size()));
  for (const MergedArea& a : areas) {
    putU16(out, a.firstRow);
    putU16(out, a.lastRow);
    putU16(out, a.firstColumn);
    putU16(out, a.lastColumn);
  }
}

}  // namespace vkt::xls::record
