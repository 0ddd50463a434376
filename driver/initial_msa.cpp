#include "driver/initial_msa.hpp"

#include <condition_variable>
#include <mutex>
#include <ostream>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "driver/ordered_pool.hpp"
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

namespace {

// What a sequence's alignment leaves for its report.
struct ChildAlignment {
  std::string profile;
  std::string residues;
  DpResult result;
};

// Every sequence against the parent on the tools' threads.  A job takes its
// stage only when the job before it has taken its own, so the stages (and
// their changes to the parent) come in sequence order; reports and the
// progress bar go out in sequence order from this thread.
void align_side_by_side(std::ostream& out, ProfileData& par, int n, const InitialMsaTools& tools, int iteration,
                        std::vector<AlignedRows>& alignments) {
  std::mutex m;
  std::condition_variable turn_cv;
  int turn = 1;  // the sequence whose stage comes next
  driver::ordered_run<ChildAlignment>(
      static_cast<std::size_t>(n), tools.threads,
      [&](std::size_t idx) {
        const int s = static_cast<int>(idx) + 1;
        std::function<DpResult(ProfileData&)> rest;
        {
          std::unique_lock lock(m);
          turn_cv.wait(lock, [&] { return turn == s; });
          // The turn passes on also when the stage fails, so that no later
          // job waits for ever; the failure ends the phase in its order.
          struct PassTurn {
            int& turn;
            std::condition_variable& cv;
            ~PassTurn() {
              ++turn;
              cv.notify_all();
            }
          } pass{turn, turn_cv};
          rest = tools.stage(par);
        }
        ProfileData child = tools.load(std::to_string(s) + ".drct");
        DpResult r = rest(child);
        return ChildAlignment{std::move(child.profile), std::move(child.residues), std::move(r)};
      },
      [&](std::size_t idx) { tools.progress(static_cast<int>(idx) + 1, n); },
      [&](std::size_t, ChildAlignment&& c) {
        alignments.push_back(report_alignment(out, par.profile, c.profile, par.residues, c.residues, c.result, iteration));
      });
}

}  // namespace

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
  if (tools.stage && tools.threads > 1 && n > 1) {
    align_side_by_side(out, par, n, tools, iteration, alignments);
  } else {
    for (int s = 1; s <= n; ++s) {
      tools.progress(s, n);
      ProfileData child = tools.load(std::to_string(s) + ".drct");
      const DpResult r = tools.align(par, child);
      alignments.push_back(report_alignment(out, par.profile, child.profile, par.residues, child.residues, r, iteration));
    }
  }
  console << '\n';
  console.flush();
  return assemble_and_list(out, ids, alignments, iteration);
}

}  // namespace xk
