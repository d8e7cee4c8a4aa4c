#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace vkt {

// How a grid column shows its field's value.
enum class DisplayFormat {
  General,      // shortest decimal form, up to 15 significant digits
  Text,         // the stored characters unchanged
  Whole,        // "0": rounded to a whole number
  TwoDecimals,  // "0.00"
};

enum class ColumnAlignment { Left, Center, Right };

// One column of a measurement grid: which field, its title, its share of the grid's width, how
// it shows values, whether it is shown and edited in place.
struct GridColumn {
  std::string_view field;
  std::string_view title;
  int width;
  DisplayFormat display;
  bool shown;
  ColumnAlignment alignment;
  bool editable;
};

// The device A grid (Grid1) and the device B grid (Grid2), in column order.
extern const std::array<GridColumn, 23> kDeviceAColumns;
extern const std::array<GridColumn, 7> kDeviceBColumns;

enum class DeviceKind { A = 0, B = 1 };

std::span<const GridColumn> grid_columns(DeviceKind kind);

// The columns the device A grid shows after the file's own, worked out rather than stored: the
// mean s/v of the drops from the kept waveforms, and the verdict against the object's required
// modulus. Their names are no dBase field name, so no file's field is ever taken for them.
inline constexpr std::string_view kSOverVColumn = "s/v";
inline constexpr std::string_view kVerdictColumn = "verdict";
extern const std::array<GridColumn, 2> kEvaluationColumns;

// The columns of a grid in the window: the device A grid's followed by the evaluation columns;
// the device B grid's alone.
std::span<const GridColumn> window_columns(DeviceKind kind);
bool is_evaluation_column(std::string_view field);

}  // namespace vkt
