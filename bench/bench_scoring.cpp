// Position-pair scores and the local aligner: the fast routines against the
// defining loops, next to this machine's single-thread matrix-product rate.
//
// GFLOPS counters count 2 x 281 flops per product entry of the dense
// formulation: (pairs + 1) x n1 x n2 entries, with 210 pairs for dense x
// dense, 20 for dense x one-hot and 1 for sequences.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <random>

#include "bench/bench_main.hpp"
#include "profile/record.hpp"
#include "scoring/dp.hpp"
#include "scoring/gemm.hpp"
#include "scoring/pairscores.hpp"
#include "scoring/scores.hpp"
#include "tests/scoring_fixture.hpp"

using namespace xk;

namespace {

struct Inputs {
  int n1, n2;
  std::vector<float> w1, w2, g1, g2;
  std::string s1, s2;
  FrequencyTables tables;
};

Inputs make_inputs(int n1, int n2, bool one_hot_second) {
  std::mt19937 rng(static_cast<unsigned>(n1 * 7 + n2));
  Inputs in{n1, n2, {}, {}, {}, {}, {}, {}, xktest::synthetic_tables(1)};
  xktest::add_pseudo_counts(in.tables);
  in.w1 = xktest::profile_rows(n1, xktest::RowKind::dense, rng);
  in.g1 = xktest::realistic_gamma(n1, rng);
  in.g2 = xktest::realistic_gamma(n2, rng);
  std::uniform_int_distribution<int> residue(0, 19);
  for (int i = 0; i < n1; ++i) in.s1 += kResidueOrder[residue(rng)];
  for (int j = 0; j < n2; ++j) in.s2 += kResidueOrder[residue(rng)];
  if (one_hot_second) {
    in.w2.assign(static_cast<std::size_t>(n2) * 20, 0.0f);
    for (int j = 0; j < n2; ++j) {
      const auto v = letter_profile(in.s2[static_cast<std::size_t>(j)]);
      std::copy(v.begin(), v.end(), in.w2.begin() + j * 20);
    }
  } else {
    in.w2 = xktest::profile_rows(n2, xktest::RowKind::dense, rng);
  }
  return in;
}

void flops_counter(benchmark::State& st, int n1, int n2, int pairs) {
  st.counters["GFLOPS"] = benchmark::Counter(2.0 * 281.0 * (pairs + 1) * n1 * n2 * 1e-9,
                                             benchmark::Counter::kIsIterationInvariantRate);
}

template <bool Fast>
void BM_makedrctmij(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  const bool one_hot = st.range(1) != 0;
  Inputs in = make_inputs(n, n, one_hot);
  std::vector<float> mij(static_cast<std::size_t>(n) * n);
  for (auto _ : st) {
    if constexpr (Fast) makedrctmij(n, n, in.w1, in.w2, in.g1, in.g2, in.tables, mij);
    else reference::makedrctmij(n, n, in.w1, in.w2, in.g1, in.g2, in.tables, mij);
    benchmark::DoNotOptimize(mij.data());
  }
  flops_counter(st, n, n, one_hot ? 20 : 210);
}

template <bool Fast>
void BM_makemij(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  Inputs in = make_inputs(n, n, true);
  std::vector<float> mij(static_cast<std::size_t>(n) * n);
  for (auto _ : st) {
    if constexpr (Fast) makemij(n, n, in.s1, in.s2, in.g1, in.g2, in.tables, mij);
    else reference::makemij(n, n, in.s1, in.s2, in.g1, in.g2, in.tables, mij);
    benchmark::DoNotOptimize(mij.data());
  }
  flops_counter(st, n, n, 1);
}

// The product on one vector path (the fourth argument, a VectorPath).
void BM_sgemm(benchmark::State& st) {
  const int m = static_cast<int>(st.range(0)), n = static_cast<int>(st.range(1)), k = static_cast<int>(st.range(2));
  const auto path = static_cast<VectorPath>(st.range(3));
  if (usable_vector_path(path) != path) {
    st.SkipWithError("this processor lacks the path");
    return;
  }
  st.SetLabel(std::string(vector_path_name(path)));
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> a(static_cast<std::size_t>(m) * k), b(static_cast<std::size_t>(n) * k),
      c(static_cast<std::size_t>(m) * n);
  for (float& x : a) x = u(rng);
  for (float& x : b) x = u(rng);
  for (auto _ : st) {
    gemm_abt(path, m, n, k, a.data(), k, b.data(), k, c.data(), n);
    benchmark::DoNotOptimize(c.data());
  }
  st.counters["GFLOPS"] =
      benchmark::Counter(2.0 * m * n * k * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

long peak_kib() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

// Scores as the callers make them: doubled bits plus a shift, mostly
// negative with positive diagonal stretches.  The second argument is the
// fill's vector path (a VectorPath).
void BM_dp(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  const auto path = static_cast<VectorPath>(st.range(1));
  if (usable_vector_path(path) != path) {
    st.SkipWithError("this processor lacks the path");
    return;
  }
  st.SetLabel(std::string(vector_path_name(path)));
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(-6.0f, 3.0f);
  std::vector<float> s(static_cast<std::size_t>(n) * n);
  for (float& x : s) x = u(rng);
  for (int k = 0; k < n; ++k) s[static_cast<std::size_t>(k) * n + static_cast<std::size_t>(k)] += 5.0f;
  const long before = peak_kib();
  for (auto _ : st) {
    DpResult r = dp(n, n, 21.0f, 0.4f, s, path);
    benchmark::DoNotOptimize(r);
  }
  const double cells = static_cast<double>(n) * n;
  st.counters["cells/s"] = benchmark::Counter(cells, benchmark::Counter::kIsIterationInvariantRate);
  st.counters["aligner_MB"] = static_cast<double>(peak_kib() - before) / 1024.0;
}

// The bundled frequency tables (one block per class of states), read from
// the working directory (build/bin stages them); the scorer with its state
// groups (range(1) = 1) against the per-pair products of every residue pair
// (0) on the same inputs: dense x dense profiles (range(2) = 0) and one-hot
// x one-hot, the all-pairs phase's case (1).
void BM_bundled(benchmark::State& st) {
  FrequencyTables raw;
  try {
    raw = load_frequency_tables("observed", "expected");
  } catch (...) {
    st.SkipWithError("no observed/expected in the working directory (run from build/bin)");
    return;
  }
  const ScoringTables t = prepare_tables(raw);
  const int n = static_cast<int>(st.range(0));
  detail::ScoreTiling tiling;
  tiling.state_groups = st.range(1) != 0;
  if (st.range(3) > 0) tiling.grouped_rows = static_cast<int>(st.range(3));
  if (st.range(4) >= 0) tiling.path = usable_vector_path(static_cast<VectorPath>(st.range(4)));
  const bool one_hot = st.range(2) != 0;
  Inputs in = make_inputs(n, n, true);
  if (one_hot) {
    in.w1.assign(static_cast<std::size_t>(n) * 20, 0.0f);
    for (int i = 0; i < n; ++i) {
      const auto v = letter_profile(in.s1[static_cast<std::size_t>(i)]);
      std::copy(v.begin(), v.end(), in.w1.begin() + i * 20);
    }
  } else {
    std::mt19937 rng(5);
    in.w2 = xktest::profile_rows(n, xktest::RowKind::dense, rng);
  }
  std::vector<float> mij(static_cast<std::size_t>(n) * n);
  for (auto _ : st) {
    detail::score_pairs(t, {n, in.w1, in.g1, 1.0e-9f}, {n, in.w2, in.g2, 1.0e-9f}, mij, tiling);
    benchmark::DoNotOptimize(mij.data());
  }
  st.counters["groups"] = t.state_groups.count();
}

}  // namespace

// Bundled data: per-pair products (x/0/...) against state groups (x/1/...).
// Then row positions per block of the grouped scorer (0: the default) and
// the vector path (-1: the best; 0, 1, 2: plain, avx2, avx512 where the
// processor has it).
BENCHMARK(BM_bundled)->ArgsProduct({{300}, {0, 1}, {0, 1}, {0}, {-1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bundled)->ArgsProduct({{300}, {1}, {0, 1}, {8, 64}, {-1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bundled)->ArgsProduct({{300}, {0, 1}, {0, 1}, {0}, {0, 1}})->Unit(benchmark::kMillisecond);

// The product rate of this machine, one thread, at the scorer's inner size,
// on each vector path.
BENCHMARK(BM_sgemm)->ArgsProduct({{500}, {500}, {281}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

// Dense x dense (second argument 0) and dense x one-hot (1).
BENCHMARK(BM_makedrctmij<true>)->Name("makedrctmij/fast")->ArgsProduct({{300, 500}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_makedrctmij<false>)
    ->Name("makedrctmij/reference")
    ->ArgsProduct({{300, 500}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_makemij<true>)->Name("makemij/fast")->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_makemij<false>)->Name("makemij/reference")->Arg(300)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_dp)->ArgsProduct({{1000, 5000}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
// The largest inputs the main program takes: one run, for the memory figure.
BENCHMARK(BM_dp)->Args({9999, 2})->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return xkbench::run_benchmarks(argc, argv); }
