// Whole runs of xKESTRA, input to output, with the block aligner seeded
// ("-r"): golden output files, and properties of the output on real
// families.
//
// Golden files (tests/golden/: NAME.out the output file, NAME.console the
// standard output without its processor-time line), each reviewed once by
// hand.  What was checked:
//  * In all of them: the pair reports come in pair order, their QUERY and
//    TARGET rows are the sequences' residues from the first number to the
//    last; the merge order on the console follows the identity fractions
//    worked from those rows (matches over the shorter residue count), with
//    " NAME.gca existed" for the sequences and " ...making NAME.gca" for
//    merged nodes; each per-sequence report is headed "Multiple sequence
//    alignment (Iteration 1): PARENT.drct, k.drct" with the last join's node
//    as parent, its PARENT and CHILD lines are the word padded to 13 columns,
//    an I4 number, three blanks, at most 50 characters, three blanks, an I4
//    number, an empty line after each block and one more after the report;
//    the CHILD letters are the sequence's residues, the PARENT letters one
//    parent residue text in every report; the final listing follows its
//    header (trailing blank kept) in blocks of 50 columns, each line the
//    seqID in 13 columns, I4, three blanks, exactly 50 characters (blanks
//    after the row's end in the last block), three blanks, I4; each row is
//    its report's CHILD letters in order, framed by the numbers of its first
//    and last residues in the block, running on from block to block; each
//    residue stands in the column of the parent residue its report puts it
//    against; the gap columns of any report are gap columns of every row,
//    filled from the left by the rows that have letters there; " M state:",
//    " D state:", " L state:" each have three lines (from M, D, L) of
//    nstates + 1 F5.2 fields and an empty line, then " Emission
//    probabilities:" and one "(20F5.2)" line per state; nstates is the
//    number of residue letters in the selected row ("...define N states").
//    The transitions were counted by hand along the listing against the
//    selected row (match, deletion, insertion counted at the position it
//    follows, the row's end into M at nstates + 1) and normalised per source
//    state; every nonzero entry was accounted for.  A few emission rows were
//    worked by hand, the rest are held to the listing's columns by
//    check_state_model below.
//  * globins4x60 (HBB, HBA, MYG, GLB5, residues 1-60): identity fractions
//    1-2 0.386, 3-4 0.380, 2-4 0.356, 2-3 0.339, 1-3 0.298, 1-4 0.292, so
//    the joins are 1-2, 3-4 (both gamma files existed) and, by the means,
//    1-2-3-4 (making 1-2.gca and 3-4.gca); 2.drct's alignment has two gaps
//    after parent residue 20, 3.drct's and 4.drct's two after residue 21, so
//    the listing has those four gap columns in every row; 4.drct's stretch
//    ends at parent residue 50 and its row with ten "."; HBA_HUMAN is
//    selected (its total is not in the output: the selection rule is held
//    by the unit tests), 59 states from its first residue in column 3: the
//    three other rows delete states 19 and 20 (D from M, D from D, M from D
//    at 21: 1.00), MYG and GLB5 insert two residues after state 21 (at 22:
//    M from M 0.33, L from M 0.67; M from L and L from L 0.50), GLB5 ends
//    with deletions from state 51 (D from M 0.33 at 51, D from D 1.00, its
//    end from D 1.00), HBB's last residue is an insertion after state 59
//    (L from M 0.50; end from L 1.00) and MYG ends from M (0.50).
//  * two_globins (HBB, HBA, residues 1-60): one join, 1-2; the later
//    sequence is selected (two equal totals); HBB deletes states 19-20 and
//    inserts after state 59, and every used group is one transition of
//    probability 1.00.
//  * one_sequence (MYG, residues 1-40): no pair report, no join; the
//    sequence's own profile 1.drct is the parent and its report aligns
//    1.drct against itself over residues 1-40; the listing is the one row,
//    the sequence is selected, every transition is 0.00 (no other row) and
//    every emission row is 1.00 for the state's own letter.
//  * fake_three (the stand-in gamma tool and frequency files of
//    driver_fixtures.hpp, where only identical residues score): the pair
//    alignments are the runs of identical residues (gamma's extra C against
//    a gap), all identity fractions 1, joins 1-2 then 1-2-3; the parent
//    text is beta's (the merge lies on the longer input); alpha's stretch is
//    parent 3-37, gamma's 11-30 with a gap after parent residue 22, so the
//    listing has 38 columns with one gap column where only gamma has a
//    letter; alpha and beta have equal totals and beta, the later, is
//    selected; all 37 states' transitions and the emission rows were worked
//    by hand.
// To regenerate a golden file after an intended change, run the test with
// XK_UPDATE_GOLDEN=1 in the environment and review the differences by hand
// before committing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/initial_msa.hpp"
#include "driver/state_model.hpp"
#include "driver_fixtures.hpp"
#include "testutil.hpp"

namespace {

namespace fs = std::filesystem;
using xktest::read_file;
using xktest::write_file;

constexpr const char* kHeader = "Multiple sequence alignment (Iteration 1): ";
constexpr std::string_view kLetters = "ACDEFGHIKLMNPQRSTVWY";

struct Sequence {
  std::string header;  // the header line without ">"
  std::string residues;
};

std::vector<Sequence> read_fasta(const std::string& path) {
  std::vector<Sequence> seqs;
  std::istringstream in(read_file(path));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('>', 0) == 0) seqs.push_back({line.substr(1), ""});
    else if (!seqs.empty()) seqs.back().residues += line;
  }
  return seqs;
}

