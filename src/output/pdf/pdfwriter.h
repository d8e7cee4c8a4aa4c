#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "output/pdf/truetype.h"

namespace vkt::pdf {

// Where the file's bytes go, in order.
using Sink = std::function<void(std::string_view)>;
// Compresses a stream into zlib data; without one, streams are written as they are.
using Deflate = std::function<std::string(std::string_view)>;

struct Segment {
  double x1 = 0;
  double y1 = 0;
  double x2 = 0;
  double y2 = 0;
};

// A glyph with the point of its baseline where it starts.
struct PlacedGlyph {
  GlyphId glyph = 0;
  double x = 0;
  double y = 0;
};

// Writes a PDF file of pages that hold straight black lines and black text in TrueType fonts, the
// only things a report page has. Pages go to the sink as soon as they are complete, so a file of
// tens of thousands of pages needs no more memory than one page; the fonts, each cut down to the
// glyphs the pages used, follow at the end.
//
// Coordinates are device units of the given resolution from the page's top-left corner, y
// downwards, as a paint device has them. Positions are written to whole units, so a resolution of
// a few hundred dots per inch is as exact as print and keeps the pages short.
class DocumentWriter {
 public:
  DocumentWriter(Sink sink, Deflate deflate, double dots_per_inch);

  // A font for text(); it must outlive the writer.
  int add_font(const TrueTypeFont& font);
  // What a glyph stands for in the text, for searching and copying text out of the file.
  bool knows_text_of(int font, GlyphId glyph) const;
  void set_text_of(int font, GlyphId glyph, char32_t code);

  void begin_page(double width, double height);
  // Lines with square caps, all of one width.
  void lines(const std::vector<Segment>& segments, double width);
  // Glyphs of one font at a size in device units (the em).
  void text(int font, double size, const std::vector<PlacedGlyph>& glyphs);
  void end_page();

  // Writes the fonts, the page tree and the cross-reference table: after it the file is complete.
  void finish(const std::u16string& title, const std::u16string& creator);

  int page_count() const { return static_cast<int>(pages_.size()); }

 private:
  struct Font {
    const TrueTypeFont* font;
    std::string name;
    int object;                     // the font dictionary, reserved when the font is added
    std::vector<bool> used;         // by glyph
    std::vector<char32_t> unicode;  // by glyph, 0 where unknown
  };

  int reserve_object();
  void begin_object(int number);
  void end_object();
  void write(std::string_view bytes);
  void write_stream(int number, std::string_view data, std::string_view extra_keys);
  void end_text();
  void show(Font& font, double size, const PlacedGlyph* first, std::size_t count);
  void write_font(const Font& font);

  Sink sink_;
  Deflate deflate_;
  double scale_;  // points per device unit
  std::uint64_t written_ = 0;
  std::vector<std::uint64_t> offsets_;  // by object number; 0 for a reserved one not yet written
  std::vector<int> pages_;
  std::vector<Font> fonts_;

  // The page being written.
  std::string page_;
  double page_width_ = 0;
  double page_height_ = 0;
  bool in_text_ = false;
  int text_font_ = -1;
  double text_size_ = 0;
  long long text_x_ = 0;
  long long text_y_ = 0;
};

}  // namespace vkt::pdf
