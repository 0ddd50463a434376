#include "driver/state_model.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/residues.hpp"

namespace xk {

int select_parent(int n, std::span<const float> aliscore) {
  const auto N = static_cast<std::size_t>(std::max(n, 0));
  assert(aliscore.size() >= N * N);
  std::vector<double> total(N, 0.0);
  for (std::size_t s = 0; s < N; ++s) {
    double row = 0.0, col = 0.0;
    for (std::size_t j = 0; j < N; ++j) row += aliscore[s * N + j];
    for (std::size_t i = 0; i < N; ++i) col += aliscore[i * N + s];
    total[s] = row + col;
  }
  long long best_total = 0;
  int best = 0;
  for (std::size_t s = 0; s < N; ++s) {
    if (total[s] >= static_cast<double>(best_total)) {
      best_total = static_cast<long long>(total[s]);
      best = static_cast<int>(s) + 1;
    }
  }
  if (best == 0) {  // every total negative
    double most = -std::numeric_limits<double>::infinity();
    for (std::size_t s = 0; s < N; ++s) {
      if (total[s] >= most) {
        most = total[s];
        best = static_cast<int>(s) + 1;
      }
    }
  }
  return best;
}

namespace {

// Counts the transitions of every row but the selected one (S, its first
// slen columns, its first residue column `first`) into m.hmm.
void count_transitions(StateModel& m, std::span<const std::string> rows, int selected, const std::string& S,
                       std::size_t slen, std::size_t first) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (r + 1 == static_cast<std::size_t>(selected)) continue;
    const std::string& X = rows[r];
    auto ch = [&](std::size_t c) { return c < X.size() ? X[c] : ' '; };
    if (!in_alphabet(ch(first))) continue;  // a row that ends before the first state column
    State state = is_residue_letter(ch(first)) ? State::M : State::D;
    m.at(state, State::M, 1) += 1.0f;
    int k = 1;
    for (std::size_t c = first + 1; in_alphabet(ch(c)); ++c) {
      const char s = c < slen ? S[c] : ' ';
      const bool srow = is_residue_letter(s);
      const bool xrow = is_residue_letter(ch(c));
      if (srow && xrow) {
        m.at(State::M, state, ++k) += 1.0f;
        state = State::M;
      } else if (srow) {
        m.at(State::D, state, ++k) += 1.0f;
        state = State::D;
      } else if (xrow) {
        m.at(State::L, state, k) += 1.0f;
        state = State::L;
      }
    }
    m.at(State::M, state, ++k) += 1.0f;  // the end of the row
    assert(k == m.nstates + 1);
  }
}

// Normalises the transition counts per source state and position.
void normalise_transitions(StateModel& m) {
  for (State x : {State::M, State::D, State::L}) {
    float t = m.at(State::M, x, 1) + m.at(State::D, x, 1);
    if (t > 0.0f) {
      m.at(State::M, x, 1) /= t;
      m.at(State::D, x, 1) /= t;
    }
    for (int k = 2; k <= m.nstates + 1; ++k) {
      t = m.at(State::M, x, k) + m.at(State::D, x, k) + m.at(State::L, x, k - 1);
      if (t > 0.0f) {
        m.at(State::M, x, k) /= t;
        m.at(State::D, x, k) /= t;
        m.at(State::L, x, k - 1) /= t;
      }
    }
  }
}

// The emission frequencies of the selected row's residue columns, from every
// row, the selected one included.
void count_emissions(StateModel& m, std::span<const std::string> rows, const std::string& S, std::size_t slen) {
  int k = 0;
  for (std::size_t c = 0; c < slen; ++c) {
    if (!is_residue_letter(S[c])) continue;
    float* row = &m.emit[static_cast<std::size_t>(k) * 20];
    float total = 0.0f;
    for (const std::string& X : rows) {
      if (c < X.size() && is_residue_letter(X[c])) {
        row[alphabet_class(X[c]) - 1] += 1.0f;
        total += 1.0f;
      }
    }
    if (total > 0.0f) {
      for (int a = 0; a < 20; ++a) row[a] /= total;
    }
    ++k;
  }
}

}  // namespace

StateModel build_state_model(std::span<const std::string> rows, int selected) {
  assert(selected >= 1 && static_cast<std::size_t>(selected) <= rows.size());
  const std::string& S = rows[static_cast<std::size_t>(selected) - 1];
  StateModel m;
  // The selected row's length: up to its first character outside the alphabet.
  std::size_t slen = 0;
  while (slen < S.size() && in_alphabet(S[slen])) ++slen;
  m.nstates = static_cast<int>(std::count_if(S.begin(), S.begin() + static_cast<std::ptrdiff_t>(slen),
                                             is_residue_letter));
  const auto positions = static_cast<std::size_t>(m.nstates + 1);
  m.hmm.assign(9 * positions, 0.0f);
  m.emit.assign(static_cast<std::size_t>(m.nstates) * 20, 0.0f);
  if (m.nstates == 0) return m;

  std::size_t first = 0;  // the selected row's first residue column
  while (!is_residue_letter(S[first])) ++first;

  count_transitions(m, rows, selected, S, slen, first);
  normalise_transitions(m);
  count_emissions(m, rows, S, slen);
  return m;
}

void write_state_model(std::ostream& out, const StateModel& model) {
  static constexpr const char* kHeadings[3] = {"M state:", "D state:", "L state:"};
  std::string line;
  for (State to : {State::M, State::D, State::L}) {
    out << fw::ConsoleLine().text(kHeadings[static_cast<int>(to)]).str();
    for (State from : {State::M, State::D, State::L}) {
      line.clear();
      for (int k = 1; k <= model.nstates + 1; ++k) line += fw::format_fixed(model.at(to, from, k), 5, 2);
      out << line << '\n';
    }
    out << '\n';
  }
  out << fw::ConsoleLine().text("Emission probabilities:").str();
  for (int k = 0; k < model.nstates; ++k) {
    line.clear();
    for (int a = 0; a < 20; ++a) {
      line += fw::format_fixed(model.emit[static_cast<std::size_t>(k) * 20 + static_cast<std::size_t>(a)], 5, 2);
    }
    out << line << '\n';
  }
  out.flush();
}

StateModel run_state_model_phase(std::ostream& console, std::ostream& out, std::span<const std::string> ids,
                                 std::span<const float> aliscore, std::span<const std::string> rows) {
  const int n = static_cast<int>(rows.size());
  assert(ids.size() == rows.size());
  const int b = select_parent(n, aliscore);
  const std::string id = without_trailing_blanks(ids[static_cast<std::size_t>(b) - 1]);
  console << fw::ConsoleLine().text(id).text(" has been selected as the parent sequence").str() << '\n';
  StateModel model = build_state_model(rows, b);
  console << fw::ConsoleLine().text("...define").num(model.nstates).text(" states").str() << '\n';
  console.flush();
  write_state_model(out, model);
  return model;
}

}  // namespace xk
