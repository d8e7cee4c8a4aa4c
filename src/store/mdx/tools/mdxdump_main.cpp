// vkt-mdx-dump FILE.mdx: lists the tags of a production index and their keys in tree order.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "store/mdx/mdxdump.h"
#include "store/mdx/mdxfile.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vkt-mdx-dump FILE.mdx\n");
    return 2;
  }
  try {
    const std::string text = vkt::mdx::dump_mdx(vkt::mdx::read_mdx_file(std::filesystem::u8path(argv[1])));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
