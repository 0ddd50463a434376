#include "blockalign/table.hpp"

#include <limits>
#include <sys/mman.h>

namespace xk {

DoubleTable::DoubleTable(std::size_t n, const char* name) {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(double) - kLargePage) {
    throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  }
  const std::size_t bytes = n * sizeof(double);
  const std::size_t align = bytes >= kLargePage ? kLargePage : 64;
  const std::size_t rounded = (bytes + align - 1) / align * align + (bytes == 0 ? align : 0);
  void* p = std::aligned_alloc(align, rounded);
  if (p == nullptr) throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
#ifdef MADV_HUGEPAGE
  if (align == kLargePage) ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure is harmless
#endif
  data_.reset(static_cast<double*>(p));
  size_ = n;
}

}  // namespace xk
