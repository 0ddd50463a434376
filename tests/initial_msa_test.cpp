// The initial multiple alignment phase over fake tools: console lines, the
// order of the reports, the listing, the parent's gamma file made on demand,
// and the loading of a profile with its gamma file.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/initial_msa.hpp"
#include "profile/record.hpp"
#include "driver_fixtures.hpp"
#include "testutil.hpp"

using namespace xk;

namespace {

DpResult path_result(int n1, int n2, const std::string& states, bool restart, std::size_t N) {
  DpResult r;
  r.n1 = n1;
  r.n2 = n2;
  r.path = std::string(states.rbegin(), states.rend()) + "M";
  if (restart) r.path += 'E';
  r.path.resize(N, ' ');
  return r;
}

struct Fake {
  std::map<std::string, std::string> residues;
  std::map<std::string, DpResult> results;
  std::vector<std::string> calls;
  std::ostringstream* console = nullptr;
  InitialMsaTools tools() {
    return {[this](const std::string& p) {
              calls.push_back("exists " + p);
              return false;
            },
            [this](const std::string& p) { calls.push_back("gamma " + p); },
            [this](const std::string& p) {
              calls.push_back("load " + p);
              ProfileData d;
              d.profile = p;
              d.residues = residues.at(p);
              d.length = static_cast<int>(d.residues.size());
              return d;
            },
            [this](ProfileData& parent, ProfileData& child) {
              calls.push_back("align " + parent.profile + " " + child.profile);
              return results.at(child.profile);
            },
            [this](int s, int n) { *console << "[" << s << "/" << n << "]"; },
            {},
            1};
  }
};

std::string line(const std::string& word, const std::string& first, const std::string& cols, const std::string& last) {
  return word + first + "   " + cols + "   " + last + "\n";
}

}  // namespace

TEST(InitialMsa, ReportsListingAndConsoleInOrder) {
  Fake fake;
  std::ostringstream console, out;
  fake.console = &console;
  fake.residues = {{"1-2.drct", "MKTAYIAKQR"}, {"1.drct", "MKTAYIAK"}, {"2.drct", "GTAYWIAKQR"}};
  fake.results = {{"1.drct", path_result(2, 2, "MMMMMMMM", false, 18)},
                  {"2.drct", path_result(4, 3, "MMMDMMMMM", true, 20)}};
  auto rows = run_initial_msa_phase(console, out, std::vector<std::string>{"first", "second"},
                                    ParentFiles{"1-2.drct", "1-2.gca", "1-2.drct"}, fake.tools());
  EXPECT_EQ(console.str(), " ...making initial multiple sequence alignment\n\n[1/2][2/2]\n");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"exists 1-2.gca", "gamma 1-2.drct", "load 1-2.drct", "load 1.drct",
                                                  "align 1-2.drct 1.drct", "load 2.drct", "align 1-2.drct 2.drct"}));
  EXPECT_EQ(rows.rows, (std::vector<std::string>{"MKTAY.IAK..", "..TAYWIAKQR"}));
  const std::string pad(39, ' ');
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): 1-2.drct, 1.drct\n" +
                           line("PARENT       ", "   1", "MKTAYIAK", "   8") +
                           line("CHILD        ", "   1", "MKTAYIAK", "   8") + "\n\n" +
                           "Multiple sequence alignment (Iteration 1): 1-2.drct, 2.drct\n" +
                           line("PARENT       ", "   3", "TAY.IAKQR", "  10") +
                           line("CHILD        ", "   2", "TAYWIAKQR", "  10") + "\n\n" +
                           "Multiple sequence alignment (Iteration 1): \n" +
                           line("first        ", "   1", "MKTAY.IAK.." + pad, "   8") +
                           line("second       ", "   2", "..TAYWIAKQR" + pad, "  10") + "\n");
}

