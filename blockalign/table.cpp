#include "blockalign/table.hpp"

#include <limits>

#include "common/large_pages.hpp"

namespace xk {

DoubleTable::DoubleTable(std::size_t n, const char* name) {
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(double)) {
    throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  }
  void* p = allocate_table_memory(n * sizeof(double), kLargePage);
  if (p == nullptr) throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  data_.reset(static_cast<double*>(p));
  size_ = n;
}

}  // namespace xk
