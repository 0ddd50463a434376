#include "driver/initial_msa.hpp"

#include <ostream>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"

namespace xk {

ProfileData load_profile(const std::string& profile) {
  ProfileData d;
  d.profile = profile;
  const std::string gamma = gamma_file_of(profile);
  d.length = getdrctlen(profile);
  d.pro.assign(static_cast<std::size_t>(d.length) * 20, 0.0f);
  readdrct(profile, d.length, d.pro);
  d.gamma = readgamma(gamma, d.length);
  d.residues = readgcaseq(gamma);
  return d;
}

AssembledMsa run_initial_msa_phase(std::ostream& console, std::ostream& out, std::span<const std::string> ids,
                                   const ParentFiles& parent, const InitialMsaTools& tools, int iteration) {
  const int n = static_cast<int>(ids.size());
  if (iteration == 1)
    console << fw::ConsoleLine().text("...making initial multiple sequence alignment").str() << '\n';
  else
    console << fw::ConsoleLine()
                   .text("...refining the multiple sequence alignment (iteration " + std::to_string(iteration) + ")")
                   .str()
            << '\n';
  console.flush();
  if (!tools.exists(parent.gamma)) tools.make_gamma(parent.profile);
  ProfileData par = tools.load(parent.profile);
  if (!parent.shown.empty()) par.profile = parent.shown;  // the reports show the node name

  std::vector<AlignedRows> alignments;
  alignments.reserve(ids.size());
  for (int s = 1; s <= n; ++s) {
    tools.progress(s, n);
    ProfileData child = tools.load(std::to_string(s) + ".drct");
    const DpResult r = tools.align(par, child);
    alignments.push_back(report_alignment(out, par.profile, child.profile, par.residues, child.residues, r, iteration));
  }
  console << '\n';
  console.flush();
  return assemble_and_list(out, ids, alignments, iteration);
}

}  // namespace xk