std::string fasta_text(const std::vector<Sequence>& seqs) {
  std::string text;
  for (const Sequence& s : seqs) text += ">" + s.header + "\n" + s.residues + "\n";
  return text;
}

// The first `count` sequences of a file, each cut to `length` residues.
std::vector<Sequence> cut(std::vector<Sequence> seqs, std::size_t count, std::size_t length) {
  seqs.resize(std::min(seqs.size(), count));
  for (Sequence& s : seqs) s.residues.resize(std::min(s.residues.size(), length));
  return seqs;
}

std::vector<Sequence> globins() { return read_fasta(xktest::source_path("data/example/globins4.fa")); }

// The seqID a header gives: its characters 2..11 (the first ten after ">").
std::string seq_id(const Sequence& s) { return s.header.substr(0, 10); }

struct RunResult {
  int status = -1;
  std::string console;  // without the final processor-time line
  std::string err;
  std::string out;      // the output file
};

// A working directory with the bundled converter, gamma tool, model and
// frequency files (or, with `fake`, the stand-ins of driver_fixtures.hpp).
class Workdir {
 public:
  explicit Workdir(bool fake = false) {
    if (fake) {
      xktest::stage_working_directory(dir_);
      return;
    }
    for (const char* f : {"xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"})
      fs::create_symlink(xktest::program(f), dir_.file(f));
  }

  RunResult run(const std::vector<Sequence>& seqs, const std::vector<std::string>& options) const {
    write_file(dir_.file("in.fa"), fasta_text(seqs));
    std::vector<std::string> args = {xktest::program("xKESTRA"), "in.fa", "out.txt"};
    args.insert(args.end(), options.begin(), options.end());
    const auto r = xktest::run(args, "", dir_.path().string());
    RunResult result;
    result.status = r.status;
    result.err = r.err;
    result.console = r.out;
    const auto p = r.out.rfind(" Elapsed:");
    static const std::regex kElapsed(R"( Elapsed: \d+\.\d{3} User: \d+\.\d{3} System: \d+\.\d{3}\n)");
    if (p == std::string::npos || !std::regex_match(r.out.substr(p), kElapsed)) {
      ADD_FAILURE() << "no processor-time line at the end of the console:\n" << r.out;
    } else {
      result.console.resize(p);
    }
    if (fs::exists(dir_.file("out.txt"))) result.out = read_file(dir_.file("out.txt"));
    return result;
  }

  // The names of the files the directory holds now.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    return names;
  }

 private:
  xktest::TempDir dir_;
};

// Compares `actual` with the golden file tests/golden/<name>.
void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = xktest::source_path("tests/golden/" + name);
  if (const char* update = std::getenv("XK_UPDATE_GOLDEN"); update != nullptr && std::string(update) == "1") {
    write_file(path, actual);
    return;
  }
  ASSERT_TRUE(fs::exists(path)) << "missing golden file " << path;
  EXPECT_EQ(read_file(path), actual) << "differs from golden file tests/golden/" << name;
}

// ---------------------------------------------------------------------------
// The output file, taken apart.

struct ShownRow {  // one PARENT or CHILD line
  int first = 0;
  std::string text;
  int last = 0;
};

struct SequenceReport {
  std::string parent_profile, child_profile;
  std::vector<ShownRow> parent, child;  // one per block
};

struct ListingLine {
  std::string id;  // 13 columns
  int open = 0;
  std::string piece;  // 50 columns
  int close = 0;
};

struct Output {
  std::string pairs;                                  // the all-pairs reports
  std::vector<SequenceReport> reports;                // one per sequence
  std::vector<std::vector<ListingLine>> blocks;       // the final listing
  int nstates = -1;                                   // from the transition lines
  std::array<std::array<std::vector<double>, 3>, 3> hmm;  // [to][from][k - 1]
  std::vector<std::vector<double>> emit;              // [k - 1][letter]
};

// A (F5.2) field holding a probability.
double probability_field(const std::string& field) {
  static const std::regex kField(R"( [01]\.\d\d)");
  EXPECT_TRUE(std::regex_match(field, kField)) << "\"" << field << "\"";
  return std::stod(field);
}

std::vector<double> probability_fields(const std::string& line) {
  EXPECT_EQ(line.size() % 5, 0u) << line;
  std::vector<double> values;
  for (std::size_t p = 0; p + 5 <= line.size(); p += 5) values.push_back(probability_field(line.substr(p, 5)));
  return values;
}

// An (I4) field: its number, or kWide for the four asterisks of a number
// that does not fit.
constexpr int kWide = -100000;

int i4_field(const std::string& field) {
  if (field == "****") return kWide;
  static const std::regex kNumber(R"( *-?\d+)");
  EXPECT_TRUE(std::regex_match(field, kNumber)) << "\"" << field << "\"";
  return std::regex_match(field, kNumber) ? std::stoi(field) : kWide;
}

// Whether a shown (I4) field is the number `expected`.
::testing::AssertionResult shows(int shown, long long expected) {
  const bool fits = expected >= -999 && expected <= 9999;
  if (fits ? shown == expected : shown == kWide) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "shows " << (shown == kWide ? std::string("****") : std::to_string(shown))
                                       << " for " << expected;
}

