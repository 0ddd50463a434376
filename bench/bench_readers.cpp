// Gamma-file reading throughput: readgamma on a 500-position file against
// merely reading the same bytes, and the parse of the text in memory on
// each vector path this processor runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/fixedwidth.hpp"
#include "readers/gamma.hpp"

namespace {

constexpr int kPositions = 500;

// A realistic gamma file: a few dominant states per row, small values
// elsewhere, written as the gamma tool writes it.
const std::string& gamma_file() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "xk_bench_readers.gca").string();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::FILE* f = std::fopen(p.c_str(), "wb");
    std::string seq(kPositions, 'A');
    for (int i = 0; i < kPositions; i += 12) {
      std::fprintf(f, "RESIDUE %s\n", seq.substr(static_cast<std::size_t>(i), 12).c_str());
    }
    for (int i = 0; i < kPositions; ++i) {
      std::string line = "GAMMA  ";
      std::vector<double> row(xk::kStates);
      double sum = 0;
      for (auto& v : row) sum += v = (u(rng) < 0.02 ? 50.0 : 0.01) * u(rng);
      for (auto v : row) line += xk::fw::format_fixed(v / sum, 9, 6);
      std::fprintf(f, "%s\n", line.c_str());
    }
    std::fclose(f);
    return p;
  }();
  return path;
}

void BM_RawRead(benchmark::State& state) {
  const std::string& path = gamma_file();
  auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::vector<char> buf(static_cast<std::size_t>(size));
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::size_t got = std::fread(buf.data(), 1, buf.size(), f);
    std::fclose(f);
    benchmark::DoNotOptimize(got);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_RawRead);

void BM_ReadGamma(benchmark::State& state) {
  const std::string& path = gamma_file();
  auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::vector<float> table(static_cast<std::size_t>(kPositions) * xk::kStates);
  for (auto _ : state) {
    xk::readgamma(path, kPositions, table);
    benchmark::DoNotOptimize(table.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReadGamma);

// The parse alone, the path chosen by the argument (a VectorPath).
void BM_ParseGamma(benchmark::State& state) {
  const auto path = static_cast<xk::VectorPath>(state.range(0));
  if (xk::usable_vector_path(path) != path) {
    state.SkipWithError("this processor lacks the path");
    return;
  }
  state.SetLabel(std::string(xk::vector_path_name(path)));
  std::FILE* f = std::fopen(gamma_file().c_str(), "rb");
  std::string text(static_cast<std::size_t>(std::filesystem::file_size(gamma_file())), '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), f);
  std::fclose(f);
  text.resize(got);
  std::vector<float> table(static_cast<std::size_t>(kPositions) * xk::kStates);
  for (auto _ : state) {
    xk::parse_gamma_text(text, kPositions, table, path);
    benchmark::DoNotOptimize(table.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseGamma)->DenseRange(0, 1);

}  // namespace

BENCHMARK_MAIN();
