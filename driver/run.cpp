#include "driver/run.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <type_traits>

#include "blockalign/memory.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/interrupt.hpp"
#include "common/names.hpp"
#include "common/table.hpp"
#include "driver/alignment_files.hpp"
#include "driver/all_pairs.hpp"
#include "driver/cleanup.hpp"
#include "driver/command_line.hpp"
#include "driver/external_tools.hpp"
#include "driver/fasta_input.hpp"
#include "driver/run_folder.hpp"
#include "driver/run_state.hpp"
#include "blockalign/baa.hpp"
#include "blockalign/frame.hpp"
#include "blockalign/layered.hpp"
#include "driver/initial_msa.hpp"
#include "driver/merge_order.hpp"
#include "driver/pair_report.hpp"
#include "driver/progressive_msa.hpp"
#include "driver/refinement_phase.hpp"
#include "driver/state_model.hpp"
#include "environment/machine.hpp"
#include "readers/profiles.hpp"
#include "scoring/dp.hpp"
#include "scoring/dp_ends.hpp"
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

// Whether two names are one file: through any path or link when it exists,
// by their absolute, normalised paths when it does not exist yet.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
  if (ec) return false;
  const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return !ec && pa == pb;
}

// A further file the run writes (`option`'s value, none when empty) follows
// the rules of the output file, and may be neither the output file nor
// `other` (another such file).
void check_extra_output(const std::string& file, const char* option, const Settings& s, const std::string& other) {
  if (file.empty()) return;
  const std::string what = std::string("ERROR: The file of ") + option + ", " + file + ", ";
  if (same_file(file, s.input)) throw FatalStop(what + "is the input file!!!");
  if (same_file(file, s.output) || (!other.empty() && same_file(file, other)))
    throw FatalStop(what + "is another file of this run!!!");
  if (is_own_file(file, true))
    throw FatalStop(what + "is one of this program's own files in the working directory; choose another name!!!");
  // Written at the end of the run: a name that cannot become a file is
  // refused now rather than after all the work.
  std::error_code ec;
  const fs::path folder = fs::path(file).parent_path();
  if (fs::is_directory(file, ec) || (!folder.empty() && !fs::is_directory(folder, ec)))
    throw FatalStop(what + "cannot be written: it is a folder or its folder does not exist!!!");
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
  check_extra_output(s.alignment_file, "-o", s, {});
  check_extra_output(s.tree_file, "-t", s, s.alignment_file);
}

}  // namespace

namespace {

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void make_gamma(const std::string& profile) { drct2gca(profile); }

// A join whose block-aligner tables would take more than `limit` bytes
// (0: no limit) stops the run before any of them is allocated.
// `a` and `b` are the members' profile files as the console shows them.
void check_merge_memory(const std::string& a, const std::string& b, int len1, int len2, std::uint64_t limit) {
  const std::uint64_t need = baa_peak_bytes(len1, len2);
  if (limit == 0 || need <= limit) return;
  constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
  throw FatalStop("ERROR: Joining " + file_stem(a) + " (" + std::to_string(len1) + " positions) and " + file_stem(b) +
                  " (" + std::to_string(len2) + " positions) needs about " + std::to_string((need + kMB - 1) / kMB) +
                  " MB for the block aligner's tables, more than the limit of " + std::to_string(limit / kMB) +
                  " MB (set it with -l)!!!");
}

// Removes what an earlier run may have left under the file stems of this
// run's joins (profiles, gamma files), so that no stale file passes for one
// of this run's.
void remove_stale_join_files(int n) {
  for (int k = 1; k < n; ++k) {
    std::error_code ec;
    fs::remove(join_stem(k) + ".drct", ec);
    fs::remove(join_stem(k) + ".gca", ec);
  }
}

// The block aligner's big tables between merges.  Up to `capacity` sets
// (one per thread) are held, running and kept together; a merge takes the
// smallest kept set that is large enough and at most four times what it
// needs, else makes its own with room (address space) for twice that, and
// a kept set is released when holding it would pass the capacity.  A set's
// memory is what the largest merge that used it wrote: small merges leave
// the sets of much larger ones alone, so that those are free for the large
// merges and the memory held stays near what the running merges need.
class TablePool {
 public:
  explicit TablePool(std::size_t capacity) : capacity_(std::max<std::size_t>(1, capacity)) {}

  LayeredTables take(std::size_t cells) {
    std::lock_guard lock(m_);
    ++out_;
    auto best = kept_.end();
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
      const std::size_t have = it->M.size();
      if (have >= cells && have <= 4 * cells && (best == kept_.end() || have < best->M.size())) best = it;
    }
    if (best != kept_.end()) {
      LayeredTables t = std::move(*best);
      kept_.erase(best);
      return t;
    }
    if (!kept_.empty() && kept_.size() + out_ > capacity_) kept_.erase(kept_.begin());
    LayeredTables fresh;
    fresh.reserve = 2 * cells;  // room for the larger merges further up the tree
    return fresh;
  }
  void give(LayeredTables&& t) {
    std::lock_guard lock(m_);
    --out_;
    if (kept_.size() + out_ < capacity_) kept_.push_back(std::move(t));
  }

