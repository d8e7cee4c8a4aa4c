#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vkt::xls {

// A 24-bit colour 0xRRGGBB, or a reference to a system colour of the platform.
struct Colour {
  enum class System : std::uint8_t { None, WindowText };
  std::uint32_t rgb = 0;
  System system = System::None;

  static Colour from_rgb(std::uint32_t rgb) { return {rgb & 0xFFFFFF, System::None}; }
  static Colour window_text() { return {0, System::WindowText}; }
  bool operator==(const Colour&) const = default;
};

// The platform's RGB for a system colour. Without a desktop colour scheme to ask, window text is
// black.
std::uint32_t resolve_colour(Colour colour);

// The palette of one save: it starts as the format's default palette, and colours it lacks take
// free positions (not one of the sixteen basic colours and not yet used in this save).
class ColourPalette {
 public:
  static constexpr std::size_t kSize = 56;
  static constexpr std::uint16_t kFirstIndex = 8;
  static const std::array<std::uint32_t, kSize>& defaults();

  ColourPalette();
  std::uint16_t index_of(Colour colour);
  bool changed() const { return changed_; }
  const std::array<std::uint32_t, kSize>& colours() const { return colours_; }

 private:
  std::array<std::uint32_t, kSize> colours_;
  std::vector<std::uint32_t> used_;
  bool changed_ = false;
};

}  // namespace vkt::xls
