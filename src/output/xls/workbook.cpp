#include "output/xls/workbook.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "output/xls/utf16.h"

namespace vkt::xls {

namespace {

char16_t fold_case(char16_t c) {
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

bool is_blank(char16_t c) {
  return c <= 0x20;
}

std::int32_t height_of(std::int64_t top, std::int64_t bottom) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(bottom - top + 1, 0, INT32_MAX));
}

std::uint64_t double_bits(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

double bits_double(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

bool same_sheet_name(std::string_view a, std::string_view b) {
  const std::u16string wa = to_utf16(a);
  const std::u16string wb = to_utf16(b);
  return wa.size() == wb.size() && std::equal(wa.begin(), wa.end(), wb.begin(), [](char16_t x, char16_t y) {
           return fold_case(x) == fold_case(y);
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
  sheet_->set_value(index_, value);
  return *this;
}

// ---- XlsWorksheet ----

XlsWorksheet::XlsWorksheet(XlsWorkbook& owner, std::string name) : owner_(&owner), name_(std::move(name)) {}

void XlsWorksheet::Name(std::string_view name) {
  std::u16string wide = to_utf16(name);
  if (wide.size() > kMaxNameLength) {
    std::size_t keep = kMaxNameLength;
    // Never keep half of a surrogate pair.
    if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) {
      --keep;
    }
    wide.resize(keep);
  }
  std::size_t first = 0;
  while (first < wide.size() && is_blank(wide[first])) {
    ++first;
  }
  std::size_t last = wide.size();
  while (last > first && is_blank(wide[last - 1])) {
    --last;
  }
  name_ = to_utf8(std::u16string_view(wide).substr(first, last - first));
}

XlsRange XlsWorksheet::Cells(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  const RangeData fresh{l, t, r, b, CellValue::Kind::Empty, 0, 0};
  std::size_t index = 0;
  if (follows_all_ranges(fresh)) {
    index = append_range(fresh);
  } else {
    index = place_range(fresh);
    note_last_row();
  }
  widen_used_area(l, t, r, b);
  return XlsRange(*this, index);
}

bool XlsWorksheet::follows_all_ranges(const RangeData& x) const {
  // Filling row by row, left to right: a rectangle below everything requested so far, or on the
  // last range's row right of every range there while all ranges are one row tall, meets
  // nothing and goes to the end of the list.
  return !ranges_.empty() && x.top <= x.bottom && x.left <= x.right &&
         (x.top > used_.last_row ||
          (tallest_ == 1 && x.top == ranges_.back().top && x.left > last_row_right_));
}

std::size_t XlsWorksheet::append_range(const RangeData& fresh) {
  last_row_right_ = fresh.top == ranges_.back().top ? std::max(last_row_right_, fresh.right) : fresh.right;
  ranges_.push_back(fresh);
  tallest_ = std::max(tallest_, height_of(fresh.top, fresh.bottom));
  return ranges_.size() - 1;
}

std::size_t XlsWorksheet::place_range(const RangeData& fresh) {
  // 64-bit arithmetic: the model takes any 32-bit numbers, the file's limits are checked on save.
  const std::int64_t lowest_top = static_cast<std::int64_t>(fresh.top) - tallest_ + 1;
  const auto start = std::partition_point(ranges_.begin(), ranges_.end(),
                                          [&](const RangeData& x) { return x.top < lowest_top; });
  if (start == ranges_.end()) {
    ranges_.push_back(fresh);
    tallest_ = std::max(tallest_, height_of(fresh.top, fresh.bottom));
    return ranges_.size() - 1;
  }
  const Placement placed = replace_overlapping(static_cast<std::size_t>(start - ranges_.begin()), fresh);
  if (placed.removed_any) {
    // The new range counts too: leaving it out would let a later lookup start past it.
    std::int32_t tallest = 1;
    for (const RangeData& x : ranges_) {
      tallest = std::max(tallest, height_of(x.top, x.bottom));
    }
    tallest_ = tallest;
  } else {
    tallest_ = std::max(tallest_, height_of(fresh.top, fresh.bottom));
  }
  return placed.index;
}

XlsWorksheet::Placement XlsWorksheet::replace_overlapping(std::size_t first, const RangeData& fresh) {
  // Scan the ranges that may meet the rectangle; drop the overlapping ones in place.
  std::size_t write = first;
  std::size_t read = first;
  std::size_t insert_at = first;
  std::size_t found = 0;
  bool exact = false;
  bool removed = false;
  while (read < ranges_.size() && ranges_[read].top <= fresh.bottom) {
    const RangeData& x = ranges_[read];
    if (x.covers(fresh.left, fresh.top, fresh.right, fresh.bottom)) {
      found = write;
      exact = true;
    } else if (x.left <= fresh.right && fresh.left <= x.right && x.top <= fresh.bottom &&
               fresh.top <= x.bottom) {
      removed = true;
      ++read;
      continue;
    }
    if (read != write) {
      ranges_[write] = ranges_[read];
    }
    if (ranges_[write].top <= fresh.top) {
      insert_at = write + 1;
    }
    ++write;
    ++read;
  }
  if (read != write) {
    ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(write),
                  ranges_.begin() + static_cast<std::ptrdiff_t>(read));
  }
  if (exact) {
    return {found, removed};
  }
  ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(insert_at), fresh);
  return {insert_at, removed};
}

void XlsWorksheet::widen_used_area(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  if (used_.empty()) {
    used_ = {l, t, r, b};
    return;
  }
  used_.first_column = std::min(used_.first_column, l);
  used_.first_row = std::min(used_.first_row, t);
  used_.last_column = std::max(used_.last_column, r);
  used_.last_row = std::max(used_.last_row, b);
}

void XlsWorksheet::note_last_row() {
  last_row_right_ = INT32_MIN;
  for (auto it = ranges_.rbegin(); it != ranges_.rend() && it->top == ranges_.back().top; ++it) {
    last_row_right_ = std::max(last_row_right_, it->right);
  }
}

std::string_view XlsWorksheet::text(const RangeData& range) const {
  if (range.kind != CellValue::Kind::Text) {
    return {};
  }
  return std::string_view(texts_).substr(range.payload, range.text_length);
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
      return CellValue(static_cast<float>(bits_double(range.payload)));
    case Kind::Double:
      return CellValue(bits_double(range.payload));
    case Kind::Currency:
      return CellValue(Currency{static_cast<std::int64_t>(range.payload)});
    case Kind::Boolean:
      return CellValue(range.payload != 0);
    case Kind::Text:
      return CellValue(text(range));
  }
  return {};
}

void XlsWorksheet::set_value(std::size_t index, const CellValue& value) {
  RangeData& range = ranges_.at(index);
  using Kind = CellValue::Kind;
  range.kind = value.kind();
  range.text_length = 0;
  switch (value.kind()) {
    case Kind::Empty:
      range.payload = 0;
      break;
    case Kind::Single:
    case Kind::Double:
      range.payload = double_bits(value.number());
      break;
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Byte:
    case Kind::Currency:
    case Kind::Boolean:
      range.payload = static_cast<std::uint64_t>(value.integer());
      break;
    case Kind::Text: {
      std::string_view source = value.text_ref();
      const std::size_t offset = texts_.size();
      // Each CR LF pair loses its CR.
      for (auto pair = source.find("\r\n"); pair != std::string_view::npos; pair = source.find("\r\n")) {
        texts_.append(source.substr(0, pair));
        source.remove_prefix(pair + 1);
      }
      texts_.append(source);
      range.payload = offset;
      range.text_length = static_cast<std::uint32_t>(texts_.size() - offset);
      share_recent_text(range);
      break;
    }
  }
}

void XlsWorksheet::share_recent_text(RangeData& range) {
  // A column of a table repeats the same few texts (a material, a date): a text met lately is kept
  // once, so a full sheet's text store stays small.
  const std::string_view fresh = std::string_view(texts_).substr(range.payload, range.text_length);
  if (fresh.empty()) {
    return;
  }
  if (recent_texts_.empty()) {
    recent_texts_.assign(kRecentTexts, RecentText{0, 0});
  }
  RecentText& slot = recent_texts_[std::hash<std::string_view>{}(fresh) % kRecentTexts];
  if (slot.length == fresh.size() && std::string_view(texts_).substr(slot.offset, slot.length) == fresh) {
    texts_.resize(range.payload);
    range.payload = slot.offset;
    return;
  }
  slot = RecentText{range.payload, range.text_length};
}

void XlsWorksheet::reserve(std::size_t ranges, std::size_t text_bytes) {
  ranges_.reserve(ranges);
  texts_.reserve(text_bytes);
}

// ---- XlsWorkbook ----

bool XlsWorkbook::has_sheet_named(std::string_view name) const {
  return std::any_of(sheets_.begin(), sheets_.end(),
                     [&](const auto& sheet) { return same_sheet_name(sheet->Name(), name); });
}

XlsWorksheet& XlsWorkbook::AddSheet() {
  std::size_t number = sheets_.size() + 1;
  while (has_sheet_named("Sheet" + std::to_string(number))) {
    ++number;
  }
  sheets_.push_back(std::make_unique<XlsWorksheet>(*this, "Sheet" + std::to_string(number)));
  return *sheets_.back();
}

}  // namespace vkt::xls
