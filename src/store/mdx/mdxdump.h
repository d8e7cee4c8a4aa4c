// Text listing of an .mdx: one line per tag, then one line per key in tree order. Used when
// looking into a file by hand and as an oracle in the tests.
#pragma once

#include <string>

#include "store/mdx/mdxfile.h"

namespace vkt::mdx {

// Tag line: "tag NAME field FIELD type C length 10 ascending keys 3".
// Key line: record number, a tab, the key: numeric keys as decimal text, character keys as
// their bytes without the padding blanks (control bytes as \xHH), date keys as the stored number.
std::string dump_mdx(const MdxContents& contents);
std::string format_key(KeyType type, const std::string& key);

}  // namespace vkt::mdx
