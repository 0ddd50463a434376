// Creation of a named working table: a failed creation is the fatal stop
// "ERROR: Allocating <name>!!!", the same for every program of the suite.
#pragma once

#include <cstddef>
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

// A table of n values left unset, for a caller that writes every entry
// before reading it.  Fails as make_table does.
template <class T>
std::unique_ptr<T[]> make_scratch_table(std::size_t n, const char* name) {
  try {
    return std::make_unique_for_overwrite<T[]>(n);
  } catch (const std::bad_alloc&) {
    throw FatalStop(std::string("ERROR: Allocating ") + name + "!!!");
  }
}

}  // namespace xk