// "WORD         " I4 "   " up to 50 characters "   " I4.
ShownRow shown_row(const std::string& line, const std::string& word) {
  ShownRow r;
  EXPECT_GE(line.size(), 24u) << line;
  if (line.size() < 24) return r;
  std::string padded = word;
  padded.resize(13, ' ');
  EXPECT_EQ(line.substr(0, 13), padded) << line;
  EXPECT_EQ(line.substr(17, 3), "   ") << line;
  EXPECT_EQ(line.substr(line.size() - 7, 3), "   ") << line;
  r.first = i4_field(line.substr(13, 4));
  r.text = line.substr(20, line.size() - 27);
  r.last = i4_field(line.substr(line.size() - 4));
  EXPECT_LE(r.text.size(), 50u) << line;
  return r;
}

Output parse_output(const std::string& text) {
  std::vector<std::string> lines;
  {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  Output o;
  std::size_t i = 0;
  auto at = [&](std::size_t k) -> const std::string& {
    static const std::string kNone = "<end of file>";
    return k < lines.size() ? lines[k] : kNone;
  };
  // The pair reports: everything up to the first report against the parent.
  while (i < lines.size() && lines[i].rfind(kHeader, 0) != 0) o.pairs += lines[i++] + "\n";
  // One report per sequence.
  while (at(i).rfind(kHeader, 0) == 0 && at(i) != kHeader) {
    SequenceReport r;
    const std::string names = at(i++).substr(std::string(kHeader).size());
    const auto comma = names.find(", ");
    EXPECT_NE(comma, std::string::npos) << names;
    r.parent_profile = names.substr(0, comma);
    r.child_profile = comma == std::string::npos ? "" : names.substr(comma + 2);
    while (at(i).rfind("PARENT", 0) == 0) {
      r.parent.push_back(shown_row(at(i++), "PARENT"));
      EXPECT_EQ(at(i).rfind("CHILD", 0), 0u) << "line " << i + 1;
      r.child.push_back(shown_row(at(i++), "CHILD"));
      EXPECT_EQ(at(i++), "") << "line " << i;
    }
    EXPECT_EQ(at(i++), "") << "line " << i << ": the empty line that ends a report";
    o.reports.push_back(std::move(r));
  }
  // The final listing.
  EXPECT_EQ(at(i++), kHeader) << "line " << i;
  while (i < lines.size() && at(i) != " M state:") {
    std::vector<ListingLine> block;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
      const std::string& line = lines[i];
      EXPECT_EQ(line.size(), 77u) << "line " << i + 1 << ": \"" << line << "\"";
      if (line.size() != 77) continue;
      EXPECT_EQ(line.substr(17, 3), "   ") << line;
      EXPECT_EQ(line.substr(70, 3), "   ") << line;
      block.push_back({line.substr(0, 13), i4_field(line.substr(13, 4)), line.substr(20, 50),
                       i4_field(line.substr(73, 4))});
    }
    EXPECT_EQ(at(i++), "");
    o.blocks.push_back(std::move(block));
  }
  // The state model.
  const std::array<std::string, 3> headings = {" M state:", " D state:", " L state:"};
  for (int to = 0; to < 3; ++to) {
    EXPECT_EQ(at(i++), headings[to]) << "line " << i;
    for (int from = 0; from < 3; ++from) {
      o.hmm[to][from] = probability_fields(at(i++));
      const int positions = static_cast<int>(o.hmm[to][from].size());
      if (o.nstates < 0) o.nstates = positions - 1;
      EXPECT_EQ(positions, o.nstates + 1) << "line " << i;
    }
    EXPECT_EQ(at(i++), "") << "line " << i;
  }
  EXPECT_EQ(at(i++), " Emission probabilities:") << "line " << i;
  for (; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), 100u) << "line " << i + 1;
    o.emit.push_back(probability_fields(lines[i]));
  }
  EXPECT_EQ(static_cast<int>(o.emit.size()), o.nstates);
  EXPECT_TRUE(text.empty() || text.back() == '\n');
  return o;
}

// The letters of a shown row or listing piece: everything but "." and blanks.
std::string letters_of(const std::string& row) {
  std::string out;
  for (char c : row)
    if (c != '.' && c != ' ') out += c;
  return out;
}

bool is_residue_letter(char c) { return kLetters.find(c) != std::string_view::npos; }

// The selected sequence's index (from 0), by the console line that names it.
std::size_t selected_sequence(const std::string& console, const std::vector<Sequence>& seqs) {
  std::size_t found = seqs.size();
  for (std::size_t s = 0; s < seqs.size(); ++s) {
    std::string id = seq_id(seqs[s]);
    id.erase(id.find_last_not_of(' ') + 1);
    if (console.find("\n " + id + " has been selected as the parent sequence\n\n") != std::string::npos) found = s;
  }
  EXPECT_LT(found, seqs.size()) << console;
  return found;
}

// ---------------------------------------------------------------------------
// The properties every run's output must have.

