#include "blockalign/random.hpp"

#include <ctime>

namespace xk {

void UniformRandom::seed(std::uint64_t state, std::uint64_t stream) {
  // The usual PCG seeding: the stream word picks the increment (odd), the
  // state word is mixed in between two steps.
  state_ = 0;
  increment_ = (stream << 1) | 1u;
  next_bits();
  state_ += state;
  next_bits();
}

std::uint32_t UniformRandom::next_bits() {
  const std::uint64_t old = state_;
  state_ = old * 6364136223846793005ULL + increment_;
  const auto xorshifted = static_cast<std::uint32_t>(((old >> 18) ^ old) >> 27);
  const auto rot = static_cast<std::uint32_t>(old >> 59);
  return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

float UniformRandom::uniform() { return static_cast<float>(next_bits() >> 8) * 0x1p-24f; }

std::uint64_t clock_seed_value(std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  const auto since = now.time_since_epoch();
  const auto whole = floor<seconds>(since);
  const auto ms = static_cast<std::uint64_t>(duration_cast<milliseconds>(since - whole).count());
  const std::time_t t = static_cast<std::time_t>(whole.count());
  std::tm local{};
  localtime_r(&t, &local);
  const auto sec = static_cast<std::uint64_t>(local.tm_sec % 60);  // a leap second counts as 0
  return sec * 1000u + ms;
}

UniformRandom initrand(std::optional<std::uint64_t> seed) {
  UniformRandom rng(seed ? *seed : clock_seed_value(std::chrono::system_clock::now()));
  rng.uniform();
  return rng;
}

}  // namespace xk
