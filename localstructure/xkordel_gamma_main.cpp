// xkordel_gamma MODEL PROFILE GAMMA MODE
// Writes the local-structure posteriors of a profile file as a gamma file.
#include <iostream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "localstructure/xkordel_gamma.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::cout << xk::ls::usage_text();
    return 0;
  }
  return xk::run_program([&] { return xk::ls::xkordel_gamma(args, std::cout); });
}
