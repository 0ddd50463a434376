// xKESTRA INPUT OUTPUT [-s Shift] [-b Bias]
// Aligns the protein sequences of a FASTA file; see driver/run.hpp.
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
  // The run allocates and frees tables of a few megabytes for every pair
  // and join on every thread.  Kept in the heap once freed (instead of
  // being returned to the system and faulted in, zeroed, the next time),
  // they cost no page faults; the block aligner's largest tables still
  // come straight from the system.
  ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return xk::run_program([&] { return xk::driver::run_xkestra(args, std::cout); });
}
