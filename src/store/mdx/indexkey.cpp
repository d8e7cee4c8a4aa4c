#include "store/mdx/indexkey.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>

namespace vkt::mdx {
namespace {

// Byte 0 holds this bias plus the decimal exponent; byte 1 the sign, digit count and a set
// low bit.
constexpr int kExponentBias = 0x34;
constexpr std::uint8_t kNegativeBit = 0x80;
constexpr std::uint8_t kAlwaysSetBit = 0x01;

NumericKey zero_key() {
  NumericKey key{};
  key[0] = kExponentBias;
  key[1] = kAlwaysSetBit;
  return key;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Builds the key from a sign, the significant digits (first one not zero) and the decimal
// exponent: the value is 0.d1d2d3... x 10^exponent.
NumericKey pack_digits(bool negative, std::string_view digits, int exponent) {
  while (!digits.empty() && digits.back() == '0') {
    digits.remove_suffix(1);
  }
  if (digits.empty()) {
    return zero_key();
  }
  const int biased = kExponentBias + exponent;
  if (biased < 0) {
    return zero_key();  // far below anything a table field holds
  }
  if (biased > 0xFF) {
    throw MdxError(ErrorKind::Limit, "Число слишком велико для ключа индекса");
  }
  NumericKey key{};
  key[0] = static_cast<std::uint8_t>(biased);
  key[1] = static_cast<std::uint8_t>((negative ? kNegativeBit : 0) | (digits.size() << 2) | kAlwaysSetBit);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const auto nibble = static_cast<std::uint8_t>(digits[i] - '0');
    key[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
  }
  return key;
}

int sign(const NumericKey& key) {
  if (((key[1] >> 2) & 0x1F) == 0) {
    return 0;
  }
  return (key[1] & kNegativeBit) != 0 ? -1 : 1;
}

double read_date_key(std::string_view bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < kDateKeyLength && i < bytes.size(); ++i) {
    bits |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(bytes[i])) << (8 * i);
  }
  return std::bit_cast<double>(bits);
}

}  // namespace

NumericKey numeric_key_from_text(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') {
    ++pos;
  }
  std::size_t end = text.size();
  while (end > pos && text[end - 1] == ' ') {
    --end;
  }
  bool negative = false;
  if (pos < end && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Significant digits only: leading zeros of the whole part and, for values below one, the zeros
  // right after the point go into the exponent instead.
  char digits[kMaxNumericDigits];
  std::size_t count = 0;
  bool significant = false;
  int exponent = 0;
  bool point = false;
  bool any_digit = false;
  for (; pos < end; ++pos) {
    const char c = text[pos];
    if (c == '.' && !point) {
      point = true;
    } else if (is_digit(c)) {
      any_digit = true;
      if (!significant && c == '0') {
        exponent -= point ? 1 : 0;
        continue;
      }
      significant = true;
      exponent += point ? 0 : 1;
      if (count < kMaxNumericDigits) {
        digits[count++] = c;  // digits beyond the twentieth are cut
      }
    } else {
      return zero_key();  // overflow stars or foreign bytes: read as an empty field
    }
  }
  if (!any_digit) {
    return zero_key();
  }
  return pack_digits(negative, std::string_view(digits, count), exponent);
}

