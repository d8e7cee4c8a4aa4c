#include "output/xls/workbook.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "output/xls/utf16.h"

namespace vkt::xls {

namespace {

char16_t foldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x0430 && c <= 0x044F) {  // а..я
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x0450 && c <= 0x045F) {  // ѐ..џ, ё among them
    return static_cast<char16_t>(c - 0x50);
  }
  return c;
}

bool isBlank(char16_t c) {
  return c <= 0x20;
}

std::int32_t heightOf(std::int64_t top, std::int64_t bottom) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(bottom - top + 1, 0, INT32_MAX));
}

std::uint64_t doubleBits(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

double bitsDouble(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

bool sameSheetName(std::string_view a, std::string_view b) {
  const std::u16string wa = toUtf16(a);
  const std::u16string wb = toUtf16(b);
  return wa.size() == wb.size() && std::equal(wa.begin(), wa.end(), wb.begin(), [](char16_t x, char16_t y) {
           return foldCase(x) == foldCase(y);
         });
}

// ---- XlsRange ----

const RangeData& XlsRange::data() const {
  return sheet_->ranges_.at(index_);
}

CellValue XlsRange::Value() const {
  return sheet_->value(data());
}

XlsRange& XlsRange::Value(const CellValue& value) {
  sheet_->setValue(index_, value);
  return *this;
}

// ---- XlsWorksheet ----

XlsWorksheet::XlsWorksheet(XlsWorkbook& owner, std::string name) : owner_(&owner), name_(std::move(name)) {}

void XlsWorksheet::Name(std::string_view name) {
  std::u16string wide = toUtf16(name);
  if (wide.size() > kMaxNameLength) {
    std::size_t keep = kMaxNameLength;
    // Never keep half of a surrogate pair.
    if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) {
      --keep;
    }
    wide.resize(keep);
  }
  std::size_t first = 0;
  while (first < wide.size() && isBlank(wide[first])) {
    ++first;
  }
  std::size_t last = wide.size();
  while (last > first && isBlank(wide[last - 1])) {
    --last;
  }
  name_ = toUtf8(std::u16string_view(wide).substr(first, last - first));
}

XlsRange XlsWorksheet::Cells(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  const RangeData fresh{l, t, r, b, CellValue::Kind::Empty, 0, 0};
  // Filling row by row, left to right: a rectangle below everything requested so far, or on the
  // last range's row right of every range there while all ranges are one row tall, meets
  // nothing and goes to the end of the list.
  if (!ranges_.empty() && t <= b && l <= r &&
      (t > used_.lastRow || (tallest_ == 1 && t == ranges_.back().top && l > lastRowRight_))) {
    lastRowRight_ = t == ranges_.back().top ? std::max(lastRowRight_, r) : r;
    ranges_.push_back(fresh);
    tallest_ = std::max(tallest_, heightOf(t, b));
    used_.firstColumn = std::min(used_.firstColumn, l);
    used_.lastColumn = std::max(used_.lastColumn, r);
    used_.lastRow = std::max(used_.lastRow, b);
    return XlsRange(*this, ranges_.size() - 1);
  }
  // 64-bit arithmetic: the model takes any 32-bit numbers, the file's limits are checked on save.
  const std::int64_t lowestTop = static_cast<std::int64_t>(t) - tallest_ + 1;
  auto start = std::partition_point(ranges_.begin(), ranges_.end(),
                                    [&](const RangeData& x) { return x.top < lowestTop; });
  std::size_t result = 0;
  if (start == ranges_.end()) {
    ranges_.push_back(fresh);
    result = ranges_.size() - 1;
    tallest_ = std::max(tallest_, heightOf(t, b));
  } else {
    // Scan the ranges that may meet the rectangle; drop the overlapping ones in place.
    std::size_t write = static_cast<std::size_t>(start - ranges_.begin());
    std::size_t read = write;
    std::size_t insertAt = write;
    std::size_t found = 0;
    bool exact = false;
    bool removed = false;
    while (read < ranges_.size() && ranges_[read].top <= b) {
      const RangeData& x = ranges_[read];
      if (x.covers(l, t, r, b)) {
        found = write;
        exact = true;
      } else if (x.left <= r && l <= x.right && x.top <= b && t <= x.bottom) {
        removed = true;
        ++read;
        continue;
      }
      if (read != write) {
        ranges_[write] = ranges_[read];
      }
      if (ranges_[write].top <= t) {
        insertAt = write + 1;
      }
      ++write;
      ++read;
    }
    if (read != write) {
      ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(write),
                    ranges_.begin() + static_cast<std::ptrdiff_t>(read));
    }
    if (exact) {
      result = found;
    } else {
      ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(insertAt), fresh);
      result = insertAt;
    }
    if (removed) {
      // The new range counts too: leaving it out would let a later lookup start past it.
      std::int32_t tallest = 1;
      for (const RangeData& x : ranges_) {
        tallest = std::max(tallest, heightOf(x.top, x.bottom));
      }
      tallest_ = tallest;
    } else {
      tallest_ = std::max(tallest_, heightOf(t, b));
    }
  }
  noteLastRow();
  if (used_.empty()) {
    used_ = {l, t, r, b};
  } else {
    used_.firstColumn = std::min(used_.firstColumn, l);
    used_.firstRow = std::min(used_.firstRow, t);
    used_.lastColumn = std::max(used_.lastColumn, r);
    used_.lastRow = std::max(used_.lastRow, b);
  }
  return XlsRange(*this, result);
}

