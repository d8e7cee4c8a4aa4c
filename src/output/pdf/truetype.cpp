#include "output/pdf/truetype.h"

#include <algorithm>

namespace vkt::pdf {

namespace {

// Offsets into the tables, as the TrueType reference lays them out.
constexpr std::size_t kHeadSize = 54;
constexpr std::size_t kHeadChecksumAdjustment = 8;
constexpr std::size_t kHeadUnitsPerEm = 18;
constexpr std::size_t kHeadBox = 36;
constexpr std::size_t kHeadMacStyle = 44;
constexpr std::size_t kHeadLocaFormat = 50;
constexpr std::size_t kHheaSize = 36;
constexpr std::size_t kHheaAscender = 4;
constexpr std::size_t kHheaDescender = 6;
constexpr std::size_t kHheaMetricCount = 34;
constexpr std::size_t kMaxpGlyphCount = 4;
constexpr std::uint16_t kMacStyleItalic = 0x0002;
constexpr std::uint32_t kChecksumMagic = 0xB1B0AFBA;

// Composite glyph flags.
constexpr std::uint16_t kArgsAreWords = 0x0001;
constexpr std::uint16_t kHasScale = 0x0008;
constexpr std::uint16_t kMoreComponents = 0x0020;
constexpr std::uint16_t kHasXYScale = 0x0040;
constexpr std::uint16_t kHasTwoByTwo = 0x0080;

// Tables a PDF viewer needs to draw the outlines: the outlines, their metrics and the hinting
// programs the outlines call.
constexpr std::array<const char*, 6> kRequired = {"glyf", "head", "hhea", "hmtx", "loca", "maxp"};
constexpr std::array<const char*, 3> kHinting = {"cvt ", "fpgm", "prep"};

std::uint16_t u16(std::string_view data, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(data[at]) << 8) |
                                    static_cast<unsigned char>(data[at + 1]));
}

std::int16_t s16(std::string_view data, std::size_t at) {
  return static_cast<std::int16_t>(u16(data, at));
}

std::uint32_t u32(std::string_view data, std::size_t at) {
  return (std::uint32_t{u16(data, at)} << 16) | u16(data, at + 2);
}

void put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v >> 16));
  put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
}

void set32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
  }
}

// The sum of a table's big-endian 32-bit words, the last one padded with zeros.
std::uint32_t checksum(std::string_view data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < data.size(); i += 4) {
    std::uint32_t word = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      word = (word << 8) | (i + k < data.size() ? static_cast<unsigned char>(data[i + k]) : 0U);
    }
    sum += word;
  }
  return sum;
}

void pad4(std::string& out) {
  out.append((4 - out.size() % 4) % 4, '\0');
}

// The PostScript name (name 6) of a 'name' table: the Windows record (UTF-16) or the Macintosh one
// (one byte a character), kept to the characters a PDF name needs no escapes for.
std::string postscript_name_of(std::string_view table) {
  constexpr std::size_t kRecord = 12;
  constexpr unsigned kPostScriptName = 6;
  if (table.size() < 6) {
    return {};
  }
  const std::size_t count = u16(table, 2);
  const std::size_t strings = u16(table, 4);
  std::string name;
  for (std::size_t i = 0; i < count && 6 + (i + 1) * kRecord <= table.size() && name.empty(); ++i) {
    const std::size_t record = 6 + i * kRecord;
    const unsigned platform = u16(table, record);
    const std::size_t length = u16(table, record + 8);
    const std::size_t offset = strings + u16(table, record + 10);
    if (u16(table, record + 6) != kPostScriptName || (platform != 1 && platform != 3) ||
        offset > table.size() || length > table.size() - offset) {
      continue;
    }
    const std::size_t step = platform == 3 ? 2 : 1;
    for (std::size_t k = step - 1; k < length; k += step) {
      const char c = table[offset + k];
      const bool wide_high_zero = step == 1 || table[offset + k - 1] == 0;
      if (wide_high_zero &&
          ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
        name += c;
      }
    }
  }
  return name;
}

}  // namespace

