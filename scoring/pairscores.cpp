#include "scoring/pairscores.hpp"

#include <algorithm>
#include <atomic>
#include <thread>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/structure_states.hpp"
#include "common/table.hpp"
#include "scoring/fastlog.hpp"
#include "scoring/gemm.hpp"
#include "scoring/stategroups.hpp"

namespace xk::detail {

namespace {

constexpr int K = kScoredStates;  // states 1..281: the product's inner size
constexpr int kAA = kAminoAcids;
constexpr std::size_t kGammaRow = static_cast<std::size_t>(kStates);  // 282 columns, state 0 unused
constexpr int kPad = 8;           // column counts are padded to whole vectors
// Cost of preparing one product row, in units of one row-column product:
// building the row and the product's own packing of it.
constexpr double kRowOverhead = 8.0;

struct PairNames {
  std::array<std::uint8_t, kPairs> lo{};
  std::array<std::uint8_t, kPairs> hi{};
};

constexpr PairNames make_pair_names() {
  PairNames p;
  for (int lo = 0; lo < kAA; ++lo)
    for (int hi = lo; hi < kAA; ++hi) {
      p.lo[static_cast<std::size_t>(pair_index(lo, hi))] = static_cast<std::uint8_t>(lo);
      p.hi[static_cast<std::size_t>(pair_index(lo, hi))] = static_cast<std::uint8_t>(hi);
    }
  return p;
}
constexpr PairNames kPairNames = make_pair_names();

void fill_pair_by_state(std::span<const float> pair, std::span<float> out) {
  for (int p = 0; p < kPairs; ++p) {
    const int lo = kPairNames.lo[static_cast<std::size_t>(p)] + 1, hi = kPairNames.hi[static_cast<std::size_t>(p)] + 1;
    float* row = out.data() + static_cast<std::size_t>(p) * K;
    for (int s = 1; s <= K; ++s) row[s - 1] = pair[m1_index(lo, hi, s)];
  }
}

void fill_pair_log_base(const std::array<float, 20>& bg, std::span<float> out) {
  for (int p = 0; p < kPairs; ++p) {
    const std::size_t lo = kPairNames.lo[static_cast<std::size_t>(p)], hi = kPairNames.hi[static_cast<std::size_t>(p)];
    const float f = lo == hi ? 1.0f : 2.0f;
    const float x = f * bg[lo] * bg[hi];
    out[static_cast<std::size_t>(p)] = static_cast<float>(std::log2(static_cast<double>(x)));
  }
}

// The derived tables, borrowed from `t` when it carries them.
struct Derived {
  const float* pair_rows = nullptr;  // kPairs x K
  const float* log_base = nullptr;   // kPairs
  const StateGroups* groups = nullptr;
  std::vector<float> own_rows, own_log;
  StateGroups own_groups;

  explicit Derived(const ScoringTables& t) {
    if (t.pair_by_state.size() == static_cast<std::size_t>(kPairs) * K && t.pair_log_base.size() == kPairs) {
      pair_rows = t.pair_by_state.data();
      log_base = t.pair_log_base.data();
      groups = &t.state_groups;
      return;
    }
    assert(t.pair.size() >= static_cast<std::size_t>(kAA) * kAA * K);
    own_rows.resize(static_cast<std::size_t>(kPairs) * K);
    own_log.resize(kPairs);
    fill_pair_by_state(t.pair, own_rows);
    fill_pair_log_base(t.background, own_log);
    own_groups = group_states(own_rows);
    pair_rows = own_rows.data();
    log_base = own_log.data();
    groups = &own_groups;
  }
};

// One input with its weights cut to the positive ones, its residue sets and
// its gamma rows as scored (states 1..281, offset added); the grouped
// scorer reads the gamma rows straight from the input (`source`, `add`)
// and leaves `g` empty.
struct Side {
  int n = 0;
  std::vector<float> w;               // n x 20, weights that are not > 0 set to 0
  std::vector<std::uint32_t> mask;    // bit a: w(i, a) > 0
  std::vector<float> g;               // n x 281, when built
  const float* source = nullptr;      // n x 282, state 0 first
  float add = 0.0f;
  const float* ordered = nullptr;     // n x 281 in state-group order, add added; null: gather from source

  // State s (1-based) of position i, offset added: the entry of g.
  float state(std::size_t i, std::size_t s) const { return source[i * kGammaRow + s] + add; }

  Side(const ScoreSide& s, bool with_g)
      : n(s.n), source(s.gamma.data()), add(s.add), ordered(s.ordered.empty() ? nullptr : s.ordered.data()) {
    assert(s.ordered.empty() || s.ordered.size() >= static_cast<std::size_t>(s.n) * K);
    assert(s.n >= 0);
    assert(s.weights.size() >= static_cast<std::size_t>(s.n) * kAA);
    // The ordered rows stand in for the gamma table where only they are read.
    assert(s.gamma.size() >= static_cast<std::size_t>(s.n) * kGammaRow || (ordered != nullptr && !with_g));
    const std::size_t rows = static_cast<std::size_t>(n);
    w.resize(rows * kAA);
    mask.assign(rows, 0u);
    for (std::size_t i = 0; i < rows; ++i)
      for (std::size_t a = 0; a < kAA; ++a) {
        const float v = s.weights[i * kAA + a];
        const bool on = v > 0.0f;
        w[i * kAA + a] = on ? v : 0.0f;
        mask[i] |= on ? (1u << a) : 0u;
      }
    if (!with_g) return;
    g.resize(rows * K);
    for (std::size_t i = 0; i < rows; ++i) {
      const float* src = s.gamma.data() + i * kGammaRow + 1;
      float* dst = g.data() + i * K;
      for (int st = 0; st < K; ++st) dst[st] = src[st] + s.add;
    }
  }
};

// Number of unordered pairs {a, b} with a in S and b in U.
int count_pairs(std::uint32_t S, std::uint32_t U) {
  const int s = std::popcount(S), u = std::popcount(U), c = std::popcount(S & U);
  return s * u - c * (c - 1) / 2;
}

// Appends the pairs {a, b}, a in S, b in U, lo-major; returns their number.
int list_pairs(std::uint32_t S, std::uint32_t U, std::vector<std::uint8_t>& out) {
  int count = 0;
  for (int lo = 0; lo < kAA; ++lo) {
    std::uint32_t his = 0;
    if ((S >> lo) & 1u) his |= U;
    if ((U >> lo) & 1u) his |= S;
    his &= ~((1u << lo) - 1u);
    while (his) {
      const int hi = std::countr_zero(his);
      his &= his - 1u;
      out.push_back(static_cast<std::uint8_t>(pair_index(lo, hi)));
      ++count;
    }
  }
  return count;
}

struct Group {
  std::uint32_t mask = 0;  // union of its positions' residue sets
  std::vector<int> cols;
};

std::vector<Group> group_columns(const Side& s, int min_group) {
  std::vector<std::pair<std::uint32_t, int>> keyed;
  keyed.reserve(static_cast<std::size_t>(s.n));
  for (int j = 0; j < s.n; ++j)
    if (s.mask[static_cast<std::size_t>(j)]) keyed.emplace_back(s.mask[static_cast<std::size_t>(j)], j);
  std::sort(keyed.begin(), keyed.end());
  std::vector<Group> groups;
  Group rare;
  for (std::size_t k = 0; k < keyed.size();) {
    std::size_t end = k;
    while (end < keyed.size() && keyed[end].first == keyed[k].first) ++end;
    Group& g = (end - k >= static_cast<std::size_t>(min_group)) ? groups.emplace_back() : rare;
    g.mask |= keyed[k].first;
    for (; k < end; ++k) g.cols.push_back(keyed[k].second);
  }
  if (!rare.cols.empty()) {
    auto same = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.mask == rare.mask; });
    if (same == groups.end()) {
      groups.push_back(std::move(rare));
    } else {
      same->cols.insert(same->cols.end(), rare.cols.begin(), rare.cols.end());
    }
  }
  for (Group& g : groups) std::sort(g.cols.begin(), g.cols.end());
  return groups;
}

