// The accurate mode's progressive alignment: the sequences merged group by
// group along the joins of the parent-profile phase, each join along the
// path its block-aligner samples support best.
#pragma once

#include <optional>
#include <vector>

#include "driver/merge_order.hpp"
#include "driver/msa_report.hpp"

namespace xk::driver {

struct RunState;

// The alignment of the last join's node in the run's column system: rows in
// sequence order (residue letters of the sequences' gamma files, '.' for a
// gap), every residue in its row (first residue 1), and per column the
// parent profile's position there (the last join's node is the parent).
// None when the joins leave a sequence out, when a join's path is missing
// (state.join_paths), or when a sequence's profile and residue text differ
// in length.
std::optional<AssembledMsa> progressive_msa(const RunState& state, const std::vector<Join>& joins);

}  // namespace xk::driver
