// The Windows heap keeps freed blocks for reuse by itself.
#include "output/report/freedmemory.h"

namespace vkt::report {

void keep_freed_memory() {}

}  // namespace vkt::report
