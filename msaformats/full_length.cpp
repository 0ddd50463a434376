#include "msaformats/full_length.hpp"

#include <algorithm>
#include <cassert>
#include <unordered_set>

#include "common/ending.hpp"

namespace xk::msa {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A gap character of an assembled row.
bool is_row_gap(char c) { return c == '.' || c == '-' || c == '~' || c == '*'; }

std::size_t letters_in(std::string_view row) {
  return static_cast<std::size_t>(std::count_if(row.begin(), row.end(), [](char c) { return !is_row_gap(c); }));
}

}  // namespace

std::string identifier(std::string_view header, std::size_t number) {
  if (!header.empty() && header.front() == '>') header.remove_prefix(1);
  std::size_t p = 0;
  while (p < header.size() && is_blank(header[p])) ++p;
  std::size_t end = p;
  while (end < header.size() && !is_blank(header[end]) && header[end] != '\r') ++end;
  if (end == p) return "seq" + std::to_string(number);
  return std::string(header.substr(p, end - p));
}

std::vector<std::string> unique_names(std::span<const std::string> names) {
  const std::unordered_set<std::string> given(names.begin(), names.end());
  std::unordered_set<std::string> used;
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const std::string& name : names) {
    std::string made = name;
    for (int k = 2; used.count(made) != 0; ++k) {
      made = name + "_" + std::to_string(k);
      if (given.count(made) != 0) made = name;  // keep looking: that one is taken
    }
    used.insert(made);
    out.push_back(std::move(made));
  }
  return out;
}

FullLength full_length_rows(std::span<const std::string> names, std::span<const std::string> sequences,
                            std::span<const std::string> assembled, std::span<const int> first_residue) {
  const std::size_t n = sequences.size();
  assert(names.size() == n && assembled.size() == n && first_residue.size() == n);
  FullLength f;
  std::vector<std::size_t> before(n), after(n);
  for (std::size_t s = 0; s < n; ++s) {
    f.block = std::max(f.block, assembled[s].size());
    const std::size_t length = sequences[s].size();
    before[s] = static_cast<std::size_t>(std::clamp(first_residue[s] - 1, 0, static_cast<int>(length)));
    const std::size_t aligned = letters_in(assembled[s]);
    if (before[s] + aligned > length)
      throw FatalStop("ERROR: The aligned row of " + names[s] + " holds more residues than the sequence!!!");
    after[s] = length - before[s] - aligned;
    f.leading = std::max(f.leading, before[s]);
    f.trailing = std::max(f.trailing, after[s]);
  }
  f.rows.reserve(n);
  for (std::size_t s = 0; s < n; ++s) {
    const std::string& seq = sequences[s];
    std::string row(f.leading - before[s], '.');
    for (std::size_t k = 0; k < before[s]; ++k) row += lower(seq[k]);
    std::size_t next = before[s];  // the residue the next letter must be
    for (char c : assembled[s]) {
      if (is_row_gap(c)) {
        row += '-';
        continue;
      }
      if (upper(c) != upper(seq[next]))
        throw FatalStop("ERROR: The aligned row of " + names[s] + " differs from its sequence at residue " +
                        std::to_string(next + 1) + "!!!");
      row += upper(seq[next++]);
    }
    row.append(f.block - assembled[s].size(), '-');
    for (std::size_t k = next; k < seq.size(); ++k) row += lower(seq[k]);
    row.append(f.trailing - after[s], '.');
    f.rows.push_back(std::move(row));
  }
  return f;
}

char structure_letter(std::string_view state_class) {
  // Classes name their kind first: HELIX, HELIX_N1 (a helix's first
  // residue), STRAND_END and so on.
  if (state_class.starts_with("HELIX")) return 'H';
  if (state_class.starts_with("STRAND")) return 'E';
  return 'C';
}

std::string residue_structure(std::span<const float> gamma, std::string_view state_letter) {
  const std::size_t states = state_letter.size();
  assert(states > 0 && gamma.size() % states == 0);
  constexpr std::string_view kLetters = "HEC";
  std::string out;
  out.reserve(gamma.size() / states);
  for (std::size_t row = 0; row < gamma.size(); row += states) {
    double sum[3] = {0.0, 0.0, 0.0};
    for (std::size_t m = 0; m < states; ++m) {
      const std::size_t k = kLetters.find(state_letter[m]);
      if (k != std::string_view::npos) sum[k] += gamma[row + m];
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < 3; ++k)
      if (sum[k] > sum[best]) best = k;
    out += kLetters[best];
  }
  return out;
}

std::string row_structure(std::string_view row, std::string_view residue_letters) {
  std::string out;
  out.reserve(row.size());
  std::size_t next = 0;
  for (char c : row) {
    if (is_gap(c)) {
      out += '.';
      continue;
    }
    if (next >= residue_letters.size())
      throw FatalStop("ERROR: The predicted structure covers fewer residues than the row!!!");
    out += residue_letters[next++];
  }
  return out;
}

std::string consensus_structure(std::size_t width, std::size_t leading, std::span<const int> parent_residue,
                                std::string_view parent_letters) {
  std::string out(width, '.');
  for (std::size_t c = 0; c < parent_residue.size() && leading + c < width; ++c) {
    const int r = parent_residue[c];
    if (r >= 1 && static_cast<std::size_t>(r) <= parent_letters.size())
      out[leading + c] = parent_letters[static_cast<std::size_t>(r) - 1];
  }
  return out;
}

}  // namespace xk::msa
