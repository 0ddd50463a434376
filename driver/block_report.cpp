#include "driver/block_report.hpp"

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"

namespace xk::driver {

namespace {

// The states of the alignment from its start: the reversed path without
// blanks and "E".
std::string states_from_start(std::string_view path) {
  std::string states;
  states.reserve(path.size());
  for (auto it = path.rbegin(); it != path.rend(); ++it)
    if (*it != ' ' && *it != 'E') states += *it;
  return states;
}

char residue(const ReportSide& side, long long number) {
  if (number < 1 || static_cast<std::size_t>(number) > side.residues.size()) {
    throw FatalStop("ERROR: Residue " + std::to_string(number) + " missing in " + std::string(side.source) + "!!!");
  }
  return side.residues[static_cast<std::size_t>(number - 1)];
}

// One side's line of the block that starts at state `from`: appends it to
// `out` and its characters to `shown`; `number` is the side's next residue.
// `gap` is the state that shows "." on this side.
void block_line(std::string& out, std::string& shown, const ReportSide& side, std::string_view states,
                std::size_t from, long long& number, char gap) {
  out += fw::format_text(side.word, 13);
  out += fw::format_int(number, 4);
  out += "   ";
  for (std::size_t a = from; a < from + kBlockColumns && a < states.size(); ++a) {
    const char s = states[a];
    if (s != 'M' && s != 'I' && s != 'D') continue;
    const char c = s == gap ? '.' : residue(side, number++);
    out += c;
    shown += c;
  }
  out += "   ";
  out += fw::format_int(number - 1, 4);
  out += '\n';
}

}  // namespace

ShownRows write_block_report(std::string& out, std::string_view title, std::string_view name1,
                             std::string_view name2, const ReportSide& first, const ReportSide& second,
                             const DpResult& r) {
  const std::string states = states_from_start(r.path);
  const std::size_t P = states.size();
  const std::size_t blocks = P <= 1 ? 0 : (P - 1 + kBlockColumns - 1) / kBlockColumns;

  out += title;
  out += name1;
  out += ", ";
  out += name2;
  out += '\n';
  ShownRows rows;
  long long q1 = r.n1 - 1, q2 = r.n2 - 1;  // next residue of each side
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::size_t from = 1 + block * kBlockColumns;  // the first state is not shown
    block_line(out, rows.first, first, states, from, q1, 'D');
    block_line(out, rows.second, second, states, from, q2, 'I');
    out += '\n';
  }
  out += '\n';
  return rows;
}

}  // namespace xk::driver
