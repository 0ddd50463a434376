#include "data/training.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "localstructure/forward_backward.hpp"

namespace xk::data {

namespace {

constexpr char kKindLetter[kKinds] = {'H', 'E', 'C', 'P'};
constexpr const char* kKindName[kKinds] = {"helix", "strand", "coil", "positive-phi"};
constexpr std::array<int, kKinds> kExplicitMax = {17, 8, 9, 3};
constexpr const char* kClassName[kClasses] = {"HELIX_N1", "HELIX_N2", "HELIX_N3", "HELIX",  "HELIX_C3",
                                              "HELIX_C2", "HELIX_C1", "STRAND_END", "STRAND", "COIL_N",
                                              "COIL_C",   "COIL",     "PPHI"};
// A tiny weight on every state of both positions, as the scoring adds it.
constexpr double kGammaFloor = 1e-9;

// Class of position `pos` (from 0) of a chain of `m` states of `kind`.
int class_at(int kind, int m, int pos) {
  const bool first = pos == 0, last = pos == m - 1;
  const int from_start = pos, from_end = m - 1 - pos;
  switch (kind) {
    case 0:
      if (from_start <= from_end) return from_start < 3 ? from_start : 3;
      return from_end < 3 ? 6 - from_end : 3;
    case 1: return first || last ? 7 : 8;
    case 2: return first ? 9 : last ? 10 : 11;
    default: return 12;
  }
}

Topology build_topology() {
  Topology t;
  t.explicit_max = kExplicitMax;
  t.kind.push_back(-1);
  t.klass.push_back(-1);
  t.name.push_back("begin");
  char name[32];
  for (int x = 0; x < kKinds; ++x) {
    const int K = t.explicit_max[x];
    for (int n = 1; n <= K + 1; ++n) {
      std::vector<int> chain;
      for (int k = 0; k < n; ++k) {
        std::snprintf(name, sizeof name, n <= K ? "%c%02d.%02d" : "%c%02d+.%02d", kKindLetter[x], n, k + 1);
        chain.push_back(static_cast<int>(t.kind.size()));
        t.kind.push_back(x);
        t.klass.push_back(class_at(x, n, k));
        t.name.emplace_back(name);
      }
      t.chain[x].push_back(std::move(chain));
    }
  }
  if (static_cast<int>(t.kind.size()) != ls::kModelStates) {
    throw FatalStop("ERROR: the state design gives " + std::to_string(t.kind.size()) + " states, not 282!!!");
  }
  return t;
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

template <std::size_t N>
void normalise(std::array<double, N>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  for (double& x : v) x /= sum;
}

// Counts of one member's annotated pieces: runs of one kind, cut at chain
// breaks and at residues without a usable annotation.
void count_member(const Topology& t, const Member& m, double w, StateCounts& c) {
  const int L = static_cast<int>(m.code.size());
  int prev_kind = -1;
  for (int i = 0; i < L;) {
    const int x = kind_of(m.label[i]);
    if (x < 0) {
      prev_kind = -1;
      ++i;
      continue;
    }
    if (m.starts_piece[i]) prev_kind = -1;
    int end = i + 1;
    while (end < L && !m.starts_piece[end] && kind_of(m.label[end]) == x) ++end;
    const int n = end - i;
    const int K = t.explicit_max[x];
    if (prev_kind < 0) c.first[x] += w;
    else c.next[prev_kind][x] += w;
    c.length[x][std::min(n, K + 1) - 1] += w;
    if (n > K + 1) c.excess[x] += w * (n - K - 1);
    for (int k = 0; k < n; ++k) {
      const int s = t.state_of(x, n, k);
      c.visits[s] += w;
      const int a = m.code[i + k];
      if (a >= 0) {
        c.emission[s][a] += w;
        c.composition[a] += w;
      }
    }
    ++c.segments;
    prev_kind = x;
    i = end;
  }
}

// Background and emissions: classes towards the composition, states towards
// their class.
void estimate_emissions(const Topology& t, const StateCounts& c, const ModelPriors& pr, ls::StructureModel& m) {
  std::array<double, 20> comp = c.composition;
  normalise(comp);
  m.background = comp;
  // Emissions: classes towards the composition, states towards their class.
  std::array<std::array<double, 20>, kClasses> klass{};
  for (int s = 1; s < ls::kModelStates; ++s) {
    for (int a = 0; a < 20; ++a) klass[t.klass[s]][a] += c.emission[s][a];
  }
  for (auto& e : klass) {
    for (int a = 0; a < 20; ++a) e[a] += pr.emission_class * comp[a];
    normalise(e);
  }
  m.emission.assign(static_cast<std::size_t>(ls::kModelStates) * 20, 0.0);
  for (int s = 0; s < ls::kModelStates; ++s) {
    m.state_class.push_back(s == 0 ? "BEGIN" : kClassName[t.klass[s]]);
    m.state_name.push_back(t.name[s]);
    if (s == 0) continue;
    std::array<double, 20> e{};
    for (int a = 0; a < 20; ++a) e[a] = c.emission[s][a] + pr.emission_state * klass[t.klass[s]][a];
    normalise(e);
    std::copy(e.begin(), e.end(), m.emission.begin() + static_cast<std::ptrdiff_t>(s) * 20);
  }
}

// Lengths, the repeat of each long chain, the order of kinds, and the
// transitions they give, sorted by source and target.
void estimate_transitions(const Topology& t, const StateCounts& c, const ModelPriors& pr, ls::StructureModel& m) {
  std::array<std::vector<double>, kKinds> f;
  std::array<std::array<double, kKinds>, kKinds> order{};
  std::array<double, kKinds> first{};
  std::vector<ls::Transition>& tr = m.transitions;
  for (int x = 0; x < kKinds; ++x) {
    f[x] = c.length[x];
    double sum = 0.0;
    for (double& v : f[x]) sum += (v += pr.length);
    for (double& v : f[x]) v /= sum;
    double row = 0.0;
    for (int y = 0; y < kKinds; ++y) row += order[x][y] = y == x ? 0.0 : c.next[x][y] + pr.order;
    for (double& v : order[x]) v /= row;
    first[x] = c.first[x] + pr.order;
  }
  normalise(first);
  for (int x = 0; x < kKinds; ++x) {
    const int K = t.explicit_max[x];
    const double stay = (c.excess[x] + pr.length) / (c.excess[x] + c.length[x][K] + 2.0 * pr.length);
    for (int n = 1; n <= K + 1; ++n) {
      const std::vector<int>& ch = t.chain[x][n - 1];
      tr.push_back({0, ch.front(), first[x] * f[x][n - 1]});
      for (std::size_t k = 0; k + 1 < ch.size(); ++k) {
        const bool loops = n == K + 1 && static_cast<int>(k) == t.loop_index(x);
        if (loops) tr.push_back({ch[k], ch[k], stay});
        tr.push_back({ch[k], ch[k + 1], loops ? 1.0 - stay : 1.0});
      }
      for (int y = 0; y < kKinds; ++y) {
        if (y == x) continue;
        for (int n2 = 1; n2 <= t.explicit_max[y] + 1; ++n2) {
          tr.push_back({ch.back(), t.chain[y][n2 - 1].front(), order[x][y] * f[y][n2 - 1]});
        }
      }
    }
  }
  std::stable_sort(tr.begin(), tr.end(), [](const ls::Transition& a, const ls::Transition& b) {
    return a.from != b.from ? a.from < b.from : a.to < b.to;
  });
}

}  // namespace

int Topology::state_of(int x, int length, int pos) const {
  assert(length >= 1 && pos >= 0 && pos < length);
  const int K = explicit_max[x];
  if (length <= K) return chain[x][length - 1][pos];
  const std::vector<int>& c = chain[x][K];
  const int M = K + 1, loop = loop_index(x);
  if (pos < loop) return c[pos];
  const int left = length - pos;  // this residue and those after it
  return left <= M - loop - 1 ? c[M - left] : c[loop];
}

const Topology& topology() {
  static const Topology t = build_topology();
  return t;
}

int kind_of(char label) {
  for (int x = 0; x < kKinds; ++x) {
    if (label == kKindLetter[x]) return x;
  }
  return -1;
}

StateCounts count_states(const std::vector<Family>& families) {
  const Topology& t = topology();
  StateCounts c;
  c.emission.assign(ls::kModelStates, {});
  c.visits.assign(ls::kModelStates, 0.0);
  for (int x = 0; x < kKinds; ++x) c.length[x].assign(static_cast<std::size_t>(t.explicit_max[x]) + 1, 0.0);
  for (const Family& f : families) {
    if (f.members.empty()) continue;
    const double w = 1.0 / static_cast<double>(f.members.size());
    for (const Member& m : f.members) count_member(t, m, w, c);
  }
  return c;
}

TrainedModel estimate_model(const StateCounts& c, const ModelPriors& pr) {
  const Topology& t = topology();
  TrainedModel out;
  estimate_emissions(t, c, pr, out.model);
  estimate_transitions(t, c, pr, out.model);
  // Occupancy of the states in the training residues.
  double total = 0.0;
  for (double v : c.visits) total += v;
  out.occupancy.assign(ls::kModelStates, 0.0);
  std::array<double, kKinds> kind_occ{};
  for (int s = 1; s < ls::kModelStates; ++s) {
    out.occupancy[s] = c.visits[s] / total;
    kind_occ[t.kind[s]] += out.occupancy[s];
  }
  auto& n = out.notes;
  n.push_back("Local-structure model of the xKESTRA suite, trained by xk_train on the annotated");
  n.push_back("structure alignments of the training families (see data/README.md).");
  n.push_back("Segments: maximal runs of helix (H), strand (E), coil (C) and positive-phi coil (P).");
  n.push_back("State names: <kind letter><segment length>.<position in the segment>; a '+' marks the");
  n.push_back("chain of all longer segments, whose middle state repeats.");
  n.push_back("Classes (one pair-frequency block each): HELIX_N1..N3 and HELIX_C3..C1 (the first and last");
  n.push_back("three helix residues), HELIX, STRAND_END, STRAND, COIL_N, COIL_C (first, last coil residue),");
  n.push_back("COIL, PPHI.");
  std::string occ = "Occupancy:";
  for (int x = 0; x < kKinds; ++x) occ += std::string(" ") + kKindName[x] + " " + fixed(kind_occ[x], 4);
  n.push_back(occ);
  n.push_back("Segments counted: " + std::to_string(c.segments));
  return out;
}

std::vector<double> member_posteriors(const ls::CompiledModel& model, const Member& m) {
  const int L = static_cast<int>(m.code.size());
  std::vector<float> profile(static_cast<std::size_t>(L) * 20, 0.0f);
  for (int i = 0; i < L; ++i) {
    if (m.code[i] >= 0) profile[static_cast<std::size_t>(i) * 20 + static_cast<std::size_t>(m.code[i])] = 1.0f;
  }
  const auto gamma = ls::posteriors(model, profile, L).gamma;
  return {gamma.begin(), gamma.end()};
}

double pair_identity(const Member& x, const Member& y) {
  std::vector<int> at(static_cast<std::size_t>(std::max(x.column.empty() ? 0 : x.column.back(),
                                                        y.column.empty() ? 0 : y.column.back())) + 1, -1);
  for (std::size_t i = 0; i < x.column.size(); ++i) at[x.column[i]] = x.code[i];
  long same = 0, both = 0;
  for (std::size_t j = 0; j < y.column.size(); ++j) {
    const int a = at[y.column[j]], b = y.code[j];
    if (a < 0 || b < 0) continue;
    ++both;
    same += a == b;
  }
  return both == 0 ? 0.0 : static_cast<double>(same) / static_cast<double>(both);
}

PairCounts count_pairs(const std::vector<Family>& families, const ls::StructureModel& model) {
  const Topology& t = topology();
  const ls::CompiledModel compiled = ls::compile_model(model);
  PairCounts out;
  constexpr int S = ls::kModelStates;
  for (const Family& f : families) {
    const std::size_t members = f.members.size();
    if (members < 2) continue;
    std::vector<std::vector<double>> gamma;
    for (const Member& m : f.members) {
      gamma.push_back(member_posteriors(compiled, m));
      for (double& g : gamma.back()) g += kGammaFloor;
    }
    const double w = 2.0 / static_cast<double>(members * (members - 1));
    std::vector<int> at(static_cast<std::size_t>(f.columns), -1);
    for (std::size_t x = 0; x < members; ++x) {
      const Member& mx = f.members[x];
      std::fill(at.begin(), at.end(), -1);
      for (std::size_t i = 0; i < mx.column.size(); ++i) at[mx.column[i]] = static_cast<int>(i);
      for (std::size_t y = x + 1; y < members; ++y) {
        const Member& my = f.members[y];
        const int bin = std::min(kIdentityBins - 1, static_cast<int>(std::floor(pair_identity(mx, my) * kIdentityBins)));
        ++out.pairs;
        for (std::size_t j = 0; j < my.column.size(); ++j) {
          const int i = at[my.column[j]];
          if (i < 0) continue;
          const int a = mx.code[i], b = my.code[j];
          if (a < 0 || b < 0) continue;
          const double* gx = gamma[x].data() + static_cast<std::size_t>(i) * S;
          const double* gy = gamma[y].data() + j * S;
          std::array<double, kClasses> num{};
          double den = 0.0;
          for (int s = 1; s < S; ++s) {
            const double p = gx[s] * gy[s];
            den += p;
            num[t.klass[s]] += p;
          }
          const double h = 0.5 * w / den;
          for (int k = 0; k < kClasses; ++k) {
            out.n[k][bin][a * 20 + b] += h * num[k];
            out.n[k][bin][b * 20 + a] += h * num[k];
          }
          ++out.columns;
        }
      }
    }
  }
  return out;
}

std::array<Block, kClasses> pair_blocks(const PairCounts& counts, int max_identity, double pseudocount,
                                        std::array<double, 20>& background) {
  std::array<Block, kClasses> raw{}, out{};
  Block pooled{};
  double pooled_total = 0.0;
  std::array<double, kClasses> total{};
  for (int k = 0; k < kClasses; ++k) {
    for (int b = 0; b < max_identity; ++b) {
      for (int e = 0; e < 400; ++e) raw[k][e] += counts.n[k][b][e];
    }
    for (int e = 0; e < 400; ++e) {
      total[k] += raw[k][e];
      pooled[e] += raw[k][e];
    }
    pooled_total += total[k];
  }
  if (pooled_total <= 0.0) throw FatalStop("ERROR: no aligned residue pairs to count!!!");
  for (double& v : pooled) v /= pooled_total;
  background.fill(0.0);
  for (int a = 0; a < 20; ++a) {
    for (int b = 0; b < 20; ++b) background[a] += pooled[a * 20 + b];
  }
  for (int k = 0; k < kClasses; ++k) {
    for (int e = 0; e < 400; ++e) out[k][e] = (raw[k][e] + pseudocount * pooled[e]) / (total[k] + pseudocount);
  }
  return out;
}

std::string observed_text(const Topology& t, const std::array<Block, kClasses>& blocks) {
  std::array<std::string, kClasses> text;
  for (int k = 0; k < kClasses; ++k) {
    for (int a = 0; a < 20; ++a) {
      for (int b = 0; b < 20; ++b) {
        const double v = a == b ? blocks[k][a * 20 + a] : a < b ? blocks[k][a * 20 + b] + blocks[k][b * 20 + a] : 0.0;
        text[k] += fw::format_fixed(v, 15, 12);
      }
      text[k] += '\n';
    }
  }
  std::string out;
  for (int s = 1; s < ls::kModelStates; ++s) {
    out += text[t.klass[s]];
    out += "STATE " + std::to_string(s) + " " + kClassName[t.klass[s]] + " " + t.name[s] + "\n\n";
  }
  return out;
}

std::string expected_text(const Topology& t, const std::vector<double>& occupancy,
                          const std::array<Block, kClasses>& blocks, const std::array<double, 20>& background) {
  std::array<std::array<double, 20>, kClasses> marginal{};
  for (int k = 0; k < kClasses; ++k) {
    for (int a = 0; a < 20; ++a) {
      for (int b = 0; b < 20; ++b) marginal[k][a] += blocks[k][a * 20 + b];
    }
  }
  std::array<double, 20> mix{};
  for (int s = 1; s < ls::kModelStates; ++s) {
    for (int a = 0; a < 20; ++a) mix[a] += occupancy[s] * marginal[t.klass[s]][a];
  }
  std::string out;
  for (int s = 1; s < ls::kModelStates; ++s) {
    for (int a = 0; a < 20; ++a) {
      out += fw::format_fixed(occupancy[s] * marginal[t.klass[s]][a] * background[a] / mix[a], 15, 12);
    }
    out += '\n';
  }
  return out;
}

}  // namespace xk::data
