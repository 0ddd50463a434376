#include "driver/msa_report.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <ostream>

#include "assembly/alphabet.hpp"
#include "assembly/makemsa.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"

namespace xk {

namespace {

constexpr int kBlock = 50;

// The gamma file that a profile file's residue text came from.
std::string gamma_of(std::string_view profile) {
  return std::string(profile.substr(0, profile.find('.'))) + ".gca";
}

// Letter `number` (from 1) of a residue text.
char residue(std::string_view text, int number, std::string_view profile) {
  if (number < 1 || static_cast<std::size_t>(number) > text.size()) {
    throw FatalStop("ERROR: Residue " + std::to_string(number) + " missing in " + gamma_of(profile) + "!!!");
  }
  return text[static_cast<std::size_t>(number) - 1];
}

}  // namespace

std::string msa_heading(int iteration) {
  return "Multiple sequence alignment (Iteration " + std::to_string(iteration) + "): ";
}

AlignedRows report_alignment(std::ostream& out, std::string_view parent_profile, std::string_view child_profile,
                             std::string_view parent_residues, std::string_view child_residues,
                             const DpResult& r, int iteration) {
  AlignedRows rows;
  rows.first_parent = r.n1 - 1;
  rows.first_child = r.n2 - 1;

  // The path runs from the alignment's end backwards: reverse it and keep
  // the state letters only.
  std::string packed;
  packed.reserve(r.path.size());
  for (auto it = r.path.rbegin(); it != r.path.rend(); ++it) {
    if (*it != ' ' && *it != 'E') packed += *it;
  }
  const auto T = static_cast<long long>(packed.size());
  const auto nblocks = static_cast<long long>(std::ceil(static_cast<float>(T - 1) / static_cast<float>(kBlock)));

  out << msa_heading(iteration) << parent_profile << ", " << child_profile << '\n';
  std::size_t cp = 1, cc = 1;  // the first packed letter is not shown
  int i1 = rows.first_parent, i2 = rows.first_child;
  for (long long b = 0; b < nblocks; ++b) {
    std::string line = "PARENT       " + fw::format_int(i1, 4) + "   ";
    for (int step = 0; step < kBlock; ++step, ++cp) {
      if (cp >= packed.size()) continue;
      const char st = packed[cp];
      if (st == 'M' || st == 'I') {
        const char c = residue(parent_residues, i1++, parent_profile);
        line += c;
        rows.parent += c;
      } else if (st == 'D') {
        line += '.';
        rows.parent += '.';
      }
    }
    out << line << "   " << fw::format_int(i1 - 1, 4) << '\n';

    line = "CHILD        " + fw::format_int(i2, 4) + "   ";
    for (int step = 0; step < kBlock; ++step, ++cc) {
      if (cc >= packed.size()) continue;
      const char st = packed[cc];
      if (st == 'M' || st == 'D') {
        const char c = residue(child_residues, i2++, child_profile);
        line += c;
        rows.child += c;
      } else if (st == 'I') {
        line += '.';
        rows.child += '.';
      }
    }
    out << line << "   " << fw::format_int(i2 - 1, 4) << "\n\n";
  }
  out << '\n';
  out.flush();
  return rows;
}

void write_msa_listing(std::ostream& out, std::span<const std::string> ids, std::span<const std::string> rows,
                       std::span<const int> first_residue, int iteration) {
  assert(ids.size() == rows.size() && rows.size() == first_residue.size());
  std::size_t length = 0;
  for (const std::string& row : rows) length = std::max(length, row.size());
  const std::size_t nblocks = (length + kBlock - 1) / kBlock;

  std::vector<long long> tag(first_residue.begin(), first_residue.end());
  out << msa_heading(iteration) << '\n';
  std::string line;
  for (std::size_t b = 0; b < nblocks; ++b) {
    for (std::size_t s = 0; s < rows.size(); ++s) {
      line = fw::format_text(ids[s], 13);
      line += fw::format_int(tag[s], 4);
      line += "   ";
      const std::string& row = rows[s];
      const std::size_t from = b * kBlock;
      const std::string_view piece =
          from < row.size() ? std::string_view(row).substr(from, kBlock) : std::string_view();
      line += piece;
      line.append(kBlock - piece.size(), ' ');
      tag[s] += std::count_if(piece.begin(), piece.end(), is_sequence_letter);
      line += "   ";
      line += fw::format_int(tag[s] - 1, 4);
      line += '\n';
      out << line;
    }
    out << '\n';
  }
  out.flush();
}

std::vector<std::string> assemble_and_list(std::ostream& out, std::span<const std::string> ids,
                                           std::span<const AlignedRows> alignments, int iteration) {
  std::vector<std::string> seqpair;
  std::vector<int> first_parent, first_child;
  seqpair.reserve(2 * alignments.size());
  for (const AlignedRows& a : alignments) {
    seqpair.push_back(a.parent);
    seqpair.push_back(a.child);
    first_parent.push_back(a.first_parent);
    first_child.push_back(a.first_child);
  }
  makemsa(seqpair, first_parent);
  std::vector<std::string> rows;
  rows.reserve(alignments.size());
  for (std::size_t s = 0; s < alignments.size(); ++s) rows.push_back(std::move(seqpair[2 * s + 1]));
  write_msa_listing(out, ids, rows, first_child, iteration);
  return rows;
}

}  // namespace xk
