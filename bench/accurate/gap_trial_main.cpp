// xk_gap_trial GO GE INPUT OUTPUT [options of xKESTRA]
// One xKESTRA run with the accurate mode's gap opening and extension
// penalties set to GO and GE; for choosing them on training families
// (bench/accurate/evaluate.py).
#include <iostream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "driver/command_line.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.size() < 2) {
    std::cerr << "usage: xk_gap_trial GO GE INPUT OUTPUT [options of xKESTRA]\n";
    return 1;
  }
  const auto go = xk::driver::parse_real(all[0]), ge = xk::driver::parse_real(all[1]);
  if (!go || !ge) {
    std::cerr << "xk_gap_trial: GO and GE must be numbers\n";
    return 1;
  }
  const std::vector<std::string> args(all.begin() + 2, all.end());
  xk::driver::RunOptions options;
  options.accurate_gaps = {*go, *ge};
  return xk::run_program([&] { return xk::driver::run_xkestra(args, std::cout, options); });
}
