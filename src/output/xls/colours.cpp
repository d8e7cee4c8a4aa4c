#include "output/xls/colours.h"

#include <algorithm>

namespace vkt::xls {

namespace {

// Black, white, red, lime, blue, yellow, fuchsia, aqua, maroon, green, navy, olive, purple, teal,
// silver, grey: never given away to another colour.
constexpr std::array<std::uint32_t, 16> kBasicColours = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080};

constexpr std::array<std::uint32_t, ColourPalette::kSize> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

template <typename C>
bool contains(const C& list, std::uint32_t v) {
  return std::find(list.begin(), list.end(), v) != list.end();
}

}  // namespace

std::uint32_t resolve_colour(Colour colour) {
  switch (colour.system) {
    case Colour::System::WindowText:
      return 0x000000;
    case Colour::System::None:
      break;
  }
  return colour.rgb;
}

const std::array<std::uint32_t, ColourPalette::kSize>& ColourPalette::defaults() {
  return kDefaultPalette;
}

ColourPalette::ColourPalette() : colours_(kDefaultPalette) {}

std::uint16_t ColourPalette::index_of(Colour colour) {
  const std::uint32_t rgb = resolve_colour(colour);
  if (!contains(used_, rgb)) {
    used_.push_back(rgb);
  }
  const auto found = std::find(colours_.begin(), colours_.end(), rgb);
  if (found != colours_.end()) {
    return static_cast<std::uint16_t>(kFirstIndex + (found - colours_.begin()));
  }
  for (std::size_t i = 0; i < kSize; ++i) {
    if (!contains(kBasicColours, colours_[i]) && !contains(used_, colours_[i])) {
      colours_[i] = rgb;
      changed_ = true;
      return static_cast<std::uint16_t>(kFirstIndex + i);
    }
  }
  return kFirstIndex;
}

}  // namespace vkt::xls
