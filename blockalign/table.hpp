// The block aligner's large double tables.  (make_table, for every other
// table, is in common/table.hpp.)
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/table.hpp"

namespace xk {

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
