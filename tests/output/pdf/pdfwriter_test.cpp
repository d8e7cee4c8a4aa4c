#include "output/pdf/pdfwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace vkt::pdf {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Liberation Sans, where the tests' set-up puts it: the system's fonts, or a Wine prefix's.
std::string sans() {
  for (const char* path : {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                           "C:/windows/Fonts/LiberationSans-Regular.ttf"}) {
    if (fs::exists(path)) {
      return read_file(path);
    }
  }
  return {};
}

// The font file read with the layout the TrueType reference gives, apart from the engine's reader.
unsigned be16(std::string_view d, std::size_t at) {
  return (static_cast<unsigned char>(d[at]) << 8) | static_cast<unsigned char>(d[at + 1]);
}
unsigned be32(std::string_view d, std::size_t at) {
  return (be16(d, at) << 16) | be16(d, at + 2);
}

std::map<std::string, std::string> tables_of(std::string_view font) {
  std::map<std::string, std::string> tables;
  for (std::size_t i = 0; i < be16(font, 4); ++i) {
    const std::size_t record = 12 + 16 * i;
    tables[std::string(font.substr(record, 4))] =
        std::string(font.substr(be32(font, record + 8), be32(font, record + 12)));
  }
  return tables;
}

// The glyph of a character through the font's Windows Unicode cmap (format 4).
GlyphId glyph_of(std::string_view font, char16_t c) {
  const std::string cmap = tables_of(font).at("cmap");
  for (std::size_t i = 0; i < be16(cmap, 2); ++i) {
    const std::size_t record = 4 + 8 * i;
    if (be16(cmap, record) != 3 || be16(cmap, record + 2) != 1) {
      continue;
    }
    const std::size_t sub = be32(cmap, record + 4);
    const std::size_t segments = be16(cmap, sub + 6) / 2;
    const std::size_t ends = sub + 14;
    const std::size_t starts = ends + 2 * segments + 2;
    const std::size_t deltas = starts + 2 * segments;
    const std::size_t ranges = deltas + 2 * segments;
    for (std::size_t s = 0; s < segments; ++s) {
      if (be16(cmap, ends + 2 * s) < c || be16(cmap, starts + 2 * s) > c) {
        continue;
      }
      const unsigned range = be16(cmap, ranges + 2 * s);
      const unsigned delta = be16(cmap, deltas + 2 * s);
      if (range == 0) {
        return static_cast<GlyphId>((c + delta) & 0xFFFF);
      }
      const unsigned g = be16(cmap, ranges + 2 * s + range + 2 * (c - be16(cmap, starts + 2 * s)));
      return static_cast<GlyphId>(g == 0 ? 0 : (g + delta) & 0xFFFF);
    }
  }
  return 0;
}

// A glyph's outline bytes by the font's own loca table.
std::string_view outline_of(const std::map<std::string, std::string>& tables, GlyphId g) {
  const std::string& loca = tables.at("loca");
  const bool long_offsets = be16(tables.at("head"), 50) == 1;
  const auto at = [&](std::size_t i) { return long_offsets ? be32(loca, 4 * i) : 2 * be16(loca, 2 * i); };
  return std::string_view(tables.at("glyf")).substr(at(g), at(g + 1) - at(g));
}

class TrueTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    font_ = sans();
    if (font_.empty()) {
      GTEST_SKIP() << "Liberation Sans is not installed";
    }
  }
  std::string font_;
};

