#include "localstructure/gamma_file.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdio>

#include "common/fixedwidth.hpp"
#include "common/residues.hpp"

namespace xk::ls {

namespace {
constexpr int kFieldWidth = 9;
constexpr int kDecimals = 6;
constexpr std::size_t kLettersPerLine = 12;
}  // namespace

void round_row(std::span<const double> row, std::span<long long> units) {
  assert(units.size() >= row.size() && !row.empty() && row.size() <= kModelStates);
  // Each entry to the nearest unit; err = exact - rounded, in [-1/2, 1/2].
  struct Rest {
    double err;
    std::size_t state;
  };
  std::array<Rest, kModelStates> rest;  // entries 0..n-1 written below
  long long missing = kMicro;
  units[0] = 0;
  const std::size_t n = row.size() - 1;
  for (std::size_t s = 1; s < row.size(); ++s) {
    const double exact = row[s] * static_cast<double>(kMicro);
    // Truncation is the floor of the values a row holds, which are never
    // negative; it costs no call into the maths library.
    const double half_up = exact + 0.5;
    units[s] = half_up >= 0.0 ? static_cast<long long>(half_up) : static_cast<long long>(std::floor(half_up));
    rest[s - 1] = {exact - static_cast<double>(units[s]), s};
    missing -= units[s];
  }
  if (missing == 0) return;
  // Largest remainders: the entries rounded down the most go up one unit
  // (or those rounded up the most go down), each at most once, so every
  // entry stays within one unit of its exact value and the row sums to 10^6.
  // Ties go to the lower state.
  const auto moves = static_cast<std::size_t>(std::min<long long>(missing > 0 ? missing : -missing, static_cast<long long>(n)));
  // The order of the remainders: first the entries to move, ties to the
  // lower state (states are distinct, so the order is total).
  auto before = [up = missing > 0](const Rest& x, const Rest& y) {
    return up ? (x.err > y.err || (x.err == y.err && x.state < y.state))
              : (x.err < y.err || (x.err == y.err && x.state < y.state));
  };
  // The order is total, so the entries to move are one set however they
  // are found.
  const auto first = rest.begin(), last = first + static_cast<std::ptrdiff_t>(n);
  auto move = [&](const Rest& r) {
    long long& u = units[r.state];
    u = missing > 0 ? u + 1 : std::max(u - 1, 0LL);
  };
  constexpr std::size_t kFew = 4;
  if (moves == 0) return;
  if (moves <= kFew) {
    // The usual case, a unit or a few: one scan keeps the entries to move,
    // in order; most entries are turned away by one comparison.
    std::array<Rest, kFew> top;
    std::size_t have = 0;
    for (auto it = first; it != last; ++it) {
      if (have == moves && !before(*it, top[have - 1])) continue;
      std::size_t k = have < moves ? have++ : moves - 1;
      for (; k > 0 && before(*it, top[k - 1]); --k) top[k] = top[k - 1];
      top[k] = *it;
    }
    std::for_each(top.begin(), top.begin() + static_cast<std::ptrdiff_t>(have), move);
  } else {
    std::nth_element(first, first + static_cast<std::ptrdiff_t>(moves), last, before);
    std::for_each(first, first + static_cast<std::ptrdiff_t>(moves), move);
  }
}

char residue_letter(char c) {
  c = caps(c);
  return kSequenceLetters.find(c) == std::string_view::npos ? 'X' : c;
}

void format_gamma_file(const GammaHeader& header, std::string_view letters, const Posteriors& post,
                       const std::function<void(std::string_view)>& put) {
  const auto L = static_cast<std::size_t>(post.length);
  assert(letters.size() == L);
  const auto S = static_cast<std::size_t>(kModelStates);
  char num[64];
  std::string head;
  head += "XKORDEL-GAMMA 1\n";
  head += "MODEL    " + header.model + "\n";
  head += "PROFILE  " + header.profile + "\n";
  head += "LENGTH   " + std::to_string(L) + "\n";
  std::snprintf(num, sizeof num, "%.6f", post.logodds_forward);
  head += std::string("LOGODDS  ") + num + "\n";
  for (std::size_t k = 0; k < L; k += kLettersPerLine) {
    head += "RESIDUE ";
    head += letters.substr(k, kLettersPerLine);
    head += '\n';
  }
  put(head);
  std::array<long long, kModelStates> units{};
  std::array<char, 7 + kModelStates * kFieldWidth + 1> line{};
  std::copy_n("GAMMA  ", 7, line.data());
  line.back() = '\n';
  for (std::size_t t = 0; t < L; ++t) {
    round_row(std::span<const double>(post.gamma.data() + t * S, S), units);
    char* p = line.data() + 7;
    for (std::size_t s = 0; s < S; ++s, p += kFieldWidth) fw::put_fixed_units<kFieldWidth, kDecimals>(p, units[s]);
    put(std::string_view(line.data(), line.size()));
  }
}

std::string format_gamma_file(const GammaHeader& header, std::string_view letters, const Posteriors& post) {
  const std::size_t gamma_line = 7 + static_cast<std::size_t>(kModelStates) * kFieldWidth + 1;
  std::string out;
  out.reserve(256 + letters.size() * gamma_line + (letters.size() / kLettersPerLine + 1) * 21);
  format_gamma_file(header, letters, post, [&](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace xk::ls