// Estimated work of scoring with `rows` as rows and these column groups.
double estimate(const Side& rows, const std::vector<Group>& groups, const ScoreTiling& tiling) {
  std::vector<std::uint32_t> masks;
  for (std::uint32_t m : rows.mask)
    if (m) masks.push_back(m);
  std::sort(masks.begin(), masks.end());
  std::vector<std::pair<std::uint32_t, double>> counted;
  for (std::uint32_t m : masks) {
    if (counted.empty() || counted.back().first != m) counted.emplace_back(m, 0.0);
    counted.back().second += 1.0;
  }
  double total = 0.0;
  for (const Group& g : groups) {
    double product_rows = 0.0;
    for (const auto& [m, count] : counted) product_rows += count * count_pairs(m, g.mask);
    const double tiles = std::ceil(static_cast<double>(g.cols.size()) / std::max(1, tiling.tile_columns));
    total += product_rows * (static_cast<double>(g.cols.size()) + kRowOverhead * tiles);
  }
  return total;
}

// acc += c * (log2(num / den) - base) over one row of a tile.  fast_log2 is
// finite for every input, so a pair that no positive weight reaches (c = 0)
// adds exactly 0.  Built once per vector path below; the compiler may fuse
// a multiply and its add on the paths that have fused instructions, so the
// paths may differ in the last bits, as the products' paths do (each path
// always gives the same scores).
[[gnu::always_inline]] inline void accumulate_pair(int n, const float* __restrict num, const float* __restrict rden,
                                                   const float* __restrict w2hi, const float* __restrict w2lo,
                                                   float w1lo, float w1hi, float base, float* __restrict acc) {
  for (int jj = 0; jj < n; ++jj) {
    const float v = fast_log2(num[jj] * rden[jj]) - base;
    const float c = w1lo * w2hi[jj] + w1hi * w2lo[jj];
    acc[jj] += c * v;
  }
}

#define XK_ACCUMULATE_PAIR(name, target)                                                                          \
  target void name(int n, const float* __restrict num, const float* __restrict rden, const float* __restrict w2hi, \
                   const float* __restrict w2lo, float w1lo, float w1hi, float base, float* __restrict acc) {     \
    accumulate_pair(n, num, rden, w2hi, w2lo, w1lo, w1hi, base, acc);                                             \
  }
XK_ACCUMULATE_PAIR(accumulate_pair_plain, )
XK_ACCUMULATE_PAIR(accumulate_pair_avx2, XK_TARGET_AVX2)
XK_ACCUMULATE_PAIR(accumulate_pair_avx512, XK_TARGET_AVX512)
#undef XK_ACCUMULATE_PAIR

using AccumulatePair = decltype(&accumulate_pair_plain);

AccumulatePair accumulate_pair_for(VectorPath path) {
  return kernel_for(path, accumulate_pair_plain, accumulate_pair_avx2, accumulate_pair_avx512);
}

// A position of the row input inside the current product block.
struct BlockEntry {
  int i = 0;
  int first_row = 0;        // its first product row, one per pair
  int pair_count = 0;
  std::size_t pair_at = 0;  // its pairs in the block's pair list
};

// Where mij(i, j) of a row-input position i and a column-input position j is.
struct Out {
  float* mij = nullptr;
  std::size_t row_stride = 0;
  std::size_t col_stride = 0;
  float& at(std::size_t i, std::size_t j) const { return mij[i * row_stride + j * col_stride]; }
};