 private:
  std::mutex m_;
  std::size_t capacity_;
  std::vector<LayeredTables> kept_;
  std::size_t out_ = 0;  // sets handed out
};

// Merge order and parent profile: one block-aligner merge per join, joins
// whose members are ready at once on the run's threads.
ParentFiles parent_phase(RunState& state, std::vector<Join>& joins) {
  remove_stale_join_files(state.n());
  TablePool pool(state.threads);
  // The accurate mode aligns the groups of the tree as they are joined.
  const bool progressive = state.settings.mode == Mode::accurate;
  // Joins run side by side: each holds its gamma tool's output in memory,
  // under its member's name, until its turn (a failed tool's too).
  HeldOutputs held_outputs;
  auto make_join_gamma = [&held_outputs](const std::string& profile, const std::string& held) {
    HeldOutput output;
    std::exception_ptr failed;
    try {
      drct2gca(profile, ToolOutput{&output});
    } catch (...) {
      failed = std::current_exception();
    }
    held_outputs.put(held, std::move(output));
    if (failed) std::rethrow_exception(failed);
  };
  ParentPhaseTools tools{file_exists, make_join_gamma, [&](const MergeFiles& files, std::ostream& console) {
                           check_interrupt();
                           const int len1 = getdrctlen(files.profile1), len2 = getdrctlen(files.profile2);
                           check_merge_memory(files.shown1, files.shown2, len1, len2, state.memory_limit);
                           LayeredTables keep = pool.take(layered_cells(len1, len2, block_limit(len1, len2)));
                           std::vector<float> match;
                           baa(files, len1, len2, state.tables, state.settings.block_bias(), state.settings.seed,
                               console, state.threads, &keep, progressive ? &match : nullptr);
                           pool.give(std::move(keep));
                           if (!progressive) return;
                           state.groups.join(file_stem(files.profile1), file_stem(files.profile2),
                                             file_stem(files.merged), len1, len2, match, state.library,
                                             static_cast<float>(state.settings.accurate_library));
                         },
                         [](const std::string& profile) { return getdrctlen(profile); },
                         [&held_outputs](const std::string& held, bool add) {
                           const HeldOutput output = held_outputs.take(held);
                           if (add) pass_on_tool_output(output);
                         }};
  ParentFiles parent = run_parent_phase(state.n(), state.dist.values(), tools, state.console, state.threads, &joins);
  state.dist = SquareTable();  // released: no later phase reads it
  return parent;
}

// How every sequence is aligned to a parent: locally with the classic
// penalties, or (accurate mode) end to end in the sequence, free at the
// parent's ends, with that mode's penalties.
InitialMsaTools parent_alignment_tools(RunState& state) {
  InitialMsaTools tools;
  tools.exists = file_exists;
  tools.make_gamma = make_gamma;
  tools.load = [](const std::string& profile) { return load_profile(profile); };
  // One sequence's alignment in two steps (see InitialMsaTools::stage): the
  // classic routine's changes in turn (the parent's gamma table, loaded
  // once, takes another 1e-9 with every sequence, as the phase has always
  // scored, and the frequency tables are rescaled again), then the scores
  // and the alignment from the parent's gamma table as that stage left it:
  // a copy when later stages may run first (`side_by_side`), else the table
  // itself.  `threads`: the scorer's threads within the alignment.
  auto staged = [&state](ProfileData& par, unsigned threads, bool side_by_side) {
    check_interrupt();
    ScoringTables prepared = stage_drctmij(par.length, par.gamma, state.frequencies);
    subtract_independence_null(prepared, state.settings.null_share());
    auto tables = std::make_shared<const ScoringTables>(std::move(prepared));
    auto copy = side_by_side ? std::make_shared<const std::vector<float>>(par.gamma) : nullptr;
    return [&state, &par, tables, copy, threads](ProfileData& child) {
      check_interrupt();
      // Every entry is scored before it is read.
      const std::size_t cells = static_cast<std::size_t>(par.length) * static_cast<std::size_t>(child.length);
      const auto table = make_scratch_table<float>(cells, "align matrix");
      const std::span<float> scores(table.get(), cells);
      // The local aligner reads the table by columns: scored so for it.
      const Settings& set = state.settings;
      const bool by_columns = !set.end_to_end_parent;
      score_staged_drctmij(*tables, par.length, child.length, par.pro, child.pro, copy ? *copy : par.gamma,
                           child.gamma, scores, threads, by_columns);
      for (float& x : scores) x = x + x + state.settings.shift;
      if (set.end_to_end_parent)
        return dp_ends(par.length, child.length, set.parent_go(), set.parent_ge(), scores, kParentEnds);
      return dp_by_columns(par.length, child.length, set.go, set.ge, scores);
    };
  };
  tools.align = [&state, staged](ProfileData& par, ProfileData& child) {
    return staged(par, state.threads, false)(child);
  };
  // Side by side, each alignment scores on its own thread.
  tools.stage = [staged](ProfileData& par) { return std::function<DpResult(ProfileData&)>(staged(par, 1, true)); };
  tools.threads = state.threads;
  tools.progress = [&state](int s, int n) {
    state.console << progress_bar(s, n);
    state.console.flush();
  };
  return tools;
}

