#include "tools/mkprof.hpp"

#include <istream>
#include <ostream>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "profile/record.hpp"

namespace xk {

std::array<float, 20> letter_profile(char letter) {
  std::array<float, 20> v{};
  if (letter == 'X') return kBackground;
  if (letter == 'B') {
    const int d = residue_index('D'), n = residue_index('N');
    v[d] = 0.5f * kBackground[d];
    v[n] = 0.5f * kBackground[n];
    return v;
  }
  if (letter == 'Z') {
    const int e = residue_index('E'), q = residue_index('Q');
    v[e] = 0.5f * kBackground[e];
    v[q] = 0.5f * kBackground[q];
    return v;
  }
  int k = residue_index(letter);
  if (k >= 0) v[k] = 1.0f;
  return v;
}

void mkprof(const std::vector<std::string>& args, std::istream& in, std::ostream& out) {
  constexpr std::size_t kNameMax = 80;
  constexpr std::size_t kColumns = 500;
  if (args.empty()) throw FatalStop("Usage: xmkprof outputfile [label] < sequence");

  const std::string name = without_trailing_blanks(args[0].substr(0, kNameMax));

  std::array<char, 4> label{' ', ' ', ' ', ' '};
  std::string given = args.size() > 1 ? args[1].substr(0, 4) : std::string();
  const std::string& source = given.find_first_not_of(' ') != std::string::npos ? given : args[0];
  for (std::size_t i = 0; i < 4 && i < source.size(); ++i) label[i] = source[i];

  // The output file is replaced, never appended to: a shorter sequence must
  // not leave an old file's records behind its own.
  ProfileWriter writer(name);
  out << "Type or paste sequence (^D when finished): ";

  long n = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > kColumns) line.resize(kColumns);
    if (!line.empty() && (line[0] == '#' || line[0] == '>')) continue;
    for (char& c : line) {
      if (c == ' ' || c == '.') continue;
      if (c == '#') break;
      ++n;
      c = caps(c);
      out << c << ' ' << c << '\n';
      if (kConverterAlphabet.find(c) == std::string_view::npos) {
        out << " Error reading letter! " << c << '\n';
        out.flush();
        writer.close();
        throw FatalStop("mkprof:: Bad end.2000");
      }
      writer.write(converter_record(n, label, c, letter_profile(c)));
    }
  }
  out << " Sequence length: " << fw::format_int(n, 10) << '\n';
  out << " Last record: " << fw::format_int(writer.written(), 10) << '\n';
  out << " Total size: " << fw::format_int(4 * writer.written(), 10) << " bytes.\n";
  out.flush();
  writer.close();
  throw NormalStop("MKPROF: Normal end");
}

}  // namespace xk
