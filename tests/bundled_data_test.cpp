// The bundled data files "model_R.hmm", "observed" and "expected": made by
// xk_makedata byte for byte, staged beside the programs, in the fixed-width
// layouts the loading step reads, and consistent with the model and BLOSUM62.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "common/fixedwidth.hpp"
#include "localstructure/model.hpp"
#include "testutil.hpp"

using namespace xk;

namespace {

constexpr int kStatesScored = 281;
constexpr std::string_view kOrder = "ACDEFGHIKLMNPQRSTVWY";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

std::vector<double> fields(const std::string& line) {
  std::vector<double> out;
  for (std::size_t k = 0; k < 20; ++k) {
    auto v = fw::parse_field(fw::field_at(line, 0, 15, k), 7);
    EXPECT_TRUE(v.has_value()) << line;
    out.push_back(v.value_or(0.0));
  }
  return out;
}

// BLOSUM62 joint frequencies from the repository's copy, reordered.
std::vector<double> blosum_joint() {
  std::vector<double> q(400, 0.0);
  std::vector<int> col;
  for (const std::string& line : lines_of(xktest::read_file(xktest::source_path("data/blosum62_joint.tsv")))) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string head;
    in >> head;
    if (head == "aa") {
      std::string c;
      while (in >> c) col.push_back(static_cast<int>(kOrder.find(c[0])));
      continue;
    }
    if (head == "bg") continue;
    const auto a = kOrder.find(head[0]);
    for (int k = 0; k < 20; ++k) in >> q[a * 20 + static_cast<std::size_t>(col[k])];
  }
  return q;
}

}  // namespace

TEST(BundledData, RegeneratingGivesTheCommittedFiles) {
  xktest::TempDir out;
  const auto r = xktest::run({xktest::program("xk_makedata"), xktest::source_path("data"), out.path().string()}, "",
                             out.path().string());
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"model_R.hmm", "observed", "expected"}) {
    const std::string committed = xktest::read_file(xktest::source_path(std::string("data/") + name));
    EXPECT_TRUE(xktest::read_file(out.file(name)) == committed) << name << " differs from data/" << name;
    // The build stages the same file beside the programs.
    EXPECT_TRUE(xktest::read_file(std::string(XK_BIN_DIR) + "/bin/" + name) == committed) << "bin/" << name;
  }
}

TEST(BundledData, ObservedLayoutAndConsistency) {
  const auto lines = lines_of(xktest::read_file(xktest::source_path("data/observed")));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kStatesScored) * 22);
  const ls::StructureModel m = ls::read_model(xktest::source_path("data/model_R.hmm"));
  const std::vector<double> q = blosum_joint();
  for (int s = 1; s <= kStatesScored; ++s) {
    const std::size_t first = static_cast<std::size_t>(s - 1) * 22;
    EXPECT_EQ(lines[first + 21], "") << "state " << s;
    EXPECT_EQ(lines[first + 20].rfind("STATE " + std::to_string(s) + " ", 0), 0u);
    // P_s(a,b) is proportional to q(a,b) t_s(a) t_s(b), t_s = e_s / p: the
    // upper triangle holds the unordered pairs, the lower one 0.
    std::vector<double> block(400), want(400, 0.0);
    double total = 0.0, want_total = 0.0;
    for (std::size_t a = 0; a < 20; ++a) {
      const std::string& line = lines[first + a];
      ASSERT_EQ(line.size(), 300u) << "state " << s << " row " << a + 1;
      const auto row = fields(line);
      for (std::size_t b = 0; b < 20; ++b) {
        block[a * 20 + b] = row[b];
        total += row[b];
        const double ta = m.e(s, static_cast<int>(a)) / m.background[a], tb = m.e(s, static_cast<int>(b)) / m.background[b];
        if (a <= b) want[a * 20 + b] = (a == b ? 1.0 : 2.0) * q[a * 20 + b] * ta * tb;
        want_total += want[a * 20 + b];
      }
    }
    EXPECT_NEAR(total, 1.0, 1e-9);
    for (std::size_t k = 0; k < 400; ++k) {
      if (k % 20 < k / 20) {
        ASSERT_EQ(block[k], 0.0);
      } else {
        ASSERT_NEAR(block[k], want[k] / want_total, 1e-11) << "state " << s << " entry " << k;
      }
    }
  }
}

TEST(BundledData, ExpectedIsOccupancyTimesEmission) {
  const auto lines = lines_of(xktest::read_file(xktest::source_path("data/expected")));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kStatesScored));
  const ls::StructureModel m = ls::read_model(xktest::source_path("data/model_R.hmm"));
  std::vector<double> pi(ls::kModelStates, 0.0);
  for (const ls::Transition& t : m.transitions) {
    if (t.from == 0) pi[t.to] = t.prob;
  }
  std::vector<double> marginal(20, 0.0);
  for (int s = 1; s <= kStatesScored; ++s) {
    ASSERT_EQ(lines[s - 1].size(), 300u);
    const auto row = fields(lines[s - 1]);
    for (int a = 0; a < 20; ++a) {
      EXPECT_NEAR(row[a], pi[s] * m.e(s, a), 1e-12);
      marginal[a] += row[a];
    }
  }
  // The marginal over the states is the background.
  for (std::size_t a = 0; a < 20; ++a) EXPECT_NEAR(marginal[a], m.background[a], 1e-9);
}
