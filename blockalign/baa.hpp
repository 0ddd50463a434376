// The block aligner `baa`: merges two profiles into one by a probabilistic
// block alignment and writes the merged profile file.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

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

}  // namespace xk
