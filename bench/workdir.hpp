// Scratch working directories for the benchmarks that run the main
// program's phases: the built tools and data files linked in from the
// folder of the benchmark program itself (bin/).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace xkbench {

namespace fs = std::filesystem;

// The folder of the running program: bin/ of the build, beside the tools.
inline fs::path program_folder() { return fs::canonical("/proc/self/exe").parent_path(); }

// The family the benchmarks use unless told otherwise, from the
// repository root's shared data.
inline fs::path default_family() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "shared/bench/sets/b_pkinase28.fa";
}

// Makes a fresh folder under the system's temporary folder named after
// `tag`, links the converter, the gamma tool, its model and the two
// frequency files of `bin` into it, and makes it the current directory.
// Returns the folder; the caller removes it.
inline fs::path stage_working_directory(const fs::path& bin, const std::string& tag) {
  std::string tmpl = (fs::temp_directory_path() / (tag + ".XXXXXX")).string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  const fs::path work = tmpl;
  for (const char* f : {"xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"}) {
    if (!fs::exists(bin / f)) throw std::runtime_error("missing " + (bin / f).string());
    fs::create_symlink(bin / f, work / f);
  }
  fs::current_path(work);
  return work;
}

}  // namespace xkbench
