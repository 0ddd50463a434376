// xmkprof outputfile [label] < sequence
// Converts one protein sequence read from standard input into a profile file.
#include <iostream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "tools/mkprof.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return xk::run_program([&]() -> int { xk::mkprof(args, std::cin, std::cout); });
}
