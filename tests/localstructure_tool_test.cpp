// `xkordel_gamma MODEL PROFILE GAMMA 0` run as the main program runs it: in
// a working directory holding "model_R.hmm" and a profile file.
#include <gtest/gtest.h>

#include <filesystem>

#include "localstructure/forward_backward.hpp"
#include "localstructure/model.hpp"
#include "profile/record.hpp"
#include "readers/gamma.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;

namespace {

struct WorkDir {
  xktest::TempDir dir;
  WorkDir() {
    std::filesystem::copy_file(xktest::source_path("data/model_R.hmm"), dir.file("model_R.hmm"));
  }
  void profile(const std::string& name, const std::string& letters) const {
    ProfileWriter w(dir.file(name));
    long r = 0;
    for (char c : letters) w.write(converter_record(++r, {'t', 'e', 's', 't'}, c, letter_profile(c)));
    w.close();
  }
  xktest::RunResult gamma(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{xktest::program("xkordel_gamma")};
    argv.insert(argv.end(), args.begin(), args.end());
    return xktest::run(argv, "", dir.path().string());
  }
};

}  // namespace

TEST(XkordelGamma, WritesTheGammaFileTheReadersExpect) {
  WorkDir w;
  const std::string letters = "MKVLAAGIVGXLLVSNDKTRVEIEVNGKBTYTFZ";
  const int L = static_cast<int>(letters.size());
  w.profile("1.drct", letters);
  const auto r = w.gamma({"model_R.hmm", "1.drct", "1.gca", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // One summary line, for "LOG".
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
  EXPECT_NE(r.out.find("1.gca"), std::string::npos);

  const std::string gca = w.dir.file("1.gca");
  EXPECT_EQ(readgcaseq(gca), letters);
  const std::vector<float> table = readgamma(gca, L);
  // The same posteriors the kernel gives, to the file's 6 decimals.
  std::vector<float> prof;
  for (char c : letters) {
    auto row = letter_profile(c);
    prof.insert(prof.end(), row.begin(), row.end());
  }
  const ls::Posteriors want = ls::posteriors(ls::compile_model(ls::read_model(w.dir.file("model_R.hmm"))), prof, L);
  for (int t = 0; t < L; ++t) {
    double sum = 0.0;
    for (int s = 0; s < kStates; ++s) {
      const auto k = static_cast<std::size_t>(t * kStates + s);
      ASSERT_NEAR(table[k], want.gamma[k], 1.01e-6);
      sum += table[k];
    }
    EXPECT_NEAR(sum, 1.0, 1e-5) << "position " << t + 1;
    EXPECT_EQ(table[t * kStates], 0.0f);
  }
  // The fourth argument has no effect.
  ASSERT_EQ(w.gamma({"model_R.hmm", "1.drct", "2.gca", "7"}).status, 0);
  EXPECT_EQ(xktest::read_file(w.dir.file("2.gca")), xktest::read_file(gca));
}

// An empty, cut or grown profile file, or a folder, is no profile: the tool
// stops naming it and writes no gamma file.
TEST(XkordelGamma, DamagedOrEmptyProfilesAreRefused) {
  WorkDir w;
  w.profile("1.drct", "ACDE");
  const std::string bytes = xktest::read_file(w.dir.file("1.drct"));
  xktest::write_file(w.dir.file("0.drct"), "");
  xktest::write_file(w.dir.file("2.drct"), bytes.substr(0, 3 * 136 + 1));
  xktest::write_file(w.dir.file("3.drct"), bytes + "x");
  std::filesystem::create_directory(w.dir.file("4.drct"));
  for (const std::string stem : {"0", "2", "3", "4"}) {
    const auto r = w.gamma({"model_R.hmm", stem + ".drct", stem + ".gca", "0"});
    EXPECT_EQ(r.status, 1) << stem;
    EXPECT_EQ(r.err.rfind("STOP ERROR: Cannot read profile file " + stem + ".drct: ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(w.dir.file(stem + ".gca")));
  }
}

TEST(XkordelGamma, ErrorsNameTheFileAndExitWithOne) {
  WorkDir w;
  w.profile("1.drct", "ACDE");
  // Missing model.
  auto r = w.gamma({"nomodel.hmm", "1.drct", "1.gca", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "STOP ERROR: Cannot read model file nomodel.hmm: No such file or directory!!!\n");
  // Missing profile.
  r = w.gamma({"model_R.hmm", "9.drct", "9.gca", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "STOP ERROR: Cannot read profile file 9.drct: No such file or directory!!!\n");
  EXPECT_FALSE(std::filesystem::exists(w.dir.file("9.gca")));
  // A malformed model line, named with its number.
  std::string model = xktest::read_file(w.dir.file("model_R.hmm"));
  const std::size_t at = model.find("\nSTATE 3 ");
  const std::size_t line = static_cast<std::size_t>(std::count(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 2;
  model.insert(at + 9, "HELIX ");
  xktest::write_file(w.dir.file("bad.hmm"), model);
  r = w.gamma({"bad.hmm", "1.drct", "1.gca", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("STOP ERROR: bad.hmm line " + std::to_string(line) + ": expected 20 emission probabilities", 0), 0u) << r.err;
  // A gamma file that cannot be written.
  r = w.gamma({"model_R.hmm", "1.drct", "nodir/1.gca", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ERROR: Cannot write gamma file nodir/1.gca"), std::string::npos);
  // Wrong number of arguments: the usage text says what the fourth does.
  r = w.gamma({"model_R.hmm", "1.drct", "1.gca"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Usage: xkordel_gamma MODEL PROFILE GAMMA MODE"), std::string::npos);
  EXPECT_NE(r.err.find("no effect"), std::string::npos);
}
