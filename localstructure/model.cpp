#include "localstructure/model.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/ending.hpp"
#include "common/residues.hpp"

namespace xk::ls {

namespace {

constexpr double kSumTolerance = 1e-6;
constexpr std::string_view kAlphabet = kResidueOrder;  // the ALPHABET line

std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

class Parser {
 public:
  explicit Parser(const std::string& file) : file_(file) {}

  // Reads the model from its lines: next_line(line) gives the next line (its
  // end of line taken off) and false after the last one.  Lines after END
  // are not asked for.
  template <class NextLine>
  StructureModel run(NextLine next_line);

 private:
  [[noreturn]] void line_error(const std::string& what) const {
    throw FatalStop("ERROR: " + file_ + " line " + std::to_string(line_no_) + ": " + what + "!!!");
  }
  [[noreturn]] void model_error(const std::string& what) const {
    throw FatalStop("ERROR: " + file_ + ": " + what + "!!!");
  }
  int integer(std::string_view tok, const char* what) const {
    int v = 0;
    auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
    if (r.ec != std::errc() || r.ptr != tok.data() + tok.size()) {
      line_error(std::string(what) + " \"" + std::string(tok) + "\" is not an integer");
    }
    return v;
  }
  double probability(std::string_view tok) const {
    double v = 0.0;
    auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
    if (r.ec != std::errc() || r.ptr != tok.data() + tok.size() || !std::isfinite(v)) {
      line_error("\"" + std::string(tok) + "\" is not a number");
    }
    if (v < 0.0 || v > 1.0) line_error("\"" + std::string(tok) + "\" is not a probability");
    return v;
  }
  // Reads `count` probabilities from toks[first..] and checks they sum to 1.
  void distribution(const std::vector<std::string_view>& toks, std::size_t first, const char* what,
                    double* out) const {
    if (toks.size() != first + kResidues) {
      line_error(std::string("expected ") + std::to_string(kResidues) + " " + what + ", found " +
                 std::to_string(toks.size() < first ? 0 : toks.size() - first));
    }
    double sum = 0.0;
    for (int a = 0; a < kResidues; ++a) {
      out[a] = probability(toks[first + static_cast<std::size_t>(a)]);
      sum += out[a];
    }
    if (std::fabs(sum - 1.0) > kSumTolerance) line_error(std::string(what) + " sum to " + std::to_string(sum) + ", not 1");
    for (int a = 0; a < kResidues; ++a) out[a] /= sum;
  }

  void header(const std::vector<std::string_view>& toks);
  void record(const std::vector<std::string_view>& toks, StructureModel& m);
  void finish(StructureModel& m);