TEST_F(TrueTypeTest, SubsetKeepsTheGlyphsUsedAndTheirPartsInAValidFile) {
  const std::optional<TrueTypeFont> full = TrueTypeFont::from_file(font_);
  ASSERT_TRUE(full.has_value());
  const auto original = tables_of(font_);
  // "й" and "ё" are built of other glyphs in this font: their parts must come along.
  std::set<GlyphId> used;
  for (const char16_t c : std::u16string(u"Дата 12 йё")) {
    used.insert(glyph_of(font_, c));
  }
  ASSERT_EQ(used.count(0), 0U);
  std::set<GlyphId> parts;
  for (const GlyphId g : used) {
    const std::string_view o = outline_of(original, g);
    if (o.size() >= 10 && static_cast<std::int16_t>(be16(o, 0)) < 0) {
      parts.insert(static_cast<GlyphId>(be16(o, 12)));
    }
  }
  ASSERT_FALSE(parts.empty());

  const std::string file = full->subset(used);
  EXPECT_LT(file.size() * 10, font_.size());
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 4 <= file.size(); i += 4) {
    sum += be32(file, i);
  }
  EXPECT_EQ(sum, 0xB1B0AFBAU) << "the checksum adjustment of 'head'";
  const auto cut = tables_of(file);
  const std::optional<TrueTypeFont> again = TrueTypeFont::from_file(file);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->glyph_count(), full->glyph_count());
  for (const GlyphId g : used) {
    EXPECT_EQ(again->advance(g), full->advance(g));
    EXPECT_EQ(outline_of(cut, g), outline_of(original, g).substr(0, outline_of(cut, g).size()));
  }
  for (const GlyphId g : parts) {
    EXPECT_FALSE(outline_of(cut, g).empty()) << g;
  }
  EXPECT_TRUE(outline_of(cut, glyph_of(font_, u'Z')).empty());
}

TEST_F(TrueTypeTest, DamagedFontsAreRefused) {
  const auto tables = tables_of(font_);
  const auto damaged = [&tables](const std::string& tag, auto change) {
    auto copy = tables;
    change(copy[tag]);
    return TrueTypeFont::from_tables(copy).has_value();
  };
  EXPECT_TRUE(damaged("head", [](std::string&) {}));
  EXPECT_FALSE(damaged("glyf", [](std::string& t) { t.resize(t.size() / 2); }));
  EXPECT_FALSE(damaged("head", [](std::string& t) { t.resize(20); }));
  EXPECT_FALSE(damaged("loca", [](std::string& t) { t.resize(8); }));
  EXPECT_FALSE(damaged("hhea", [](std::string& t) { t[34] = t[35] = 0; }));  // no metrics
  EXPECT_FALSE(damaged("maxp", [](std::string& t) { t[4] = t[5] = 0; }));    // no glyphs
  auto without = tables;
  without.erase("glyf");
  EXPECT_FALSE(TrueTypeFont::from_tables(without).has_value());
  EXPECT_FALSE(TrueTypeFont::from_file(font_.substr(0, 100)).has_value());
  EXPECT_FALSE(TrueTypeFont::from_file("\x00\x01\x00\x00\x00\x40").has_value());
}

// The standard output of a command, or nothing when it fails (as where the tool is missing).
std::optional<std::string> run(const std::string& command, const fs::path& out) {
  if (std::system((command + " > \"" + out.string() + "\" 2>&1").c_str()) != 0) {
    return std::nullopt;
  }
  return read_file(out);
}

// Words as pdftotext -bbox finds them: text, left, top, right, bottom in points.
struct Word {
  std::string text;
  double x_min, y_min, x_max, y_max;
};

// The value of attribute `name` in the tag that starts at `from`.
double attribute(const std::string& html, std::size_t from, const std::string& name) {
  const std::size_t at = html.find(name + "=\"", from) + name.size() + 2;
  return std::stod(html.substr(at, html.find('"', at) - at));
}

std::vector<Word> words_of(const std::string& html) {
  std::vector<Word> words;
  for (std::size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
    const std::size_t text = html.find('>', at) + 1;
    words.push_back({html.substr(text, html.find("</word>", text) - text), attribute(html, at, "xMin"),
                     attribute(html, at, "yMin"), attribute(html, at, "xMax"), attribute(html, at, "yMax")});
  }
  return words;
}

// Whether pdffonts lists the font embedded, cut down (six capitals and a plus before its name)
// and with a map to Unicode.
bool listed_embedded(const std::string& fonts, const std::string& name) {
  std::istringstream lines(fonts);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string font, cid, truetype, encoding, emb, sub, uni;
    fields >> font >> cid >> truetype >> encoding >> emb >> sub >> uni;
    if (font.size() == 7 + name.size() && font[6] == '+' && font.substr(7) == name &&
        std::all_of(font.begin(), font.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }) &&
        cid + truetype == "CIDTrueType" && encoding == "Identity-H" && emb + sub + uni == "yesyesyes") {
      return true;
    }
  }
  return false;
}

