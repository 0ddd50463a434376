// The block aligner `baa`: merges two profiles into one by a probabilistic
// block alignment and writes the merged profile file.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "blockalign/layered.hpp"
#include "blockalign/support_path.hpp"
#include "scoring/scores.hpp"

namespace xk {

// Reads the profile files name1 (len1 records) and name2 (len2 records) and
// their gamma files (stem + ".gca"), scores every position pair, turns the
// scores into exponents (doubled plus `bias`), prints on `out`
//     " ...aligning (BAA): <name1> <name2>"        (before reading)
//     " Maximum number of block: <maxblock>"
//     ""
// and writes the merged profile file <stem1>-<stem2>.drct (max(len1, len2)
// records, laid on the longer input, the first on equal lengths).
// seed: nullopt seeds the sampler from the clock; a value makes the call
// reproducible.  Trailing blanks of the names are not part of them.
// Throws IoError for a missing input or an unwritable output file,
// FatalStop for a failed table creation or an unreadable gamma line.
void baa(const std::string& name1, const std::string& name2, int len1, int len2, const ScoringTables& tables,
         float bias, std::optional<std::uint64_t> seed, std::ostream& out);

// The bytes the larger tables of one merge of inputs of len1 and len2
// positions take: the layered sums and the pair scores and weights.
double merge_bytes(int len1, int len2);

// The files of one merge and the names its console line shows.
struct MergeFiles {
  std::string profile1;  // first input's profile file; its gamma file is stem + ".gca"
  std::string profile2;  // second input's profile file
  std::string merged;    // the merged profile file to write
  std::string shown1;    // the names the "...aligning (BAA)" line shows
  std::string shown2;
};

// The same merge with the output file and the shown names given apart from
// the input files (baa above is this call with merged = merged_file_name
// and shown = the input names).  The scores, and beside the weighted sums
// the alignment counts, are made on up to `threads` threads; the merged
// file does not depend on their number.  `keep`: the
// block-layered tables of an earlier merge to reuse, and where this merge
// leaves its own (see LayeredTables); null: fresh tables, released.
// `match`: where the share of the samples that align each position pair
// goes (len1 x len2, as sample_match gives it, for best_supported_path);
// null: not kept.  The merged file is the same either way.
void baa(const MergeFiles& files, int len1, int len2, const ScoringTables& tables, float bias,
         std::optional<std::uint64_t> seed, std::ostream& out, unsigned threads = 1,
         LayeredTables* keep = nullptr, std::vector<float>* match = nullptr);

}  // namespace xk
