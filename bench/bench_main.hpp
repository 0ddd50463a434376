// The main of a benchmark program: the allocator set as the programs set it
// (common/heap.hpp), so that the kernels run on reused memory as they do in
// a run instead of on memory faulted in afresh at every call.
#pragma once

#include <benchmark/benchmark.h>

#include "common/heap.hpp"

namespace xkbench {

inline int run_benchmarks(int argc, char** argv) {
  xk::keep_freed_tables_in_heap();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace xkbench