// Replaces den(i, j), already in mij, by the score of every pair of
// positions that both carry a weight.
void score_oriented(const Derived& d, const Side& rows, const Side& cols, const std::vector<Group>& groups, Out out,
                    const ScoreTiling& tiling) {
  std::vector<int> live_rows;
  std::uint32_t row_union = 0;
  for (int i = 0; i < rows.n; ++i)
    if (rows.mask[static_cast<std::size_t>(i)]) {
      live_rows.push_back(i);
      row_union |= rows.mask[static_cast<std::size_t>(i)];
    }
  // Working sizes, no larger than these inputs need.
  std::size_t widest = 0;
  int most_rows = 1;  // product rows of one position
  for (const Group& g : groups) {
    widest = std::max(widest, g.cols.size());
    most_rows = std::max(most_rows, count_pairs(row_union, g.mask));
  }
  const int tile_max = static_cast<int>(std::min<std::size_t>(std::max(1, tiling.tile_columns), widest));
  const int block_target = std::max(1, tiling.block_rows);
  const int tile_pad = (tile_max + kPad - 1) / kPad * kPad;
  const int row_cap = std::min(block_target - 1 + most_rows, static_cast<int>(live_rows.size()) * most_rows);

  std::vector<float> g2(static_cast<std::size_t>(tile_max) * K);
  std::vector<float> w2t(static_cast<std::size_t>(kAA) * static_cast<std::size_t>(tile_pad));
  // Product operands: every entry read is written first (no clearing).
  auto a = std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(row_cap) * K);
  auto c = std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(row_cap) * static_cast<std::size_t>(tile_pad));
  std::vector<float> rden(static_cast<std::size_t>(tile_pad), 1.0f), acc(static_cast<std::size_t>(tile_pad));
  std::vector<BlockEntry> block;
  std::vector<std::uint8_t> pairs;
  const AccumulatePair accumulate_pair_path = accumulate_pair_for(tiling.path);

  for (const Group& g : groups) {
    for (std::size_t t0 = 0; t0 < g.cols.size(); t0 += static_cast<std::size_t>(tile_max)) {
      const std::size_t nj = std::min(g.cols.size() - t0, static_cast<std::size_t>(tile_max));
      const std::size_t njp = (nj + kPad - 1) / kPad * kPad;
      const int* tile_cols = g.cols.data() + t0;
      // The tile's gamma rows and its weights residue-major; padding columns
      // weigh 0 and see a ratio of 1.
      std::fill(w2t.begin(), w2t.end(), 0.0f);
      for (std::size_t jj = 0; jj < nj; ++jj) {
        const std::size_t j = static_cast<std::size_t>(tile_cols[jj]);
        std::copy_n(cols.g.data() + j * K, K, g2.data() + jj * K);
        for (std::size_t b = 0; b < kAA; ++b) w2t[b * njp + jj] = cols.w[j * kAA + b];
      }
      for (std::size_t r = 0; r < static_cast<std::size_t>(row_cap); ++r)
        std::fill(c.get() + r * njp + nj, c.get() + r * njp + njp, 1.0f);
      std::fill(rden.begin() + static_cast<std::ptrdiff_t>(nj), rden.end(), 1.0f);

      for (std::size_t next = 0; next < live_rows.size();) {
        // Gather positions until the block holds enough product rows.
        block.clear();
        pairs.clear();
        int m = 0;
        while (next < live_rows.size() && m < block_target) {
          BlockEntry e;
          e.i = live_rows[next++];
          e.first_row = m;
          e.pair_at = pairs.size();
          e.pair_count = list_pairs(rows.mask[static_cast<std::size_t>(e.i)], g.mask, pairs);
          m += e.pair_count;
          block.push_back(e);
        }
        // Product rows: the gamma row scaled by each pair's frequencies.
        for (const BlockEntry& e : block) {
          const float* g1 = rows.g.data() + static_cast<std::size_t>(e.i) * K;
          for (int k = 0; k < e.pair_count; ++k) {
            float* dst = a.get() + static_cast<std::size_t>(e.first_row + k) * K;
            const float* pr = d.pair_rows + static_cast<std::size_t>(pairs[e.pair_at + static_cast<std::size_t>(k)]) * K;
            for (int s = 0; s < K; ++s) dst[s] = g1[s] * pr[s];
          }
        }
        gemm_abt(tiling.path, m, static_cast<int>(nj), K, a.get(), K, g2.data(), K, c.get(), static_cast<int>(njp));

        for (const BlockEntry& e : block) {
          const std::size_t i = static_cast<std::size_t>(e.i);
          for (std::size_t jj = 0; jj < nj; ++jj) rden[jj] = 1.0f / out.at(i, static_cast<std::size_t>(tile_cols[jj]));
          std::fill(acc.begin(), acc.end(), 0.0f);
          const float* w1 = rows.w.data() + i * kAA;
          for (int k = 0; k < e.pair_count; ++k) {
            const std::size_t p = pairs[e.pair_at + static_cast<std::size_t>(k)];
            const std::size_t lo = kPairNames.lo[p], hi = kPairNames.hi[p];
            accumulate_pair_path(static_cast<int>(njp), c.get() + static_cast<std::size_t>(e.first_row + k) * njp,
                            rden.data(), w2t.data() + hi * njp, w2t.data() + lo * njp, w1[lo],
                            lo == hi ? 0.0f : w1[hi], d.log_base[p], acc.data());
          }
          for (std::size_t jj = 0; jj < nj; ++jj) out.at(i, static_cast<std::size_t>(tile_cols[jj])) = acc[jj];
        }
      }
    }
  }
}

// The column input of the grouped scorer: its positions with a weight, in
// residue-set group order, their gamma entries by state (states in
// state-group order, so a group's states are a block of rows of the
// product's operand) and their weights residue-major.
struct GroupedColumns {
  std::vector<int> order;            // column positions, group after group
  std::vector<std::size_t> at;       // residue-set groups + 1 offsets into order
  std::vector<std::uint32_t> mask;   // each residue-set group's residues
  std::vector<float> gt;             // K x padded, gt[k * padded + c]
  std::vector<float> wt;             // 20 x padded, wt[b * padded + c]
  std::size_t padded = 0;

  GroupedColumns(const Side& cols, const std::vector<Group>& groups, const StateGroups& sg) {
    at.push_back(0);
    for (const Group& grp : groups) {
      order.insert(order.end(), grp.cols.begin(), grp.cols.end());
      at.push_back(order.size());
      mask.push_back(grp.mask);
    }
    padded = (order.size() + kPad - 1) / kPad * kPad;
    gt.assign(static_cast<std::size_t>(K) * padded, 0.0f);
    wt.assign(static_cast<std::size_t>(kAA) * padded, 0.0f);
    // Gathered kBlock positions at a time and laid down by state, so that
    // every write continues a run of kBlock entries.
    constexpr std::size_t kBlock = 16;
    std::vector<float> rows(kBlock * K);
    for (std::size_t c0 = 0; c0 < order.size(); c0 += kBlock) {
      const std::size_t nb = std::min(kBlock, order.size() - c0);
      for (std::size_t c = 0; c < nb; ++c) {
        const std::size_t j = static_cast<std::size_t>(order[c0 + c]);
        gather_states(cols, j, sg, rows.data() + c * K);
        for (std::size_t b = 0; b < kAA; ++b) wt[b * padded + c0 + c] = cols.w[j * kAA + b];
      }
      for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
        for (std::size_t c = 0; c < nb; ++c) gt[k * padded + c0 + c] = rows[c * K + k];
    }
  }