std::optional<TrueTypeFont> TrueTypeFont::from_tables(std::map<std::string, std::string> tables) {
  for (const char* tag : kRequired) {
    if (tables.find(tag) == tables.end()) {
      return std::nullopt;
    }
  }
  const std::string_view head = tables["head"];
  const std::string_view hhea = tables["hhea"];
  const std::string_view maxp = tables["maxp"];
  const std::string_view hmtx = tables["hmtx"];
  const std::string_view loca = tables["loca"];
  const std::string_view glyf = tables["glyf"];
  if (head.size() < kHeadSize || hhea.size() < kHheaSize || maxp.size() < kMaxpGlyphCount + 2) {
    return std::nullopt;
  }
  TrueTypeFont font;
  font.units_per_em_ = u16(head, kHeadUnitsPerEm);
  const std::size_t glyphs = u16(maxp, kMaxpGlyphCount);
  const std::size_t metrics = u16(hhea, kHheaMetricCount);
  const bool long_offsets = s16(head, kHeadLocaFormat) == 1;
  if (font.units_per_em_ < 16 || glyphs == 0 || metrics == 0 || metrics > glyphs ||
      hmtx.size() < metrics * 4 || loca.size() < (glyphs + 1) * (long_offsets ? 4 : 2)) {
    return std::nullopt;
  }
  font.offsets_.resize(glyphs + 1);
  for (std::size_t g = 0; g <= glyphs; ++g) {
    font.offsets_[g] = long_offsets ? u32(loca, g * 4) : std::uint32_t{u16(loca, g * 2)} * 2;
    if (font.offsets_[g] > glyf.size() || (g > 0 && font.offsets_[g] < font.offsets_[g - 1])) {
      return std::nullopt;
    }
  }
  font.advances_.resize(glyphs);
  for (std::size_t g = 0; g < glyphs; ++g) {
    font.advances_[g] = u16(hmtx, std::min(g, metrics - 1) * 4);
  }
  const double scale = 1000.0 / font.units_per_em_;
  for (std::size_t i = 0; i < 4; ++i) {
    font.box_[i] = s16(head, kHeadBox + 2 * i) * scale;
  }
  font.ascent_ = s16(hhea, kHheaAscender) * scale;
  font.descent_ = s16(hhea, kHheaDescender) * scale;
  font.italic_ = (u16(head, kHeadMacStyle) & kMacStyleItalic) != 0;
  if (const auto name = tables.find("name"); name != tables.end()) {
    font.postscript_name_ = postscript_name_of(name->second);
  }
  font.tables_ = std::move(tables);
  return font;
}

std::optional<TrueTypeFont> TrueTypeFont::from_file(std::string_view file) {
  constexpr std::size_t kDirectory = 12;
  constexpr std::size_t kRecord = 16;
  if (file.size() < kDirectory) {
    return std::nullopt;
  }
  const std::size_t count = u16(file, 4);
  if (file.size() < kDirectory + count * kRecord) {
    return std::nullopt;
  }
  std::map<std::string, std::string> tables;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t record = kDirectory + i * kRecord;
    const std::size_t offset = u32(file, record + 8);
    const std::size_t length = u32(file, record + 12);
    if (offset > file.size() || length > file.size() - offset) {
      return std::nullopt;
    }
    tables.emplace(std::string(file.substr(record, 4)), std::string(file.substr(offset, length)));
  }
  return from_tables(std::move(tables));
}

double TrueTypeFont::advance(GlyphId glyph) const {
  return glyph < advances_.size() ? advances_[glyph] * 1000.0 / units_per_em_ : 0.0;
}

std::string_view TrueTypeFont::outline(GlyphId glyph) const {
  if (glyph >= advances_.size()) {
    return {};
  }
  const std::string_view glyf = tables_.at("glyf");
  return glyf.substr(offsets_[glyph], offsets_[glyph + 1] - offsets_[glyph]);
}

