#include "indexdumpcheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "store/mdx/indexkey.h"
#include "store/mdx/mdxfile.h"

namespace vkt::testing {
namespace {

#ifndef _WIN32
struct Listed {
  std::string key;
  std::uint32_t record = 0;
};

struct Run {
  int status = -1;
  std::string out;
};

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Started commands run side by side; finish() collects what one of them printed.
FILE* start(const std::string& command) {
  return popen(command.c_str(), "r");
}

Run finish(FILE* pipe) {
  Run result;
  if (pipe == nullptr) {
    return result;
  }
  char buffer[8192];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.out.append(buffer, n);
  }
  result.status = pclose(pipe);
  return result;
}

Run run(const std::string& command) {
  return finish(start(command));
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

// Each key is listed with all its bytes (the tag's key length, blanks included, so a key may hold
// any byte), then a blank, the record number and a line end.
bool parse_keys(const std::string& out, std::size_t key_length, std::vector<Listed>& keys,
                std::string& fault) {
  std::size_t at = 0;
  while (at < out.size()) {
    if (out.size() - at < key_length + 3 || out[at + key_length] != ' ') {
      fault = "no key of " + std::to_string(key_length) + " bytes and a blank at output byte " +
              std::to_string(at);
      return false;
    }
    Listed entry;
    entry.key = out.substr(at, key_length);
    at += key_length + 1;
    const std::size_t end = out.find('\n', at);
    const std::string number = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
      fault = "record number \"" + number + "\" at output byte " + std::to_string(at);
      return false;
    }
    entry.record = static_cast<std::uint32_t>(std::stoul(number));
    keys.push_back(entry);
    at = end == std::string::npos ? out.size() : end + 1;
  }
  return true;
}

// The number a 12-byte packed decimal key stands for, read from the published layout: an
// exponent byte biased by 0x34, a byte with the digit count in bits 2..6 and the sign in bit 7,
// then the digits two to a byte.
double packed_decimal_value(const std::string& raw) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(raw[i]); };
  const int exponent = byte(0) - 0x34;
  const int count = (byte(1) >> 2) & 0x1F;
  std::string digits;
  for (int i = 0; i < count && 2 + i / 2 < static_cast<int>(raw.size()); ++i) {
    digits += static_cast<char>('0' + (i % 2 == 0 ? byte(2 + i / 2) >> 4 : byte(2 + i / 2) & 0x0F));
  }
  if (digits.empty()) {
    return 0;
  }
  // 0.d1d2d3... times ten to the exponent.
  const double value = std::stod("0." + digits + "e" + std::to_string(exponent));
  return (byte(1) & 0x80) != 0 ? -value : value;
}

// < 0, 0 or > 0 as key a lies before, with or after key b in ascending sense.
int compare(mdx::KeyType type, const std::string& a, const std::string& b) {
  if (type == mdx::KeyType::Numeric) {
    const double x = packed_decimal_value(a);
    const double y = packed_decimal_value(b);
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  if (type == mdx::KeyType::Date && a.size() == sizeof(double) && b.size() == sizeof(double)) {
    double x = 0;
    double y = 0;
    std::memcpy(&x, a.data(), sizeof x);
    std::memcpy(&y, b.data(), sizeof y);
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c != 0 ? c : static_cast<int>(a.size()) - static_cast<int>(b.size());
}

void check_tag(const std::filesystem::path& mdx, const mdx::Tag& ours, const Run& listed) {
  const mdx::TagDefinition& definition = ours.definition;
  ASSERT_EQ(listed.status, 0) << "index_dump failed on tag " << definition.name << " of " << mdx;
  std::vector<Listed> keys;
  std::string fault;
  ASSERT_TRUE(parse_keys(listed.out, definition.key_length, keys, fault))
      << "index_dump's listing of tag " << definition.name << " of " << mdx << ": " << fault;
  ASSERT_EQ(keys.size(), ours.entries.size()) << "keys of tag " << definition.name << " of " << mdx;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const mdx::IndexEntry& entry = ours.entries[i];
    ASSERT_EQ(keys[i].record, entry.record)
        << "record of key " << i << " of tag " << definition.name << " of " << mdx;
    ASSERT_EQ(keys[i].key, entry.key) << "key " << i << " of tag " << definition.name << " of " << mdx;
    if (definition.type == mdx::KeyType::Numeric) {
      const mdx::NumericKey key = mdx::numeric_key_from_bytes(entry.key);
      ASSERT_EQ(packed_decimal_value(keys[i].key), std::stod(mdx::numeric_key_to_text(key)))
          << "value of key " << i << " of tag " << definition.name << " of " << mdx;
    }
    if (i == 0) {
      continue;
    }
    int order = compare(definition.type, keys[i - 1].key, keys[i].key);
    if (definition.descending) {
      order = -order;
    }
    ASSERT_TRUE(order < 0 || (order == 0 && keys[i - 1].record < keys[i].record))
        << "keys " << i - 1 << " (record " << keys[i - 1].record << ") and " << i << " (record "
        << keys[i].record << ") of tag " << definition.name << " of " << mdx << " are out of order";
  }
}
#endif

bool have_index_dump() {
#ifdef _WIN32
  return false;
#else
  static const bool found = run("command -v index_dump >/dev/null 2>&1").status == 0;
  return found;
#endif
}

}  // namespace

void expect_index_dump_agrees(const std::filesystem::path& mdx) {
  if (!have_index_dump()) {
    GTEST_SKIP() << "index_dump (package libdbd-xbase-perl) is not installed: " << mdx
                 << " is not cross-checked";
  }
#ifndef _WIN32
  ASSERT_TRUE(std::filesystem::exists(mdx)) << mdx << " does not exist";
  mdx::MdxContents ours;
  try {
    ours = mdx::read_mdx_file(mdx);
  } catch (const std::exception& e) {
    FAIL() << "our reader refuses " << mdx << ": " << e.what();
  }
  // One index_dump for the tag list and one for each tag, all started at once.
  FILE* namesPipe = start("index_dump " + quoted(mdx.string()));
  std::vector<FILE*> tagPipes;
  for (const mdx::Tag& tag : ours.tags) {
    tagPipes.push_back(start("index_dump " + quoted(mdx.string()) + " " + quoted(tag.definition.name)));
  }
  std::vector<Run> listings;
  for (FILE* pipe : tagPipes) {
    listings.push_back(finish(pipe));
  }
  const Run names = finish(namesPipe);

  ASSERT_EQ(names.status, 0) << "index_dump cannot read the tags of " << mdx;
  std::vector<std::string> ourNames;
  for (const mdx::Tag& tag : ours.tags) {
    ourNames.push_back(tag.definition.name);
  }
  // index_dump lists the tags by name; ours come in the order they were stored.
  std::vector<std::string> listedNames = lines_of(names.out);
  std::sort(listedNames.begin(), listedNames.end());
  std::sort(ourNames.begin(), ourNames.end());
  ASSERT_EQ(listedNames, ourNames) << "tags of " << mdx;
  for (std::size_t i = 0; i < ours.tags.size(); ++i) {
    check_tag(mdx, ours.tags[i], listings[i]);
  }
#endif
}

}  // namespace vkt::testing