  // Position i's gamma row as scored, its states in state-group order.
  static void gather_states(const Side& side, std::size_t i, const StateGroups& sg, float* dst) {
    if (side.ordered != nullptr) {
      std::copy_n(side.ordered + i * K, sg.states.size(), dst);
      return;
    }
    for (std::size_t k = 0; k < sg.states.size(); ++k) dst[k] = side.state(i, sg.states[k] + 1);
  }
};

// One row position against n columns of one residue-set group, for every
// pair of its list: num(c) = sum_g B_g(p) H_g(c), groups in order, then
// acc(c) += c_w(p, c) * (log2(num(c) / den(c)) - base(p)), pairs in list
// order.  The columns go in blocks of vectors that stay in registers while
// every pair passes over them; h, rden and the weights start at the range's
// first column.
struct GroupedRange {
  int n = 0;
  std::span<const std::uint8_t> pairs;
  const float* blocks = nullptr;  // B: pair-major, `groups` entries a pair
  int groups = 0;
  const float* h = nullptr;       // group g at h[g * stride + c]
  std::size_t stride = 0;
  const float* rden = nullptr;    // 1 / den(c)
  const float* wt = nullptr;      // residue b at wt[b * padded + c]
  std::size_t padded = 0;
  const float* w1 = nullptr;      // the row's 20 weights
  const float* log_base = nullptr;
};

// The last `rest` columns (from c0) of `count` rows of src (row stride
// `stride`) into dst as rows of `width` entries, zero-padded: the columns
// that fill no vector, laid out so a whole vector can score them.
inline void padded_tail(const float* src, std::size_t stride, std::size_t count, std::size_t c0, std::size_t rest,
                        std::size_t width, float* dst) {
  assert(rest <= width);
  for (std::size_t r = 0; r < count; ++r) {
    std::copy_n(src + r * stride + c0, rest, dst + r * width);
    std::fill(dst + r * width + rest, dst + (r + 1) * width, 0.0f);
  }
}

// P pairs of the list (from `pairs`) against NV vectors of columns from c0,
// added to sum in list order, with the P x NV group sums in registers side
// by side: a pair's sum over the groups is a chain of dependent adds, and
// several pairs and vectors at once keep the multiply-add units busy.  A
// column's value depends on its own lane only, so any blocking gives the
// same scores.
template <int Bytes, int NV, int P>
[[gnu::always_inline]] inline void grouped_pairs(const GroupedRange& r, std::size_t c0,
                                                 const std::uint8_t* __restrict pairs,
                                                 typename FloatVec<Bytes>::F (&sum)[NV]) {
  using V = typename FloatVec<Bytes>::F;
  constexpr std::size_t L = FloatVec<Bytes>::kLanes;
  const std::size_t ng = static_cast<std::size_t>(r.groups);
  const float* b[P];
  for (int p = 0; p < P; ++p) b[p] = r.blocks + pairs[p] * ng;
  V num[P * NV] = {};  // pair p, vector v at num[p * NV + v]
  for (std::size_t g = 0; g < ng; ++g) {
    const float* hg = r.h + g * r.stride + c0;
    V hv[NV];
    for (int v = 0; v < NV; ++v) std::memcpy(&hv[v], hg + v * L, sizeof(V));
    for (int p = 0; p < P; ++p) {
      const float bg = b[p][g];
      for (int v = 0; v < NV; ++v) num[p * NV + v] += bg * hv[v];
    }
  }
  V rden[NV];
  for (int v = 0; v < NV; ++v) std::memcpy(&rden[v], r.rden + c0 + v * L, sizeof(V));
  for (int p = 0; p < P; ++p)
    for (int v = 0; v < NV; ++v) num[p * NV + v] = num[p * NV + v] * rden[v];
  fast_log2_lanes<Bytes, P * NV>(num);
  for (int p = 0; p < P; ++p) {
    const std::size_t lo = kPairNames.lo[pairs[p]], hi = kPairNames.hi[pairs[p]];
    const float w1lo = r.w1[lo], w1hi = lo == hi ? 0.0f : r.w1[hi], base = r.log_base[pairs[p]];
    for (int v = 0; v < NV; ++v) {
      V w2hi, w2lo;
      std::memcpy(&w2hi, r.wt + hi * r.padded + c0 + v * L, sizeof(V));
      std::memcpy(&w2lo, r.wt + lo * r.padded + c0 + v * L, sizeof(V));
      const V lv = num[p * NV + v] - base;
      sum[v] += (w1lo * w2hi + w1hi * w2lo) * lv;
    }
  }
}

// NV vectors of columns from c0, every pair of the list: P pairs at a time,
// then the rest one by one.
template <int Bytes, int NV, int P>
[[gnu::always_inline]] inline void grouped_columns(const GroupedRange& r, std::size_t c0, float* __restrict acc) {
  using V = typename FloatVec<Bytes>::F;
  constexpr std::size_t L = FloatVec<Bytes>::kLanes;
  V sum[NV] = {};
  const std::size_t np = r.pairs.size();
  std::size_t k = 0;
  for (; k + P <= np; k += P) grouped_pairs<Bytes, NV, P>(r, c0, r.pairs.data() + k, sum);
  for (; k < np; ++k) grouped_pairs<Bytes, NV, 1>(r, c0, r.pairs.data() + k, sum);
  for (int v = 0; v < NV; ++v) std::memcpy(acc + c0 + v * L, &sum[v], sizeof(V));
}

// The range in blocks of NV vectors, then single vectors; the last columns
// that fill no vector are copied into one vector's width of zero-padded
// rows and scored as a whole vector (each column's score depends on its own
// column only).
template <int Bytes, int NV, int P>
[[gnu::always_inline]] inline void grouped_range(const GroupedRange& r, float* __restrict acc) {
  constexpr std::size_t L = FloatVec<Bytes>::kLanes;
  const auto n = static_cast<std::size_t>(r.n);
  std::size_t c0 = 0;
  for (; c0 + NV * L <= n; c0 += NV * L) grouped_columns<Bytes, NV, P>(r, c0, acc);
  for (; c0 + L <= n; c0 += L) grouped_columns<Bytes, 1, P>(r, c0, acc);
  if (c0 == n) return;
  const std::size_t rest = n - c0;
  assert(r.groups <= kMaxStateGroups);
  const std::size_t ng = static_cast<std::size_t>(r.groups);
  float h[kMaxStateGroups * L], rden[L], wt[kAA * L], out[L];
  padded_tail(r.h, r.stride, ng, c0, rest, L, h);
  padded_tail(r.rden, 0, 1, c0, rest, L, rden);
  padded_tail(r.wt, r.padded, kAA, c0, rest, L, wt);
  GroupedRange tail = r;
  tail.n = static_cast<int>(L);
  tail.h = h;
  tail.stride = L;
  tail.rden = rden;
  tail.wt = wt;
  tail.padded = L;
  grouped_columns<Bytes, 1, P>(tail, 0, out);
  std::copy_n(out, rest, acc + c0);
}

