// xk_gap_trial GO GE PARTS INPUT OUTPUT [options of xKESTRA]
// One xKESTRA run with the accurate mode's gap opening and extension
// penalties set to GO and GE and, in that mode, only the parts named in
// PARTS: "p" end-gap-free all pairs, "e" every sequence end to end against
// the parent ("pe" both, "-" neither); refinement follows "-i".  For
// choosing the penalties and measuring the parts on training families
// (bench/accurate/evaluate.py).  Environment variables, when set, replace
// more of the accurate mode's settings:
//   XK_TRIAL_NULL         the share of the independence null
//   XK_TRIAL_LIBRARY      the pair posteriors' share at the joins
//   XK_TRIAL_CONSISTENCY  the consistency rounds
//   XK_TRIAL_SCALE, XK_TRIAL_OPEN, XK_TRIAL_EXTEND, XK_TRIAL_FLOOR
//                         the pair model's scale, gap opening and
//                         extension, and the least posterior kept
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
  // Each setting named in the environment, read once; a value that is not
  // a number ends the trial.
  std::optional<float> trial[7];
  const char* const names[7] = {"XK_TRIAL_NULL",  "XK_TRIAL_LIBRARY", "XK_TRIAL_CONSISTENCY", "XK_TRIAL_SCALE",
                                "XK_TRIAL_OPEN", "XK_TRIAL_EXTEND",  "XK_TRIAL_FLOOR"};
  for (int k = 0; k < 7; ++k) {
    const char* v = std::getenv(names[k]);
    if (v == nullptr) continue;
    trial[k] = xk::driver::parse_real(v);
    if (!trial[k]) {
      std::cerr << "xk_gap_trial: " << names[k] << " must be a number\n";
      return 1;
    }
  }
  const auto& [null_share, library_share, consistency, scale, open, extend, floor] = trial;
  xk::driver::RunOptions options;
  options.adjust = [&](xk::driver::Settings& s) {
    s.accurate_go = *go;
    s.accurate_ge = *ge;
    if (null_share) s.accurate_null = *null_share;
    if (library_share) s.accurate_library = static_cast<double>(*library_share);
    if (consistency) s.consistency_rounds = static_cast<int>(*consistency);
    if (scale) s.pair_model.scale = static_cast<double>(*scale);
    if (open) s.pair_model.open = static_cast<double>(*open);
    if (extend) s.pair_model.extend = static_cast<double>(*extend);
    if (floor) s.pair_model.floor = *floor;
    if (s.mode != xk::driver::Mode::accurate) return;
    s.end_gap_free_pairs = parts.find('p') != std::string::npos;
    s.end_to_end_parent = parts.find('e') != std::string::npos;
  };
  return xk::run_program([&] { return xk::driver::run_xkestra(args, std::cout, options); });
}
