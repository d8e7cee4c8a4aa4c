#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vkt::pdf {

using GlyphId = std::uint16_t;

// A TrueType font (outlines in a 'glyf' table) as the tables the system's font engine hands over,
// checked once so that nothing later reads outside them. Glyph numbers are the font's own.
class TrueTypeFont {
 public:
  // Tables by their four-letter tag ("head", "glyf", "cvt " ...). Nothing when a table the font
  // needs is missing or its entries point outside the data (a PostScript-outline or damaged font).
  static std::optional<TrueTypeFont> from_tables(std::map<std::string, std::string> tables);
  // The same from a whole font file (.ttf), its tables found through the file's directory.
  static std::optional<TrueTypeFont> from_file(std::string_view file);

  int units_per_em() const { return units_per_em_; }
  std::size_t glyph_count() const { return advances_.size(); }
  // The glyph's advance in thousandths of an em; 0 for a glyph the font has not.
  double advance(GlyphId glyph) const;
  // Bounding box of all glyphs, ascender and descender, in thousandths of an em.
  std::array<double, 4> bounding_box() const { return box_; }
  double ascent() const { return ascent_; }
  double descent() const { return descent_; }
  bool italic() const { return italic_; }
  // The PostScript name from the 'name' table, letters, digits and hyphens only; empty without one.
  const std::string& postscript_name() const { return postscript_name_; }

  // A font file with the outlines of these glyphs only, plus glyph 0 and the parts composite
  // glyphs are built of. Glyph numbers stay as they are, so text needs no renumbering.
  std::string subset(const std::set<GlyphId>& glyphs) const;

 private:
  TrueTypeFont() = default;
  std::string_view outline(GlyphId glyph) const;
  // Glyphs a composite outline is built of; none for a simple one.
  std::vector<GlyphId> components(GlyphId glyph) const;

  std::map<std::string, std::string> tables_;
  std::vector<std::uint32_t> offsets_;  // where each glyph's outline starts in 'glyf', and its end
  std::vector<std::uint16_t> advances_;
  int units_per_em_ = 1000;
  std::array<double, 4> box_{};
  double ascent_ = 0;
  double descent_ = 0;
  bool italic_ = false;
  std::string postscript_name_;
};

}  // namespace vkt::pdf
