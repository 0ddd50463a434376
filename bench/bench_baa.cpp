// The block aligner's phases on two dense profiles of n positions (n = 300
// and 500, maxblock = 20): the score matrix, pair weights, the counting
// pass, the weighted pass, sampling 1000 alignments and the merge; the plain
// layer-rescaled arithmetic beside the fast passes.  Profiles, gamma tables
// and frequency tables are the scoring tests' synthetic ones.  Second
// argument 0: two unrelated dense profiles (the alignment finds no blocks
// worth sampling: pK(0) = 1); 1: two related sequences (converter profiles,
// 70 % identical), whose samples walk the whole length.
#include <benchmark/benchmark.h>

#include <random>

#include "bench/bench_main.hpp"
#include "blockalign/frame.hpp"
#include "blockalign/layered.hpp"
#include "blockalign/merge.hpp"
#include "blockalign/posterior.hpp"
#include "blockalign/random.hpp"
#include "blockalign/reference.hpp"
#include "blockalign/sampling.hpp"
#include "scoring/scores.hpp"
#include "tests/scoring_fixture.hpp"

using namespace xk;

namespace {

struct Inputs {
  int n = 0;
  ScoringTables tables;
  std::vector<float> pro1, pro2, gamma1, gamma2, exponents;
};

Inputs make_inputs(int n, bool related) {
  Inputs in;
  in.n = n;
  std::mt19937 gen(static_cast<unsigned>(n));
  FrequencyTables f = xktest::synthetic_tables(1);
  xktest::add_pseudo_counts(f);
  in.tables = prepare_tables(f);
  const auto kind = related ? xktest::RowKind::converter : xktest::RowKind::dense;
  in.pro1 = xktest::profile_rows(n, kind, gen);
  in.pro2 = xktest::profile_rows(n, kind, gen);
  if (related) {  // 7 of every 10 positions copied
    for (std::size_t c = 0; c < in.pro2.size(); ++c) {
      if ((c / 20) % 10 < 7) in.pro2[c] = in.pro1[c];
    }
  }
  in.gamma1 = xktest::realistic_gamma(n, gen);
  in.gamma2 = xktest::realistic_gamma(n, gen);
  in.exponents.resize(static_cast<std::size_t>(n) * n);
  score_profiles(in.tables, n, n, in.pro1, in.pro2, in.gamma1, in.gamma2, in.exponents);
  to_exponents(in.exponents, 0.0f);
  return in;
}

const Inputs& inputs(const benchmark::State& state) {
  static Inputs dense300 = make_inputs(300, false), dense500 = make_inputs(500, false),
                related300 = make_inputs(300, true), related500 = make_inputs(500, true);
  const bool related = state.range(1) != 0;
  if (state.range(0) == 300) return related ? related300 : dense300;
  return related ? related500 : dense500;
}

void BM_ScoreMatrix(benchmark::State& state) {
  const Inputs& in = inputs(state);
  std::vector<float> mij(in.exponents.size());
  for (auto _ : state) {
    score_profiles(in.tables, in.n, in.n, in.pro1, in.pro2, in.gamma1, in.gamma2, mij);
    benchmark::DoNotOptimize(mij.data());
  }
}

void BM_PairWeights(benchmark::State& state) {
  const Inputs& in = inputs(state);
  std::vector<double> w(in.exponents.size());
  for (auto _ : state) {
    pair_weights(in.exponents, w);
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_PairWeightsPowf(benchmark::State& state) {
  const Inputs& in = inputs(state);
  for (auto _ : state) benchmark::DoNotOptimize(reference::pair_weights(in.exponents));
}

void BM_CountingPass(benchmark::State& state) {
  const int n = inputs(state).n;
  for (auto _ : state) benchmark::DoNotOptimize(count_alignments(n, n, block_limit(n, n)));
}

void BM_WeightedPass(benchmark::State& state) {
  const Inputs& in = inputs(state);
  const std::vector<double> w = pair_weights(in.exponents);
  for (auto _ : state) {
    LayeredSums s = weighted_pass(in.n, in.n, block_limit(in.n, in.n), w);
    benchmark::DoNotOptimize(s.log_z.data());
  }
}

// Both passes as the method writes them (counting and weighted on the same
// layer-major tables, layer rescaling, one power of 2 per cell).
void BM_BothPassesPlain(benchmark::State& state) {
  const Inputs& in = inputs(state);
  for (auto _ : state) {
    reference::BlockTables t = reference::block_sums(in.n, in.n, block_limit(in.n, in.n), in.exponents);
    benchmark::DoNotOptimize(t.count.data());
  }
}

void BM_Sampling(benchmark::State& state) {
  const Inputs& in = inputs(state);
  const int K = block_limit(in.n, in.n);
  const LayeredSums s = weighted_pass(in.n, in.n, K, pair_weights(in.exponents));
  const std::vector<double> pK = block_probabilities(mean_log_weights(s.log_z, count_alignments(in.n, in.n, K)));
  UniformRandom probe = initrand(1);
  const std::vector<float> m = sample_match(s, pK, probe);
  double matched = 0;
  for (float v : m) matched += v;
  state.counters["matched_pairs"] = matched;  // per sample, on average
  for (auto _ : state) {
    UniformRandom rng = initrand(1);
    benchmark::DoNotOptimize(sample_match(s, pK, rng));
  }
}

void BM_Merge(benchmark::State& state) {
  const Inputs& in = inputs(state);
  const int K = block_limit(in.n, in.n);
  const LayeredSums s = weighted_pass(in.n, in.n, K, pair_weights(in.exponents));
  const std::vector<double> pK = block_probabilities(mean_log_weights(s.log_z, count_alignments(in.n, in.n, K)));
  UniformRandom rng = initrand(1);
  const std::vector<float> match = sample_match(s, pK, rng);
  for (auto _ : state) benchmark::DoNotOptimize(merge_profiles(in.n, in.n, in.pro1, in.pro2, match));
}

}  // namespace

BENCHMARK(BM_ScoreMatrix)->ArgsProduct({{300, 500}, {0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PairWeights)->ArgsProduct({{300, 500}, {0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PairWeightsPowf)->ArgsProduct({{300, 500}, {0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountingPass)->ArgsProduct({{300, 500}, {0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeightedPass)->ArgsProduct({{300, 500}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BothPassesPlain)->ArgsProduct({{300, 500}, {0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sampling)->ArgsProduct({{300, 500}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Merge)->ArgsProduct({{300, 500}, {0, 1}})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return xkbench::run_benchmarks(argc, argv); }
