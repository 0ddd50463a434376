// The block aligner's uniform random numbers and their seeding (`initrand`).
//
// The generator is a 64-bit permuted congruential generator (PCG-XSH-RR):
// two 64-bit seed words (state and stream), 32-bit outputs.  A uniform
// number is the top 24 bits of an output over 2^24: a single-precision
// value r with 0 <= r < 1.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace xk {

class UniformRandom {
 public:
  // Installs a seed whose every word is `value`.
  explicit UniformRandom(std::uint64_t value = 0) { seed(value); }
  // Installs the seed words `state` and `stream` (PCG's initstate and
  // initseq: the stream picks one of 2^63 sequences).
  UniformRandom(std::uint64_t state, std::uint64_t stream) { seed(state, stream); }
  void seed(std::uint64_t value) { seed(value, value); }
  void seed(std::uint64_t state, std::uint64_t stream);
  // The next uniform number, 0 <= r < 1, a multiple of 2^-24: the top 24
  // bits of next_bits().
  float uniform();
  // The next 32-bit output of the generator.
  std::uint32_t next_bits();

 private:
  std::uint64_t state_ = 0;
  std::uint64_t increment_ = 1;
};

// The clock's seed value: the seconds of the current minute (0..59) times
// 1000 plus the milliseconds of the current second (0..999), read in local
// time.  Two readings with the same seconds and milliseconds give the same
// value.
std::uint64_t clock_seed_value(std::chrono::system_clock::time_point now);

// `initrand`: a generator seeded with every seed word equal to `seed`, or,
// when no seed is given, to clock_seed_value(now); one number is drawn and
// discarded before it is returned.  A fixed seed makes a call reproducible.
UniformRandom initrand(std::optional<std::uint64_t> seed = std::nullopt);

}  // namespace xk