void XlsWorksheet::noteLastRow() {
  lastRowRight_ = INT32_MIN;
  for (auto it = ranges_.rbegin(); it != ranges_.rend() && it->top == ranges_.back().top; ++it) {
    lastRowRight_ = std::max(lastRowRight_, it->right);
  }
}

std::string_view XlsWorksheet::text(const RangeData& range) const {
  if (range.kind != CellValue::Kind::Text) {
    return {};
  }
  return std::string_view(texts_).substr(range.payload, range.textLength);
}

CellValue XlsWorksheet::value(const RangeData& range) const {
  using Kind = CellValue::Kind;
  switch (range.kind) {
    case Kind::Empty:
      return {};
    case Kind::Int16:
      return CellValue(static_cast<std::int16_t>(range.payload));
    case Kind::Int32:
      return CellValue(static_cast<std::int32_t>(range.payload));
    case Kind::Byte:
      return CellValue(static_cast<std::uint8_t>(range.payload));
    case Kind::Single:
      return CellValue(static_cast<float>(bitsDouble(range.payload)));
    case Kind::Double:
      return CellValue(bitsDouble(range.payload));
    case Kind::Currency:
      return CellValue(Currency{static_cast<std::int64_t>(range.payload)});
    case Kind::Boolean:
      return CellValue(range.payload != 0);
    case Kind::Text:
      return CellValue(text(range));
  }
  return {};
}

void XlsWorksheet::setValue(std::size_t index, const CellValue& value) {
  RangeData& range = ranges_.at(index);
  using Kind = CellValue::Kind;
  range.kind = value.kind();
  range.textLength = 0;
  switch (value.kind()) {
    case Kind::Empty:
      range.payload = 0;
      break;
    case Kind::Single:
    case Kind::Double:
      range.payload = doubleBits(value.number());
      break;
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Byte:
    case Kind::Currency:
    case Kind::Boolean:
      range.payload = static_cast<std::uint64_t>(value.integer());
      break;
    case Kind::Text: {
      std::string_view source = value.textRef();
      const std::size_t offset = texts_.size();
      // Each CR LF pair loses its CR.
      for (auto pair = source.find("\r\n"); pair != std::string_view::npos; pair = source.find("\r\n")) {
        texts_.append(source.substr(0, pair));
        source.remove_prefix(pair + 1);
      }
      texts_.append(source);
      range.payload = offset;
      range.textLength = static_cast<std::uint32_t>(texts_.size() - offset);
      break;
    }
  }
}

void XlsWorksheet::reserve(std::size_t ranges, std::size_t textBytes) {
  ranges_.reserve(ranges);
  texts_.reserve(textBytes);
}

// ---- XlsWorkbook ----

bool XlsWorkbook::hasSheetNamed(std::string_view name) const {
  return std::any_of(sheets_.begin(), sheets_.end(),
                     [&](const auto& sheet) { return sameSheetName(sheet->Name(), name); });
}

XlsWorksheet& XlsWorkbook::AddSheet() {
  std::size_t number = sheets_.size() + 1;
  while (hasSheetNamed("Sheet" + std::to_string(number))) {
    ++number;
  }
  sheets_.push_back(std::make_unique<XlsWorksheet>(*this, "Sheet" + std::to_string(number)));
  return *sheets_.back();
}

}  // namespace vkt::xls