NumericKey numeric_key_from_double(double value) {
  if (value != value) {
    return zero_key();
  }
  // Shortest form that reads back as the same double, in fixed notation.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) {
    throw MdxError(ErrorKind::Usage, "Число не может быть ключом индекса");
  }
  return numeric_key_from_text(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

std::string numeric_key_to_text(const NumericKey& key) {
  const std::size_t count = (key[1] >> 2) & 0x1F;
  if (count == 0) {
    return "0";
  }
  std::string digits;
  for (std::size_t i = 0; i < count && i < kMaxNumericDigits; ++i) {
    const std::uint8_t byte = key[2 + i / 2];
    digits.push_back(static_cast<char>('0' + (i % 2 == 0 ? byte >> 4 : byte & 0x0F)));
  }
  const int exponent = static_cast<int>(key[0]) - kExponentBias;
  std::string text = (key[1] & kNegativeBit) != 0 ? "-" : "";
  const int n = static_cast<int>(digits.size());
  if (exponent >= n) {
    text += digits + std::string(static_cast<std::size_t>(exponent - n), '0');
  } else if (exponent <= 0) {
    text += "0." + std::string(static_cast<std::size_t>(-exponent), '0') + digits;
  } else {
    text += digits.substr(0, static_cast<std::size_t>(exponent)) + "." +
            digits.substr(static_cast<std::size_t>(exponent));
  }
  return text;
}

NumericKey numeric_key_from_bytes(std::string_view bytes) {
  if (bytes.size() != kNumericKeyLength) {
    throw MdxError(ErrorKind::Usage, "Числовой ключ индекса должен занимать 12 байт");
  }
  NumericKey key{};
  std::memcpy(key.data(), bytes.data(), kNumericKeyLength);
  return key;
}

int compare_numeric_keys(const NumericKey& a, const NumericKey& b) {
  const int sa = sign(a);
  const int sb = sign(b);
  if (sa != sb) {
    return sa < sb ? -1 : 1;
  }
  if (sa == 0) {
    return 0;
  }
  int magnitude = 0;
  if (a[0] != b[0]) {
    magnitude = a[0] < b[0] ? -1 : 1;
  } else {
    // Unused nibbles are zero, so the packed digits compare as bytes.
    const int c = std::memcmp(a.data() + 2, b.data() + 2, kNumericKeyLength - 2);
    magnitude = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return magnitude * sa;
}

void sortable_key(KeyType type, std::string_view key, std::uint8_t* out) {
  std::memcpy(out, key.data(), key.size());
  if (type != KeyType::Numeric || key.size() != kNumericKeyLength) {
    return;
  }
  const int s = sign(numeric_key_from_bytes(key));
  // Class first (negative, zero, positive), then the exponent and the digits; for negative
  // numbers a larger magnitude is a smaller number, so those bytes are inverted.
  out[0] = static_cast<std::uint8_t>(s + 1);
  const std::uint8_t flip = s < 0 ? 0xFF : 0x00;
  out[1] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(key[0]) ^ flip);
  for (std::size_t i = 2; i < kNumericKeyLength; ++i) {
    out[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(key[i]) ^ flip);
  }
  if (s == 0) {
    std::memset(out + 1, 0, kNumericKeyLength - 1);
  }
}

std::string character_key(std::string_view stored, std::size_t key_length) {
  std::string key(stored.substr(0, std::min(stored.size(), key_length)));
  key.resize(key_length, ' ');
  return key;
}

int compare_keys(KeyType type, std::string_view a, std::string_view b) {
  switch (type) {
    case KeyType::Numeric:
      if (a.size() == kNumericKeyLength && b.size() == kNumericKeyLength) {
        return compare_numeric_keys(numeric_key_from_bytes(a), numeric_key_from_bytes(b));
      }
      break;
    case KeyType::Date: {
      const double da = read_date_key(a);
      const double db = read_date_key(b);
      if (da < db) {
        return -1;
      }
      if (db < da) {
        return 1;
      }
      return 0;
    }
    case KeyType::Character:
      break;
  }
  const std::size_t n = std::min(a.size(), b.size());
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) {
    return c < 0 ? -1 : 1;
  }
  if (a.size() != b.size()) {
    return a.size() < b.size() ? -1 : 1;
  }
  return 0;
}

std::size_t key_length_for(KeyType type, std::size_t field_width, std::string_view field_name) {
  switch (type) {
    case KeyType::Numeric:
      return kNumericKeyLength;
    case KeyType::Date:
      return kDateKeyLength;
    case KeyType::Character:
      break;
  }
  if (field_width > kMaxCharacterKeyLength) {
    throw MdxError(ErrorKind::Usage, "Нельзя построить индекс по полю " + std::string(field_name) +
                                         ": ключ длиной " + std::to_string(field_width) +
                                         " символов, а допускается не более " +
                                         std::to_string(kMaxCharacterKeyLength));
  }
  if (field_width == 0) {
    throw MdxError(ErrorKind::Usage,
                   "Нельзя построить индекс по полю " + std::string(field_name) + " нулевой ширины");
  }
  return field_width;
}

}  // namespace vkt::mdx
