// One run of xKESTRA, from the command line to the shutdown.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace xk::driver {

struct RunState;
struct PhaseTime;

struct RunOptions {
  // Worker threads of the run (pairs, joins, score tables); 0: one per
  // processor core.  The output does not depend on it.  The program uses
  // the default; tests and benchmarks may choose.
  unsigned threads = 0;
  // When set, receives the wall-clock time of every phase, in order (see
  // RunState::phase_times), then "shutdown"; for benchmarks.
  std::vector<PhaseTime>* phase_times = nullptr;
};

// The whole run: removes "LOG", reads the command line (usage text on
// `console` and status 1 when it does not fit), checks that the output file
// is not the input file nor one of the run's own files, creates the output
// file, runs the phases, then shuts down (closes the output file, removes
// the run's ".drct" and ".gca" files, prints the processor times) and
// returns 0.  Fatal conditions are thrown (see common/ending.hpp); call it
// through run_program.
int run_xkestra(std::span<const std::string> args, std::ostream& console, const RunOptions& options = {});

// The phases between the output file's creation and the shutdown, in order;
// appends each phase's wall-clock time to state.phase_times.
void run_phases(RunState& state);

}  // namespace xk::driver
