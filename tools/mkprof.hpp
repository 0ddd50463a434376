// The sequence-to-profile converter behind `xmkprof`.
#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

#include "common/residues.hpp"

namespace xk {

// The 20 profile values of a converter letter (already upper-cased, one of
// kConverterAlphabet): one-hot for a residue, kBackground for "X", half the
// background of D and N for "B", of E and Q for "Z".
std::array<float, 20> letter_profile(char letter);

// Runs the converter: args are the command-line arguments after the program
// name.  Reads the sequence from `in`, writes the prompt, echo and summary
// lines to `out`, writes the profile file.  Ends by throwing: FatalStop for
// the usage and bad-letter stops, NormalStop("MKPROF: Normal end") after a
// normal end, IoError when the file cannot be written.
[[noreturn]] void mkprof(const std::vector<std::string>& args, std::istream& in, std::ostream& out);

}  // namespace xk