std::vector<GlyphId> TrueTypeFont::components(GlyphId glyph) const {
  const std::string_view data = outline(glyph);
  std::vector<GlyphId> parts;
  if (data.size() < 10 || s16(data, 0) >= 0) {
    return parts;
  }
  std::size_t at = 10;
  std::uint16_t flags = kMoreComponents;
  while ((flags & kMoreComponents) != 0 && at + 4 <= data.size()) {
    flags = u16(data, at);
    parts.push_back(u16(data, at + 2));
    at += 4 + ((flags & kArgsAreWords) != 0 ? 4 : 2);
    if ((flags & kHasScale) != 0) {
      at += 2;
    } else if ((flags & kHasXYScale) != 0) {
      at += 4;
    } else if ((flags & kHasTwoByTwo) != 0) {
      at += 8;
    }
  }
  return parts;
}

std::string TrueTypeFont::subset(const std::set<GlyphId>& wanted) const {
  const std::size_t glyphs = advances_.size();
  std::vector<bool> kept(glyphs, false);
  std::vector<GlyphId> pending(wanted.begin(), wanted.end());
  pending.push_back(0);
  while (!pending.empty()) {
    const GlyphId g = pending.back();
    pending.pop_back();
    if (g >= glyphs || kept[g]) {
      continue;
    }
    kept[g] = true;
    for (const GlyphId part : components(g)) {
      pending.push_back(part);
    }
  }

  std::map<std::string, std::string> out;
  std::string& glyf = out["glyf"];
  std::string& loca = out["loca"];
  for (std::size_t g = 0; g < glyphs; ++g) {
    put32(loca, static_cast<std::uint32_t>(glyf.size()));
    if (kept[g]) {
      glyf += outline(static_cast<GlyphId>(g));
      pad4(glyf);
    }
  }
  put32(loca, static_cast<std::uint32_t>(glyf.size()));

  // Metrics of the glyphs left out are zero: the widths the viewer uses are in the PDF itself.
  // The last full entry stays, as its width is that of every glyph after it.
  const std::string_view hmtx = tables_.at("hmtx");
  std::string& metrics = out["hmtx"];
  metrics.assign(hmtx);
  const std::size_t metric_count = u16(tables_.at("hhea"), kHheaMetricCount);
  for (std::size_t g = 0; g < glyphs; ++g) {
    const std::size_t at = g < metric_count ? g * 4 : metric_count * 4 + (g - metric_count) * 2;
    const std::size_t size = g < metric_count ? 4 : 2;
    if (!kept[g] && g + 1 != metric_count && at + size <= metrics.size()) {
      std::fill_n(metrics.begin() + static_cast<std::ptrdiff_t>(at), size, '\0');
    }
  }
  out["hhea"] = tables_.at("hhea");
  out["maxp"] = tables_.at("maxp");
  std::string& head = out["head"] = tables_.at("head");
  set32(head, kHeadChecksumAdjustment, 0);
  head[kHeadLocaFormat] = 0;
  head[kHeadLocaFormat + 1] = 1;  // long offsets
  for (const char* tag : kHinting) {
    if (const auto found = tables_.find(tag); found != tables_.end()) {
      out[tag] = found->second;
    }
  }

  // The table directory, sorted by tag (std::map already is), each table on a 4-byte boundary.
  const auto count = static_cast<std::uint16_t>(out.size());
  std::uint16_t power = 1;
  std::uint16_t log2 = 0;
  while (power * 2 <= count) {
    power = static_cast<std::uint16_t>(power * 2);
    ++log2;
  }
  std::string file;
  put32(file, 0x00010000);
  put16(file, count);
  put16(file, static_cast<std::uint16_t>(power * 16));
  put16(file, log2);
  put16(file, static_cast<std::uint16_t>(count * 16 - power * 16));
  std::size_t offset = 12 + 16 * std::size_t{count};
  std::size_t head_at = 0;
  for (const auto& [tag, data] : out) {
    file += tag;
    put32(file, checksum(data));
    put32(file, static_cast<std::uint32_t>(offset));
    put32(file, static_cast<std::uint32_t>(data.size()));
    if (tag == "head") {
      head_at = offset;
    }
    offset += (data.size() + 3) / 4 * 4;
  }
  for (const auto& entry : out) {
    file += entry.second;
    pad4(file);
  }
  set32(file, head_at + kHeadChecksumAdjustment, kChecksumMagic - checksum(file));
  return file;
}

}  // namespace vkt::pdf
