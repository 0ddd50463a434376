// The all-pairs phase of xKESTRA on a real family, and its parts: the tools
// run by the input phase (converter and gamma tool), reading the gamma
// files, the pair scores, dp, and the whole phase on 1 and 2 threads.
//
// Runs in a scratch working directory staged from the folder of this
// program (bin/: xmkprof, xkordel_gamma, model_R.hmm, observed, expected).
// The input set defaults to ../shared/bench/sets/b_pkinase28.fa from the
// repository root; "--set=FILE" chooses another.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/workdir.hpp"
#include "common/ending.hpp"
#include "common/heap.hpp"
#include "driver/all_pairs.hpp"
#include "driver/fasta_input.hpp"
#include "driver/run_state.hpp"
#include "readers/gamma.hpp"
#include "scoring/dp.hpp"

namespace fs = std::filesystem;

namespace {

struct Context {
  fs::path bin;                       // folder of the built programs and data
  fs::path set;                       // the FASTA file
  fs::path work;                      // scratch working directory
  std::vector<std::string> seqs;      // residue texts after the input phase
  std::vector<std::vector<float>> gammas;
  xk::FrequencyTables freq;
  xk::ScoringTables tables;
};

xk::driver::RunState fresh_state(const Context& c, std::ostream& console, std::ostream& out) {
  xk::driver::Settings s;
  s.input = c.set.string();
  s.output = "out.txt";
  return xk::driver::RunState(s, console, out);
}

void stage(Context& c) {
  c.work = xkbench::stage_working_directory(c.bin, "xk_bench_allpairs");
}

// The input phase (converter and gamma tool for every sequence): leaves the
// gamma files the other steps read.
void input_phase(Context& c) {
  std::ostringstream console, out;
  auto rs = fresh_state(c, console, out);
  xk::driver::input_phase(rs);
  c.seqs = rs.seqchar;
}

void read_gammas(Context& c) {
  c.gammas.clear();
  for (std::size_t k = 1; k <= c.seqs.size(); ++k)
    c.gammas.push_back(xk::readgamma(std::to_string(k) + ".gca", static_cast<int>(c.seqs[k - 1].size())));
}

// What a step needs from the steps before it, when it runs alone.
void ensure_inputs(Context& c) {
  if (c.seqs.empty()) input_phase(c);
  if (c.gammas.empty()) read_gammas(c);
  if (c.tables.pair.empty()) {
    c.freq = xk::load_frequency_tables();
    c.tables = xk::prepare_tables(c.freq);
  }
}

void bm_tools(benchmark::State& st, Context& c) {
  for (auto _ : st) input_phase(c);
  st.counters["sequences"] = static_cast<double>(c.seqs.size());
}

void bm_gamma_read(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  for (auto _ : st) {
    read_gammas(c);
    benchmark::DoNotOptimize(c.gammas.data());
  }
}

void bm_load_tables(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  for (auto _ : st) {
    auto f = xk::load_frequency_tables();
    auto t = xk::prepare_tables(f);
    benchmark::DoNotOptimize(t.pair.data());
  }
}

void bm_scores(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  std::vector<float> mij;
  for (auto _ : st) {
    for (std::size_t i = 0; i < c.seqs.size(); ++i)
      for (std::size_t j = i + 1; j < c.seqs.size(); ++j) {
        mij.assign(c.seqs[i].size() * c.seqs[j].size(), 0.0f);
        xk::score_sequences(c.tables, c.seqs[i], c.seqs[j], c.gammas[i], c.gammas[j], mij);
        benchmark::DoNotOptimize(mij.data());
      }
  }
}

// As the phase scores: every sequence's ordered gamma rows and column form
// made once (inside the timing), then every pair.
void bm_scores_prepared(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  std::vector<float> mij;
  for (auto _ : st) {
    std::vector<std::vector<float>> ordered;
    std::vector<std::shared_ptr<const xk::detail::ColumnForm>> forms;
    for (std::size_t k = 0; k < c.seqs.size(); ++k) {
      ordered.push_back(xk::ordered_gamma(c.tables, c.gammas[k], static_cast<int>(c.seqs[k].size())));
      forms.push_back(xk::sequence_form(c.tables, c.seqs[k], ordered.back()));
    }
    for (std::size_t i = 0; i < c.seqs.size(); ++i)
      for (std::size_t j = i + 1; j < c.seqs.size(); ++j) {
        mij.assign(c.seqs[i].size() * c.seqs[j].size(), 0.0f);
        xk::score_sequences_ordered(c.tables, c.seqs[i], c.seqs[j], c.gammas[i], c.gammas[j], ordered[i], ordered[j],
                                    mij, forms[i].get(), forms[j].get());
        benchmark::DoNotOptimize(mij.data());
      }
  }
}

// The local aligner over every pair; st.range(0) = 1: the tables by
// columns, as the phase scores them, else by rows.
void bm_dp(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  const bool by_columns = st.range(0) == 1;
  // The pair score tables are made once, outside the timing.
  std::vector<std::vector<float>> tables;
  for (std::size_t i = 0; i < c.seqs.size(); ++i)
    for (std::size_t j = i + 1; j < c.seqs.size(); ++j) {
      std::vector<float> mij(c.seqs[i].size() * c.seqs[j].size());
      xk::score_sequences_ordered(c.tables, c.seqs[i], c.seqs[j], c.gammas[i], c.gammas[j], {}, {}, mij, nullptr,
                                  nullptr, by_columns);
      for (float& x : mij) x = x + x;
      tables.push_back(std::move(mij));
    }
  for (auto _ : st) {
    std::size_t t = 0;
    for (std::size_t i = 0; i < c.seqs.size(); ++i)
      for (std::size_t j = i + 1; j < c.seqs.size(); ++j) {
        const int n1 = static_cast<int>(c.seqs[i].size()), n2 = static_cast<int>(c.seqs[j].size());
        auto r = by_columns ? xk::dp_by_columns(n1, n2, 21.0f, 0.4f, tables[t++])
                            : xk::dp(n1, n2, 21.0f, 0.4f, tables[t++]);
        benchmark::DoNotOptimize(r.score);
      }
  }
}

void bm_all_pairs(benchmark::State& st, Context& c) {
  ensure_inputs(c);
  for (auto _ : st) {
    std::ostringstream console, out;
    auto rs = fresh_state(c, console, out);
    rs.threads = static_cast<unsigned>(st.range(0));
    rs.seqchar = c.seqs;
    for (std::size_t k = 0; k < c.seqs.size(); ++k) rs.seqID.push_back(std::to_string(k + 1));
    xk::driver::all_pairs_phase(rs);
    benchmark::DoNotOptimize(out.str().size());
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
  }
  c.set = fs::absolute(c.set);
  const fs::path start = fs::current_path();
  int status = xk::run_program([&] {
    stage(c);
    benchmark::RegisterBenchmark("AllPairs/tools_input_phase", bm_tools, std::ref(c))
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/load_tables", bm_load_tables, std::ref(c))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/gamma_read", bm_gamma_read, std::ref(c))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/pair_scores", bm_scores, std::ref(c))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/pair_scores_prepared", bm_scores_prepared, std::ref(c))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/dp", bm_dp, std::ref(c))->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AllPairs/phase", bm_all_pairs, std::ref(c))
        ->Arg(1)
        ->Arg(2)
        ->Iterations(3)
        ->UseRealTime()
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