#define XK_GROUPED_RANGE(name, target, bytes, nv, p) \
  target void name(const GroupedRange& r, float* acc) { grouped_range<bytes, nv, p>(r, acc); }
XK_GROUPED_RANGE(grouped_range_plain, , 16, 2, 4)
XK_GROUPED_RANGE(grouped_range_avx2, XK_TARGET_AVX2, 32, 2, 4)
XK_GROUPED_RANGE(grouped_range_avx512, XK_TARGET_AVX512, 64, 2, 4)
#undef XK_GROUPED_RANGE

using GroupedRangeFn = decltype(&grouped_range_plain);

GroupedRangeFn grouped_range_for(VectorPath path) {
  return kernel_for(path, grouped_range_plain, grouped_range_avx2, grouped_range_avx512);
}

// For inputs with one residue per position (sequences): each column's
// factor B_g(pair(a, b_j)) and base log2(f p(a) p(b_j)), for every row
// residue a, so that a row is scored in one sweep over all columns.
struct OneHotColumns {
  std::vector<float> coef;  // 20 x groups x padded
  std::vector<float> base;  // 20 x padded
  std::vector<float> w;     // padded: the column's weight

  OneHotColumns() = default;
  OneHotColumns(const Derived& d, const GroupedColumns& gc, const Side& cols, int groups) {
    const std::size_t ng = static_cast<std::size_t>(groups), np = gc.padded;
    const std::size_t nc = gc.order.size();
    coef.assign(kAA * ng * np, 0.0f);
    base.assign(kAA * np, 0.0f);
    w.assign(np, 0.0f);
    std::vector<int> residue(nc);
    for (std::size_t c = 0; c < nc; ++c) {
      const std::size_t j = static_cast<std::size_t>(gc.order[c]);
      residue[c] = std::countr_zero(cols.mask[j]);
      w[c] = cols.w[j * kAA + static_cast<std::size_t>(residue[c])];
    }
    // Row by row of the tables, so that every write is to the next entry.
    std::vector<std::size_t> pair_of(nc);
    for (int a = 0; a < kAA; ++a) {
      for (std::size_t c = 0; c < nc; ++c)
        pair_of[c] = static_cast<std::size_t>(pair_index(std::min(a, residue[c]), std::max(a, residue[c])));
      float* base_a = base.data() + static_cast<std::size_t>(a) * np;
      for (std::size_t c = 0; c < nc; ++c) base_a[c] = d.log_base[pair_of[c]];
      for (std::size_t g = 0; g < ng; ++g) {
        float* coef_ag = coef.data() + (static_cast<std::size_t>(a) * ng + g) * np;
        for (std::size_t c = 0; c < nc; ++c) coef_ag[c] = d.groups->pair[pair_of[c] * ng + g];
      }
    }
  }
};

// Whether every position with a weight has exactly one residue.
bool one_residue_each(const Side& s) {
  return std::all_of(s.mask.begin(), s.mask.end(), [](std::uint32_t m) { return std::popcount(m) <= 1; });
}

// 1 / den(c) of one row position, den(c) = sum_g H_g(c), groups in order.
[[gnu::always_inline]] inline void row_reciprocals(const float* __restrict h, std::size_t stride, int groups,
                                                   std::size_t nc, float* __restrict den, float* __restrict rden) {
  std::fill(den, den + nc, 0.0f);
  for (std::size_t g = 0; g < static_cast<std::size_t>(groups); ++g) {
    const float* __restrict hg = h + g * stride;
    for (std::size_t c = 0; c < nc; ++c) den[c] += hg[c];
  }
  for (std::size_t c = 0; c < nc; ++c) rden[c] = 1.0f / den[c];
}

// One row of residue a (weight wa) against NV vectors of columns from c0:
// den = sum_g H_g and num = sum_g coef_g H_g (groups in order, side by side
// in registers), then acc(c) = wa w(c) (log2(num / den) - base).  coef,
// base and w start at the residue's rows of the one-hot factors, every row
// `stride` long.
template <int Bytes, int NV>
[[gnu::always_inline]] inline void one_hot_columns(const float* __restrict coef, const float* __restrict base,
                                                   const float* __restrict w, float wa, const float* __restrict h,
                                                   std::size_t stride, int groups, std::size_t c0,
                                                   float* __restrict acc) {
  using V = typename FloatVec<Bytes>::F;
  constexpr std::size_t L = FloatVec<Bytes>::kLanes;
  V den[NV] = {}, num[NV] = {};
  for (std::size_t g = 0; g < static_cast<std::size_t>(groups); ++g)
    for (int v = 0; v < NV; ++v) {
      V hv, cv;
      std::memcpy(&hv, h + g * stride + c0 + v * L, sizeof(V));
      std::memcpy(&cv, coef + g * stride + c0 + v * L, sizeof(V));
      den[v] += hv;
      num[v] += cv * hv;
    }
  for (int v = 0; v < NV; ++v) {
    const V rden = 1.0f / den[v];
    num[v] = num[v] * rden;
  }
  fast_log2_lanes<Bytes, NV>(num);
  for (int v = 0; v < NV; ++v) {
    V bv, wv;
    std::memcpy(&bv, base + c0 + v * L, sizeof(V));
    std::memcpy(&wv, w + c0 + v * L, sizeof(V));
    const V out = wa * wv * (num[v] - bv);
    std::memcpy(acc + c0 + v * L, &out, sizeof(V));
  }
}

