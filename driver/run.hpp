// One run of xKESTRA, from the command line to the shutdown.
#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "driver/settings.hpp"

namespace xk::driver {

struct RunState;
struct PhaseTime;

struct RunOptions {
  // The run's threads, over "-p"; 0: as the command line says.  Tests and
  // benchmarks may choose.
  unsigned threads = 0;
  // When set, receives the wall-clock time of every phase, in order (see
  // RunState::phase_times), then "shutdown"; for benchmarks.
  std::vector<PhaseTime>* phase_times = nullptr;
  // When set, changes the settings read from the command line; for trials
  // of the accurate mode's gap penalties and parts on training families.
  std::function<void(Settings&)> adjust;
};

// The whole run: answers "--help"/"-h" (usage text) and "--version" on
// `console` with 0; otherwise removes "LOG", reads the command line (usage
// text on `console` and status 1 when it does not fit), checks that the
// output file (and the -o and -t files) is not the input file nor one of the run's own files, creates
// the output file, runs the phases in a private folder (driver/run_folder.hpp;
// the current directory meanwhile, removed with its files on every way
// out), then shuts down (closes the output file, removes stale ".drct" and
// ".gca" files of the working directory, prints the processor times) and
// returns 0.  Fatal conditions are thrown (see common/ending.hpp); call it
// through run_program.
int run_xkestra(std::span<const std::string> args, std::ostream& console, const RunOptions& options = {});

// The phases between the output file's creation and the shutdown, in order,
// then the alignment and tree files when asked for; appends each phase's
// wall-clock time to state.phase_times.
void run_phases(RunState& state);

}  // namespace xk::driver
