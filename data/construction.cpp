#include "data/construction.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <sstream>
#include <string_view>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/residues.hpp"

namespace xk::data {

namespace {

int residue_index(std::string_view letter) { return letter.size() == 1 ? xk::residue_index(letter[0]) : -1; }

std::vector<std::string_view> split_tabs(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (true) {
    std::size_t end = line.find('\t', pos);
    out.push_back(line.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  if (!out.empty() && !out.back().empty() && out.back().back() == '\r') out.back().remove_suffix(1);
  return out;
}

// The non-comment, non-blank lines of a table with their line numbers.
std::vector<std::pair<long, std::string_view>> table_lines(std::string_view text) {
  std::vector<std::pair<long, std::string_view>> out;
  long no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++no;
    if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    out.emplace_back(no, line);
  }
  return out;
}

double number(std::string_view tok, const std::string& file, long line) {
  double v = 0.0;
  auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
  if (r.ec != std::errc() || r.ptr != tok.data() + tok.size() || !std::isfinite(v)) {
    throw FatalStop("ERROR: " + file + " line " + std::to_string(line) + ": \"" + std::string(tok) +
                    "\" is not a number!!!");
  }
  return v;
}

// ---------------------------------------------------------------------------
// The design of the model: segment classes, their lengths, what follows what.

enum Segment { kHelix = 0, kStrand = 1, kCoil = 2, kTurn = 3 };
constexpr int kSegments = 4;
constexpr const char* kSegmentName[kSegments] = {"helix", "strand", "coil", "turn"};

// Emission classes: each state emits by the propensity of one of these.
enum Emit { kNcap, kHelixE, kCcap, kStrandE, kCoilE, kTurn1, kTurn2, kTurn3, kTurn4, kEmits };
constexpr const char* kEmitClass[kEmits] = {"NCAP", "HELIX", "CCAP", "STRAND", "COIL", "TURN1", "TURN2", "TURN3", "TURN4"};

// Segment length n >= min, n - min negative-binomial with shape r and mean
// `extra`; lengths min..explicit_max have a chain of their own, longer
// segments share one chain of explicit_max + 1 states whose middle state
// repeats.
struct LengthModel {
  int min;
  double r;
  double extra;
  int explicit_max;
};
constexpr LengthModel kHelixLength{4, 2.0, 6.0, 15};   // mean 10 helix residues (caps not counted)
constexpr LengthModel kStrandLength{2, 2.0, 3.0, 9};   // mean 5
constexpr LengthModel kCoilLength{1, 1.0, 4.0, 12};    // mean 5, geometric: loops of every length

// kNext[x][y]: probability that a segment of class y follows one of class x.
// A helix is N-cap, helix residues, C-cap; a turn is the four positions of a
// beta-turn.  Two coil segments never follow each other (they would be one).
constexpr double kNext[kSegments][kSegments] = {
    /* after helix  */ {0.05, 0.10, 0.70, 0.15},
    /* after strand */ {0.05, 0.00, 0.55, 0.40},
    /* after coil   */ {0.40, 0.45, 0.00, 0.15},
    /* after turn   */ {0.15, 0.45, 0.40, 0.00},
};

// Negative-binomial probabilities of n = min .. min + span.
std::vector<double> length_pmf(const LengthModel& lm, int span) {
  const double p = lm.r / (lm.r + lm.extra);
  std::vector<double> f(static_cast<std::size_t>(span) + 1);
  f[0] = std::pow(p, lm.r);
  for (int k = 1; k <= span; ++k) {
    f[k] = f[static_cast<std::size_t>(k) - 1] * (1.0 - p) * (k + lm.r - 1.0) / k;
  }
  return f;
}

struct StateInfo {
  Emit emit;
  std::string name;
};

struct Chain {
  std::vector<int> states;  // positions 1..m of the segment
  int loop = -1;            // index into states of the repeating state, or -1
  double entry = 0.0;       // probability that a segment of its class takes this chain
  double repeat = 0.0;      // probability of staying in the repeating state
  double repeat_visits = 1.0;  // expected visits of the repeating state
};

struct Builder {
  std::vector<StateInfo> states{{kEmits, "begin"}};
  std::vector<ls::Transition> trans;
  std::vector<double> occ;  // expected visits of each state per segment of its class
  std::array<std::vector<std::pair<int, double>>, kSegments> starts;  // first states of a segment
  std::array<std::vector<int>, kSegments> ends;                       // last states
  std::array<double, kSegments> mean_length{};                        // residues per segment
  std::array<std::vector<int>, kSegments> members;

  int add(Segment seg, Emit e, std::string name) {
    states.push_back({e, std::move(name)});
    occ.resize(states.size(), 0.0);
    int s = static_cast<int>(states.size()) - 1;
    members[seg].push_back(s);
    return s;
  }
  void link(int from, int to, double p) {
    if (p > 0.0) trans.push_back({from, to, p});
  }

  // Chains of one class.  Returns them; their states get the class emission.
  std::vector<Chain> chains(Segment seg, Emit e, char tag, const LengthModel& lm) {
    const int span = 20000;
    std::vector<double> f = length_pmf(lm, span);
    std::vector<Chain> out;
    char name[32];
    for (int n = lm.min; n <= lm.explicit_max; ++n) {
      Chain c;
      c.entry = f[n - lm.min];
      for (int k = 1; k <= n; ++k) {
        std::snprintf(name, sizeof name, "%c%02d.%02d", tag, n, k);
        c.states.push_back(add(seg, e, name));
      }
      out.push_back(c);
    }
    // The long chain: m = explicit_max + 1 states, the middle one repeating
    // so that the mean excess length matches the distribution's tail.
    const int m = lm.explicit_max + 1;
    double tail = 0.0, excess = 0.0;
    for (int n = m; n <= lm.min + span; ++n) {
      double fn = f[n - lm.min];
      tail += fn;
      excess += fn * (n - m);
    }
    Chain c;
    c.entry = tail;
    const double mean_excess = excess / tail;
    c.repeat = mean_excess / (1.0 + mean_excess);
    c.repeat_visits = 1.0 + mean_excess;
    c.loop = (m - 1) / 2;
    for (int k = 1; k <= m; ++k) {
      std::snprintf(name, sizeof name, "%c%02d+.%02d", tag, m, k);
      c.states.push_back(add(seg, e, name));
    }
    out.push_back(c);
    // Chain-internal transitions and visits per segment.
    double mean = 0.0;
    for (const Chain& ch : out) {
      for (std::size_t k = 0; k < ch.states.size(); ++k) {
        const bool loops = static_cast<int>(k) == ch.loop;
        occ[ch.states[k]] = ch.entry * (loops ? ch.repeat_visits : 1.0);
        mean += occ[ch.states[k]];
        if (k + 1 < ch.states.size()) {
          if (loops) link(ch.states[k], ch.states[k], ch.repeat);
          link(ch.states[k], ch.states[k + 1], loops ? 1.0 - ch.repeat : 1.0);
        }
      }
    }
    mean_length[seg] = mean;
    return out;
  }
};

// Stationary distribution of the 4 x 4 segment-order chain.
std::array<double, kSegments> segment_stationary() {
  std::array<double, kSegments> nu{0.25, 0.25, 0.25, 0.25};
  for (int it = 0; it < 100000; ++it) {
    std::array<double, kSegments> next{};
    for (int x = 0; x < kSegments; ++x) {
      for (int y = 0; y < kSegments; ++y) next[y] += nu[x] * kNext[x][y];
    }
    double diff = 0.0;
    for (int y = 0; y < kSegments; ++y) diff = std::max(diff, std::fabs(next[y] - nu[y]));
    nu = next;
    if (diff < 1e-17) break;
  }
  return nu;
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

JointTable parse_joint_table(const std::string& text, const std::string& file) {
  auto lines = table_lines(text);
  auto fail = [&](long line, const std::string& what) -> FatalStop {
    return FatalStop("ERROR: " + file + " line " + std::to_string(line) + ": " + what + "!!!");
  };
  if (lines.empty()) throw FatalStop("ERROR: " + file + ": no table!!!");
  auto head = split_tabs(lines[0].second);
  if (head.size() != 21) throw fail(lines[0].first, "expected a header of 21 columns");
  std::array<int, 20> col{};
  for (int k = 0; k < 20; ++k) {
    col[k] = residue_index(head[k + 1]);
    if (col[k] < 0) throw fail(lines[0].first, "unknown residue \"" + std::string(head[k + 1]) + "\"");
  }
  JointTable t;
  std::array<bool, 20> seen{};
  bool have_bg = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto [no, line] = lines[i];
    auto f = split_tabs(line);
    if (f.size() != 21) throw fail(no, "expected 21 columns");
    Residues row{};
    for (int k = 0; k < 20; ++k) row[static_cast<std::size_t>(col[static_cast<std::size_t>(k)])] = number(f[k + 1], file, no);
    if (f[0] == "bg") {
      t.background = row;
      have_bg = true;
      continue;
    }
    int a = residue_index(f[0]);
    if (a < 0) throw fail(no, "unknown row \"" + std::string(f[0]) + "\"");
    t.q[a] = row;
    seen[a] = true;
  }
  for (int a = 0; a < 20; ++a) {
    if (!seen[a]) throw FatalStop("ERROR: " + file + ": no row for " + std::string(1, kResidueOrder[a]) + "!!!");
  }
  if (!have_bg) throw FatalStop("ERROR: " + file + ": no bg row!!!");
  // Consistency: symmetric, sums to 1, background = row sums.
  double total = 0.0;
  for (std::size_t a = 0; a < 20; ++a) {
    double row = 0.0;
    for (std::size_t b = 0; b < 20; ++b) {
      row += t.q[a][b];
      if (std::fabs(t.q[a][b] - t.q[b][a]) > 1e-12) throw FatalStop("ERROR: " + file + ": the table is not symmetric!!!");
    }
    if (std::fabs(row - t.background[a]) > 1e-9) throw FatalStop("ERROR: " + file + ": bg is not the row sums!!!");
    total += row;
  }
  if (std::fabs(total - 1.0) > 1e-9) throw FatalStop("ERROR: " + file + ": the frequencies do not sum to 1!!!");
  return t;
}

std::map<std::string, Residues> parse_propensities(const std::string& text, const std::string& file) {
  auto lines = table_lines(text);
  if (lines.empty()) throw FatalStop("ERROR: " + file + ": no table!!!");
  auto head = split_tabs(lines[0].second);
  std::map<std::string, Residues> out;
  std::array<bool, 20> seen{};
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto [no, line] = lines[i];
    auto f = split_tabs(line);
    if (f.size() != head.size()) throw FatalStop("ERROR: " + file + " line " + std::to_string(no) + ": expected " + std::to_string(head.size()) + " columns!!!");
    int a = residue_index(f[0]);
    if (a < 0) throw FatalStop("ERROR: " + file + " line " + std::to_string(no) + ": unknown residue!!!");
    seen[a] = true;
    for (std::size_t k = 1; k < f.size(); ++k) out[std::string(head[k])][a] = number(f[k], file, no);
  }
  for (bool s : seen) {
    if (!s) throw FatalStop("ERROR: " + file + ": a residue is missing!!!");
  }
  return out;
}

Construction construct(const JointTable& joint, const std::map<std::string, Residues>& prop) {
  auto column = [&](const std::string& name) -> const Residues& {
    auto it = prop.find(name);
    if (it == prop.end()) throw FatalStop("ERROR: propensity column " + name + " missing!!!");
    return it->second;
  };
  // Raw propensities of the emission classes.
  std::array<Residues, kEmits> raw{};
  auto geometric_mean = [](const Residues& x, const Residues& y) {
    Residues r{};
    for (std::size_t a = 0; a < 20; ++a) r[a] = std::sqrt(x[a] * y[a]);
    return r;
  };
  raw[kHelixE] = geometric_mean(column("CHOP780201"), column("LEVM780101"));
  raw[kStrandE] = geometric_mean(column("CHOP780202"), column("LEVM780102"));
  raw[kCoilE] = geometric_mean(column("CHOP780203"), column("LEVM780103"));
  raw[kTurn1] = column("CHOP780212");
  raw[kTurn2] = column("CHOP780213");
  raw[kTurn3] = column("CHOP780214");
  raw[kTurn4] = column("CHOP780215");
  raw[kNcap] = column("CHOP780212");  // N-cap residues resemble turn position i (S, T, D, N)
  raw[kCcap] = column("CHOP780214");  // C-cap residues resemble turn position i+2 (G, N)

  // States.
  Builder b;
  b.occ.assign(1, 0.0);
  const int ncap = b.add(kHelix, kNcap, "Ncap");
  b.occ[ncap] = 1.0;
  std::vector<Chain> helix = b.chains(kHelix, kHelixE, 'H', kHelixLength);
  const int ccap = b.add(kHelix, kCcap, "Ccap");
  b.occ[ccap] = 1.0;
  b.mean_length[kHelix] += 2.0;
  std::vector<Chain> strand = b.chains(kStrand, kStrandE, 'E', kStrandLength);
  std::array<int, 4> turn{};
  for (int k = 0; k < 4; ++k) {
    turn[k] = b.add(kTurn, static_cast<Emit>(kTurn1 + k), "T" + std::to_string(k + 1));
    b.occ[static_cast<std::size_t>(turn[static_cast<std::size_t>(k)])] = 1.0;
  }
  b.mean_length[kTurn] = 4.0;
  std::vector<Chain> coil = b.chains(kCoil, kCoilE, 'C', kCoilLength);
  const int S = static_cast<int>(b.states.size());
  if (S != ls::kModelStates) throw FatalStop("ERROR: the design gives " + std::to_string(S) + " states, not 282!!!");

  // Segment starts and ends.
  b.starts[kHelix] = {{ncap, 1.0}};
  b.starts[kTurn] = {{turn[0], 1.0}};
  b.ends[kHelix] = {ccap};
  b.ends[kTurn] = {turn[3]};
  for (auto [seg, chains] : {std::pair<Segment, const std::vector<Chain>*>{kStrand, &strand}, {kCoil, &coil}}) {
    for (const Chain& c : *chains) {
      b.starts[seg].push_back({c.states.front(), c.entry});
      b.ends[seg].push_back(c.states.back());
    }
  }
  // Within the helix: N-cap into the helix chains, their last states into the C-cap.
  for (const Chain& c : helix) {
    b.link(ncap, c.states.front(), c.entry);
    b.link(c.states.back(), ccap, 1.0);
  }
  for (int k = 0; k < 3; ++k) b.link(turn[k], turn[k + 1], 1.0);
  // Segment ends into the next segment's starts.
  for (int x = 0; x < kSegments; ++x) {
    for (int end : b.ends[x]) {
      for (int y = 0; y < kSegments; ++y) {
        for (auto [start, p] : b.starts[y]) b.link(end, start, kNext[x][y] * p);
      }
    }
  }

  // Occupancy: segment frequencies times visits per segment.
  const std::array<double, kSegments> nu = segment_stationary();
  double residues_per_segment = 0.0;
  for (int x = 0; x < kSegments; ++x) residues_per_segment += nu[x] * b.mean_length[x];
  Construction c;
  c.occupancy.assign(static_cast<std::size_t>(S), 0.0);
  std::array<double, kSegments> seg_occ{};
  for (int x = 0; x < kSegments; ++x) {
    for (int s : b.members[x]) {
      c.occupancy[s] = nu[x] * b.occ[s] / residues_per_segment;
      seg_occ[x] += c.occupancy[s];
    }
  }
  for (int s = 1; s < S; ++s) b.link(0, s, c.occupancy[s]);

  // Calibration r(a): the occupancy-weighted mixture of the emissions gives
  // back the background p(a).
  const Residues& p = joint.background;
  std::array<double, kEmits> emit_occ{};
  for (int s = 1; s < S; ++s) emit_occ[b.states[s].emit] += c.occupancy[s];
  Residues r;
  r.fill(1.0);
  std::array<Residues, kEmits> emission{};
  int iterations = 0;
  double misfit = 1.0;
  for (; iterations < 100000 && misfit > 1e-14; ++iterations) {
    Residues mix{};
    for (int e = 0; e < kEmits; ++e) {
      double z = 0.0;
      for (std::size_t a = 0; a < 20; ++a) z += p[a] * raw[e][a] * r[a];
      for (std::size_t a = 0; a < 20; ++a) {
        emission[e][a] = p[a] * raw[e][a] * r[a] / z;
        mix[a] += emit_occ[e] * emission[e][a];
      }
    }
    misfit = 0.0;
    for (std::size_t a = 0; a < 20; ++a) {
      misfit = std::max(misfit, std::fabs(mix[a] / p[a] - 1.0));
      r[a] *= p[a] / mix[a];
    }
  }
  if (misfit > 1e-12) throw FatalStop("ERROR: the propensity calibration does not converge!!!");
  double mean_r = 0.0;
  for (std::size_t a = 0; a < 20; ++a) mean_r += p[a] * r[a];
  for (double& x : r) x /= mean_r;
  c.calibration = r;

  // The model.
  ls::StructureModel& m = c.model;
  m.background = p;
  m.emission.assign(static_cast<std::size_t>(S) * 20, 0.0);
  c.propensity.assign(static_cast<std::size_t>(S), Residues{});
  for (int s = 0; s < S; ++s) {
    const StateInfo& info = b.states[s];
    m.state_class.push_back(s == 0 ? "BEGIN" : kEmitClass[info.emit]);
    m.state_name.push_back(info.name);
    if (s == 0) continue;
    for (std::size_t a = 0; a < 20; ++a) {
      m.emission[static_cast<std::size_t>(s) * 20 + a] = emission[info.emit][a];
      c.propensity[s][a] = raw[info.emit][a] * r[a];
    }
  }
  std::stable_sort(b.trans.begin(), b.trans.end(), [](const ls::Transition& x, const ls::Transition& y) {
    return x.from != y.from ? x.from < y.from : x.to < y.to;
  });
  m.transitions = b.trans;

  // Notes.
  auto& n = c.notes;
  n.push_back("Local-structure model of the xKESTRA suite, made by xk_makedata from the BLOSUM62 joint");
  n.push_back("frequencies and published secondary-structure propensities (see data/README.md).");
  n.push_back("Classes: NCAP, HELIX, CCAP (a helix segment), STRAND, COIL, TURN1..TURN4 (a beta-turn).");
  n.push_back("State names: <class letter><segment length>.<position in the segment>; a '+' marks the");
  n.push_back("chain of all longer segments, whose middle state repeats.");
  n.push_back("Emissions e_s(a) = p(a) t_s(a) r(a) / Z_s; the begin transitions are the average occupancies.");
  std::string occ_line = "Occupancy:";
  for (int x = 0; x < kSegments; ++x) occ_line += std::string(" ") + kSegmentName[x] + " " + fixed(seg_occ[x], 4);
  n.push_back(occ_line);
  std::string len_line = "Mean segment length:";
  for (int x = 0; x < kSegments; ++x) len_line += std::string(" ") + kSegmentName[x] + " " + fixed(b.mean_length[x], 3);
  n.push_back(len_line + " (helix with its two caps)");
  std::string r_line = "Calibration r(a):";
  for (std::size_t a = 0; a < 20; ++a) r_line += std::string(" ") + kResidueOrder[a] + " " + fixed(r[a], 3);
  n.push_back(r_line);
  n.push_back("Calibration: " + std::to_string(iterations) + " rounds");
  return c;
}

std::string observed_text(const Construction& c, const JointTable& joint) {
  std::string out;
  const ls::StructureModel& m = c.model;
  for (int s = 1; s < m.states(); ++s) {
    const Residues& t = c.propensity[s];
    double w = 0.0;
    for (std::size_t a = 0; a < 20; ++a) {
      for (std::size_t b = 0; b < 20; ++b) w += joint.q[a][b] * t[a] * t[b];
    }
    for (std::size_t a = 0; a < 20; ++a) {
      for (std::size_t b = 0; b < 20; ++b) {
        double v = 0.0;
        if (a == b) v = joint.q[a][a] * t[a] * t[a] / w;
        else if (a < b) v = 2.0 * joint.q[a][b] * t[a] * t[b] / w;
        out += fw::format_fixed(v, 15, 12);
      }
      out += '\n';
    }
    out += "STATE " + std::to_string(s) + " " + m.state_class[s] + " " +
           m.state_name[s] + "\n\n";
  }
  return out;
}

std::string expected_text(const Construction& c) {
  std::string out;
  const ls::StructureModel& m = c.model;
  for (int s = 1; s < m.states(); ++s) {
    for (int a = 0; a < 20; ++a) out += fw::format_fixed(c.occupancy[s] * m.e(s, a), 15, 12);
    out += '\n';
  }
  return out;
}

}  // namespace xk::data