TEST_F(TrueTypeTest, PagesReadBackAsPlacedByAnIndependentReader) {
  const fs::path dir = fs::temp_directory_path() / "vkt-pdfwriter-test";
  fs::create_directories(dir);
  if (!run("pdftotext -v", dir / "v")) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const std::optional<TrueTypeFont> font = TrueTypeFont::from_file(font_);
  ASSERT_TRUE(font.has_value());
  std::string bytes;
  DocumentWriter writer([&bytes](std::string_view b) { bytes += b; }, {}, 300);
  const int f = writer.add_font(*font);
  constexpr double kSize = 50;  // 12 pt at 300 dpi
  // A text at (x, y), its glyphs `extra` device units further apart than their widths.
  const auto put = [&](const std::u16string& text, double x, double y, double extra) {
    std::vector<PlacedGlyph> glyphs;
    for (const char16_t c : text) {
      const GlyphId g = glyph_of(font_, c);
      writer.set_text_of(f, g, c);
      glyphs.push_back({g, x, y});
      x += font->advance(g) * kSize / 1000 + extra;
    }
    writer.text(f, kSize, glyphs);
    return x - extra;
  };
  writer.begin_page(3508, 2480);  // A4 landscape
  writer.lines({{100, 100, 3000, 100}, {100, 100, 100, 2000}}, 3.5);
  put(u"Дата", 300, 400, 0);
  const double spaced_end = put(u"12.04", 300, 600, 10);
  writer.end_page();
  writer.begin_page(3508, 2480);
  put(u"Стр. 2", 1000, 1000, 0);
  writer.end_page();
  writer.finish(u"отчёт", u"ВКТ-РС7");
  const fs::path pdf = dir / "w.pdf";
  std::ofstream(pdf, std::ios::binary) << bytes;

  const std::optional<std::string> html = run("pdftotext -bbox \"" + pdf.string() + "\" -", dir / "out");
  ASSERT_TRUE(html.has_value());
  const std::vector<Word> words = words_of(*html);
  const auto find = [&words](const std::string& text) {
    const auto it = std::find_if(words.begin(), words.end(), [&](const Word& w) { return w.text == text; });
    return it == words.end() ? std::optional<Word>() : *it;
  };
  constexpr double kPt = 72.0 / 300;
  const auto date = find("Дата");
  ASSERT_TRUE(date.has_value()) << *html;
  EXPECT_NEAR(date->x_min, 300 * kPt, 0.5);
  EXPECT_LT(date->y_min, 400 * kPt);  // the baseline lies inside the word's box
  EXPECT_GT(date->y_max, 400 * kPt);
  const auto spaced = find("12.04");
  ASSERT_TRUE(spaced.has_value()) << *html;
  EXPECT_NEAR(spaced->x_max, spaced_end * kPt, 0.5);
  EXPECT_TRUE(find("Стр.").has_value());

  const auto info = run("pdfinfo \"" + pdf.string() + "\"", dir / "info");
  ASSERT_TRUE(info.has_value());
  EXPECT_NE(info->find("Pages:           2"), std::string::npos) << *info;
  EXPECT_NE(info->find("Title:           отчёт"), std::string::npos) << *info;
  EXPECT_NE(info->find("841.92 x 595.2 pts (A4)"), std::string::npos) << *info;
  const auto fonts = run("pdffonts \"" + pdf.string() + "\"", dir / "fonts");
  ASSERT_TRUE(fonts.has_value());
  EXPECT_TRUE(listed_embedded(*fonts, "LiberationSans")) << *fonts;
  // A rasteriser that finds fault with the fonts or streams says so.
  const auto drawn =
      run("pdftoppm -r 20 \"" + pdf.string() + "\" \"" + (dir / "page").string() + "\"", dir / "ppm");
  ASSERT_TRUE(drawn.has_value());
  EXPECT_EQ(*drawn, "");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vkt::pdf
