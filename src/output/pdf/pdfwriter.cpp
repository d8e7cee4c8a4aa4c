#include "output/pdf/pdfwriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

namespace vkt::pdf {

namespace {

constexpr double kPointsPerInch = 72;
// Objects whose numbers every file has.
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
constexpr int kInfo = 3;
// A glyph is moved from where the previous one's width puts it only when the two differ by more
// than this, in device units.
constexpr double kGlyphSlack = 0.25;

void put_number(std::string& out, double v) {
  char buf[32];
  const double rounded = std::round(v);
  std::to_chars_result r{};
  if (std::abs(v - rounded) < 0.005) {
    r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(rounded));
  } else {
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    while (r.ptr[-1] == '0') {
      --r.ptr;
    }
    if (r.ptr[-1] == '.') {
      --r.ptr;
    }
  }
  out.append(buf, r.ptr);
}

void put_integer(std::string& out, long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// A two-byte glyph code inside a literal string: the bytes that end or escape a string, and the
// ends of lines a reader would normalise, are escaped.
void put_code_byte(std::string& out, unsigned char byte) {
  switch (byte) {
    case '(':
    case ')':
    case '\\':
      out += '\\';
      out += static_cast<char>(byte);
      break;
    case '\r':
      out += "\\r";
      break;
    case '\n':
      out += "\\n";
      break;
    default:
      out += static_cast<char>(byte);
  }
}

void put_hex16(std::string& out, unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) {
    out += kDigits[(v >> shift) & 0xF];
  }
}

// A text string of the document information: UTF-16BE with its byte order mark, as hex.
std::string text_string(const std::u16string& text) {
  std::string out = "<FEFF";
  for (const char16_t c : text) {
    put_hex16(out, c);
  }
  out += '>';
  return out;
}

// The mapping of glyphs to what they stand for, in the CMap form readers take it in.
std::string to_unicode_map(const std::vector<char32_t>& unicode) {
  std::string out =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::size_t> known;
  for (std::size_t g = 0; g < unicode.size(); ++g) {
    if (unicode[g] != 0) {
      known.push_back(g);
    }
  }
  constexpr std::size_t kPerBlock = 100;  // the most one bfchar block may hold
  for (std::size_t i = 0; i < known.size(); i += kPerBlock) {
    const std::size_t n = std::min(kPerBlock, known.size() - i);
    put_integer(out, static_cast<long long>(n));
    out += " beginbfchar\n";
    for (std::size_t k = i; k < i + n; ++k) {
      out += '<';
      put_hex16(out, static_cast<unsigned>(known[k]));
      out += "> <";
      const char32_t c = unicode[known[k]];
      if (c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        put_hex16(out, 0xD800 + (v >> 10));
        put_hex16(out, 0xDC00 + (v & 0x3FF));
      } else {
        put_hex16(out, c);
      }
      out += ">\n";
    }
    out += "endbfchar\n";
  }
  out += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  return out;
}

// A glyph's width as the font's width array gives it, in thousandths of the em: to a hundredth,
// so that where the file's viewer puts the next glyph is where the writer expects it.
double width_of(const TrueTypeFont& font, GlyphId glyph) {
  return std::round(font.advance(glyph) * 100) / 100;
}

// Six capital letters before a cut-down font's name, different for different glyph sets.
std::string subset_tag(const std::set<GlyphId>& glyphs) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const GlyphId g : glyphs) {
    h = (h ^ g) * 1099511628211ULL;
  }
  std::string tag;
  for (int i = 0; i < 6; ++i) {
    tag += static_cast<char>('A' + h % 26);
    h /= 26;
  }
  return tag + '+';
}

}  // namespace

