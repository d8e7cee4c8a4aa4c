#pragma once

// Helpers for tests that look at table files from outside: scratch directories, raw bytes, and
// the independent Python reader and writer.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "store/dbf/table.h"

namespace vkt::dbf::testing {

// A fresh directory removed after the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    dir_ =
        std::filesystem::temp_directory_path() / ("vkt-dbf-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

inline std::string file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::filesystem::path script_path(const std::string& name) {
  return std::filesystem::path(VKT_SOURCE_DIR) / "tests" / "store" / "dbf" / name;
}

// Runs one of our Python helpers and returns what it printed; the exit status must be 0.
inline std::string run_python(const std::string& script, const std::string& args) {
  const std::string command = "/usr/bin/python3 '" + script_path(script).string() + "' " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string out;
  std::array<char, 4096> buf{};
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) {
    out.append(buf.data(), n);
  }
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

inline std::string quoted_arg(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
}

// Our engine's view of a table in the form dbf_dump.py prints: every live row in file order.
inline std::string our_dump(Table& table) {
  const TableHeader& h = table.header();
  std::string out = "header " + std::to_string(h.version) + " " + std::to_string(h.last_update.year - 1900) +
                    " " + std::to_string(h.last_update.month) + " " + std::to_string(h.last_update.day) +
                    " " + std::to_string(h.record_count) + " " + std::to_string(h.header_length) + " " +
                    std::to_string(h.record_length) + " " + std::to_string(h.production_index ? 1 : 0) + " " +
                    std::to_string(h.language_driver) + "\n";
  for (const Field& f : table.fields()) {
    out += "field " + f.name + " " + static_cast<char>(f.type) + " " + std::to_string(f.width) + " " +
           std::to_string(f.decimals) + "\n";
  }
  const std::string saved_filter = table.filter();
  table.set_filter("");
  int n = 0;
  for (bool ok = table.first(); ok; ok = table.next()) {
    out += "row " + std::to_string(++n) + "\n";
    for (std::size_t i = 0; i < table.fields().size(); ++i) {
      std::string value;
      if (is_numeric(table.fields()[i].type)) {
        const auto v = table.read_double(i);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.9f", v.value_or(0.0));
        value = v ? buf : "None";
      } else {
        value = table.read_text(i);
      }
      out += table.fields()[i].name + "=" + value + "\n";
    }
  }
  table.set_filter(saved_filter);
  return out;
}

}  // namespace vkt::dbf::testing
