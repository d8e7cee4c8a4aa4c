#include "store/gridcolumns.h"

#include <algorithm>

namespace vkt {

namespace {
constexpr auto G = DisplayFormat::General;
constexpr auto X = DisplayFormat::Text;
constexpr auto W = DisplayFormat::Whole;
constexpr auto D = DisplayFormat::TwoDecimals;
constexpr auto L = ColumnAlignment::Left;
constexpr auto C = ColumnAlignment::Center;
constexpr auto R = ColumnAlignment::Right;
}  // namespace

// Every shown column of the device A grid is editable in place.
const std::array<GridColumn, 23> kDeviceAColumns = {{
    {"N", "N", 4, G, true, C, true},
    {"DATE", "Дата", 27, X, true, C, true},
    {"TIME", "Время", 27, X, true, C, true},
    {"P5", "Зависимость", 52, X, true, C, true},
    {"ZAV", "Вид прозвучивания", 56, D, false, C, false},
    {"D2", "Материал", 43, X, true, C, true},
    {"P7", "µ", 18, W, false, C, false},
    {"D7", "", 30, D, false, C, false},
    {"P3", "µ", 33, X, true, C, true},
    {"D9", "Модуль упругости, Fср, МН/м.кв", 40, W, true, C, true},
    {"P", "Модуль упругости, F1, МН/м.кв", 39, W, true, C, true},
    {"R", "Модуль упругости, F2, МН/м.кв", 39, W, true, C, true},
    {"T", "Модуль упругости, F3, МН/м.кв", 40, W, true, C, true},
    {"P10", "Перемещение Lср, мкм.", 42, W, true, C, true},
    {"P9", "Перемещение L1, мкм.", 44, W, true, C, true},
    {"P2", "Перемещение L2, мкм.", 42, W, true, C, true},
    {"P4", "Перемещение L3, мкм.", 42, G, true, C, true},
    {"D3", "Сила удара Fmax.ср, H", 32, G, true, C, true},
    {"D4", "Сила удара Fmax.1, H", 29, G, true, C, true},
    {"D5", "Сила удара Fmax.2, H", 29, G, true, C, true},
    {"D6", "Сила удара Fmax.3, H", 29, G, true, C, true},
    {"COMMENT", "Примечание", 29, X, true, C, true},
    {"D8", "", 40, D, false, C, false},
}};

const std::array<GridColumn, 2> kEvaluationColumns = {{
    {kSOverVColumn, "s/v, мс", 24, D, true, C, false},
    {kVerdictColumn, "Соответствие", 40, X, true, C, false},
}};

// The device B grid: equal widths, only the comment is edited.
const std::array<GridColumn, 7> kDeviceBColumns = {{
    {"N", "N", 1, G, true, C, false},
    {"DATE", "Дата", 1, X, true, C, false},
    {"TIME", "Время", 1, X, true, C, false},
    {"P", "P, кН", 1, D, true, R, false},
    {"R", "R, МПа", 1, D, true, R, false},
    {"ZAV", "№ зависимости", 1, X, true, C, false},
    {"COMMENT", "Примечание", 1, X, true, L, true},
}};

std::span<const GridColumn> grid_columns(DeviceKind kind) {
  if (kind == DeviceKind::B) {
    return kDeviceBColumns;
  }
  return kDeviceAColumns;
}

std::span<const GridColumn> window_columns(DeviceKind kind) {
  static const std::array<GridColumn, kDeviceAColumns.size() + kEvaluationColumns.size()> device_a = [] {
    std::array<GridColumn, kDeviceAColumns.size() + kEvaluationColumns.size()> all{};
    std::copy(kDeviceAColumns.begin(), kDeviceAColumns.end(), all.begin());
    std::copy(kEvaluationColumns.begin(), kEvaluationColumns.end(), all.begin() + kDeviceAColumns.size());
    return all;
  }();
  if (kind == DeviceKind::B) {
    return kDeviceBColumns;
  }
  return device_a;
}

bool is_evaluation_column(std::string_view field) {
  return field == kSOverVColumn || field == kVerdictColumn;
}

}  // namespace vkt
