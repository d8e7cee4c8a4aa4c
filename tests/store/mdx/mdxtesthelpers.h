// Shared builders and checks for the index tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/mdx/mdxfile.h"

namespace vkt::mdx::testing {

inline std::uint32_t u32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::uint16_t u16At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline void set_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

inline std::string numericKeyBytes(double value) {
  const NumericKey key = numeric_key_from_double(value);
  return std::string(key.begin(), key.end());
}

inline Tag characterTag(const std::string& name, std::size_t width, const std::vector<std::string>& values,
                        bool descending = false) {
  Tag tag{{name, "FIELD", KeyType::Character, width, descending}, {}};
  for (std::size_t i = 0; i < values.size(); ++i) {
    tag.entries.push_back({character_key(values[i], width), static_cast<std::uint32_t>(i + 1)});
  }
  return tag;
}

inline Tag numericTag(const std::string& name, const std::vector<double>& values, bool descending = false) {
  Tag tag{{name, "P", KeyType::Numeric, 12, descending}, {}};
  for (std::size_t i = 0; i < values.size(); ++i) {
    tag.entries.push_back({numericKeyBytes(values[i]), static_cast<std::uint32_t>(i + 1)});
  }
  return tag;
}

// Record numbers in the order a stable sort of the values gives; descending reverses the value
// order but keeps equal values in ascending record order.
template <typename T>
std::vector<std::uint32_t> expectedOrder(const std::vector<T>& values, bool descending) {
  std::vector<std::uint32_t> records(values.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i] = static_cast<std::uint32_t>(i + 1);
  }
  std::stable_sort(records.begin(), records.end(), [&](std::uint32_t a, std::uint32_t b) {
    return descending ? values[b - 1] < values[a - 1] : values[a - 1] < values[b - 1];
  });
  return records;
}

inline std::vector<std::uint32_t> recordsOf(const Tag& tag) {
  std::vector<std::uint32_t> records;
  for (const IndexEntry& e : tag.entries) {
    records.push_back(e.record);
  }
  return records;
}

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
 public:
  explicit TempDir(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() /
            ("vkt-mdx-" + name + "-" + std::to_string(std::random_device{}()) + "-" +
             std::to_string(counter()++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  static int& counter() {
    static int value = 0;
    return value;
  }
  std::filesystem::path path_;
};

// Runs a command and returns what it printed on standard output.
inline std::string runCommand(const std::string& command, int* status = nullptr) {
#ifdef _WIN32
  FILE* pipe = _popen(command.c_str(), "rb");
#else
  FILE* pipe = popen(command.c_str(), "r");
#endif
  std::string out;
  if (pipe == nullptr) {
    return out;
  }
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, n);
  }
#ifdef _WIN32
  const int rc = _pclose(pipe);
#else
  const int rc = pclose(pipe);
#endif
  if (status != nullptr) {
    *status = rc;
  }
  return out;
}

}  // namespace vkt::mdx::testing
