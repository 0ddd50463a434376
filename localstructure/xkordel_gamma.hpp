// The gamma tool behind `xkordel_gamma MODEL PROFILE GAMMA MODE`: reads the
// local-structure model and a profile file (136-byte records), computes the
// posterior of every state 0..281 at every position and writes the gamma
// file.  MODE is accepted and has no effect.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace xk::ls {

// The usage text (several lines, ending in a line end).
std::string usage_text();

// Runs the tool on the arguments after the program name (exactly four).
// Writes the one-line summary to `out` and returns 0.  Every failure is a
// FatalStop naming the file: "ERROR: Cannot read model file ...!!!",
// "ERROR: <model> line <n>: ...!!!", "ERROR: Cannot read profile file
// ...!!!" (also for a damaged profile file or one without positions),
// "ERROR: Cannot write gamma file ...!!!".
int xkordel_gamma(const std::vector<std::string>& args, std::ostream& out);

}  // namespace xk::ls
