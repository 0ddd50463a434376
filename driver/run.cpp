#include "driver/run.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/ending.hpp"
#include "driver/all_pairs.hpp"
#include "driver/cleanup.hpp"
#include "driver/command_line.hpp"
#include "driver/external_tools.hpp"
#include "driver/fasta_input.hpp"
#include "driver/run_state.hpp"

namespace xk::driver {

namespace {

namespace fs = std::filesystem;

// Whether `file` names an entry of the working directory.
bool in_working_directory(const std::string& file) {
  fs::path parent = fs::path(file).parent_path();
  if (parent.empty()) return true;
  std::error_code ec;
  return fs::equivalent(parent, ".", ec);
}

// Files of the working directory that the run reads and must not overwrite.
constexpr const char* kRunInputs[] = {"observed", "expected", kGammaModel, "xmkprof", "xkordel_gamma"};

// Whether `file` is, or would become, one of the files the run itself
// writes or removes in the working directory ("LOG", k.seq, k.drct, k.gca,
// merged profiles); with `inputs_too`, also the data files and tools it
// reads, through any path or link.
bool is_own_file(const std::string& file, bool inputs_too) {
  const std::string name = fs::path(file).filename().string();
  bool own = name == kLogFile || is_run_file_name(name, true);
  if (inputs_too)
    for (const char* f : kRunInputs) own = own || name == f;
  if (own && in_working_directory(file)) return true;
  if (!inputs_too) return false;
  std::error_code ec;
  if (fs::equivalent(file, kLogFile, ec)) return true;
  for (const char* f : kRunInputs)
    if (fs::equivalent(file, f, ec)) return true;
  return false;
}

// The input file must survive the run: the output may not be the input
// (through any path or link), and neither may be a file the run itself
// writes, removes or reads in the working directory.
void check_file_names(const Settings& s) {
  std::error_code ec;
  if (fs::equivalent(s.input, s.output, ec))
    throw FatalStop("ERROR: The output file " + s.output + " is the input file " + s.input + "!!!");
  if (is_own_file(s.input, false))
    throw FatalStop("ERROR: " + s.input +
                    " is one of this program's own files in the working directory; choose another input file name!!!");
  if (is_own_file(s.output, true))
    throw FatalStop("ERROR: " + s.output +
                    " is one of this program's own files in the working directory; choose another output file name!!!");
}

}  // namespace

void run_phases(RunState& state) {
  input_phase(state);      // sequences, profile files, gamma files
  all_pairs_phase(state);  // pair reports, aliscore, dist
  // The merge order and parent profile, the initial multiple alignment and
  // the state model follow here, in that order, each reading what the
  // phases before it left in `state`.
}

int run_xkestra(std::span<const std::string> args, std::ostream& console, const RunOptions& options) {
  {
    std::error_code ec;
    fs::remove(kLogFile, ec);  // a missing log is no error
  }
  const std::optional<Settings> settings = parse_command_line(args);
  if (!settings) {
    console << usage_text();
    console.flush();
    return 1;
  }
  check_file_names(*settings);

  std::ofstream out(settings->output, std::ios::binary | std::ios::trunc);
  if (!out) throw FatalStop("ERROR: Cannot create the output file " + settings->output + "!!!");

  RunState state(*settings, console, out);
  state.threads = options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  run_phases(state);

  out.close();
  if (!out) throw IoError(settings->output, "cannot write the output file");
  remove_run_files(".");
  console << elapsed_line();
  console.flush();
  return 0;
}

}  // namespace xk::driver
