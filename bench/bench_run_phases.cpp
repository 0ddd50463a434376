// One whole run of xKESTRA on a real family, phase by phase: the wall-clock
// seconds of the input phase (converter and gamma tool per sequence), the
// all-pairs phase, the parent profile (one block-aligner merge per join),
// the initial multiple alignment, the state model and the shutdown, as
// counters of a single iteration whose time is the whole run's.
//
// Runs in a fresh scratch working directory staged from the folder of this
// program (bin/: xmkprof, xkordel_gamma, model_R.hmm, observed, expected),
// with the block aligner seeded ("-r"), so the run is the same every time.
// Options besides Google Benchmark's:
//   --set=FILE    the FASTA file (default ../shared/bench/sets/b_pkinase28.fa
//                 from the repository root)
//   --seed=N      the seed given with "-r" (default 1)
//   --threads=N   workers of the all-pairs phase (default 0: one per core)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/workdir.hpp"
#include "common/ending.hpp"
#include "common/heap.hpp"
#include "driver/run.hpp"
#include "driver/run_state.hpp"

namespace fs = std::filesystem;

namespace {

struct Context {
  fs::path bin;   // folder of the built programs and data
  fs::path set;   // the FASTA file
  fs::path work;  // scratch working directory of the current run
  std::string seed = "1";
  unsigned threads = 0;
};

// A fresh working directory with the tools and data files a run needs and
// a copy of the input family; becomes the current directory.
void stage(Context& c) {
  c.work = xkbench::stage_working_directory(c.bin, "xk_bench_run");
  fs::copy_file(c.set, c.work / "in.fa");
}

// Counter names of the phases, as the run records them.
std::string counter_name(const std::string& phase) {
  std::string name = phase;
  for (char& ch : name)
    if (ch == ' ') ch = '_';
  return name + "_s";
}

void bm_run(benchmark::State& st, Context& c) {
  const fs::path start = fs::current_path();
  for (auto _ : st) {
    st.PauseTiming();
    stage(c);
    st.ResumeTiming();
    std::ostringstream console;
    std::vector<xk::driver::PhaseTime> phases;
    const std::vector<std::string> args{"in.fa", "out.txt", "-r", c.seed};
    xk::driver::RunOptions options;
    options.threads = c.threads;
    options.phase_times = &phases;
    const auto t0 = std::chrono::steady_clock::now();
    const int status = xk::driver::run_xkestra(args, console, options);
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    st.SetIterationTime(total);
    if (status != 0) st.SkipWithError("xKESTRA ended with a non-zero status");
    for (const auto& p : phases) st.counters[counter_name(p.name)] = p.seconds;
    st.counters["total_s"] = total;
    st.PauseTiming();
    fs::current_path(start);
    std::error_code ec;
    fs::remove_all(c.work, ec);
    st.ResumeTiming();
  }
}

}  // namespace

int main(int argc, char** argv) {
  xk::keep_freed_tables_in_heap();  // as xKESTRA's own main
  benchmark::Initialize(&argc, argv);
  Context c;
  c.bin = xkbench::program_folder();
  c.set = xkbench::default_family();
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a.rfind("--set=", 0) == 0) c.set = a.substr(6);
    if (a.rfind("--seed=", 0) == 0) c.seed = a.substr(7);
    if (a.rfind("--threads=", 0) == 0) c.threads = static_cast<unsigned>(std::stoul(a.substr(10)));
  }
  c.set = fs::absolute(c.set);
  const fs::path start = fs::current_path();
  const int status = xk::run_program([&] {
    benchmark::RegisterBenchmark(("Run/" + c.set.stem().string()).c_str(), bm_run, std::ref(c))
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
  });
  benchmark::Shutdown();
  std::error_code ec;
  fs::current_path(start, ec);
  if (!c.work.empty()) fs::remove_all(c.work, ec);
  return status;
}
