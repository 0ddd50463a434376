#include "data/evaluation.hpp"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "common/ending.hpp"
#include "data/training.hpp"
#include "localstructure/forward_backward.hpp"
#include "scoring/dp.hpp"

namespace xk::data {

namespace {

constexpr float kGapOpen = 21.0f, kGapExtend = 0.4f;

// 0 helix, 1 strand, 2 other.
int three_state_of_class(const std::string& klass) {
  if (klass.rfind("HELIX", 0) == 0) return 0;
  if (klass.rfind("STRAND", 0) == 0) return 1;
  return 2;
}

int three_state_of_label(char label) { return label == 'H' ? 0 : label == 'E' ? 1 : 2; }

std::vector<float> gamma_table(const ls::CompiledModel& model, const Member& m) {
  const std::vector<double> g = member_posteriors(model, m);
  return std::vector<float>(g.begin(), g.end());
}

// The residue pairs (from 0) of dp's alignment.
std::vector<std::pair<int, int>> aligned_pairs(const DpResult& r) {
  std::string states;
  for (auto it = r.path.rbegin(); it != r.path.rend(); ++it) {
    if (*it != ' ' && *it != 'E') states += *it;
  }
  std::vector<std::pair<int, int>> out;
  int i = r.n1 - 2, j = r.n2 - 2;
  for (std::size_t k = 1; k < states.size(); ++k) {
    const char s = states[k];
    if (s == 'M') out.emplace_back(i++, j++);
    else if (s == 'I') ++i;
    else if (s == 'D') ++j;
  }
  return out;
}

std::vector<float> fields_of(const std::string& text, std::size_t count) {
  std::vector<float> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line) && out.size() < count) {
    if (line.size() < 300 || line.rfind("STATE", 0) == 0) continue;
    for (std::size_t k = 0; k < 20; ++k) out.push_back(std::strtof(line.substr(k * 15, 15).c_str(), nullptr));
  }
  if (out.size() != count) throw FatalStop("ERROR: frequency text of the wrong size!!!");
  return out;
}

}  // namespace

Accuracy three_state_accuracy(const std::vector<Family>& families, const ls::StructureModel& model) {
  const ls::CompiledModel compiled = ls::compile_model(model);
  std::vector<int> of_state(static_cast<std::size_t>(model.states()));
  for (int s = 0; s < model.states(); ++s) of_state[s] = three_state_of_class(model.state_class[s]);
  Accuracy acc;
  for (const Family& f : families) {
    for (const Member& m : f.members) {
      const std::vector<double> g = member_posteriors(compiled, m);
      for (std::size_t i = 0; i < m.code.size(); ++i) {
        if (m.label[i] == '?') continue;
        std::array<double, 3> sum{};
        for (int s = 1; s < model.states(); ++s) sum[of_state[s]] += g[i * ls::kModelStates + s];
        const int best = static_cast<int>(std::max_element(sum.begin(), sum.end()) - sum.begin());
        ++acc.total;
        acc.correct += best == three_state_of_label(m.label[i]);
      }
    }
  }
  return acc;
}

FrequencyTables tables_from_text(const std::string& observed, const std::string& expected) {
  FrequencyTables t;
  t.matrix1 = fields_of(observed, static_cast<std::size_t>(kScoredStates) * 400);
  t.matrix2 = fields_of(expected, static_cast<std::size_t>(kScoredStates) * 20);
  return t;
}

Accuracy pair_alignment_accuracy(const std::vector<Family>& families, const ls::StructureModel& model,
                                 const ScoringTables& tables, double max_identity, int per_family) {
  const ls::CompiledModel compiled = ls::compile_model(model);
  Accuracy acc;
  for (const Family& f : families) {
    int done = 0;
    for (std::size_t x = 0; x < f.members.size() && done < per_family; ++x) {
      for (std::size_t y = x + 1; y < f.members.size() && done < per_family; ++y) {
        const Member &a = f.members[x], &b = f.members[y];
        if (pair_identity(a, b) >= max_identity) continue;
        ++done;
        const std::vector<float> g1 = gamma_table(compiled, a), g2 = gamma_table(compiled, b);
        const int n1 = static_cast<int>(a.letters.size()), n2 = static_cast<int>(b.letters.size());
        std::vector<float> mij(static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2));
        score_sequences(tables, a.letters, b.letters, g1, g2, mij);
        for (float& v : mij) v = v + v;
        const DpResult r = dp(n1, n2, kGapOpen, kGapExtend, mij);
        std::vector<int> partner(a.code.size(), -1);
        for (auto [i, j] : aligned_pairs(r)) partner[i] = j;
        std::vector<int> at(static_cast<std::size_t>(f.columns), -1);
        for (std::size_t j = 0; j < b.column.size(); ++j) at[b.column[j]] = static_cast<int>(j);
        for (std::size_t i = 0; i < a.column.size(); ++i) {
          const int j = at[a.column[i]];
          if (j < 0 || a.code[i] < 0 || b.code[j] < 0) continue;
          ++acc.total;
          acc.correct += partner[i] == j;
        }
      }
    }
  }
  return acc;
}

}  // namespace xk::data
