// Small synthetic inputs for the main program's tests: frequency files whose
// scores are easy to work by hand, and a stand-in gamma tool.
//
// With these files every state has the same table: a pair of equal residues
// scores log2(20) bits (doubled: 8.64 before the shift), a pair of unequal
// residues about -55 bits, so alignments are the runs of identical residues,
// joined across a gap when the runs on both sides pay the opening penalty.
#pragma once

#include <sys/stat.h>

#include <string>

#include "testutil.hpp"

namespace xktest {

// "observed": 281 equal blocks, 0.5 on the diagonal of each, 0 elsewhere.
inline std::string diagonal_observed() {
  std::string block;
  for (int a = 0; a < 20; ++a) block += std::string(static_cast<std::size_t>(15 * a), ' ') + "            0.5\n";
  block += "state\n\n";
  std::string text;
  for (int s = 0; s < 281; ++s) text += block;
  return text;
}

// "expected": one state line with equal frequencies (the rest read as 0).
inline std::string flat_expected() {
  std::string line;
  for (int a = 0; a < 20; ++a) line += "            0.5";
  return line + "\n";
}

// A gamma line with every one of the 282 states at 0.003546.
inline std::string uniform_gamma_line() {
  std::string line = "GAMMA  ";
  for (int m = 0; m < 282; ++m) line += "  .003546";
  return line;
}

// A stand-in for the gamma tool: checks its arguments, writes a RESIDUE
// line with the record's residue letter and one uniform GAMMA line per
// record of the profile file, reports on standard output
// (the log) and on standard error (the terminal).
inline std::string fake_gamma_tool() {
  return "#!/bin/sh\n"
         "[ \"$1\" = model_R.hmm ] && [ \"$4\" = 0 ] && [ $# -eq 4 ] || exit 3\n"
         "[ -f \"$2\" ] || exit 4\n"
         "n=$(( $(wc -c < \"$2\") / 136 ))\n"
         ": > \"$3\"\n"
         "i=0\n"
         "while [ $i -lt $n ]; do\n"
         "  printf 'RESIDUE %s\\n' \"$(dd if=\"$2\" bs=1 skip=$((i*136+9)) count=1 2>/dev/null)\" >> \"$3\"\n"
         "  echo '" + uniform_gamma_line() + "' >> \"$3\"\n"
         "  i=$((i+1))\n"
         "done\n"
         "echo \"gamma $2 $3 $n\"\n"
         "echo \"gamma tool note $2\" >&2\n";
}

inline void write_executable(const std::string& path, const std::string& text) {
  write_file(path, text);
  ::chmod(path.c_str(), 0755);
}

// A working directory for xKESTRA: the built converter, the stand-in gamma
// tool, its model file and the two frequency files.
inline void stage_working_directory(const TempDir& dir) {
  std::filesystem::create_symlink(program("xmkprof"), dir.file("xmkprof"));
  write_executable(dir.file("xkordel_gamma"), fake_gamma_tool());
  write_file(dir.file("model_R.hmm"), "stand-in model\n");
  write_file(dir.file("observed"), diagonal_observed());
  write_file(dir.file("expected"), flat_expected());
}

}  // namespace xktest
