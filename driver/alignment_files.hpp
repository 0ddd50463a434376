// The files a run writes for other tools, after the state model: the final
// alignment with every residue ("-o", in the "-f" format) and the merge
// order as a Newick tree ("-t").  The phase collects the data (names,
// sequences, the assembled alignment, the predicted structure from the
// gamma files) and hands it to the writers of msaformats/.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "driver/merge_order.hpp"
#include "driver/msa_report.hpp"
#include "msaformats/alignment.hpp"

namespace xk::driver {

struct RunState;

// One structure letter (msa::structure_letter) per state of the gamma
// tool's model file, ' ' for the begin state.  Throws FatalStop when the
// model file cannot be read; the run asks for it before any work when it
// is to write Stockholm.
std::string structure_state_letters();

// The final alignment with every residue: the unique names of
// state.names (msa::unique_names), the full-length rows built from
// msa.rows and state.sequences; with `structure`, the structure text of
// every row from the gamma files "s.gca" and the consensus from the
// parent's gamma file `parent_gamma`, their states' classes read from the
// structure model file of the gamma tool.
msa::Alignment final_alignment(const RunState& state, const AssembledMsa& msa, const std::string& parent_gamma,
                               bool structure);

// Writes the files asked for in state.settings (none when neither name is
// set).  Throws IoError for a file that cannot be written.
void write_alignment_files(const RunState& state, const AssembledMsa& msa, std::span<const Join> joins,
                           const ParentFiles& parent);

}  // namespace xk::driver
