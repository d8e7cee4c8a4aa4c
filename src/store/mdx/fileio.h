// Whole-file reads and writes for the index files. Writes go through a temporary file beside the
// target and a rename, so a crash leaves either the old file or the new one, never half of one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vkt::mdx {

void write_file_atomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path);
// The file name as UTF-8 text for messages.
std::string display_name(const std::filesystem::path& path);

}  // namespace vkt::mdx
