#include "output/xls/value.h"

namespace vkt::xls {

bool CellValue::is_number() const {
  switch (kind_) {
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Byte:
    case Kind::Single:
    case Kind::Double:
    case Kind::Currency:
      return true;
    default:
      return false;
  }
}

double CellValue::number() const {
  switch (kind_) {
    case Kind::Single:
    case Kind::Double:
      return number_;
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Byte:
      return static_cast<double>(integer_);
    case Kind::Currency:
      return static_cast<double>(integer_) / 10000.0;
    default:
      return 0;
  }
}

std::string CellValue::text() const {
  if (kind_ == Kind::Text) {
    return text_;
  }
  if (kind_ == Kind::Boolean) {
    return integer_ != 0 ? "True" : "False";
  }
  return {};
}

}  // namespace vkt::xls