TEST(InitialMsa, SideBySideStagesComeInSequenceOrderAndReportAsOneAtATime) {
  // Every stage changes the parent (here a count); a sequence's alignment
  // comes out right only when its stage was the s-th, as one at a time.
  auto run = [](unsigned threads) {
    int stages = 0;
    std::ostringstream console, out;
    auto result_for = [](int stage, const std::string& child) {
      return child == std::to_string(stage) + ".drct" ? path_result(4, 2, "MMMMMM", false, 16)
                                                      : path_result(2, 2, "MMMMMM", false, 16);
    };
    InitialMsaTools tools;
    tools.exists = [](const std::string&) { return true; };
    tools.make_gamma = [](const std::string&) {};
    tools.load = [](const std::string& p) {
      ProfileData d;
      d.profile = p;
      d.residues = p == "p.drct" ? "MKTAYIAKQR" : "TAYIAK";
      d.length = static_cast<int>(d.residues.size());
      return d;
    };
    tools.align = [&](ProfileData&, ProfileData& child) { return result_for(++stages, child.profile); };
    tools.progress = [&](int s, int n) { console << "[" << s << "/" << n << "]"; };
    tools.stage = [&](ProfileData&) {
      const int stage = ++stages;
      return std::function<DpResult(ProfileData&)>(
          [=](ProfileData& child) { return result_for(stage, child.profile); });
    };
    tools.threads = threads;
    std::vector<std::string> ids;
    for (int k = 1; k <= 12; ++k) ids.push_back("s" + std::to_string(k));
    const AssembledMsa msa = run_initial_msa_phase(console, out, ids, ParentFiles{"p.drct", "p.gca", "p.drct"}, tools);
    for (const std::string& row : msa.rows) EXPECT_EQ(row, "TAYIAK");
    return console.str() + out.str();
  };
  EXPECT_EQ(run(4), run(1));
}

TEST(InitialMsa, OneSequenceAgainstItsOwnProfile) {
  Fake fake;
  std::ostringstream console, out;
  fake.console = &console;
  fake.residues = {{"1.drct", "MKT"}};
  fake.results = {{"1.drct", path_result(2, 2, "MMM", false, 6)}};
  auto rows = run_initial_msa_phase(console, out, std::vector<std::string>{"only"}, parent_files({}), fake.tools());
  EXPECT_EQ(rows.rows, (std::vector<std::string>{"MKT"}));
  EXPECT_EQ(fake.calls[1], "gamma 1.drct");  // the fake says no file exists
  EXPECT_NE(out.str().find("Multiple sequence alignment (Iteration 1): 1.drct, 1.drct\n"), std::string::npos);
  EXPECT_NE(out.str().find(line("only         ", "   1", "MKT" + std::string(47, ' '), "   3")), std::string::npos);
}

TEST(InitialMsa, LoadProfileReadsProfileGammaAndResidues) {
  xktest::TempDir dir;
  const std::string drct = dir.file("7.drct");
  ProfileWriter w(drct);
  for (int r = 1; r <= 3; ++r) {
    std::array<float, 20> v{};
    v[static_cast<std::size_t>(r)] = 1.0f;
    w.write(converter_record(r, {'x', 'x', 'x', 'x'}, 'A', v));
  }
  w.close();
  std::string gamma = "HEADER\n";
  for (const char* first : {"  0.50000", "  1.00000", "  1.50000"})
    gamma += "GAMMA  " + std::string(first) + xktest::uniform_gamma_line().substr(7 + 9) + "\n";
  xktest::write_file(dir.file("7.gca"), gamma + "RESIDUE MKX\n");
  ProfileData d = load_profile(drct);
  EXPECT_EQ(d.profile, drct);
  EXPECT_EQ(d.length, 3);
  ASSERT_EQ(d.pro.size(), 60u);
  EXPECT_EQ(d.pro[2 * 20 + 3], 1.0f);
  ASSERT_EQ(d.gamma.size(), 3u * 282);
  EXPECT_FLOAT_EQ(d.gamma[2 * 282 + 0], 1.5f);
  EXPECT_EQ(d.residues, "MKX");
}
