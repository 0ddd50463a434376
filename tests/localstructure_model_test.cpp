// The model file: its reader's checks and messages, and the bundled model's
// own consistency (stationary begin distribution, emissions mixing back to
// the background).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "common/ending.hpp"
#include "localstructure/model.hpp"
#include "testutil.hpp"

using namespace xk;
using namespace xk::ls;

namespace {

const std::string& bundled_text() {
  static const std::string text = xktest::read_file(xktest::source_path("data/model_R.hmm"));
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// Line number (from 1) of the first line starting with `prefix`.
std::size_t line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].rfind(prefix, 0) == 0) return k + 1;
  }
  ADD_FAILURE() << "no line " << prefix;
  return 0;
}

// The message of parsing `text` as "m.hmm", or "" when it parses.
std::string parse_error(const std::string& text) {
  try {
    parse_model(text, "m.hmm");
  } catch (const FatalStop& e) {
    return e.what();
  }
  return "";
}

std::string with_line(std::size_t no, const std::string& replacement) {
  auto lines = lines_of(bundled_text());
  lines[no - 1] = replacement;
  return joined(lines);
}

}  // namespace

// Chains of 1..K states and one of K + 1 per kind of segment: 171 helix
// (K = 17), 45 strand (8), 55 coil (9) and 10 positive-phi states (3).
TEST(LocalStructureModel, BundledModelShape) {
  const StructureModel m = parse_model(bundled_text(), "model_R.hmm");
  ASSERT_EQ(m.states(), kModelStates);
  EXPECT_EQ(m.state_class[0], "BEGIN");
  int helix = 0, strand = 0, coil = 0, pphi = 0;
  for (int s = 1; s < kModelStates; ++s) {
    const std::string& c = m.state_class[s];
    helix += c.rfind("HELIX", 0) == 0;
    strand += c.rfind("STRAND", 0) == 0;
    coil += c.rfind("COIL", 0) == 0;
    pphi += c == "PPHI";
  }
  EXPECT_EQ(helix, 171);
  EXPECT_EQ(strand, 45);
  EXPECT_EQ(coil, 55);
  EXPECT_EQ(pphi, 10);
  for (const Transition& t : m.transitions) EXPECT_NE(t.to, 0);
}

TEST(LocalStructureModel, FormatAndParseRoundTrip) {
  const StructureModel m = parse_model(bundled_text(), "model_R.hmm");
  const StructureModel back = parse_model(format_model(m, {"a comment", ""}), "copy");
  ASSERT_EQ(back.states(), m.states());
  EXPECT_EQ(back.state_name, m.state_name);
  EXPECT_EQ(back.state_class, m.state_class);
  ASSERT_EQ(back.transitions.size(), m.transitions.size());
  for (std::size_t k = 0; k < m.transitions.size(); ++k) {
    EXPECT_EQ(back.transitions[k].from, m.transitions[k].from);
    EXPECT_EQ(back.transitions[k].to, m.transitions[k].to);
    EXPECT_NEAR(back.transitions[k].prob, m.transitions[k].prob, 1e-11);
  }
  for (std::size_t k = 0; k < m.emission.size(); ++k) EXPECT_NEAR(back.emission[k], m.emission[k], 1e-11);
}

TEST(LocalStructureModel, MalformedLinesAreNamedWithTheirNumber) {
  const auto lines = lines_of(bundled_text());
  const std::size_t state5 = line_starting(lines, "STATE 5 ");
  const std::size_t trans = line_starting(lines, "TRANS ");
  const std::size_t states = line_starting(lines, "STATES ");
  auto at = [](std::size_t no) { return "ERROR: m.hmm line " + std::to_string(no) + ": "; };

  EXPECT_EQ(parse_error(with_line(1, "SOME-OTHER-FORMAT 1")).rfind(at(1), 0), 0u);
  EXPECT_EQ(parse_error(with_line(1, "XKSTRUCT-HMM 2")), at(1) + "format version 2 is not supported!!!");
  EXPECT_EQ(parse_error(with_line(states, "STATES 100")), at(states) + "the model must have 282 states, not 100!!!");

  // A state line that lost its last emission value.
  std::string cut = lines[state5 - 1].substr(0, lines[state5 - 1].rfind(' '));
  EXPECT_EQ(parse_error(with_line(state5, cut)), at(state5) + "expected 20 emission probabilities, found 19!!!");
  std::string bad = cut + " 0.0x1";
  EXPECT_EQ(parse_error(with_line(state5, bad)), at(state5) + "\"0.0x1\" is not a number!!!");
  EXPECT_EQ(parse_error(with_line(trans, "TRANS 3 0 1")), at(trans) + "transition target 0 out of range 1..281!!!");
  EXPECT_EQ(parse_error(with_line(trans, "TRANS 3 4 1.5")), at(trans) + "\"1.5\" is not a probability!!!");
  EXPECT_EQ(parse_error(with_line(trans, "MOVE 3 4 1")), at(trans) + "unknown record \"MOVE\"!!!");
  EXPECT_EQ(parse_error(with_line(state5, "STATE 4" + lines[state5 - 1].substr(7))), at(state5) + "state 4 defined twice!!!");
}

TEST(LocalStructureModel, IncompleteModelsAreRefused) {
  auto lines = lines_of(bundled_text());
  // Cut short: no END.
  std::vector<std::string> shorter(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(line_starting(lines, "TRANS ")));
  EXPECT_EQ(parse_error(joined(shorter)), "ERROR: m.hmm: no END line (is the file cut short?)!!!");
  // A transition removed: its source no longer sums to 1.
  auto fewer = lines;
  const std::size_t trans = line_starting(lines, "TRANS 1 ");
  fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(trans) - 1);
  EXPECT_NE(parse_error(joined(fewer)).find("the transitions out of state 1 sum to"), std::string::npos);
  EXPECT_EQ(parse_error(""), "ERROR: m.hmm: the file is empty!!!");
  // Comments and blank lines anywhere are fine; lines after END are not read.
  auto commented = lines;
  commented.insert(commented.begin() + 3, "   ");
  commented.insert(commented.begin() + 3, "# note");
  commented.push_back("anything");
  EXPECT_EQ(parse_error(joined(commented)), "");
}

TEST(LocalStructureModel, MissingFileIsNamed) {
  try {
    read_model("no-such-model.hmm");
    FAIL();
  } catch (const FatalStop& e) {
    EXPECT_EQ(std::string(e.what()), "ERROR: Cannot read model file no-such-model.hmm: No such file or directory!!!");
  }
}
