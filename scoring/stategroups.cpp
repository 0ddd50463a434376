#include "scoring/stategroups.hpp"

#include <cassert>
#include <cstddef>
#include <cstring>

#include "scoring/frequencies.hpp"

namespace xk {

namespace {

constexpr int kPairCount = 210;

// Whether states a and b (columns) have the same entry for every pair.
bool same_block(std::span<const float> by_state, int a, int b) {
  for (int p = 0; p < kPairCount; ++p) {
    const std::size_t row = static_cast<std::size_t>(p) * kScoredStates;
    if (std::memcmp(&by_state[row + static_cast<std::size_t>(a)], &by_state[row + static_cast<std::size_t>(b)],
                    sizeof(float)) != 0)
      return false;
  }
  return true;
}

}  // namespace

StateGroups group_states(std::span<const float> pair_by_state) {
  assert(pair_by_state.size() >= static_cast<std::size_t>(kPairCount) * kScoredStates);
  std::vector<int> first;                  // each group's first state
  std::vector<int> group_of(kScoredStates);
  for (int s = 0; s < kScoredStates; ++s) {
    int g = 0;
    while (g < static_cast<int>(first.size()) && !same_block(pair_by_state, first[static_cast<std::size_t>(g)], s)) ++g;
    if (g == static_cast<int>(first.size())) {
      if (g == kMaxStateGroups) return {};
      first.push_back(s);
    }
    group_of[static_cast<std::size_t>(s)] = g;
  }
  StateGroups out;
  const std::size_t count = first.size();
  out.start.assign(count + 1, 0);
  for (int g : group_of) ++out.start[static_cast<std::size_t>(g) + 1];
  for (std::size_t g = 0; g < count; ++g) out.start[g + 1] += out.start[g];
  out.states.resize(kScoredStates);
  std::vector<int> next(out.start.begin(), out.start.end() - 1);
  for (int s = 0; s < kScoredStates; ++s) out.states[static_cast<std::size_t>(next[static_cast<std::size_t>(group_of[static_cast<std::size_t>(s)])]++)] = s;
  out.pair.resize(static_cast<std::size_t>(kPairCount) * count);
  for (int p = 0; p < kPairCount; ++p)
    for (std::size_t g = 0; g < count; ++g)
      out.pair[static_cast<std::size_t>(p) * count + g] =
          pair_by_state[static_cast<std::size_t>(p) * kScoredStates + static_cast<std::size_t>(first[g])];
  return out;
}

}  // namespace xk