// Per-sequence reports and the final listing: each listing row holds, in
// order and without loss, the stretch of its sequence that its alignment
// against the parent covers (as its report shows it), numbered by its first
// and last residues (every letter counts), with the numbers running on from
// block to block; every block line has 50 alignment characters; and every
// residue that its report puts opposite parent residue r stands in r's one
// column, the columns in parent residue order.
void check_reports_and_listing(const Output& o, const std::vector<Sequence>& seqs) {
  const std::size_t n = seqs.size();
  ASSERT_EQ(o.reports.size(), n);
  std::map<int, char> parent_text;     // parent residue number -> letter, from every report
  std::map<int, std::size_t> shared;   // parent residue number -> its column in the listing
  std::vector<std::pair<int, std::size_t>> inserted;  // (parent residue before, column) of unmatched residues
  std::vector<std::string> rows(n);
  for (std::size_t s = 0; s < n; ++s) {
    const SequenceReport& r = o.reports[s];
    SCOPED_TRACE("sequence " + std::to_string(s + 1));
    EXPECT_EQ(r.parent_profile, o.reports[0].parent_profile);
    EXPECT_EQ(r.child_profile, std::to_string(s + 1) + ".drct");
    if (r.child.empty()) {
      // Nothing scored above zero: a row of gaps, its numbers one apart.
      for (std::size_t b = 0; b < o.blocks.size(); ++b) {
        ASSERT_EQ(o.blocks[b].size(), n) << "block " << b + 1;
        const ListingLine& line = o.blocks[b][s];
        EXPECT_EQ(letters_of(line.piece), "") << "block " << b + 1;
        EXPECT_EQ(line.close, line.open - 1) << "block " << b + 1;
        if (b > 0) {
          EXPECT_EQ(line.open, o.blocks[b - 1][s].close + 1) << "block " << b + 1;
        }
        rows[s] += line.piece;
      }
      continue;
    }
    // The report's own rows: numbers run on, letters are the sequences'.
    const int parent_first = r.parent.front().first, child_first = r.child.front().first;
    ASSERT_GE(parent_first, 1);
    ASSERT_GE(child_first, 1);
    std::string parent_row, child_row;
    for (const auto* rows_of : {&r.parent, &r.child}) {
      long long next = rows_of == &r.parent ? parent_first : child_first;
      for (const ShownRow& row : *rows_of) {
        const auto letters = static_cast<long long>(letters_of(row.text).size());
        EXPECT_TRUE(shows(row.first, next)) << row.text;
        EXPECT_TRUE(shows(row.last, next + letters - 1)) << row.text;
        next += letters;
      }
    }
    for (std::size_t b = 0; b < r.child.size(); ++b) {
      EXPECT_EQ(r.parent[b].text.size(), r.child[b].text.size());
      parent_row += r.parent[b].text;
      child_row += r.child[b].text;
    }
    const std::string stretch = letters_of(child_row);
    const long long child_last = child_first + static_cast<long long>(stretch.size()) - 1;
    ASSERT_LE(static_cast<std::size_t>(child_last), seqs[s].residues.size());
    EXPECT_EQ(stretch, seqs[s].residues.substr(static_cast<std::size_t>(child_first) - 1, stretch.size()));
    // Which parent residue each residue of the stretch stands opposite
    // (0: an insertion after parent residue `after`).
    std::vector<int> opposite, after;
    int pr = parent_first;
    for (std::size_t c = 0; c < parent_row.size(); ++c) {
      const char p = parent_row[c], x = child_row[c];
      EXPECT_FALSE(p == '.' && x == '.') << "a column of two gaps";
      if (p != '.') {
        const auto [it, fresh] = parent_text.emplace(pr, p);
        EXPECT_EQ(it->second, p) << "parent residue " << pr << " shown as two letters";
      }
      if (x != '.') {
        opposite.push_back(p != '.' ? pr : 0);
        after.push_back(pr - 1);
      }
      if (p != '.') ++pr;
    }

    // The listing row of s, block by block.
    long long next = child_first;
    for (std::size_t b = 0; b < o.blocks.size(); ++b) {
      ASSERT_EQ(o.blocks[b].size(), n) << "block " << b + 1;
      const ListingLine& line = o.blocks[b][s];
      std::string id = seq_id(seqs[s]);
      id.resize(13, ' ');
      EXPECT_EQ(line.id, id);
      const auto letters = static_cast<long long>(letters_of(line.piece).size());
      EXPECT_TRUE(shows(line.open, next)) << "block " << b + 1;
      EXPECT_TRUE(shows(line.close, next + letters - 1)) << "block " << b + 1;
      next += letters;
      rows[s] += line.piece;
    }
    EXPECT_EQ(next - 1, child_last);
    EXPECT_EQ(letters_of(rows[s]), stretch);

    // Columns: every residue of the stretch in the column of its parent residue.
    std::map<int, std::size_t> column_of;  // parent residue -> column, per sequence
    std::size_t k = 0;
    for (std::size_t c = 0; c < rows[s].size(); ++c) {
      const char x = rows[s][c];
      if (x == '.' || x == ' ') continue;
      ASSERT_LT(k, opposite.size());
      if (opposite[k] != 0) column_of[opposite[k]] = c;
      else inserted.emplace_back(after[k], c);
      ++k;
    }
    for (const auto& [residue, column] : column_of) {
      const auto [it, fresh] = shared.emplace(residue, column);
      EXPECT_EQ(it->second, column) << "parent residue " << residue << " in two columns";
    }
  }
  std::size_t previous = 0;
  for (const auto& [residue, column] : shared) {
    if (residue != shared.begin()->first) {
      EXPECT_GT(column, previous) << "parent residue " << residue << " out of order";
    }
    previous = column;
  }
  // A residue against no parent residue stands in a gap column between the
  // columns of the parent residues around it.
  for (const auto& [before, column] : inserted) {
    const auto next = shared.upper_bound(before);
    if (next != shared.end()) {
      EXPECT_LT(column, next->second) << "an inserted residue after parent residue " << before;
    }
    if (next != shared.begin()) {
      EXPECT_GT(column, std::prev(next)->second) << "an inserted residue after parent residue " << before;
    }
  }
  // One column system: every row as long as the others (padded with ".",
  // blanks only after the end of the last block).
  if (o.blocks.empty()) return;  // no alignment at all
  const std::size_t width = rows[0].find_last_not_of(' ') + 1;
  for (std::size_t s = 0; s < n; ++s) {
    EXPECT_EQ(rows[s].find_last_not_of(' ') + 1, width) << "sequence " << s + 1;
    EXPECT_EQ(rows[s].find(' '), width == rows[s].size() ? std::string::npos : width) << "sequence " << s + 1;
  }
  EXPECT_EQ(o.blocks.size(), (width + 49) / 50);
}

