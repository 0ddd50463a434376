#include "common/heap.hpp"

#include <malloc.h>

namespace xk {

void keep_freed_tables_in_heap() {
  ::mallopt(M_MMAP_THRESHOLD, 8 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 16 << 20);
  ::mallopt(M_ARENA_MAX, 4);
}

}  // namespace xk
