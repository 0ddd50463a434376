// Starting the converter and the gamma tool.  Both are started directly
// (no shell) in the working directory, waited for, and judged by their exit
// status; their standard output is appended to "LOG" (or held in memory).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xk::driver {

inline constexpr char kLogFile[] = "LOG";
inline constexpr char kConverter[] = "./xmkprof";
inline constexpr char kGammaTool[] = "./xkordel_gamma";
inline constexpr char kGammaModel[] = "model_R.hmm";

// How a started program's standard streams are connected.
struct Redirections {
  std::optional<std::string> stdin_from;     // opened for reading; unset: inherited
  std::optional<std::string> stdout_append;  // opened for appending (created); unset: inherited
  bool stderr_discard = false;               // to /dev/null; otherwise inherited
  std::optional<std::string> stderr_append;  // opened for appending (created); unset: as above
  // Read through a pipe while the program runs and appended here (these
  // take the place of the settings above for their stream).
  std::string* stdout_capture = nullptr;
  std::string* stderr_capture = nullptr;
};

// A tool's output held in memory while tools run side by side, until the
// run adds it to "LOG" and the terminal in sequence order.
struct HeldOutput {
  std::string log;     // standard output
  std::string errors;  // standard error
};

// Where a tool's output goes: the standard output appended to "LOG", the
// gamma tool's standard error to the terminal; or, with `held`, both
// streams into it.
struct ToolOutput {
  HeldOutput* held = nullptr;
};

// Adds a held standard output to "LOG" and a held standard error to the
// terminal.  Throws IoError when LOG cannot be appended to.
void pass_on_tool_output(const HeldOutput& held);

// The output of tools that run side by side, held by name (a join member's
// stem) until its turn; safe to use from several threads.
class HeldOutputs {
 public:
  void put(const std::string& name, HeldOutput output);
  // The output held under `name` (none: empty), no longer held.
  HeldOutput take(const std::string& name);

 private:
  std::mutex m_;
  std::map<std::string, HeldOutput> held_;
};

// Starts argv[0] (a path, not searched for) with the given arguments and
// redirections and waits for it.  Returns its exit status; -1 when it could
// not be started (missing program, redirection file that cannot be opened)
// or did not end normally (killed by a signal).  An interrupt received
// before the start or during the wait (common/interrupt.hpp) stops the
// tool with SIGTERM, waits for it and throws Interrupted.
int run_tool(const std::vector<std::string>& argv, const Redirections& redirections);

// The converter: "./xmkprof STEM.drct" with standard input from
// `sequence_file`, standard output appended to "LOG", standard error
// discarded.  Returns the profile file name.  A status other than 0 is the
// FatalStop "ERROR: System command for making drct files!!!".
std::string mkprof(const std::string& sequence_file, const ToolOutput& output = {});

// The gamma tool: "./xkordel_gamma model_R.hmm PROFILE STEM.gca 0" with
// standard output appended to "LOG" and standard error on the terminal.
// Returns the gamma file name.  A status other than 0 is the FatalStop
// "ERROR: System command for making gca files!!!".
std::string drct2gca(const std::string& profile_file, const ToolOutput& output = {});

}  // namespace xk::driver