DocumentWriter::DocumentWriter(Sink sink, Deflate deflate, double dots_per_inch)
    : sink_(std::move(sink)), deflate_(std::move(deflate)), scale_(kPointsPerInch / dots_per_inch) {
  offsets_.assign(kInfo + 1, 0);
  // The comment's bytes above 127 tell transfer programs that the file is binary.
  write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

int DocumentWriter::add_font(const TrueTypeFont& font) {
  std::string name = font.postscript_name();
  if (name.empty()) {
    name = "Font" + std::to_string(fonts_.size() + 1);
  }
  fonts_.push_back(Font{&font, std::move(name), reserve_object(),
                        std::vector<bool>(font.glyph_count(), false),
                        std::vector<char32_t>(font.glyph_count(), 0)});
  return static_cast<int>(fonts_.size()) - 1;
}

bool DocumentWriter::knows_text_of(int font, GlyphId glyph) const {
  const Font& f = fonts_.at(static_cast<std::size_t>(font));
  return glyph >= f.unicode.size() || f.unicode[glyph] != 0;
}

void DocumentWriter::set_text_of(int font, GlyphId glyph, char32_t code) {
  Font& f = fonts_.at(static_cast<std::size_t>(font));
  if (glyph < f.unicode.size()) {
    f.unicode[glyph] = code;
  }
}

int DocumentWriter::reserve_object() {
  offsets_.push_back(0);
  return static_cast<int>(offsets_.size()) - 1;
}

void DocumentWriter::write(std::string_view bytes) {
  sink_(bytes);
  written_ += bytes.size();
}

void DocumentWriter::begin_object(int number) {
  offsets_.at(static_cast<std::size_t>(number)) = written_;
  std::string head;
  put_integer(head, number);
  head += " 0 obj\n";
  write(head);
}

void DocumentWriter::end_object() {
  write("\nendobj\n");
}

void DocumentWriter::write_stream(int number, std::string_view data, std::string_view extra_keys) {
  std::string packed;
  const bool deflated = static_cast<bool>(deflate_);
  if (deflated) {
    packed = deflate_(data);
  }
  const std::string_view body = deflated ? std::string_view(packed) : data;
  begin_object(number);
  std::string head = "<</Length ";
  put_integer(head, static_cast<long long>(body.size()));
  if (deflated) {
    head += "/Filter/FlateDecode";
  }
  head += extra_keys;
  head += ">>\nstream\n";
  write(head);
  write(body);
  write("\nendstream");
  end_object();
}

void DocumentWriter::begin_page(double width, double height) {
  page_.clear();
  page_width_ = width * scale_;
  page_height_ = height * scale_;
  in_text_ = false;
  text_font_ = -1;
  // Device units, y downwards, from the top-left corner.
  put_number(page_, scale_);
  page_ += " 0 0 ";
  put_number(page_, -scale_);
  page_ += " 0 ";
  put_number(page_, page_height_);
  page_ += " cm\n";
}

void DocumentWriter::end_text() {
  if (in_text_) {
    page_ += "ET\n";
    in_text_ = false;
  }
}

void DocumentWriter::lines(const std::vector<Segment>& segments, double width) {
  if (segments.empty()) {
    return;
  }
  end_text();
  put_number(page_, width);
  page_ += " w 2 J\n";
  for (const Segment& s : segments) {
    put_integer(page_, std::llround(s.x1));
    page_ += ' ';
    put_integer(page_, std::llround(s.y1));
    page_ += " m ";
    put_integer(page_, std::llround(s.x2));
    page_ += ' ';
    put_integer(page_, std::llround(s.y2));
    page_ += " l\n";
  }
  page_ += "S\n";
}

void DocumentWriter::text(int font, double size, const std::vector<PlacedGlyph>& glyphs) {
  Font& f = fonts_.at(static_cast<std::size_t>(font));
  // Glyphs on one baseline are one string; a glyph moved off it starts another.
  std::size_t start = 0;
  for (std::size_t i = 1; i <= glyphs.size(); ++i) {
    if (i == glyphs.size() || std::abs(glyphs[i].y - glyphs[start].y) > kGlyphSlack) {
      if (!in_text_) {
        page_ += "BT\n";
        in_text_ = true;
        text_font_ = -1;
      }
      if (text_font_ != font || std::abs(text_size_ - size) > 1e-9) {
        page_ += "/F";
        put_integer(page_, font + 1);
        page_ += ' ';
        put_number(page_, size);
        page_ += " Tf\n";
      }
      const bool first = text_font_ == -1;
      text_font_ = font;
      text_size_ = size;
      const long long x = std::llround(glyphs[start].x);
      const long long y = std::llround(glyphs[start].y);
      if (first) {
        // The page's y runs downwards; the text's own must run up, or glyphs stand on their heads.
        page_ += "1 0 0 -1 ";
        put_integer(page_, x);
        page_ += ' ';
        put_integer(page_, y);
        page_ += " Tm\n";
      } else {
        put_integer(page_, x - text_x_);
        page_ += ' ';
        put_integer(page_, text_y_ - y);
        page_ += " Td\n";
      }
      text_x_ = x;
      text_y_ = y;
      show(f, size, glyphs.data() + start, i - start);
      start = i;
    }
  }
}

void DocumentWriter::show(Font& font, double size, const PlacedGlyph* glyphs, std::size_t count) {
  std::string shown;
  bool moved = false;
  double expected = 0;  // where the widths put the glyph, from the first one
  for (std::size_t i = 0; i < count; ++i) {
    const GlyphId g = glyphs[i].glyph;
    if (i > 0) {
      const double actual = glyphs[i].x - glyphs[0].x;
      if (std::abs(actual - expected) > kGlyphSlack) {
        // A number in a TJ array moves the next glyph back by thousandths of the em.
        const long long back = std::llround((expected - actual) * 1000 / size);
        shown += ')';
        put_integer(shown, back);
        shown += '(';
        expected -= static_cast<double>(back) * size / 1000;
        moved = true;
      }
    }
    put_code_byte(shown, static_cast<unsigned char>(g >> 8));
    put_code_byte(shown, static_cast<unsigned char>(g & 0xFF));
    if (g < font.used.size()) {
      font.used[g] = true;
    }
    expected += width_of(*font.font, g) * size / 1000;
  }
  if (moved) {
    page_ += "[(";
    page_ += shown;
    page_ += ")]TJ\n";
  } else {
    page_ += '(';
    page_ += shown;
    page_ += ")Tj\n";
  }
}

void DocumentWriter::end_page() {
  end_text();
  const int contents = reserve_object();
  write_stream(contents, page_, {});
  const int page = reserve_object();
  begin_object(page);
  std::string dict = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 ";
  put_number(dict, page_width_);
  dict += ' ';
  put_number(dict, page_height_);
  dict += "]/Contents ";
  put_integer(dict, contents);
  dict += " 0 R>>";
  write(dict);
  end_object();
  pages_.push_back(page);
  page_.clear();
}

void DocumentWriter::write_font(const Font& font) {
  std::set<GlyphId> used;
  for (std::size_t g = 0; g < font.used.size(); ++g) {
    if (font.used[g]) {
      used.insert(static_cast<GlyphId>(g));
    }
  }
  const std::string name = subset_tag(used) + font.name;
  const int descendant = reserve_object();
  const int descriptor = reserve_object();
  const int file = reserve_object();
  const int to_unicode = reserve_object();

  begin_object(font.object);
  std::string dict = "<</Type/Font/Subtype/Type0/BaseFont/" + name + "/Encoding/Identity-H/DescendantFonts[";
  put_integer(dict, descendant);
  dict += " 0 R]/ToUnicode ";
  put_integer(dict, to_unicode);
  dict += " 0 R>>";
  write(dict);
  end_object();

  // The widths of the glyphs used, runs of consecutive glyphs together.
  begin_object(descendant);
  dict = "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + name +
         "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor ";
  put_integer(dict, descriptor);
  dict += " 0 R/CIDToGIDMap/Identity/W[";
  long long previous = -2;
  for (const GlyphId g : used) {
    if (g != previous + 1) {
      if (previous >= 0) {
        dict += ']';
      }
      put_integer(dict, g);
      dict += '[';
    } else {
      dict += ' ';
    }
    put_number(dict, width_of(*font.font, g));
    previous = g;
  }
  if (previous >= 0) {
    dict += ']';
  }
  dict += "]>>";
  write(dict);
  end_object();

  begin_object(descriptor);
  dict = "<</Type/FontDescriptor/FontName/" + name + "/Flags ";
  constexpr int kNonsymbolic = 32;
  constexpr int kItalic = 64;
  put_integer(dict, kNonsymbolic + (font.font->italic() ? kItalic : 0));
  dict += "/FontBBox[";
  for (std::size_t i = 0; i < 4; ++i) {
    put_integer(dict, std::llround(font.font->bounding_box()[i]));
    dict += i < 3 ? " " : "";
  }
  dict += "]/ItalicAngle ";
  dict += font.font->italic() ? "-12" : "0";
  dict += "/Ascent ";
  put_integer(dict, std::llround(font.font->ascent()));
  dict += "/Descent ";
  put_integer(dict, std::llround(font.font->descent()));
  dict += "/CapHeight ";
  put_integer(dict, std::llround(font.font->ascent()));
  dict += "/StemV 80/FontFile2 ";
  put_integer(dict, file);
  dict += " 0 R>>";
  write(dict);
  end_object();

  const std::string subset = font.font->subset(used);
  std::string length1 = "/Length1 ";
  put_integer(length1, static_cast<long long>(subset.size()));
  write_stream(file, subset, length1);
  write_stream(to_unicode, to_unicode_map(font.unicode), {});
}

void DocumentWriter::finish(const std::u16string& title, const std::u16string& creator) {
  std::string fonts;
  for (std::size_t i = 0; i < fonts_.size(); ++i) {
    if (std::find(fonts_[i].used.begin(), fonts_[i].used.end(), true) == fonts_[i].used.end()) {
      continue;
    }
    write_font(fonts_[i]);
    fonts += "/F";
    put_integer(fonts, static_cast<long long>(i) + 1);
    fonts += ' ';
    put_integer(fonts, fonts_[i].object);
    fonts += " 0 R";
  }

  begin_object(kPageTree);
  std::string tree = "<</Type/Pages/Resources<</Font<<" + fonts + ">>>>/Count ";
  put_integer(tree, static_cast<long long>(pages_.size()));
  tree += "/Kids[";
  write(tree);
  std::string kids;
  for (const int page : pages_) {
    put_integer(kids, page);
    kids += " 0 R\n";
    if (kids.size() > 65536) {
      write(kids);
      kids.clear();
    }
  }
  kids += "]>>";
  write(kids);
  end_object();

  begin_object(kCatalog);
  write("<</Type/Catalog/Pages 2 0 R>>");
  end_object();
  begin_object(kInfo);
  write("<</Title" + text_string(title) + "/Creator" + text_string(creator) + ">>");
  end_object();

  // Objects reserved and never written (fonts no page used) are free entries.
  const std::uint64_t xref = written_;
  std::string table = "xref\n0 ";
  put_integer(table, static_cast<long long>(offsets_.size()));
  table += "\n0000000000 65535 f \n";
  for (std::size_t n = 1; n < offsets_.size(); ++n) {
    // Each entry is exactly 20 bytes: a ten-digit offset, the generation, in use or free.
    std::string offset = std::to_string(offsets_[n]);
    table.append(10 - std::min<std::size_t>(offset.size(), 10), '0');
    table += offset;
    table += offsets_[n] != 0 ? " 00000 n \n" : " 65535 f \n";
  }
  table += "trailer\n<</Size ";
  put_integer(table, static_cast<long long>(offsets_.size()));
  table += "/Root 1 0 R/Info 3 0 R>>\nstartxref\n";
  put_integer(table, static_cast<long long>(xref));
  table += "\n%%EOF\n";
  write(table);
}

}  // namespace vkt::pdf
