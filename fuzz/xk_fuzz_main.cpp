// xk_fuzz [-n ITERATIONS] [-r SEED] [-t TARGET] [-c FOLDER] MODEL_FILE
// Mutation fuzzing of the suite's readers: each target's seed input is
// mutated ITERATIONS times (default 2000) and read.  The suite's own
// refusals are fine; any other exception is a fault: the input is saved in
// FOLDER (default: the current directory) as TARGET-N.bin and the status is
// 1.  The inputs follow from the seed alone: an input that crashes the
// process is found again by the same command with -t TARGET.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "fuzz/mutate.hpp"
#include "fuzz/targets.hpp"

namespace {

namespace fs = std::filesystem;

struct Options {
  long iterations = 2000;
  std::uint64_t seed = 1;
  std::string target;  // empty: all
  fs::path crashes = ".";
  fs::path model;
};

void save(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Runs one input; the reason of a fault, or an empty text.
std::string fault_of(const xk::fuzz::Target& t, const std::string& bytes, const std::string& scratch) {
  try {
    t.run(bytes, scratch);
  } catch (const xk::FatalStop&) {
  } catch (const xk::IoError&) {
  } catch (const xk::NotFound&) {
  } catch (const std::exception& e) {
    return e.what()[0] != '\0' ? e.what() : "an exception without a message";
  }
  return {};
}

int fuzz(const Options& o) {
  const std::vector<xk::fuzz::Target> targets = xk::fuzz::reader_targets(o.model);
  const fs::path scratch = fs::temp_directory_path() / ("xk_fuzz." + std::to_string(::getpid()));
  int faults = 0;
  for (const auto& t : targets) {
    if (!o.target.empty() && t.name != o.target) continue;
    std::mt19937_64 rng(o.seed);
    std::string previous = t.seed;
    for (long i = 1; i <= o.iterations; ++i) {
      // Mostly fresh mutations of the seed; now and then a deeper one.
      std::string bytes = rng() % 8 == 0 ? previous : t.seed;
      xk::fuzz::mutate(bytes, rng);
      const std::string fault = fault_of(t, bytes, scratch.string());
      if (!fault.empty()) {
        ++faults;
        const fs::path kept = o.crashes / (t.name + "-" + std::to_string(i) + ".bin");
        save(kept, bytes);
        std::cout << t.name << ": input " << i << " (" << kept.string() << "): " << fault << '\n';
      }
      previous = std::move(bytes);
    }
    std::cout << t.name << ": " << o.iterations << " inputs\n";
  }
  std::error_code ec;
  fs::remove(scratch, ec);
  return faults == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t k = 0; k < args.size(); ++k) {
    const bool has_value = k + 1 < args.size();
    if (args[k] == "-n" && has_value) {
      o.iterations = std::atol(args[++k].c_str());
    } else if (args[k] == "-r" && has_value) {
      o.seed = std::strtoull(args[++k].c_str(), nullptr, 10);
    } else if (args[k] == "-t" && has_value) {
      o.target = args[++k];
    } else if (args[k] == "-c" && has_value) {
      o.crashes = args[++k];
    } else if (o.model.empty() && args[k][0] != '-') {
      o.model = args[k];
    } else {
      std::cerr << "Usage: xk_fuzz [-n ITERATIONS] [-r SEED] [-t TARGET] [-c FOLDER] MODEL_FILE\n";
      return 1;
    }
  }
  if (o.model.empty()) {
    std::cerr << "Usage: xk_fuzz [-n ITERATIONS] [-r SEED] [-t TARGET] [-c FOLDER] MODEL_FILE\n";
    return 1;
  }
  return xk::run_program([&] { return fuzz(o); });
}
