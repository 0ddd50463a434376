#include "fuzz/mutate.hpp"

#include <array>

namespace xk::fuzz {

namespace {

std::size_t pick(std::mt19937_64& rng, std::size_t n) {
  return n == 0 ? 0 : static_cast<std::size_t>(rng() % n);
}

constexpr std::array<char, 14> kSpecial = {'\n', '\r', ' ', '\t', '>', '.', '-', '0', '9', 'E', '#', '\0', '\xff', '*'};

void one_edit(std::string& b, std::mt19937_64& rng) {
  const std::size_t at = pick(rng, b.size() + 1);
  const std::size_t span = 1 + pick(rng, 1 + pick(rng, 300));
  switch (rng() % 6) {
    case 0:
      if (!b.empty()) b[at % b.size()] = static_cast<char>(b[at % b.size()] ^ (1 << pick(rng, 8)));
      break;
    case 1:
      if (!b.empty()) b[at % b.size()] = kSpecial[pick(rng, kSpecial.size())];
      break;
    case 2:
      b.erase(std::min(at, b.size()), span);
      break;
    case 3:
      if (at < b.size()) b.insert(at, b.substr(at, span));
      break;
    case 4: {
      std::string extra(span, '\0');
      for (char& c : extra) c = static_cast<char>(rng() & 0xFF);
      b.insert(std::min(at, b.size()), extra);
      break;
    }
    default:
      b.resize(std::min(at, b.size()));
      break;
  }
}

}  // namespace

void mutate(std::string& bytes, std::mt19937_64& rng) {
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits; ++e) one_edit(bytes, rng);
}

}  // namespace xk::fuzz
