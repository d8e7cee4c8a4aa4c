#pragma once

#include <filesystem>

#include "store/dbf/table.h"

namespace vkt::measurement {

// The production index beside a measurement file: same name, extension ".mdx".
std::filesystem::path index_path_for(const std::filesystem::path& table_path);

// Writes a new, empty measurement file at path (replacing a file of that name) and leaves it open
// in table.
void create_measurement_file(dbf::Table& table, const std::filesystem::path& path);

// Opens a measurement file. A table lacking one of our fields, or holding one with another type
// or width, is refused with ErrorKind::NotOurSchema and left closed. When the header claims a
// production index that is not there, the claim is cleared so other readers open the file too.
void open_measurement_file(dbf::Table& table, const std::filesystem::path& path);

// Throws ErrorKind::NotOurSchema unless the open table has every measurement field.
void check_measurement_schema(const dbf::Table& table);

}  // namespace vkt::measurement
