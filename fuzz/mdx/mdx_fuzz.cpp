// Reads arbitrary bytes as a production index, walks every tag and lists it. Damaged input may
// only end in MdxError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "store/mdx/mdxdump.h"
#include "store/mdx/mdxfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const vkt::mdx::MdxContents contents = vkt::mdx::parse_mdx(std::span<const std::uint8_t>(data, size));
    const std::string text = vkt::mdx::dump_mdx(contents);
    // What was read must build again into a file that reads back the same.
    const auto rebuilt = vkt::mdx::build_mdx(contents.table_name, contents.tags, {2024, 1, 1});
    if (vkt::mdx::dump_mdx(vkt::mdx::parse_mdx(rebuilt)) != text) {
      std::abort();
    }
  } catch (const vkt::mdx::MdxError&) {
  }
  return 0;
}
