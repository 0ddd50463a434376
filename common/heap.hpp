// How the process's allocator treats freed memory.
#pragma once

namespace xk {

// Keeps freed blocks below 8 MiB in the heap for reuse instead of handing
// them back to the system: a run allocates and frees tables of a few
// megabytes for every pair and join on every thread, and memory handed
// back is faulted in and zeroed again on the next use.  Larger blocks (the
// block aligner's big tables) still come straight from the system; at most
// 16 MiB of free memory stays at the top of a heap, in at most four heaps,
// so that what the process holds stays close to what it uses.  For a
// program's main, before any work.
void keep_freed_tables_in_heap();

}  // namespace xk
