// Cross-check of an .mdx file with index_dump (Debian's libdbd-xbase-perl), an index reader
// written independently of ours. Plain C++ and GoogleTest, for the store tests and the window
// tests alike.
#pragma once

#include <filesystem>

namespace vkt::testing {

// Lists the file's tags and, for each tag, its keys and record numbers with index_dump and
// expects them to equal our reader's walk of the same file, key for key in tree order. The keys
// index_dump lists must also be in the tag's order on their own: ascending or descending by key
// (character keys as unsigned bytes, numeric keys by the number their packed decimal form
// stands for), equal keys in ascending record order.
// Without index_dump the calling test is marked skipped with a message saying so.
void expect_index_dump_agrees(const std::filesystem::path& mdx);

}  // namespace vkt::testing
