// Reads arbitrary bytes as a TrueType font file. A font that reads must cut down to a font that
// reads again, with the same glyphs and the same widths for the glyphs kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "output/pdf/truetype.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vkt::pdf::GlyphId;
  using vkt::pdf::TrueTypeFont;
  const auto font = TrueTypeFont::from_file(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!font) {
    return 0;
  }
  std::set<GlyphId> kept;
  for (std::size_t g = 1; g < font->glyph_count() && g < 64; g += 2) {
    kept.insert(static_cast<GlyphId>(g));
  }
  kept.insert(static_cast<GlyphId>(font->glyph_count()));  // one past the last: passed over
  const auto cut = TrueTypeFont::from_file(font->subset(kept));
  if (!cut || cut->glyph_count() != font->glyph_count()) {
    std::abort();
  }
  for (const GlyphId g : kept) {
    if (cut->advance(g) != font->advance(g)) {
      std::abort();
    }
  }
  return 0;
}
