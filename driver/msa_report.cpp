#include "driver/msa_report.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <ostream>

#include "assembly/makemsa.hpp"
#include "assembly/parent_columns.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/residues.hpp"
#include "driver/block_report.hpp"

namespace xk {

namespace {

constexpr std::size_t kBlock = driver::kBlockColumns;

}  // namespace

std::string msa_heading(int iteration) {
  return "Multiple sequence alignment (Iteration " + std::to_string(iteration) + "): ";
}

AlignedRows report_alignment(std::ostream& out, std::string_view parent_profile, std::string_view child_profile,
                             std::string_view parent_residues, std::string_view child_residues,
                             const DpResult& r, int iteration) {
  const std::string parent_gamma = gamma_file_of(parent_profile), child_gamma = gamma_file_of(child_profile);
  std::string text;
  driver::ShownRows shown = driver::write_block_report(text, msa_heading(iteration), parent_profile, child_profile,
                                                      {"PARENT", parent_residues, parent_gamma},
                                                      {"CHILD", child_residues, child_gamma}, r);
  out << text;
  out.flush();
  AlignedRows rows;
  rows.parent = std::move(shown.first);
  rows.child = std::move(shown.second);
  rows.first_parent = r.n1 - 1;
  rows.first_child = r.n2 - 1;
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

AssembledMsa assemble_and_list(std::ostream& out, std::span<const std::string> ids,
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
  // makemsa replaces sequence 1's parent row by the common one: count its
  // own stretch first.
  const int first_stretch =
      seqpair.empty() ? 0 : static_cast<int>(std::count_if(seqpair[0].begin(), seqpair[0].end(), is_sequence_letter));
  makemsa(seqpair, first_parent);
  AssembledMsa msa;
  msa.parent_residue = parent_residue_columns(seqpair, first_parent, first_stretch);
  msa.rows.reserve(alignments.size());
  for (std::size_t s = 0; s < alignments.size(); ++s) msa.rows.push_back(std::move(seqpair[2 * s + 1]));
  write_msa_listing(out, ids, msa.rows, first_child, iteration);
  msa.first_residue = std::move(first_child);
  return msa;
}

}  // namespace xk
