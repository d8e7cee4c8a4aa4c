#pragma once

namespace vkt::report {

// Lets the C library keep memory it gets back instead of returning it to the system at once. A
// PDF page's buffers are allocated and freed again for every page; where the allocator hands
// big blocks back straight away, each page costs system calls and fresh zeroed pages. For
// programs that write a whole report and end.
void keep_freed_memory();

}  // namespace vkt::report
