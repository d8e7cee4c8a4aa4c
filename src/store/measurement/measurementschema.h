#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "store/dbf/tableheader.h"

namespace vkt::measurement {

// How the program reads and writes each column of the measurement table.
enum class ValueKind {
  Float,     // N 18.9, double
  Smallint,  // N 4.0, signed 16-bit integer
  Integer,   // N 9.0, signed 32-bit integer
  Text,      // C n, text in the file's code page
};

struct MeasurementField {
  std::string_view name;
  ValueKind kind;
  std::uint8_t width;  // characters; fixed by the kind except for text
};

inline constexpr std::size_t kFieldCount = 37;
inline constexpr std::uint16_t kHeaderLength = 1217;
inline constexpr std::uint16_t kRecordLength = 1086;

// The measurement table's fields, in file order.
inline constexpr std::array<MeasurementField, kFieldCount> kMeasurementFields = {{
    {"N", ValueKind::Float, 18},      {"DATE", ValueKind::Text, 10},
    {"TIME", ValueKind::Text, 8},     {"DEV_TYPE", ValueKind::Smallint, 4},
    {"SERIAL", ValueKind::Float, 18}, {"NB_TYPE", ValueKind::Smallint, 4},
    {"P", ValueKind::Float, 18},      {"R", ValueKind::Float, 18},
    {"TYPE", ValueKind::Text, 15},    {"COMMENT", ValueKind::Text, 100},
    {"PMAX", ValueKind::Integer, 9},  {"DPMAX", ValueKind::Integer, 9},
    {"NV", ValueKind::Integer, 9},    {"DATEV", ValueKind::Text, 10},
    {"TIMEV", ValueKind::Text, 8},    {"P1", ValueKind::Integer, 9},
    {"D1", ValueKind::Integer, 9},    {"D3", ValueKind::Integer, 9},
    {"D4", ValueKind::Integer, 9},    {"D5", ValueKind::Integer, 9},
    {"P6", ValueKind::Integer, 9},    {"D6", ValueKind::Integer, 9},
    {"P7", ValueKind::Integer, 9},    {"D7", ValueKind::Integer, 9},
    {"P8", ValueKind::Integer, 9},    {"D8", ValueKind::Integer, 9},
    {"D9", ValueKind::Integer, 9},    {"D10", ValueKind::Integer, 9},
    {"T", ValueKind::Float, 18},      {"P2", ValueKind::Float, 18},
    {"P3", ValueKind::Text, 250},     {"D2", ValueKind::Text, 150},
    {"P4", ValueKind::Float, 18},     {"P9", ValueKind::Float, 18},
    {"P5", ValueKind::Text, 200},     {"ZAV", ValueKind::Text, 20},
    {"P10", ValueKind::Float, 18},
}};

// The dBase field a column kind is stored as.
dbf::FieldSpec field_spec(const MeasurementField& field);

// All 37 descriptors, ready for dbf::Table::create.
std::vector<dbf::FieldSpec> measurement_field_specs();

}  // namespace vkt::measurement