// The state model: the selected sequence's residue letters are the states;
// every group of transitions that leaves one state sums to 1 (or is unused:
// 0), within the rounding of the printed fields; no insertion after the end;
// every emission row sums to 1 and gives the letter frequencies of its state
// column in the listing.
void check_state_model(const Output& o, const std::string& console, const std::vector<Sequence>& seqs) {
  const std::size_t n = seqs.size();
  const std::size_t b = selected_sequence(console, seqs);
  ASSERT_LT(b, n);
  std::vector<std::string> rows(n);
  for (const auto& block : o.blocks)
    for (std::size_t s = 0; s < n && s < block.size(); ++s) rows[s] += block[s].piece;
  std::vector<std::size_t> state_columns;
  for (std::size_t c = 0; c < rows[b].size(); ++c)
    if (is_residue_letter(rows[b][c])) state_columns.push_back(c);
  ASSERT_EQ(o.nstates, static_cast<int>(state_columns.size()));
  EXPECT_NE(console.find("\n ...define " + std::to_string(o.nstates) + " states\n\n"), std::string::npos);

  constexpr double kRounding = 0.005 + 1e-9;  // a printed field is within this of its value
  const int K = o.nstates;
  for (const auto& to : o.hmm)
    for (const auto& from : to) ASSERT_EQ(from.size(), static_cast<std::size_t>(K) + 1);
  ASSERT_EQ(o.emit.size(), static_cast<std::size_t>(K));
  for (const auto& row : o.emit) ASSERT_EQ(row.size(), 20u);
  for (int from = 0; from < 3; ++from) {
    for (int k = 1; k <= K + 1; ++k) {
      double sum = o.hmm[0][from][k - 1] + o.hmm[1][from][k - 1];
      int fields = 2;
      if (k > 1) {
        sum += o.hmm[2][from][k - 2];
        ++fields;
      }
      EXPECT_TRUE(sum == 0.0 || std::abs(sum - 1.0) <= fields * kRounding)
          << "transitions from " << "MDL"[from] << " into position " << k << " sum to " << sum;
    }
    EXPECT_EQ(o.hmm[2][from][K], 0.0) << "an insertion after the end";
  }
  if (n > 1 && K > 0) {
    EXPECT_EQ(o.hmm[0][0][0] + o.hmm[1][0][0], 1.0) << "every other row starts";
  }
  for (int k = 1; k <= K; ++k) {
    const std::vector<double>& row = o.emit[static_cast<std::size_t>(k) - 1];
    double sum = 0.0;
    int used = 0;
    std::array<int, 20> count{};
    int total = 0;
    for (const std::string& r : rows) {
      const std::size_t column = state_columns[static_cast<std::size_t>(k) - 1];
      const char c = column < r.size() ? r[column] : ' ';
      if (is_residue_letter(c)) {
        ++count[kLetters.find(c)];
        ++total;
      }
    }
    for (std::size_t a = 0; a < 20; ++a) {
      sum += row[a];
      used += row[a] > 0.0;
      EXPECT_NEAR(row[a], static_cast<double>(count[a]) / total, kRounding)
          << "state " << k << " letter " << kLetters[a];
    }
    EXPECT_NEAR(sum, 1.0, std::max(used, 1) * kRounding) << "state " << k;
  }
}

