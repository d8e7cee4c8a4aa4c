#pragma once

// The rows of a measurement file as the independent reader (dbfread, through dump_rows.py) sees
// them: one line per row, NAME=VALUE pairs separated by tabs.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace vkt::image::testing {

inline std::vector<std::string> rows_read_back(const std::filesystem::path& path) {
  const std::string command =
      "/usr/bin/python3 '" VKT_SOURCE_DIR "/tests/image/dump_rows.py' '" + path.string() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string out;
  std::array<char, 65536> buffer{};
  for (std::size_t n = 0; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
    out.append(buffer.data(), n);
  }
  EXPECT_EQ(::pclose(pipe), 0) << command << "\n" << out;
  std::vector<std::string> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    rows.push_back(line);
  }
  return rows;
}

}  // namespace vkt::image::testing
