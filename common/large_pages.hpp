// Memory for large working tables, backed by 2 MiB pages where the system
// offers them.  A table first touched in 4 KiB pages costs one fault (and,
// on a virtual machine, one exit to the host) per page: for tables of a few
// hundred kilobytes and more that is often more time than the work done on
// them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace xk {

inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// At least `bytes` of memory, uninitialised, to be released with std::free.
// From `large_from` bytes up the block is aligned to and sized in whole
// 2 MiB pages and the system is advised to back it with large pages (advice
// only); smaller blocks are aligned to 64 bytes.  Null when the memory
// cannot be had or the rounded size overflows.
void* allocate_table_memory(std::size_t bytes, std::size_t large_from);

// An allocator for standard containers that takes its blocks from
// allocate_table_memory, in large pages from 256 KiB up.
template <class T>
struct LargePageAllocator {
  using value_type = T;
  static constexpr std::size_t kLargeFrom = std::size_t{256} << 10;

  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    void* p = allocate_table_memory(n * sizeof(T), kLargeFrom);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  template <class U>
  bool operator==(const LargePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace xk