// The pair reports: one per pair (i, j), i < j, in order; the QUERY and
// TARGET rows show the residues of sequences i and j from their first
// numbers to their last, the numbers running on from block to block.
void check_pair_reports(const std::string& pairs, const std::vector<Sequence>& seqs) {
  std::istringstream in(pairs);
  std::vector<std::string> headers;
  std::map<std::string, std::pair<long long, std::string>> next;  // row word -> (next number, letters)
  std::size_t a = 0, b = 0;
  auto finish = [&] {
    for (const auto& [word, seq] : {std::pair{std::string("QUERY"), a}, std::pair{std::string("TARGET"), b}}) {
      const auto it = next.find(word);
      if (it == next.end()) continue;
      const std::string& letters = it->second.second;
      const auto first = static_cast<std::size_t>(it->second.first - static_cast<long long>(letters.size()));
      EXPECT_EQ(letters, seqs[seq - 1].residues.substr(first - 1, letters.size())) << headers.back() << " " << word;
    }
    next.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Initial pairwise alignment: ", 0) == 0) {
      if (!headers.empty()) finish();
      headers.push_back(line);
      int i = 0, j = 0;
      EXPECT_EQ(std::sscanf(line.c_str(), "Initial pairwise alignment: %d.gca, %d.gca", &i, &j), 2) << line;
      a = static_cast<std::size_t>(std::clamp(i, 1, static_cast<int>(seqs.size())));
      b = static_cast<std::size_t>(std::clamp(j, 1, static_cast<int>(seqs.size())));
      continue;
    }
    if (line.empty()) continue;
    const std::string word = line.rfind("QUERY", 0) == 0 ? "QUERY" : "TARGET";
    const ShownRow row = shown_row(line, word);
    auto& [expected, letters] = next.try_emplace(word, row.first, "").first->second;
    const std::string shown = letters_of(row.text);
    EXPECT_TRUE(shows(row.first, expected)) << line;
    EXPECT_TRUE(shows(row.last, expected + static_cast<long long>(shown.size()) - 1)) << line;
    letters += shown;
    expected += static_cast<long long>(shown.size());
  }
  if (!headers.empty()) finish();
  std::vector<std::string> expected;
  for (std::size_t i = 1; i <= seqs.size(); ++i)
    for (std::size_t j = i + 1; j <= seqs.size(); ++j)
      expected.push_back("Initial pairwise alignment: " + std::to_string(i) + ".gca, " + std::to_string(j) + ".gca");
  EXPECT_EQ(headers, expected);
}

void check_run(const RunResult& r, const std::vector<Sequence>& seqs) {
  ASSERT_EQ(r.status, 0) << r.err;
  const Output o = parse_output(r.out);
  check_pair_reports(o.pairs, seqs);
  check_reports_and_listing(o, seqs);
  check_state_model(o, r.console, seqs);
}

// ---------------------------------------------------------------------------
// Golden runs.

TEST(XkestraRun, GoldenFourGlobins) {
  const auto seqs = cut(globins(), 4, 60);
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "7"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_golden("globins4x60.out", r.out);
  expect_golden("globins4x60.console", r.console);
  check_run(r, seqs);
}

TEST(XkestraRun, GoldenTwoSequences) {
  auto seqs = cut(globins(), 2, 60);
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "11"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_golden("two_globins.out", r.out);
  expect_golden("two_globins.console", r.console);
  check_run(r, seqs);
  // Every used group has one transition of probability 1.00.
  const Output o = parse_output(r.out);
  for (const auto& to : o.hmm)
    for (const auto& from : to)
      for (double v : from) EXPECT_TRUE(v == 0.0 || v == 1.0) << v;
}

TEST(XkestraRun, GoldenOneSequenceIsItsOwnParent) {
  // The sequence's own profile is the parent.
  const auto seqs = std::vector<Sequence>{{globins()[2].header, globins()[2].residues.substr(0, 40)}};
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_golden("one_sequence.out", r.out);
  expect_golden("one_sequence.console", r.console);
  check_run(r, seqs);
}

TEST(XkestraRun, GoldenStandInTools) {
  // Only identical residues score: hand-checkable alignments.
  const std::vector<Sequence> seqs = {{"alpha", "MKVLSEGDWQLVNAHPRTYFICDGSNWERTKLMPQ"},
                                      {"beta", "GHMKVLSEGDWQLVNAHPRTYFICDGSNWERTKLMPQ"},
                                      {"gamma", "WQLVNAHPRTYFCICDGSNWE"}};
  Workdir dir(true);
  const RunResult r = dir.run(seqs, {"-r", "5"});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_golden("fake_three.out", r.out);
  expect_golden("fake_three.console", r.console);
  check_run(r, seqs);
}

// ---------------------------------------------------------------------------
// Properties on real families.

TEST(XkestraRun, GlobinsWholeLength) {
  const auto seqs = globins();
  ASSERT_EQ(seqs.size(), 4u);
  Workdir dir;
  check_run(dir.run(seqs, {"-r", "1"}), seqs);
}

// The protein kinase set of the shared data beside the checkout; a test
// that needs it skips when it is missing.
const std::string kKinaseSet = "../shared/bench/sets/b_pkinase28.fa";

#define SKIP_WITHOUT_KINASES()                                                  \
  if (!fs::exists(xktest::source_path(kKinaseSet)))                             \
  GTEST_SKIP() << "the shared data " << kKinaseSet << " is missing beside the checkout"

std::vector<Sequence> kinases(std::size_t from, std::size_t count) {
  auto seqs = read_fasta(xktest::source_path(kKinaseSet));
  EXPECT_GE(seqs.size(), from + count);
  seqs.erase(seqs.begin(), seqs.begin() + static_cast<std::ptrdiff_t>(std::min(from, seqs.size())));
  seqs.resize(std::min(seqs.size(), count));
  return seqs;
}

TEST(XkestraRun, KinasesSubset) {
  SKIP_WITHOUT_KINASES();
  const auto seqs = kinases(3, 5);
  ASSERT_EQ(seqs.size(), 5u);
  Workdir dir;
  check_run(dir.run(seqs, {"-r", "4"}), seqs);
}

