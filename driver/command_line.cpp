#include "driver/command_line.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/ending.hpp"

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
         "   -> Mode (-m): classic or accurate, default -> classic\n"
         "   -> Rounds (-i): refinement rounds in accurate mode, default -> 1\n";
}

namespace {

constexpr std::int64_t kMaxRounds = 100;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string trim_trailing_blanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

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
  s.input = trim_trailing_blanks(args[0]);
  s.output = trim_trailing_blanks(args[1]);
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
    } else if (name == "-r") {
      auto v = parse_integer(value);
      if (!v) throw FatalStop("Wrong argument in seed!!!");
      s.seed = static_cast<std::uint64_t>(*v);
    } else if (name == "-m") {
      std::string mode = value;
      while (!mode.empty() && mode.back() == ' ') mode.pop_back();
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
