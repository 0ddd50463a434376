// xKESTRA INPUT OUTPUT [-s Shift] [-b Bias] [-r Seed] [-p Threads] [-l Limit]
// Aligns the protein sequences of a FASTA file; see driver/run.hpp.
#include <iostream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "common/interrupt.hpp"
#include "common/heap.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
  xk::keep_freed_tables_in_heap();
  const std::vector<std::string> args(argv + 1, argv + argc);
  xk::install_interrupt_handlers();
  return xk::run_program([&] { return xk::driver::run_xkestra(args, std::cout); });
}
