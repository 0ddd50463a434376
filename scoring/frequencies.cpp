#include "scoring/frequencies.hpp"

#include <algorithm>
#include <cassert>
#include <fstream>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/table.hpp"

namespace xk {

namespace {

constexpr std::size_t kLineBuffer = 1000;   // characters kept of each line
constexpr std::size_t kLastColumn = 300;    // characters after this are ignored
constexpr std::size_t kFieldWidth = 15;
constexpr int kImpliedDecimals = 7;

// A data file opened for reading line by line, as fixed-width text.
class DataFile {
 public:
  explicit DataFile(const std::string& name) : name_(without_trailing_blanks(name)), in_(name_) {
    if (!in_) throw NotFound("ERROR: File not found -", name_);
  }

  // The next line, cut to the line buffer; false at end of file.  A carriage
  // return that ends the line belongs to the line end, not to the text.
  bool next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kLineBuffer) line.resize(kLineBuffer);
    return true;
  }

 private:
  std::string name_;
  std::ifstream in_;
};

bool blank(const std::string& line) { return line.find_first_not_of(' ') == std::string::npos; }

// Reads `count` fields of the line into out[0..count); false when one of them
// is not a number.
bool read_fields(const std::string& line, int count, float* out) {
  std::string_view text(line);
  if (text.size() > kLastColumn) text = text.substr(0, kLastColumn);
  for (int b = 0; b < count; ++b) {
    auto v = fw::parse_field(fw::field_at(text, 0, kFieldWidth, static_cast<std::size_t>(b)), kImpliedDecimals);
    if (!v) return false;
    out[b] = static_cast<float>(*v);
  }
  return true;
}

}  // namespace

void readmatrix(const std::string& name, std::span<float> table, int d1, int d2, int d3) {
  assert(d1 >= 0 && d2 >= 0 && d3 >= 0);
  assert(table.size() >= static_cast<std::size_t>(d1) * static_cast<std::size_t>(d2) * static_cast<std::size_t>(d3));
  DataFile file(name);
  std::fill(table.begin(), table.end(), 0.0f);
  if (d3 == 0) return;
  std::string line;
  int s = 1;
  for (;;) {
    for (int a = 1; a <= d1; ++a) {
      // End of file: the separator lines cannot be read either, so the
      // reading ends here.
      if (!file.next(line)) return;
      if (blank(line)) break;
      const std::size_t row = (static_cast<std::size_t>(s - 1) * static_cast<std::size_t>(d1) +
                               static_cast<std::size_t>(a - 1)) *
                              static_cast<std::size_t>(d2);
      if (!read_fields(line, d2, table.data() + row)) throw FatalStop("ERROR: Bad substitution matrix!!!");
    }
    if (!file.next(line)) return;  // first separator line: not examined
    if (!file.next(line)) return;
    if (blank(line)) ++s;
    if (s > d3) return;
  }
}

void readexpected(const std::string& name, std::span<float> table, int d1, int d2) {
  assert(d1 >= 0 && d2 >= 0);
  assert(table.size() >= static_cast<std::size_t>(d1) * static_cast<std::size_t>(d2));
  DataFile file(name);
  std::fill(table.begin(), table.end(), 0.0f);
  std::string line;
  for (int s = 1; s <= d2;) {
    if (!file.next(line)) return;
    if (blank(line)) continue;
    if (!read_fields(line, d1, table.data() + static_cast<std::size_t>(s - 1) * static_cast<std::size_t>(d1)))
      throw FatalStop("ERROR: Bad matrix2!!!");
    ++s;
  }
}

FrequencyTables load_frequency_tables(const std::string& observed, const std::string& expected) {
  FrequencyTables t;
  t.matrix1 = make_table<float>(static_cast<std::size_t>(kAminoAcids) * kAminoAcids * kScoredStates,
                                "matrix1 for observed frequencies");
  t.matrix2 = make_table<float>(static_cast<std::size_t>(kAminoAcids) * kScoredStates,
                                "matrix2 for expected frequencies");
  readmatrix(observed, t.matrix1, kAminoAcids, kAminoAcids, kScoredStates);
  readexpected(expected, t.matrix2, kAminoAcids, kScoredStates);
  // Pseudo-counts, in single precision: they change only entries that are 0
  // or of their own tiny order.
  constexpr float kPseudo = 1.0e-9f;
  for (float& x : t.matrix1) x = x + kPseudo * kPseudo;
  for (float& x : t.matrix2) x = x + kPseudo;
  return t;
}

}  // namespace xk
