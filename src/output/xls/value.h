#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vkt::xls {

// A money amount as fixed point with four decimals (value × 10,000).
struct Currency {
  std::int64_t scaled = 0;
  bool operator==(const Currency&) const = default;
};

// The value of a cell: empty, a number of one of several kinds, or a UTF-8 text.
// Booleans are kept as such but written as their text form.
class CellValue {
 public:
  enum class Kind : std::uint8_t { Empty, Int16, Int32, Byte, Single, Double, Currency, Boolean, Text };

  CellValue() = default;
  CellValue(double v) : kind_(Kind::Double), number_(v) {}
  CellValue(float v) : kind_(Kind::Single), number_(v) {}
  CellValue(std::int32_t v) : kind_(Kind::Int32), integer_(v) {}
  CellValue(std::int16_t v) : kind_(Kind::Int16), integer_(v) {}
  CellValue(std::uint8_t v) : kind_(Kind::Byte), integer_(v) {}
  CellValue(Currency v) : kind_(Kind::Currency), integer_(v.scaled) {}
  CellValue(bool v) : kind_(Kind::Boolean), integer_(v ? 1 : 0) {}
  CellValue(std::string v) : kind_(Kind::Text), text_(std::move(v)) {}
  CellValue(std::string_view v) : kind_(Kind::Text), text_(v) {}
  CellValue(const char* v) : kind_(Kind::Text), text_(v) {}

  Kind kind() const { return kind_; }
  bool is_empty() const { return kind_ == Kind::Empty; }
  // Number kinds become NUMBER cells; everything else is written as text.
  bool is_number() const;
  // The number as the file stores it (8-byte double); 0 for non-numbers.
  double number() const;
  // Raw integer of Int16/Int32/Byte/Boolean, scaled amount of Currency.
  std::int64_t integer() const { return integer_; }
  // The text of a Text value; the text form of a Boolean ("True"/"False"); empty otherwise.
  std::string text() const;
  // The stored text of a Text value, without a copy.
  const std::string& text_ref() const { return text_; }

  bool operator==(const CellValue&) const = default;

 private:
  Kind kind_ = Kind::Empty;
  double number_ = 0;
  std::int64_t integer_ = 0;
  std::string text_;
};

}  // namespace vkt::xls
