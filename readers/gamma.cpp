#include "readers/gamma.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"

namespace xk {

namespace {

constexpr std::size_t kFirstField = 7;   // columns 1-7 skipped
constexpr std::size_t kFieldWidth = 9;
constexpr std::size_t kLineBuffer = 3000;  // characters kept of each line

std::string read_whole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw io_error_from_errno(path);
  std::string data;
  char buf[1 << 16];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) throw io_error_from_errno(path);
  return data;
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The tool's usual field: " d.dddddd".  Falls back to the general rules.
inline bool gamma_field(const char* p, std::size_t len, float& out) {
  if (len == kFieldWidth && p[0] == ' ' && p[2] == '.' && is_digit(p[1]) && is_digit(p[3]) &&
      is_digit(p[4]) && is_digit(p[5]) && is_digit(p[6]) && is_digit(p[7]) && is_digit(p[8])) {
    int v = (p[1] - '0') * 1000000 + (p[3] - '0') * 100000 + (p[4] - '0') * 10000 + (p[5] - '0') * 1000 +
            (p[6] - '0') * 100 + (p[7] - '0') * 10 + (p[8] - '0');
    out = static_cast<float>(static_cast<double>(v) / 1e6);
    return true;
  }
  return fw::parse_field_float(std::string_view(p, len), 6, out);
}

}  // namespace

void parse_gamma_text(std::string_view text, int L, std::span<float> table) {
  std::fill(table.begin(), table.end(), 0.0f);
  long k = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() > kLineBuffer) line = line.substr(0, kLineBuffer);
    if (line.size() < 5 || std::memcmp(line.data(), "GAMMA", 5) != 0) continue;
    ++k;
    if (k > L) continue;  // surplus GAMMA lines are ignored: the table has L rows
    float* row = table.data() + static_cast<std::size_t>(k - 1) * kStates;
    for (std::size_t m = 0; m < kStates; ++m) {
      std::size_t start = kFirstField + m * kFieldWidth;
      if (start >= line.size()) break;  // fields beyond the end of the line read as 0
      std::size_t len = std::min(kFieldWidth, line.size() - start);
      if (!gamma_field(line.data() + start, len, row[m])) throw FatalStop("ERROR: Bad gammaline!!!");
    }
  }
}

void readgamma(const std::string& path, int L, std::span<float> table) {
  if (L < 0) L = 0;
  if (table.size() < static_cast<std::size_t>(L) * kStates) {
    throw std::logic_error("readgamma: table smaller than L rows");
  }
  std::string text = read_whole(path);
  parse_gamma_text(text, L, table.first(static_cast<std::size_t>(L) * kStates));
}

std::vector<float> readgamma(const std::string& path, int L) {
  std::vector<float> table(static_cast<std::size_t>(std::max(L, 0)) * kStates);
  readgamma(path, L, table);
  return table;
}

std::string readgcaseq(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw NotFound("ERROR: gcb file not found -", path);
  static constexpr std::string_view kKept = "ACDEFGHIKLMNPQRSTVWYBZX";
  std::string seq;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 7 || line.compare(0, 7, "RESIDUE") != 0) continue;
    for (std::size_t c = 8; c < 20 && c < line.size(); ++c) {
      if (kKept.find(line[c]) != std::string_view::npos) seq += line[c];
    }
  }
  return seq;
}

}  // namespace xk
