// showprof PROFILE-FILE
// Lists the 20 profile values of every record of a profile file.
#include <iostream>

#include "common/ending.hpp"
#include "tools/showprof.hpp"

int main(int argc, char** argv) {
  std::string name = argc > 1 ? argv[1] : "";
  return xk::run_program([&] {
    xk::showprof(name, std::cout);
    return 0;
  });
}
