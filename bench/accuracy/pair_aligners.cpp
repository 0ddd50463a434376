// Structure-blind pairwise baselines for the accuracy benchmark: every pair
// (i, j), i < j, of a FASTA file's sequences aligned with BLOSUM62 alone,
// written as the all-pairs phase writes its pair reports, so that one reader
// scores both against the reference pairs.
//
//   xk_pair_aligners local  BLOSUM_TSV FASTA   the all-pairs phase's aligner
//       (dp, local, gap opening 21.0 and extension 0.4) on BLOSUM62 scores
//   xk_pair_aligners global BLOSUM_TSV FASTA   end to end (every residue in
//       the alignment), BLOSUM62 with the usual gap costs: a gap of k
//       residues costs 11 + k, at the ends as inside
//
// BLOSUM62 scores are half-bits, round(2 log2(q(a,b) / (p(a) p(b)))), from
// the target frequencies of the bundled table (data/blosum62_joint.tsv), in
// the same units as the all-pairs phase's doubled scores; letters outside
// the 20 residues score 0.  Reports go to standard output, pair by pair;
// header names are "i.gca, j.gca".
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "common/residues.hpp"
#include "driver/fasta_input.hpp"
#include "driver/pair_report.hpp"
#include "scoring/dp.hpp"

namespace {

constexpr std::string_view kResidues = "ACDEFGHIKLMNPQRSTVWY";
using Matrix = std::array<std::array<int, 20>, 20>;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw xk::IoError(path, "cannot open");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The BLOSUM62 target frequencies q(a, b) and the background p(a) of the
// bundled tab-separated table: '#' comment lines, a header of 21 columns
// (a blank, then the residue letters), one row per residue, last row "bg".
struct JointTable {
  std::array<std::array<double, 20>, 20> q{};
  std::array<double, 20> background{};
};

JointTable read_joint_table(const std::string& text, const std::string& file) {
  JointTable t;
  std::istringstream in(text);
  std::string line;
  std::vector<int> column;  // residue index of each header column
  int rows = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    if (f.size() != 21) throw xk::FatalStop("ERROR: " + file + ": a line of " + std::to_string(f.size()) + " columns!!!");
    if (column.empty()) {
      for (std::size_t k = 1; k < 21; ++k) column.push_back(f[k].size() == 1 ? xk::residue_index(f[k][0]) : -1);
      continue;
    }
    const int a = f[0] == "bg" ? 20 : (f[0].size() == 1 ? xk::residue_index(f[0][0]) : -1);
    for (std::size_t k = 1; k < 21; ++k) {
      const int b = column[k - 1];
      if (a < 0 || b < 0) throw xk::FatalStop("ERROR: " + file + ": unknown residue in \"" + line + "\"!!!");
      const double v = std::stod(f[k]);
      (a == 20 ? t.background[static_cast<std::size_t>(b)] : t.q[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)]) = v;
    }
    ++rows;
  }
  if (rows != 21) throw xk::FatalStop("ERROR: " + file + ": expected 20 residue rows and a bg row!!!");
  return t;
}

Matrix half_bit_scores(const JointTable& t) {
  Matrix m{};
  for (std::size_t a = 0; a < 20; ++a)
    for (std::size_t b = 0; b < 20; ++b)
      m[a][b] = static_cast<int>(std::lround(2.0 * std::log2(t.q[a][b] / (t.background[a] * t.background[b]))));
  return m;
}

// Residue indices 0..19 of a text, -1 for any other letter.
std::vector<int> indices(const std::string& s) {
  std::vector<int> out;
  for (char c : s) {
    const auto k = kResidues.find(c);
    out.push_back(k == std::string_view::npos ? -1 : static_cast<int>(k));
  }
  return out;
}

