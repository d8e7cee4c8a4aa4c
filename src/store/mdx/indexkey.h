// Keys of a dBase IV production index: character keys are the stored code-page bytes padded
// with blanks; numeric keys are the 12-byte packed decimal form dBase IV keeps in its trees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.h"

namespace vkt::mdx {

using ErrorKind = vkt::ErrorKind;

// Every failure of the index engine: damaged files, refused requests, I/O errors. The text is
// shown to the user as it is.
class MdxError : public vkt::Error {
 public:
  using vkt::Error::Error;
};

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

inline constexpr std::size_t kNumericKeyLength = 12;
inline constexpr std::size_t kDateKeyLength = 8;
// dBase IV refuses longer character keys.
inline constexpr std::size_t kMaxCharacterKeyLength = 100;
// Ten bytes of two digits each follow the exponent and sign bytes.
inline constexpr std::size_t kMaxNumericDigits = 20;

using NumericKey = std::array<std::uint8_t, kNumericKeyLength>;

// Encodes the text of an N field ("   -12.750000000", blanks when empty). An empty or unreadable
// field indexes as zero, the way dBase treats it; digits beyond the twentieth are cut.
NumericKey numeric_key_from_text(std::string_view text);
// Encodes a number through its shortest exact decimal form.
NumericKey numeric_key_from_double(double value);
// The key back as a plain decimal text ("-12.75", "0", "0.05").
std::string numeric_key_to_text(const NumericKey& key);
NumericKey numeric_key_from_bytes(std::string_view bytes);

// Orders two numeric keys by the numbers they stand for: < 0, 0 or > 0.
int compare_numeric_keys(const NumericKey& a, const NumericKey& b);

// Writes the key into out[0, key length) in a form whose plain byte order is the key order, for
// fast sorting of many keys. Character keys are copied; numeric keys get a sign class byte and
// their digits, inverted for negative numbers. Date keys are copied (callers compare them with
// compare_keys).
void sortable_key(KeyType type, std::string_view key, std::uint8_t* out);

// The stored bytes padded with blanks (or cut) to the key length.
std::string character_key(std::string_view stored, std::size_t key_length);

// Orders two keys of a tag in ascending sense: character (and date) keys byte by byte as unsigned
// code-page bytes, numeric keys by value.
int compare_keys(KeyType type, std::string_view a, std::string_view b);

// Key length a field of the given type and width gives; throws MdxError for a character field
// wider than dBase IV can index.
std::size_t key_length_for(KeyType type, std::size_t field_width, std::string_view field_name);

}  // namespace vkt::mdx