// One row of residue a (weight wa) against all nc columns: in blocks of NV
// vectors, then single vectors; the last columns that fill no vector are
// copied into one vector's width of zero-padded rows.
template <int Bytes, int NV>
[[gnu::always_inline]] inline void one_hot_row(const OneHotColumns& oh, int a, float wa, const float* __restrict h,
                                               std::size_t stride, int groups, std::size_t nc, float* __restrict acc) {
  constexpr std::size_t L = FloatVec<Bytes>::kLanes;
  const std::size_t ng = static_cast<std::size_t>(groups), ra = static_cast<std::size_t>(a);
  const float* coef = oh.coef.data() + ra * ng * stride;
  const float* base = oh.base.data() + ra * stride;
  const float* w = oh.w.data();
  std::size_t c0 = 0;
  for (; c0 + NV * L <= nc; c0 += NV * L) one_hot_columns<Bytes, NV>(coef, base, w, wa, h, stride, groups, c0, acc);
  for (; c0 + L <= nc; c0 += L) one_hot_columns<Bytes, 1>(coef, base, w, wa, h, stride, groups, c0, acc);
  if (c0 == nc) return;
  const std::size_t rest = nc - c0;
  assert(groups <= kMaxStateGroups);
  float th[kMaxStateGroups * L], tcoef[kMaxStateGroups * L], tbase[L], tw[L], out[L];
  padded_tail(h, stride, ng, c0, rest, L, th);
  padded_tail(coef, stride, ng, c0, rest, L, tcoef);
  padded_tail(base, 0, 1, c0, rest, L, tbase);
  padded_tail(w, 0, 1, c0, rest, L, tw);
  one_hot_columns<Bytes, 1>(tcoef, tbase, tw, wa, th, L, groups, 0, out);
  std::copy_n(out, rest, acc + c0);
}

// The row loops above on each vector path.
#define XK_ROW_LOOPS(suffix, target, bytes, nv)                                                                   \
  target void row_reciprocals_##suffix(const float* h, std::size_t stride, int groups, std::size_t nc, float* den, \
                                       float* rden) {                                                             \
    row_reciprocals(h, stride, groups, nc, den, rden);                                                            \
  }                                                                                                               \
  target void one_hot_row_##suffix(const OneHotColumns& oh, int a, float wa, const float* h, std::size_t stride,  \
                                   int groups, std::size_t nc, float* acc) {                                      \
    one_hot_row<bytes, nv>(oh, a, wa, h, stride, groups, nc, acc);                                                \
  }
XK_ROW_LOOPS(plain, , 16, 4)
XK_ROW_LOOPS(avx2, XK_TARGET_AVX2, 32, 4)
XK_ROW_LOOPS(avx512, XK_TARGET_AVX512, 64, 4)
#undef XK_ROW_LOOPS

struct RowLoops {
  decltype(&row_reciprocals_plain) reciprocals = row_reciprocals_plain;
  decltype(&one_hot_row_plain) one_hot = one_hot_row_plain;
};

RowLoops row_loops_for(VectorPath path) {
  return {kernel_for(path, row_reciprocals_plain, row_reciprocals_avx2, row_reciprocals_avx512),
          kernel_for(path, one_hot_row_plain, one_hot_row_avx2, one_hot_row_avx512)};
}

}  // namespace

// An input as the grouped scorer's columns: its residue-set groups, its
// gamma rows and weights in group order, and (one residue a position) the
// per-residue factors; made for one set of prepared tables.
struct ColumnForm {
  const float* pair_rows = nullptr;  // the tables it was made for
  const float* log_base = nullptr;
  const StateGroups* groups = nullptr;
  int n = 0;
  int min_group = 0;
  std::vector<Group> by;
  GroupedColumns gc;
  OneHotColumns oh;  // empty unless every position has one residue

  ColumnForm(const Derived& d, const Side& s, int min_group_)
      : pair_rows(d.pair_rows), log_base(d.log_base), groups(d.groups), n(s.n), min_group(min_group_),
        by(group_columns(s, min_group_)), gc(s, by, *d.groups),
        oh(one_residue_each(s) ? OneHotColumns(d, gc, s, d.groups->count()) : OneHotColumns()) {}
};

