#include "common/large_pages.hpp"

#include <limits>
#include <sys/mman.h>

namespace xk {

void* allocate_table_memory(std::size_t bytes, std::size_t large_from) {
  if (bytes > std::numeric_limits<std::size_t>::max() - kLargePage) return nullptr;
  const bool large = bytes > 0 && bytes >= large_from;
  const std::size_t align = large ? kLargePage : 64;
  const std::size_t rounded = (bytes + align - 1) / align * align + (bytes == 0 ? align : 0);
  void* p = std::aligned_alloc(align, rounded);
#ifdef MADV_HUGEPAGE
  if (p != nullptr && large) ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure is harmless
#endif
  return p;
}

}  // namespace xk
