// The GNU C library returns freed memory above 128 KB to the system at once; other systems'
// allocators are left as they are.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "output/report/freedmemory.h"

namespace vkt::report {

void keep_freed_memory() {
#if defined(__GLIBC__)
  // Blocks up to 32 MB come from the heap, and up to 64 MB free at its top stay there.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace vkt::report
