// Creation of the block aligner's tables: a failed creation is the fatal
// stop "ERROR: Allocating <name>!!!".
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ending.hpp"

namespace xk {

// A table of n values, each set to `fill`.  Throws FatalStop("ERROR:
// Allocating <name>!!!") when the memory cannot be had.
template <class T>
std::vector<T> make_table(std::size_t n, const char* name, T fill = T{}) {
  try {
    return std::vector<T>(n, fill);
  } catch (const std::bad_alloc&) {
    throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  } catch (const std::length_error&) {
    throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  }
}

// A table of n doubles for the block-layered sums: up to a few hundred
// megabytes, written once and then read.  Its values are NOT initialised:
// the owner writes every entry.  Large tables are aligned to 2 MiB and the
// system is advised to back them with large pages where it offers that:
// first touching the memory then costs a fraction of what it costs in
// 4 KiB pages (most of the time of the weighted pass otherwise).
// Throws FatalStop("ERROR: Allocating <name>!!!") on failure.
class DoubleTable {
 public:
  DoubleTable() = default;
  DoubleTable(std::size_t n, const char* name);
  double& operator[](std::size_t i) { return data_[i]; }
  const double& operator[](std::size_t i) const { return data_[i]; }
  double* data() { return data_.get(); }
  const double* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::unique_ptr<double[], Free> data_;
  std::size_t size_ = 0;
};

}  // namespace xk