TEST(XkestraRun, SeedMakesRunsRepeatable) {
  // Three kinases, on which the block aligner's samples differ from seed to
  // seed: the same seed gives the same output file byte for byte; another
  // seed may change the merged profiles and what follows from them, never
  // the pair reports before them.
  SKIP_WITHOUT_KINASES();
  const auto seqs = kinases(0, 3);
  ASSERT_EQ(seqs.size(), 3u);
  Workdir dir;
  const RunResult one = dir.run(seqs, {"-r", "1"});
  check_run(one, seqs);
  const RunResult again = dir.run(seqs, {"-r", "1"});
  EXPECT_EQ(again.out, one.out);
  EXPECT_EQ(again.console, one.console);
  const RunResult two = dir.run(seqs, {"-r", "2"});
  check_run(two, seqs);
  EXPECT_EQ(parse_output(two.out).pairs, parse_output(one.out).pairs);
  EXPECT_EQ(two.console.substr(0, two.console.find(" ...making initial")),
            one.console.substr(0, one.console.find(" ...making initial")));
}

TEST(XkestraRun, AmbiguousLettersKeepTrueResidueNumbers) {
  // X, B and Z take their place and their number in the listing.
  auto seqs = cut(globins(), 3, 90);
  seqs[0].residues[30] = 'X';
  seqs[1].residues[25] = 'B';
  seqs[1].residues[60] = 'X';
  seqs[2].residues[40] = 'Z';
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "9"});
  check_run(r, seqs);
  // The letters lie inside the aligned stretches, so the check above
  // counted them.
  const Output o = parse_output(r.out);
  std::string listed;
  for (const auto& block : o.blocks)
    for (const auto& line : block) listed += line.piece;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), 'X'), 2);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), 'B'), 1);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), 'Z'), 1);
}

TEST(XkestraRun, EqualTotalsSelectTheLaterSequence) {
  // Three copies of one sequence: every pair scores alike, so all three
  // totals are equal and the last sequence is selected.
  const std::string residues = globins()[0].residues.substr(0, 30);
  const std::vector<Sequence> seqs = {{"first", residues}, {"second", residues}, {"third", residues}};
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.console.find("\n third has been selected as the parent sequence\n"), std::string::npos) << r.console;
  check_run(r, seqs);
}

TEST(XkestraRun, ThreeHundredSequencesEndNormallyAndLeaveNoIntermediateFile) {
  // Node names of hundreds of members are far longer than a file name may
  // be: the merged files take short names, the console and the reports
  // keep the node names whole.
  std::mt19937 rng(300);
  std::vector<Sequence> seqs;
  for (int k = 0; k < 300; ++k) {
    std::string residues(20 + rng() % 21, 'A');
    for (char& c : residues) c = kLetters[rng() % 20];
    seqs.push_back({"s" + std::to_string(k + 1), residues});
  }
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto header = r.out.find(kHeader);
  ASSERT_NE(header, std::string::npos);
  const std::string parent = r.out.substr(header + std::string_view(kHeader).size(),
                                          r.out.find(".drct, 1.drct", header) - header - std::string_view(kHeader).size());
  EXPECT_GT(parent.size(), 1000u);
  for (int k = 1; k <= 300; ++k) EXPECT_TRUE(xk::node_contains(parent, k)) << k;
  EXPECT_NE(r.console.find("...aligning (BAA): "), std::string::npos);
  const std::vector<std::string> files = dir.files();
  for (const std::string& f : files) {
    EXPECT_FALSE(f.ends_with(".drct") || f.ends_with(".gca") || f.ends_with(".seq")) << f;
  }
}

// ---------------------------------------------------------------------------
// Rows past 9,999 columns.  A whole run that makes them needs two
// sequences of 5,000 residues or more, whose block alignment alone takes
// gigabytes; so the phases after the block aligner run here on hand-made
// alignments (the parent's residue text and dp's results stand in for the
// profiles and the aligner), and the same checks read their output.

// A dp result for an alignment from parent residue `parent_first` and
// sequence residue `child_first` with these states ("M", "I": a parent
// residue against a gap, "D": a sequence residue against a gap).
xk::DpResult dp_result(int parent_first, int child_first, const std::string& states) {
  xk::DpResult r;
  r.n1 = parent_first + 1;
  r.n2 = child_first + 1;
  r.path = std::string(states.rbegin(), states.rend()) + "ME";
  return r;
}

