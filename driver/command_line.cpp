#include "driver/command_line.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/ending.hpp"
#include "common/names.hpp"

namespace xk::driver {

std::string usage_text() {
  return " xKESTRA   V. 0.0.2 Feb 2007\n"
         " A MSA program based on the TESSERA-D model\n"
         " Usage:\n"
         "   xKESTRA INPUT OUTPUT -s {Shift} -b {Bias}\n"
         "   -> INPUT: a FASTA file with multi-sequences\n"
         "   -> OUTPUT: a file name for the output file\n"
         "   -> Shift: Matrix bias in DP, default -> 0\n"
         "   -> Bias: Matrix bias in BAA, default -> 0\n"
         "   -> Seed: random seed of BAA, default -> clock\n"
         "   -> File (-o): the alignment with every residue, default -> none\n"
         "   -> Format (-f): fasta, clustal, stockholm, msf or a2m, default -> fasta\n"
         "   -> Tree (-t): a file for the merge order as a Newick tree, default -> none\n"
         "   -> Mode (-m): classic or accurate, default -> classic\n"
         "   -> Rounds (-i): refinement rounds in accurate mode, default -> 1\n"
         "   -> Threads (-p): number of threads, default -> all cores\n"
         "   -> Limit (-l): memory for the tables of BAA in MB, default -> 3/4 of the memory\n";
}

std::string version_text() { return std::string("xKESTRA ") + XK_VERSION + "\n"; }

std::optional<InfoRequest> info_request(std::span<const std::string> args) {
  if (args.empty()) return std::nullopt;
  if (args[0] == "--help" || args[0] == "-h") return InfoRequest::help;
  if (args[0] == "--version") return InfoRequest::version;
  return std::nullopt;
}

namespace {

constexpr std::int64_t kMaxThreads = 4096;
constexpr std::int64_t kMaxLimitMB = std::int64_t{1} << 40;  // far beyond any machine, and no overflow in bytes
constexpr std::int64_t kMaxRounds = 100;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<float> parse_real(std::string_view text) {
  std::size_t p = 0;
  while (p < text.size() && text[p] == ' ') ++p;
  std::string number;  // the number in the C library's spelling
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) number += text[p++];
  int digits = 0;
  while (p < text.size() && is_digit(text[p])) number += text[p++], ++digits;
  if (p < text.size() && text[p] == '.') {
    number += text[p++];
    while (p < text.size() && is_digit(text[p])) number += text[p++], ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (p < text.size() && (text[p] == 'E' || text[p] == 'e' || text[p] == 'D' || text[p] == 'd')) {
    ++p;
    number += 'e';
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) number += text[p++];
    int exp_digits = 0;
    while (p < text.size() && is_digit(text[p])) number += text[p++], ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
  }
  if (p < text.size() && text[p] != ' ' && text[p] != ',') return std::nullopt;
  const double value = std::strtod(number.c_str(), nullptr);
  const auto single = static_cast<float>(value);
  if (!std::isfinite(value) || !std::isfinite(single)) return std::nullopt;
  return single;
}

std::optional<std::int64_t> parse_integer(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<Settings> parse_command_line(std::span<const std::string> args) {
  if (args.empty() || args.size() % 2 != 0) return std::nullopt;
  Settings s;
  s.input = without_trailing_blanks(args[0]);
  s.output = without_trailing_blanks(args[1]);
  for (std::size_t k = 2; k + 1 < args.size(); k += 2) {
    const std::string& name = args[k];
    const std::string& value = args[k + 1];
    if (name == "-s") {
      auto v = parse_real(value);
      if (!v) throw FatalStop("Wrong argument in shift!!!");
      s.shift = *v;
    } else if (name == "-b") {
      auto v = parse_real(value);
      if (!v) throw FatalStop("Wrong argument in bias!!!");
      s.bias = *v;
      s.bias_given = true;
    } else if (name == "-r") {
      auto v = parse_integer(value);
      if (!v) throw FatalStop("Wrong argument in seed!!!");
      s.seed = static_cast<std::uint64_t>(*v);
    } else if (name == "-o" || name == "-t") {
      std::string file = without_trailing_blanks(value);
      if (file.empty())
        throw FatalStop(name == "-o" ? "Wrong argument in alignment file!!!" : "Wrong argument in tree file!!!");
      (name == "-o" ? s.alignment_file : s.tree_file) = std::move(file);
    } else if (name == "-f") {
      auto f = msa::parse_format(value);
      if (!f) throw FatalStop("Wrong argument in format (fasta, clustal, stockholm, msf or a2m)!!!");
      s.format = *f;
    } else if (name == "-p") {
      auto v = parse_integer(value);
      if (!v || *v < 1 || *v > kMaxThreads) throw FatalStop("Wrong argument in threads!!!");
      s.threads = static_cast<unsigned>(*v);
    } else if (name == "-l") {
      auto v = parse_integer(value);
      if (!v || *v < 1 || *v > kMaxLimitMB) throw FatalStop("Wrong argument in limit!!!");
      s.memory_limit = static_cast<std::uint64_t>(*v) << 20;
    } else if (name == "-m") {
      const std::string mode = without_trailing_blanks(value);
      if (mode == "classic") s.mode = Mode::classic;
      else if (mode == "accurate") s.mode = Mode::accurate;
      else throw FatalStop("Wrong argument in mode!!!");
      s.end_gap_free_pairs = s.end_to_end_parent = s.mode == Mode::accurate;
    } else if (name == "-i") {
      auto v = parse_integer(value);
      if (!v || *v < 0 || *v > kMaxRounds) throw FatalStop("Wrong argument in rounds!!!");
      s.rounds = static_cast<int>(*v);
    } else {
      throw FatalStop("Wrong argument(s)!!!");
    }
  }
  return s;
}

}  // namespace xk::driver