namespace {

// `form` when it was made for these tables, this input's size and this
// grouping; null otherwise.
const ColumnForm* usable(const ColumnForm* form, const Derived& d, const Side& s, int min_group) {
  if (form == nullptr || form->pair_rows != d.pair_rows || form->log_base != d.log_base || form->groups != d.groups ||
      form->n != s.n || form->min_group != min_group)
    return nullptr;
  return form;
}

// The group sums H of a block of row positions: row r, group g at
// h[(r * groups + g) * stride + c].
void group_products(const StateGroups& sg, const Side& rows, const int* block_rows, std::size_t nb,
                    const GroupedColumns& gc, float* g1, float* h) {
  const int ng = sg.count();
  const std::size_t stride = gc.padded;
  for (std::size_t r = 0; r < nb; ++r)
    GroupedColumns::gather_states(rows, static_cast<std::size_t>(block_rows[r]), sg, g1 + r * K);
  for (int g = 0; g < ng; ++g) {
    const int off = sg.start[static_cast<std::size_t>(g)], len = sg.start[static_cast<std::size_t>(g) + 1] - off;
    gemm_ab(static_cast<int>(nb), static_cast<int>(gc.order.size()), len, g1 + off, K,
            gc.gt.data() + static_cast<std::size_t>(off) * stride, static_cast<int>(stride),
            h + static_cast<std::size_t>(g) * stride, static_cast<int>(stride) * ng);
  }
}

// The grouped scorer: per block of row positions, one product per state
// group (H_g), then every pair's numerator as sum_g B_g H_g.  Fills the
// entries of positions that both carry a weight; leaves the others alone.
// What the grouped scorer takes off every score in the same pass: `share`
// times the score under the tables `d`, which group their states as the
// scoring tables do, so that both read the same group sums.
struct LessNull {
  const Derived* d = nullptr;
  float share = 0.0f;
};

void score_grouped(const Derived& d, const Side& rows, const Side& cols, const std::vector<Group>& groups, Out out,
                   const ScoreTiling& tiling, const ColumnForm* form, LessNull less) {
  const StateGroups& sg = *d.groups;
  const int ng = sg.count();
  std::optional<GroupedColumns> own_gc;
  const GroupedColumns& gc = form != nullptr ? form->gc : own_gc.emplace(cols, groups, sg);
  const std::size_t nc = gc.order.size(), stride = gc.padded;
  if (nc == 0) return;
  std::vector<int> live;
  for (int i = 0; i < rows.n; ++i)
    if (rows.mask[static_cast<std::size_t>(i)]) live.push_back(i);
  const bool one_hot = one_residue_each(rows) && one_residue_each(cols);
  std::optional<OneHotColumns> own_oh, null_oh;
  const OneHotColumns& oh = !one_hot        ? own_oh.emplace()
                            : form != nullptr ? form->oh
                                              : own_oh.emplace(d, gc, cols, ng);
  if (one_hot && less.d != nullptr) null_oh.emplace(*less.d, gc, cols, ng);
  const std::size_t block = static_cast<std::size_t>(std::max(1, tiling.grouped_rows));
  // Working rows, each entry written before it is read (no clearing): the
  // block's gamma rows, its group sums, one row's sums and reciprocals, and
  // the scores of the block, one row of `stride` a position, in column
  // order, written out once the block is done; one row of null scores.
  auto g1 = std::make_unique_for_overwrite<float[]>(block * K);
  auto h = std::make_unique_for_overwrite<float[]>(block * static_cast<std::size_t>(ng) * stride);
  auto rden = std::make_unique_for_overwrite<float[]>(stride), num = std::make_unique_for_overwrite<float[]>(stride);
  auto acc = std::make_unique_for_overwrite<float[]>(block * stride);
  auto null_row = std::make_unique_for_overwrite<float[]>(less.d != nullptr ? stride : 0);
  std::vector<std::uint8_t> pairs;
  const GroupedRangeFn grouped_range_path = grouped_range_for(tiling.path);
  const RowLoops loops = row_loops_for(tiling.path);
  // Row position i's scores under the tables `dd` (their one-hot factors
  // `ohx`) from its group sums hr and reciprocals, into dst (column order).
  auto score_row = [&](const Derived& dd, const OneHotColumns& ohx, std::size_t i, const float* hr, float* dst) {
    if (one_hot) {
      const int a = std::countr_zero(rows.mask[i]);
      loops.one_hot(ohx, a, rows.w[i * kAA + static_cast<std::size_t>(a)], hr, stride, ng, nc, dst);
      return;
    }
    for (std::size_t q = 0; q + 1 < gc.at.size(); ++q) {
      const std::size_t c0 = gc.at[q], c1 = gc.at[q + 1];
      pairs.clear();
      list_pairs(rows.mask[i], gc.mask[q], pairs);
      GroupedRange range;
      range.n = static_cast<int>(c1 - c0);
      range.pairs = pairs;
      range.blocks = dd.groups->pair.data();
      range.groups = ng;
      range.h = hr + c0;
      range.stride = stride;
      range.rden = rden.get() + c0;
      range.wt = gc.wt.data() + c0;
      range.padded = gc.padded;
      range.w1 = rows.w.data() + i * kAA;
      range.log_base = dd.log_base;
      grouped_range_path(range, dst + c0);
    }
  };
  for (std::size_t b0 = 0; b0 < live.size(); b0 += block) {
    const std::size_t nb = std::min(block, live.size() - b0);
    group_products(sg, rows, live.data() + b0, nb, gc, g1.get(), h.get());
    for (std::size_t r = 0; r < nb; ++r) {
      const std::size_t i = static_cast<std::size_t>(live[b0 + r]);
      const float* hr = h.get() + r * static_cast<std::size_t>(ng) * stride;
      float* acc_r = acc.get() + r * stride;
      if (!one_hot) loops.reciprocals(hr, stride, ng, nc, num.get(), rden.get());
      score_row(d, oh, i, hr, acc_r);
      if (less.d == nullptr) continue;
      // The score less the share of the null's, as two tables scored apart
      // would be combined: a product, then a difference (this function is
      // built for the baseline path, which has no fused multiply-add).
      score_row(*less.d, null_oh ? *null_oh : oh, i, hr, null_row.get());
      for (std::size_t c = 0; c < nc; ++c) acc_r[c] = acc_r[c] - less.share * null_row[c];
    }
    // Out in the order of its memory: along its rows when a column input
    // position is a step of 1 there, else column by column.
    const int* block_rows = live.data() + b0;
    if (out.col_stride == 1) {
      for (std::size_t r = 0; r < nb; ++r)
        for (std::size_t c = 0; c < nc; ++c)
          out.at(static_cast<std::size_t>(block_rows[r]), static_cast<std::size_t>(gc.order[c])) = acc[r * stride + c];
    } else {
      for (std::size_t c = 0; c < nc; ++c)
        for (std::size_t r = 0; r < nb; ++r)
          out.at(static_cast<std::size_t>(block_rows[r]), static_cast<std::size_t>(gc.order[c])) = acc[r * stride + c];
    }
  }
}

// Both orientations scored through the state groups into `out` (first
// input's position i, second's j); positions without a weight score 0.
void score_grouped_pairs(const Derived& d, const Side& s1, const Side& s2, Out out, const ScoreTiling& tiling,
                         const ColumnForm* form1, const ColumnForm* form2, LessNull less) {
  const std::size_t n1 = static_cast<std::size_t>(s1.n), n2 = static_cast<std::size_t>(s2.n);
  // The scorer fills every pair of positions that both carry a weight.
  for (std::size_t i = 0; i < n1; ++i)
    if (!s1.mask[i])
      for (std::size_t j = 0; j < n2; ++j) out.at(i, j) = 0.0f;
  for (std::size_t j = 0; j < n2; ++j)
    if (!s2.mask[j])
      for (std::size_t i = 0; i < n1; ++i) out.at(i, j) = 0.0f;
  const Out turned{out.mij, out.col_stride, out.row_stride};  // the second input's positions as rows
  const int min_group = std::max(1, tiling.min_group);
  form1 = usable(form1, d, s1, min_group);
  form2 = usable(form2, d, s2, min_group);
  std::vector<Group> own1, own2;
  const std::vector<Group>& by2 = form2 != nullptr ? form2->by : (own2 = group_columns(s2, min_group));
  const std::vector<Group>& by1 = form1 != nullptr ? form1->by : (own1 = group_columns(s1, min_group));
  if (estimate(s2, by1, tiling) < estimate(s1, by2, tiling)) {
    score_grouped(d, s2, s1, by1, turned, tiling, form1, less);
  } else {
    score_grouped(d, s1, s2, by2, out, tiling, form2, less);
  }
}

}  // namespace

std::vector<float> state_ordered_rows(const StateGroups& groups, std::span<const float> gamma, int n, float add) {
  if (groups.count() == 0) return {};
  const std::size_t rows = static_cast<std::size_t>(std::max(n, 0));
  assert(gamma.size() >= rows * kGammaRow && groups.states.size() == static_cast<std::size_t>(K));
  std::vector<float> out(rows * K);
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t k = 0; k < static_cast<std::size_t>(K); ++k)
      out[i * K + k] = gamma[i * kGammaRow + static_cast<std::size_t>(groups.states[k]) + 1] + add;
  return out;
}

