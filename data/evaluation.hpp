// Quick measures of a local-structure model and its frequency tables on
// annotated families: the three-state accuracy of the posteriors, and the
// accuracy of the all-pairs aligner on the structurally aligned pairs.
#pragma once

#include <string>
#include <vector>

#include "data/homstrad.hpp"
#include "localstructure/model.hpp"
#include "scoring/scores.hpp"

namespace xk::data {

struct Accuracy {
  long total = 0;
  long correct = 0;
  double fraction() const { return total == 0 ? 0.0 : static_cast<double>(correct) / static_cast<double>(total); }
};

// Residues with an H/E/C/P annotation whose posterior class sums (states
// of classes named HELIX..., STRAND..., and all others) have their largest
// value at the annotated one (H helix, E strand, C and P other).
Accuracy three_state_accuracy(const std::vector<Family>& families, const ls::StructureModel& model);

// Frequency tables from the texts of "observed" and "expected" (the
// layouts the loading step reads, values with a decimal point).
FrequencyTables tables_from_text(const std::string& observed, const std::string& expected);

// Aligns, per family, up to `per_family` member pairs of identity below
// `max_identity` (in member order) with the all-pairs aligner: position
// scores doubled, gap costs 21.0 and 0.4, local.  Counts the reference's
// residue pairs (both residues one of the 20 letters, in one column) and
// those the alignment reproduces.
Accuracy pair_alignment_accuracy(const std::vector<Family>& families, const ls::StructureModel& model,
                                 const ScoringTables& tables, double max_identity, int per_family);

}  // namespace xk::data