int score(const Matrix& m, int a, int b) {
  return a < 0 || b < 0 ? 0 : m[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
}

// End-to-end affine alignment (Gotoh), end gaps charged like any other:
// a gap of k residues costs open + k * extend.  Returns dp's
// result layout: the states from the end backwards ("M" pair, "I" a residue
// of x against a gap, "D" one of y), a predecessor letter, "E"; first
// positions 1 (n1 = n2 = 2).  States: 0 M, 1 I, 2 D; ties go to the lower.
xk::DpResult global_alignment(const Matrix& m, const std::vector<int>& x, const std::vector<int>& y, int open,
                              int extend) {
  const std::size_t n1 = x.size(), n2 = y.size(), w = n2 + 1;
  constexpr long long kNone = std::numeric_limits<long long>::min() / 4;
  std::vector<std::array<long long, 3>> v((n1 + 1) * w, {kNone, kNone, kNone});
  std::vector<std::array<unsigned char, 3>> from((n1 + 1) * w, {0, 0, 0});
  v[0][0] = 0;
  auto best = [](const std::array<long long, 3>& c, const std::array<long long, 3>& cost, unsigned char& arg) {
    long long b = kNone;
    for (unsigned char s = 0; s < 3; ++s)
      if (c[s] != kNone && c[s] - cost[s] > b) b = c[s] - cost[s], arg = s;
    return b;
  };
  for (std::size_t i = 0; i <= n1; ++i)
    for (std::size_t j = 0; j <= n2; ++j) {
      auto& c = v[i * w + j];
      auto& f = from[i * w + j];
      if (i > 0 && j > 0) {
        const long long b = best(v[(i - 1) * w + j - 1], {0, 0, 0}, f[0]);
        if (b != kNone) c[0] = b + score(m, x[i - 1], y[j - 1]);
      }
      const long long o = open + extend, e = extend;
      if (i > 0) c[1] = best(v[(i - 1) * w + j], {o, e, o}, f[1]);
      if (j > 0) c[2] = best(v[i * w + j - 1], {o, o, e}, f[2]);
    }
  xk::DpResult r;
  r.n1 = r.n2 = 2;
  unsigned char s = 0;
  best(v[n1 * w + n2], {0, 0, 0}, s);
  for (std::size_t i = n1, j = n2; i > 0 || j > 0;) {
    r.path += "MID"[s];
    const unsigned char prev = from[i * w + j][s];
    if (s != 2) --i;
    if (s != 1) --j;
    s = prev;
  }
  r.path += "ME";
  return r;
}

int run(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[1]) != "local" && std::string(argv[1]) != "global")) {
    std::cerr << "usage: xk_pair_aligners local|global BLOSUM_TSV FASTA\n";
    return 1;
  }
  const bool local = std::string(argv[1]) == "local";
  const Matrix m = half_bit_scores(read_joint_table(read_file(argv[2]), argv[2]));
  std::istringstream fasta(read_file(argv[3]));
  std::vector<std::string> seqs;
  for (auto& s : xk::driver::read_fasta(fasta, argv[3])) seqs.push_back(std::move(s.residues));
  for (std::size_t i = 0; i < seqs.size(); ++i)
    for (std::size_t j = i + 1; j < seqs.size(); ++j) {
      const auto x = indices(seqs[i]), y = indices(seqs[j]);
      xk::DpResult r;
      if (local) {
        std::vector<float> s(x.size() * y.size());
        for (std::size_t a = 0; a < x.size(); ++a)
          for (std::size_t b = 0; b < y.size(); ++b) s[a * y.size() + b] = static_cast<float>(score(m, x[a], y[b]));
        r = xk::dp(static_cast<int>(x.size()), static_cast<int>(y.size()), 21.0f, 0.4f, s);
      } else {
        r = global_alignment(m, x, y, 11, 1);
      }
      std::cout << xk::driver::pair_report(std::to_string(i + 1) + ".gca", std::to_string(j + 1) + ".gca", seqs[i],
                                           seqs[j], r)
                       .text;
    }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return xk::run_program([&] { return run(argc, argv); });
}
