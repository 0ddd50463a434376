#include "driver/run.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <type_traits>

#include "common/ending.hpp"
#include "common/table.hpp"
#include "driver/all_pairs.hpp"
#include "driver/cleanup.hpp"
#include "driver/command_line.hpp"
#include "driver/external_tools.hpp"
#include "driver/fasta_input.hpp"
#include "driver/run_state.hpp"
#include "blockalign/baa.hpp"
#include "blockalign/frame.hpp"
#include "blockalign/layered.hpp"
#include "driver/initial_msa.hpp"
#include "driver/merge_order.hpp"
#include "driver/pair_report.hpp"
#include "driver/state_model.hpp"
#include "readers/profiles.hpp"
#include "scoring/dp.hpp"
#include "scoring/scores.hpp"

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
  std::error_code ec;
  if (fs::equivalent(file, kLogFile, ec)) return true;  // the tools append to it
  if (!inputs_too) return false;
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

namespace {

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void make_gamma(const std::string& profile) { drct2gca(profile); }

// Removes what an earlier run may have left under the file stems of this
// run's joins, so that no stale gamma file passes for one of this run's.
void remove_stale_join_files(int n) {
  for (int k = 1; k < n; ++k) {
    std::error_code ec;
    fs::remove(join_stem(k) + ".drct", ec);
    fs::remove(join_stem(k) + ".gca", ec);
  }
}

// The block aligner's big tables between merges.  One set is kept while no
// merge runs; a merge takes it when it is large enough and not more than
// twice what the merge needs.  While merges run side by side, the sets they
// hand back are released, so that the memory held stays what the running
// merges need.
class TablePool {
 public:
  LayeredTables take(std::size_t cells) {
    std::lock_guard lock(m_);
    ++out_;
    const std::size_t have = kept_.M.size();
    LayeredTables t = std::move(kept_);
    kept_ = LayeredTables{};
    if (have >= cells && have <= 2 * cells) return t;
    return {};
  }
  void give(LayeredTables&& t) {
    std::lock_guard lock(m_);
    if (--out_ == 0) kept_ = std::move(t);
  }

 private:
  std::mutex m_;
  LayeredTables kept_;
  int out_ = 0;  // sets handed out
};

// Merge order and parent profile: one block-aligner merge per join, joins
// whose members are ready at once on the run's threads.
ParentFiles parent_phase(RunState& state) {
  remove_stale_join_files(state.n());
  TablePool pool;
  ParentPhaseTools tools{file_exists, make_gamma, [&](const MergeFiles& files, std::ostream& console) {
                           const int len1 = getdrctlen(files.profile1), len2 = getdrctlen(files.profile2);
                           LayeredTables keep = pool.take(layered_cells(len1, len2, block_limit(len1, len2)));
                           baa(files, len1, len2, state.tables, state.settings.bias, state.settings.seed, console,
                               state.threads, &keep);
                           pool.give(std::move(keep));
                         },
                         [](const std::string& profile) { return getdrctlen(profile); }};
  ParentFiles parent = run_parent_phase(state.n(), state.dist.values(), tools, state.console, state.threads);
  state.dist = SquareTable();  // released: no later phase reads it
  return parent;
}

// Every sequence against the parent profile, reported and assembled.
std::vector<std::string> initial_msa_phase(RunState& state, const ParentFiles& parent) {
  InitialMsaTools tools;
  tools.exists = file_exists;
  tools.make_gamma = make_gamma;
  tools.load = [](const std::string& profile) { return load_profile(profile); };
  tools.align = [&state](ProfileData& par, ProfileData& child) {
    std::vector<float> scores = make_table<float>(
        static_cast<std::size_t>(par.length) * static_cast<std::size_t>(child.length), "align matrix");
    // The classic routine: the parent's gamma table, loaded once, takes
    // another 1e-9 with every sequence, as the phase has always scored.
    makedrctmij(par.length, child.length, par.pro, child.pro, par.gamma, child.gamma, state.frequencies, scores,
                state.threads);
    for (float& x : scores) x = x + x + state.settings.shift;
    return dp(par.length, child.length, state.settings.go, state.settings.ge, scores);
  };
  tools.progress = [&state](int s, int n) {
    state.console << progress_bar(s, n);
    state.console.flush();
  };
  return run_initial_msa_phase(state.console, state.out, state.seqID, parent, tools);
}

using WallClock = std::chrono::steady_clock;

double seconds_since(WallClock::time_point start) {
  return std::chrono::duration<double>(WallClock::now() - start).count();
}

// Runs one phase and records its wall-clock time under `name`.
template <class Phase>
auto timed(RunState& state, const char* name, Phase&& phase) {
  const auto start = WallClock::now();
  if constexpr (std::is_void_v<decltype(phase())>) {
    phase();
    state.phase_times.push_back({name, seconds_since(start)});
  } else {
    auto result = phase();
    state.phase_times.push_back({name, seconds_since(start)});
    return result;
  }
}

}  // namespace

void run_phases(RunState& state) {
  timed(state, "input", [&] { input_phase(state); });          // sequences, profile files, gamma files
  timed(state, "all pairs", [&] { all_pairs_phase(state); });  // pair reports, aliscore, dist
  const ParentFiles parent = timed(state, "parent profile", [&] { return parent_phase(state); });
  const std::vector<std::string> rows =
      timed(state, "initial MSA", [&] { return initial_msa_phase(state, parent); });
  timed(state, "state model", [&] {
    run_state_model_phase(state.console, state.out, state.seqID, state.aliscore.values(), rows);
    state.out.flush();
  });
}

int run_xkestra(std::span<const std::string> args, std::ostream& console, const RunOptions& options) {
  {
    // A missing log is no error.  An input that is the log itself (by name
    // or through a link) is kept: it is refused below, and must survive.
    std::error_code ec;
    std::string input = args.size() >= 2 && args.size() % 2 == 0 ? args[0] : std::string();
    while (!input.empty() && input.back() == ' ') input.pop_back();
    if (input.empty() || !fs::equivalent(input, kLogFile, ec)) fs::remove(kLogFile, ec);
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

  const auto shutdown = WallClock::now();
  out.close();
  if (!out) throw IoError(settings->output, "cannot write the output file");
  remove_run_files(".");
  console << elapsed_line();
  console.flush();
  if (options.phase_times) {
    *options.phase_times = std::move(state.phase_times);
    options.phase_times->push_back({"shutdown", seconds_since(shutdown)});
  }
  return 0;
}

}  // namespace xk::driver