  const std::string& file_;
  long line_no_ = 0;
  int states_ = 0;
  bool have_alphabet_ = false, have_background_ = false, ended_ = false;
  std::vector<char> defined_;
};

void Parser::header(const std::vector<std::string_view>& toks) {
  if (toks.empty() || toks[0] != kModelFormat) {
    line_error(std::string("the first line must name the format \"") + std::string(kModelFormat) + " " +
               std::to_string(kModelVersion) + "\"");
  }
  if (toks.size() != 2) line_error("the first line must hold the format name and its version");
  int version = integer(toks[1], "version");
  if (version != kModelVersion) line_error("format version " + std::to_string(version) + " is not supported");
}

void Parser::record(const std::vector<std::string_view>& toks, StructureModel& m) {
  const std::string_view key = toks[0];
  if (key != "STATES" && states_ == 0) line_error("the STATES line must come before \"" + std::string(key) + "\"");
  if (key == "STATES") {
    if (states_ != 0) line_error("second STATES line");
    if (toks.size() != 2) line_error("STATES takes one number");
    int n = integer(toks[1], "state count");
    if (n != kModelStates) line_error("the model must have " + std::to_string(kModelStates) + " states, not " + std::to_string(n));
    states_ = n;
    m.state_class.assign(static_cast<std::size_t>(n), std::string());
    m.state_name.assign(static_cast<std::size_t>(n), std::string());
    m.emission.assign(static_cast<std::size_t>(n) * kResidues, 0.0);
    defined_.assign(static_cast<std::size_t>(n), 0);
  } else if (key == "ALPHABET") {
    if (toks.size() != 2 || toks[1] != kAlphabet) line_error("the alphabet must be " + std::string(kAlphabet));
    have_alphabet_ = true;
  } else if (key == "BACKGROUND") {
    if (have_background_) line_error("second BACKGROUND line");
    distribution(toks, 1, "background frequencies", m.background.data());
    for (double p : m.background) {
      if (p <= 0.0) line_error("every background frequency must be positive");
    }
    have_background_ = true;
  } else if (key == "STATE") {
    if (toks.size() < 4) line_error("STATE needs an index, a class and a name");
    int s = integer(toks[1], "state");
    if (s < 0 || s >= states_) line_error("state " + std::to_string(s) + " out of range 0.." + std::to_string(states_ - 1));
    if (defined_[s]) line_error("state " + std::to_string(s) + " defined twice");
    defined_[s] = 1;
    m.state_class[s] = std::string(toks[2]);
    m.state_name[s] = std::string(toks[3]);
    if (s == 0) {
      if (toks[2] != "BEGIN") line_error("state 0 must be of class BEGIN");
      if (toks.size() != 4) line_error("the begin state emits nothing: no emission values");
    } else {
      distribution(toks, 4, "emission probabilities", m.emission.data() + static_cast<std::size_t>(s) * kResidues);
    }
  } else if (key == "TRANS") {
    if (toks.size() != 4) line_error("TRANS takes two states and a probability");
    Transition t;
    t.from = integer(toks[1], "state");
    t.to = integer(toks[2], "state");
    if (t.from < 0 || t.from >= states_) line_error("state " + std::to_string(t.from) + " out of range");
    if (t.to < 1 || t.to >= states_) line_error("transition target " + std::to_string(t.to) + " out of range 1.." + std::to_string(states_ - 1));
    t.prob = probability(toks[3]);
    m.transitions.push_back(t);
  } else if (key == "END") {
    if (toks.size() != 1) line_error("END takes nothing");
    ended_ = true;
  } else {
    line_error("unknown record \"" + std::string(key) + "\"");
  }
}

void Parser::finish(StructureModel& m) {
  if (!ended_) model_error("no END line (is the file cut short?)");
  if (!have_alphabet_) model_error("no ALPHABET line");
  if (!have_background_) model_error("no BACKGROUND line");
  for (int s = 0; s < states_; ++s) {
    if (!defined_[s]) model_error("state " + std::to_string(s) + " has no STATE line");
  }
  // Duplicate pairs, then the outgoing sums.
  std::vector<Transition> sorted = m.transitions;
  std::sort(sorted.begin(), sorted.end(),
            [](const Transition& x, const Transition& y) { return x.from != y.from ? x.from < y.from : x.to < y.to; });
  for (std::size_t k = 1; k < sorted.size(); ++k) {
    if (sorted[k].from == sorted[k - 1].from && sorted[k].to == sorted[k - 1].to) {
      model_error("transition " + std::to_string(sorted[k].from) + " -> " + std::to_string(sorted[k].to) + " given twice");
    }
  }
  std::vector<double> out_sum(static_cast<std::size_t>(states_), 0.0);
  for (const Transition& t : m.transitions) out_sum[t.from] += t.prob;
  for (int s = 0; s < states_; ++s) {
    double sum = out_sum[s];
    if (std::fabs(sum - 1.0) > kSumTolerance) {
      model_error("the transitions out of state " + std::to_string(s) + " sum to " + std::to_string(sum) + ", not 1");
    }
  }
  for (Transition& t : m.transitions) t.prob /= out_sum[t.from];
}

template <class NextLine>
StructureModel Parser::run(NextLine next_line) {
  StructureModel m;
  bool first = true;
  std::string_view line;
  while (!ended_ && next_line(line)) {
    ++line_no_;
    std::vector<std::string_view> toks = tokens(line);
    if (first) {
      header(toks);
      first = false;
      continue;
    }
    if (toks.empty() || toks[0][0] == '#') continue;
    record(toks, m);
  }
  if (first) model_error("the file is empty");
  finish(m);
  return m;
}

std::string number(double v) {
  char buf[40];
  int n = std::snprintf(buf, sizeof buf, "%.12g", v);
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

StructureModel parse_model(std::string_view text, const std::string& file) {
  std::size_t pos = 0;
  return Parser(file).run([&](std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
  });
}

StructureModel read_model(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw FatalStop("ERROR: Cannot read model file " + file + ": " + std::strerror(errno) + "!!!");
  // Line by line through the stream's own buffer: the gamma tool reads the
  // model at every call, and a text of the whole file (136 kB) would be
  // fresh memory faulted in page by page each time.
  std::string held;
  StructureModel m = Parser(file).run([&](std::string_view& line) {
    if (!std::getline(in, held)) return false;
    line = held;
    return true;
  });
  if (in.bad()) throw FatalStop("ERROR: Cannot read model file " + file + "!!!");
  return m;
}

std::string format_model(const StructureModel& m, const std::vector<std::string>& comments) {
  std::string out;
  out += std::string(kModelFormat) + " " + std::to_string(kModelVersion) + "\n";
  for (const std::string& c : comments) out += c.empty() ? "#\n" : "# " + c + "\n";
  out += "STATES " + std::to_string(m.states()) + "\n";
  out += "ALPHABET " + std::string(kAlphabet) + "\n";
  out += "BACKGROUND";
  for (double p : m.background) out += " " + number(p);
  out += "\n";
  for (int s = 0; s < m.states(); ++s) {
    out += "STATE " + std::to_string(s) + " " + m.state_class[s] + " " +
           m.state_name[s];
    if (s > 0) {
      for (int a = 0; a < kResidues; ++a) out += " " + number(m.e(s, a));
    }
    out += "\n";
  }
  for (const Transition& t : m.transitions) {
    out += "TRANS " + std::to_string(t.from) + " " + std::to_string(t.to) + " " + number(t.prob) + "\n";
  }
  out += "END\n";
  return out;
}

}  // namespace xk::ls
