// The gamma tool on a 500-position profile: the sparse scaled kernel against
// the dense log-space reference, the gamma file text, and the whole tool run
// (model and profile read, posteriors, file written).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "localstructure/forward_backward.hpp"
#include "localstructure/gamma_file.hpp"
#include "localstructure/model.hpp"
#include "localstructure/xkordel_gamma.hpp"
#include "profile/record.hpp"
#include "tools/mkprof.hpp"

namespace {

const std::string kModel = "data/model_R.hmm";  // run from the repository root

std::string random_letters(int n) {
  std::mt19937 rng(5);
  std::string s(static_cast<std::size_t>(n), 'A');
  for (char& c : s) c = "ACDEFGHIKLMNPQRSTVWY"[rng() % 20];
  return s;
}

std::vector<float> profile_of(const std::string& letters) {
  std::vector<float> v;
  for (char c : letters) {
    auto row = xk::letter_profile(c);
    v.insert(v.end(), row.begin(), row.end());
  }
  return v;
}

void BM_Posteriors(benchmark::State& state) {
  const auto model = xk::ls::compile_model(xk::ls::read_model(kModel));
  const int L = static_cast<int>(state.range(0));
  const auto prof = profile_of(random_letters(L));
  for (auto _ : state) benchmark::DoNotOptimize(xk::ls::posteriors(model, prof, L));
}
BENCHMARK(BM_Posteriors)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_PosteriorsReference(benchmark::State& state) {
  const auto model = xk::ls::read_model(kModel);
  const int L = static_cast<int>(state.range(0));
  const auto prof = profile_of(random_letters(L));
  for (auto _ : state) benchmark::DoNotOptimize(xk::ls::reference::posteriors(model, prof, L));
}
BENCHMARK(BM_PosteriorsReference)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_GammaFileText(benchmark::State& state) {
  const auto model = xk::ls::compile_model(xk::ls::read_model(kModel));
  const int L = static_cast<int>(state.range(0));
  const std::string letters = random_letters(L);
  const auto post = xk::ls::posteriors(model, profile_of(letters), L);
  for (auto _ : state) benchmark::DoNotOptimize(xk::ls::format_gamma_file({"model_R.hmm", "1.drct"}, letters, post));
}
BENCHMARK(BM_GammaFileText)->Arg(500)->Unit(benchmark::kMillisecond);

// The tool as the main program starts it, minus the process start.
void BM_XkordelGammaTool(benchmark::State& state) {
  const int L = static_cast<int>(state.range(0));
  const auto dir = std::filesystem::temp_directory_path() / ("xkbench_ls_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string drct = (dir / "1.drct").string(), gca = (dir / "1.gca").string();
  {
    xk::ProfileWriter w(drct);
    long r = 0;
    for (char c : random_letters(L)) w.write(xk::converter_record(++r, {'b', 'e', 'n', 'c'}, c, xk::letter_profile(c)));
    w.close();
  }
  std::ostringstream out;
  for (auto _ : state) {
    out.str("");
    benchmark::DoNotOptimize(xk::ls::xkordel_gamma({kModel, drct, gca, "0"}, out));
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_XkordelGammaTool)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
