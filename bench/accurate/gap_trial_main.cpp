// xk_gap_trial GO GE PARTS INPUT OUTPUT [options of xKESTRA]
// One xKESTRA run with the accurate mode's gap opening and extension
// penalties set to GO and GE and, in that mode, only the parts named in
// PARTS: "p" end-gap-free all pairs, "e" every sequence end to end against
// the parent ("pe" both, "-" neither); refinement follows "-i".  For
// choosing the penalties and measuring the parts on training families
// (bench/accurate/evaluate.py).  The environment variable XK_TRIAL_NULL,
// when set, replaces the accurate mode's share of the independence null,
// and XK_TRIAL_LIBRARY its share of the all-pairs library at the joins.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "driver/command_line.hpp"
#include "driver/run.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.size() < 3) {
    std::cerr << "usage: xk_gap_trial GO GE PARTS INPUT OUTPUT [options of xKESTRA]\n";
    return 1;
  }
  const auto go = xk::driver::parse_real(all[0]), ge = xk::driver::parse_real(all[1]);
  if (!go || !ge) {
    std::cerr << "xk_gap_trial: GO and GE must be numbers\n";
    return 1;
  }
  const std::string parts = all[2];
  const std::vector<std::string> args(all.begin() + 3, all.end());
  std::optional<float> null_share;
  if (const char* v = std::getenv("XK_TRIAL_NULL")) {
    null_share = xk::driver::parse_real(v);
    if (!null_share) {
      std::cerr << "xk_gap_trial: XK_TRIAL_NULL must be a number\n";
      return 1;
    }
  }
  std::optional<float> library_share;
  if (const char* v = std::getenv("XK_TRIAL_LIBRARY")) {
    library_share = xk::driver::parse_real(v);
    if (!library_share) {
      std::cerr << "xk_gap_trial: XK_TRIAL_LIBRARY must be a number\n";
      return 1;
    }
  }
  auto number = [](const char* name) -> std::optional<double> {
    const char* v = std::getenv(name);
    if (v == nullptr) return std::nullopt;
    return std::stod(v);
  };
  const auto scale = number("XK_TRIAL_SCALE"), open = number("XK_TRIAL_OPEN"), extend = number("XK_TRIAL_EXTEND");
  xk::driver::RunOptions options;
  options.adjust = [&](xk::driver::Settings& s) {
    s.accurate_go = *go;
    s.accurate_ge = *ge;
    if (null_share) s.accurate_null = *null_share;
    if (library_share) s.accurate_library = static_cast<double>(*library_share);
    if (const auto c = number("XK_TRIAL_CONSISTENCY")) s.consistency_rounds = static_cast<int>(*c);
    if (scale) s.pair_model.scale = *scale;
    if (open) s.pair_model.open = *open;
    if (extend) s.pair_model.extend = *extend;
    if (const auto f = number("XK_TRIAL_FLOOR")) s.pair_model.floor = static_cast<float>(*f);
    if (s.mode != xk::driver::Mode::accurate) return;
    s.end_gap_free_pairs = parts.find('p') != std::string::npos;
    s.end_to_end_parent = parts.find('e') != std::string::npos;
  };
  return xk::run_program([&] { return xk::driver::run_xkestra(args, std::cout, options); });
}
