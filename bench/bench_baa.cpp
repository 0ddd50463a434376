// The block aligner's phases on two dense profiles of n positions (n = 300
// and 500, maxblock = 20): pair weights, the counting pass, the weighted
// pass, sampling 1000 alignments and the merge; the plain layer-rescaled
// arithmetic beside the fast passes.  The pair exponents are synthetic
// (scores of two distantly related dense profiles, doubled).
#include <benchmark/benchmark.h>

#include <random>

#include "blockalign/frame.hpp"
#include "blockalign/layered.hpp"
#include "blockalign/merge.hpp"
#include "blockalign/posterior.hpp"
#include "blockalign/random.hpp"
#include "blockalign/reference.hpp"
#include "blockalign/sampling.hpp"

using namespace xk;

namespace {

struct Inputs {
  int n = 0;
  std::vector<float> exponents, pro1, pro2;
};

Inputs make_inputs(int n) {
  Inputs in;
  in.n = n;
  std::mt19937 gen(static_cast<unsigned>(n));
  std::normal_distribution<float> off(-1.0f, 1.5f), diag(3.0f, 1.5f);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  in.exponents.resize(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) in.exponents[static_cast<std::size_t>(i) * n + j] = i == j ? diag(gen) : off(gen);
  for (auto* p : {&in.pro1, &in.pro2}) {
    p->resize(static_cast<std::size_t>(n) * 20);
    for (float& v : *p) v = u(gen);
  }
  return in;
}

const Inputs& inputs(int n) {
  static Inputs small = make_inputs(300), large = make_inputs(500);
  return n == 300 ? small : large;
}

void BM_PairWeights(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  std::vector<double> w(in.exponents.size());
  for (auto _ : state) {
    pair_weights(in.exponents, w);
    benchmark::DoNotOptimize(w.data());
  }
}

void BM_PairWeightsPowf(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(reference::pair_weights(in.exponents));
}

void BM_CountingPass(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(count_alignments(n, n, block_limit(n, n)));
}

void BM_WeightedPass(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  const std::vector<double> w = pair_weights(in.exponents);
  for (auto _ : state) {
    LayeredSums s = weighted_pass(in.n, in.n, block_limit(in.n, in.n), w);
    benchmark::DoNotOptimize(s.log_z.data());
  }
}

// Both passes as the method writes them (counting and weighted on the same
// layer-major tables, layer rescaling, one power of 2 per cell).
void BM_BothPassesPlain(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    reference::BlockTables t = reference::block_sums(in.n, in.n, block_limit(in.n, in.n), in.exponents);
    benchmark::DoNotOptimize(t.count.data());
  }
}

void BM_Sampling(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  const int K = block_limit(in.n, in.n);
  const LayeredSums s = weighted_pass(in.n, in.n, K, pair_weights(in.exponents));
  const std::vector<double> pK = block_probabilities(mean_log_weights(s.log_z, count_alignments(in.n, in.n, K)));
  for (auto _ : state) {
    UniformRandom rng = initrand(1);
    benchmark::DoNotOptimize(sample_match(s, pK, rng));
  }
}

void BM_Merge(benchmark::State& state) {
  const Inputs& in = inputs(static_cast<int>(state.range(0)));
  const int K = block_limit(in.n, in.n);
  const LayeredSums s = weighted_pass(in.n, in.n, K, pair_weights(in.exponents));
  const std::vector<double> pK = block_probabilities(mean_log_weights(s.log_z, count_alignments(in.n, in.n, K)));
  UniformRandom rng = initrand(1);
  const std::vector<float> match = sample_match(s, pK, rng);
  for (auto _ : state) benchmark::DoNotOptimize(merge_profiles(in.n, in.n, in.pro1, in.pro2, match));
}

}  // namespace

BENCHMARK(BM_PairWeights)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PairWeightsPowf)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountingPass)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeightedPass)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BothPassesPlain)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sampling)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Merge)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
