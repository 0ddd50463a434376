// The readers under fuzzing, each with its seed input and a run over one
// (mutated) input.  A run may end in the suite's own endings (FatalStop,
// IoError, NotFound): that is a refusal, the wanted outcome for a damaged
// file.  Any other exception, a crash or a sanitizer report is a fault.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace xk::fuzz {

struct Target {
  std::string name;
  std::string seed;  // a well-formed input
  // Reads `bytes`; `scratch` is a file path the run may write them to.
  std::function<void(const std::string& bytes, const std::string& scratch)> run;
};

// The FASTA reader, the profile readers, the gamma readers and the model
// reader; the model seed is read from `model_file`.
std::vector<Target> reader_targets(const std::filesystem::path& model_file);

}  // namespace xk::fuzz