void derive_pair_tables(ScoringTables& t) {
  t.pair_by_state.resize(static_cast<std::size_t>(kPairs) * K);
  t.pair_log_base.resize(kPairs);
  fill_pair_by_state(t.pair, t.pair_by_state);
  fill_pair_log_base(t.background, t.pair_log_base);
  t.state_groups = group_states(t.pair_by_state);
}

namespace {

// score_pairs on one band of the first input's positions, into `out`; by
// rows (out.col_stride 1, out.row_stride second.n) unless the tables group
// their states.
void score_band(const Derived& d, const ScoreSide& first, const ScoreSide& second, Out out, const ScoreTiling& tiling,
                bool grouped, LessNull less) {
  const std::size_t n1 = static_cast<std::size_t>(first.n), n2 = static_cast<std::size_t>(second.n);
  const Side s1(first, !grouped), s2(second, !grouped);
  const int min_group = std::max(1, tiling.min_group);
  if (grouped) {
    score_grouped_pairs(d, s1, s2, out, tiling, first.form, second.form, less);
    return;
  }
  assert(out.col_stride == 1 && out.row_stride == n2 && less.d == nullptr);
  const std::span<float> mij(out.mij, n1 * n2);
  // den(i, j) of every pair of positions, in one product straight into mij;
  // positions without weight score 0.
  gemm_abt(tiling.path, first.n, second.n, K, s1.g.data(), K, s2.g.data(), K, mij.data(), second.n);
  for (std::size_t i = 0; i < n1; ++i) {
    float* row = mij.data() + i * n2;
    if (!s1.mask[i]) {
      std::fill(row, row + n2, 0.0f);
      continue;
    }
    for (std::size_t j = 0; j < n2; ++j)
      if (!s2.mask[j]) row[j] = 0.0f;
  }

  const std::vector<Group> by2 = group_columns(s2, min_group);
  const std::vector<Group> by1 = group_columns(s1, min_group);
  if (estimate(s2, by1, tiling) < estimate(s1, by2, tiling)) {
    // The second input's positions are the rows.
    score_oriented(d, s2, s1, by1, Out{mij.data(), 1, n2}, tiling);
  } else {
    score_oriented(d, s1, s2, by2, Out{mij.data(), n2, 1}, tiling);
  }
}

// Rows first..first+count of a side.
ScoreSide band_of(const ScoreSide& s, int first, int count) {
  const std::size_t at = static_cast<std::size_t>(first), rows = static_cast<std::size_t>(count);
  return {count, s.weights.subspan(at * kAA, rows * kAA),
          s.gamma.empty() ? s.gamma : s.gamma.subspan(at * kGammaRow, rows * kGammaRow), s.add,
          s.ordered.empty() ? s.ordered : s.ordered.subspan(at * K, rows * K),
          first == 0 && count == s.n ? s.form : nullptr};
}

}  // namespace

bool same_state_groups(const ScoringTables& a, const ScoringTables& b) {
  return a.state_groups.count() > 0 && a.state_groups.states == b.state_groups.states &&
         a.state_groups.start == b.state_groups.start;
}

void score_pairs(const ScoringTables& t, const ScoreSide& first, const ScoreSide& second, std::span<float> mij,
                 const ScoreTiling& tiling, unsigned threads, bool by_columns, ScoreLess less) {
  const std::size_t n1 = static_cast<std::size_t>(first.n), n2 = static_cast<std::size_t>(second.n);
  assert(mij.size() >= n1 * n2);
  if (n1 == 0 || n2 == 0) return;
  if (less.tables != nullptr && !(tiling.state_groups && same_state_groups(t, *less.tables))) {
    // The two tables do not share their group sums: scored apart, then
    // combined, a product and a difference for every entry.
    score_pairs(t, first, second, mij, tiling, threads, by_columns);
    const auto cells = make_scratch_table<float>(n1 * n2, "null score matrix");
    const std::span<float> null(cells.get(), n1 * n2);
    score_pairs(*less.tables, first, second, null, tiling, threads, by_columns);
    for (std::size_t k = 0; k < n1 * n2; ++k) mij[k] = mij[k] - less.share * null[k];
    return;
  }
  const Derived d(t);
  const bool grouped = d.groups->count() > 0 && tiling.state_groups;
  if (by_columns && !grouped) {
    // The per-pair products write by rows: scored so, then turned.
    const auto cells = make_scratch_table<float>(n1 * n2, "score matrix");
    score_pairs(t, first, second, std::span<float>(cells.get(), n1 * n2), tiling, threads, false);
    for (std::size_t i = 0; i < n1; ++i)
      for (std::size_t j = 0; j < n2; ++j) mij[j * n1 + i] = cells[i * n2 + j];
    return;
  }
  std::optional<Derived> null_derived;
  LessNull less_null;
  if (less.tables != nullptr) less_null = {&null_derived.emplace(*less.tables), less.share};
  // Bands of a fixed number of the first input's positions, whatever the
  // number of threads, so that every thread count gives the same table.
  const int rows = std::max(1, tiling.band_rows);
  const int bands = (first.n + rows - 1) / rows;
  std::atomic<int> next{0};
  auto work = [&] {
    for (int b = next++; b < bands; b = next++) {
      const int i0 = b * rows, count = std::min(rows, first.n - i0);
      const std::size_t at = static_cast<std::size_t>(i0);
      const Out band = by_columns ? Out{mij.data() + at, 1, n1} : Out{mij.data() + at * n2, n2, 1};
      score_band(d, band_of(first, i0, count), second, band, tiling, grouped, less_null);
    }
  };
  std::vector<std::jthread> helpers;
  for (unsigned k = 1; k < std::min<unsigned>(threads, static_cast<unsigned>(bands)); ++k) helpers.emplace_back(work);
  work();
}

std::shared_ptr<const ColumnForm> make_column_form(const ScoringTables& t, const ScoreSide& s,
                                                   const ScoreTiling& tiling) {
  const Derived d(t);
  // Only prepared tables outlive the call, and only they can be recognised.
  if (!d.own_rows.empty() || d.groups->count() == 0 || !tiling.state_groups) return nullptr;
  const Side side(s, false);
  return std::make_shared<const ColumnForm>(d, side, std::max(1, tiling.min_group));
}

}  // namespace xk::detail