// Every sequence against the parent profile, reported and assembled; in
// the accurate mode, then refined.  Returns the alignment with the parent its
// rows were aligned to.
ParentAlignment initial_msa_phase(RunState& state, const ParentFiles& parent, const std::vector<Join>& joins) {
  const InitialMsaTools tools = parent_alignment_tools(state);
  ParentAlignment a{run_initial_msa_phase(state.console, state.out, state.seqID, parent, tools), parent};
  if (state.settings.mode == Mode::accurate)
    a = refinement_phase(state, std::move(a), tools,
                         joins.empty() ? std::nullopt : state.groups.alignment(joins.back().stem, state.n()));
  return a;
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
  if (state.settings.mode == Mode::accurate) {
    // The classic report has no such line: its absence says the classic run.
    state.out << "Mode: accurate (gap penalties " << fw::shortest(static_cast<double>(state.settings.accurate_go))
              << " and " << fw::shortest(static_cast<double>(state.settings.accurate_ge)) << ", block-aligner bias "
              << fw::shortest(static_cast<double>(state.settings.block_bias())) << ", independence null share "
              << fw::shortest(static_cast<double>(state.settings.null_share())) << ", pair posteriors' share at joins "
              << fw::shortest(state.settings.accurate_library) << " after "
              << state.settings.consistency_rounds << " consistency rounds, at most " << state.settings.rounds
              << " refinement rounds)\n\n";
  }
  timed(state, "input", [&] { input_phase(state); });          // sequences, profile files, gamma files
  timed(state, "all pairs", [&] { all_pairs_phase(state); });  // pair reports, aliscore, dist
  std::vector<Join> joins;
  const ParentFiles parent = timed(state, "parent profile", [&] { return parent_phase(state, joins); });
  const ParentAlignment final = timed(state, "initial MSA", [&] { return initial_msa_phase(state, parent, joins); });
  timed(state, "state model", [&] {
    run_state_model_phase(state.console, state.out, state.seqID, state.aliscore.values(), final.msa.rows);
    state.out.flush();
  });
  if (!state.settings.alignment_file.empty() || !state.settings.tree_file.empty())
    timed(state, "alignment files", [&] { write_alignment_files(state, final.msa, joins, final.parent); });
}

int run_xkestra(std::span<const std::string> args, std::ostream& console, const RunOptions& options) {
  if (const std::optional<InfoRequest> request = info_request(args)) {
    console << (*request == InfoRequest::version ? version_text() : usage_text());
    console.flush();
    return 0;
  }
  {
    // A missing log is no error.  An input that is the log itself (by name
    // or through a link) is kept: it is refused below, and must survive.
    std::error_code ec;
    const std::string input =
        args.size() >= 2 && args.size() % 2 == 0 ? without_trailing_blanks(args[0]) : std::string();
    if (input.empty() || !fs::equivalent(input, kLogFile, ec)) fs::remove(kLogFile, ec);
  }
  std::optional<Settings> settings = parse_command_line(args);
  if (settings && options.adjust) options.adjust(*settings);
  if (!settings) {
    console << usage_text();
    console.flush();
    return 1;
  }
  check_file_names(*settings);
  // Stockholm's structure lines need the classes of the model's states.
  if (!settings->alignment_file.empty() && settings->format == msa::Format::stockholm) structure_state_letters();

  std::ofstream out(settings->output, std::ios::binary | std::ios::trunc);
  if (!out) throw FatalStop("ERROR: Cannot create the output file " + settings->output + "!!!");

  // The -o and -t files are written from inside the private folder: hold
  // them by their absolute paths so they land where the user named them.
  Settings chosen = *settings;
  for (std::string* file : {&chosen.alignment_file, &chosen.tree_file})
    if (!file->empty()) *file = fs::absolute(*file).string();

  RunState state(chosen, console, out);
  state.threads = thread_count(options.threads != 0 ? options.threads : settings->threads);
  state.memory_limit = settings->memory_limit.value_or(usable_memory_bytes() / 4 * 3);
  state.input_path = fs::absolute(settings->input).string();
  {
    // The phases work in the run's private folder; it goes with all the
    // intermediate files on every way out, fatal stops and interrupts too.
    const PrivateFolder work(".", run_folder_links());
    run_phases(state);
  }

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