TEST(XkestraRun, RowsPastTenThousandColumnsFromReportToModel) {
  std::mt19937 rng(19);
  auto random_letters = [&rng](std::size_t count) {
    std::string s(count, 'A');
    for (char& c : s) c = kLetters[rng() % 20];
    return s;
  };
  const std::string parent = random_letters(11000);
  // Sequence 1: parent residues 1-6000 without 2001-2100.  Sequence 2:
  // parent residues 3001-7000, 1,999 residues of its own, 7001-11000.
  const std::vector<Sequence> seqs = {
      {"long_one", parent.substr(0, 2000) + parent.substr(2100, 3900)},
      {"long_two", parent.substr(3000, 4000) + random_letters(1999) + parent.substr(7000, 4000)}};
  const std::string states1 = std::string(2000, 'M') + std::string(100, 'I') + std::string(3900, 'M');
  const std::string states2 = std::string(4000, 'M') + std::string(1999, 'D') + std::string(4000, 'M');
  const std::map<std::string, std::pair<std::string, xk::DpResult>> alignments = {
      {"1.drct", {seqs[0].residues, dp_result(1, 1, states1)}},
      {"2.drct", {seqs[1].residues, dp_result(3001, 1, states2)}}};
  xk::InitialMsaTools tools;
  tools.exists = [](const std::string&) { return true; };
  tools.make_gamma = [](const std::string&) { ADD_FAILURE() << "no gamma file is missing"; };
  tools.load = [&](const std::string& profile) {
    xk::ProfileData d;
    d.profile = profile;
    d.residues = profile == "1-2.drct" ? parent : alignments.at(profile).first;
    d.length = static_cast<int>(d.residues.size());
    return d;
  };
  tools.align = [&](xk::ProfileData&, xk::ProfileData& child) { return alignments.at(child.profile).second; };
  tools.progress = [](int, int) {};
  std::ostringstream console, out;
  const std::vector<std::string> ids = {"long_one     ", "long_two     "};
  const std::vector<std::string> rows =
      xk::run_initial_msa_phase(console, out, ids, xk::ParentFiles{"1-2.drct", "1-2.gca", "1-2.drct"}, tools).rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size(), 11000u + 1999u);
  const std::vector<float> aliscore = {0.0f, 5000.0f, 0.0f, 0.0f};
  xk::run_state_model_phase(console, out, ids, aliscore, rows);

  const Output o = parse_output(out.str());
  check_reports_and_listing(o, seqs);
  check_state_model(o, console.str(), seqs);
  // Four-column numbers past 9999 are asterisks; the rows are listed whole.
  ASSERT_EQ(o.blocks.size(), 260u);
  // Column 10,000: parent residue 8001 (after the 1,999 gap columns that
  // follow parent residue 7000), residue 7,000 of sequence 2.
  EXPECT_EQ(o.blocks[199][1].piece.back(), seqs[1].residues[6999]);
  EXPECT_EQ(o.blocks[199][1].piece.back(), parent[8000]);
  EXPECT_EQ(o.nstates, 9999);
}


// The accurate mode's final listing: the last listing of the output file
// (each iteration kept writes one), as per-sequence rows and the listing
// headings' iteration numbers in order.
struct AccurateListing {
  std::vector<int> iterations;
  std::vector<std::string> rows;
  std::vector<int> first;
};

AccurateListing accurate_listing(const std::string& text, std::size_t n) {
  AccurateListing l;
  std::istringstream in(text);
  static const std::regex kHeading(R"(Multiple sequence alignment \(Iteration (\d+)\): )");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::size_t start = 0;
  std::smatch m;
  for (std::size_t k = 0; k < lines.size(); ++k)
    if (std::regex_match(lines[k], m, kHeading)) l.iterations.push_back(std::stoi(m[1])), start = k + 1;
  l.rows.assign(n, "");
  l.first.assign(n, -1);
  for (std::size_t k = start, s = 0; k < lines.size() && !lines[k].starts_with("Refinement:"); ++k) {
    if (lines[k].empty()) {
      EXPECT_TRUE(s == 0 || s == n) << "a listing block of " << s << " rows";
      s = 0;
      continue;
    }
    if (s >= n || lines[k].size() != 77) {
      ADD_FAILURE() << "listing line " << k + 1 << ": " << lines[k];
      break;
    }
    if (l.first[s] < 0) l.first[s] = i4_field(lines[k].substr(13, 4));
    l.rows[s++] += lines[k].substr(20, 50);
  }
  return l;
}

TEST(XkestraRun, AccurateModeAlignsEveryResidueOnceAndInOrder) {
  const auto seqs = cut(globins(), 4, 80);
  Workdir dir;
  const RunResult r = dir.run(seqs, {"-r", "3", "-m", "accurate", "-i", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("Mode: accurate (gap penalties ")) << r.out.substr(0, 80);
  EXPECT_NE(r.out.find("\n M state:\n"), std::string::npos);  // the state model follows
  const AccurateListing l = accurate_listing(r.out, seqs.size());
  // Iterations are numbered 1, 2, ... (per-sequence headings and one
  // listing each), the last one named in the refinement line.
  ASSERT_FALSE(l.iterations.empty());
  EXPECT_EQ(l.iterations.front(), 1);
  for (std::size_t k = 0; k < l.iterations.size(); ++k) EXPECT_EQ(l.iterations[k], static_cast<int>(k) + 1);
  const int last = l.iterations.back();
  EXPECT_LE(last, 5);  // against the parent, the progressive alignment, three rounds
  EXPECT_NE(r.out.find("\nProgressive alignment along the joins\n\nMultiple sequence alignment (Iteration 2): \n"),
            std::string::npos);
  std::smatch m;
  static const std::regex kEnd(R"(\nRefinement: (\d+) iterations, ended [a-z ]+\n\n M state:)");
  ASSERT_TRUE(std::regex_search(r.out, m, kEnd));
  EXPECT_EQ(std::stoi(m[1]), last);
  for (std::size_t s = 0; s < seqs.size(); ++s) {
    EXPECT_EQ(l.first[s], 1) << s;
    EXPECT_EQ(letters_of(l.rows[s]), seqs[s].residues) << "sequence " << s + 1;
  }
  // Deterministic with the seed, and the same on one thread (the groups are
  // aligned as the joins run side by side).
  EXPECT_EQ(dir.run(seqs, {"-r", "3", "-m", "accurate", "-i", "3"}).out, r.out);
  EXPECT_EQ(dir.run(seqs, {"-r", "3", "-m", "accurate", "-i", "3", "-p", "1"}).out, r.out);
}

}  // namespace
