#include "readers/gamma.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fstream>
#include <immintrin.h>
#include <memory>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/residues.hpp"
#include "common/vector_path.hpp"

namespace xk {

namespace {

constexpr std::size_t kFirstField = 7;   // columns 1-7 skipped
constexpr std::size_t kFieldWidth = 9;
constexpr std::size_t kLineBuffer = 3000;  // characters kept of each line

// The tool's usual field " d.dddddd" (a blank, one digit, a point, six
// digits), recognised eight bytes at a time; k receives d0*1e6 + d1..d6.
inline bool usual_field(const char* p, std::uint32_t& k) {
  if (p[0] != ' ' || p[2] != '.') return false;
  std::uint64_t x;
  std::memcpy(&x, p + 1, 8);                                  // d0 '.' d1 .. d6, little-endian
  x = (x & ~std::uint64_t{0xFF00}) | std::uint64_t{0x3000};   // the point as a '0'
  const std::uint64_t lo = x - 0x3030303030303030ULL;         // each byte 0..9 if a digit
  const std::uint64_t hi = x + 0x4646464646464646ULL;         // a byte above '9' sets its top bit
  if (((lo | hi) & 0x8080808080808080ULL) != 0) return false;
  std::uint64_t v = lo;
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
  v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;  // the digits d0 0 d1..d6 as one number
  k = static_cast<std::uint32_t>(v - (lo & 0xFF) * 9000000);
  return true;
}

// Four usual fields at once, one per 128-bit half of two registers: each
// half holds the 16 bytes from a field's first column; the bytes are
// checked against the " d.dddddd" frame and the seven digits combined by
// multiply-adds into d0*1e6 + d1..d6.  Returns false when a field is not of
// the usual form.  Reads 16 bytes from each field start.  AVX2 only: called
// where the processor has it.
#define XK_AVX2 __attribute__((target("avx2")))

// Two fields (at a and b) into the 32-bit lanes of `value` whose sum is
// each field's number; true when both are of the usual form.
XK_AVX2 inline bool usual_fields2(const char* a, const char* b, __m256i& value) {
  const __m256i frame = _mm256_setr_epi8(' ', '0', '.', '0', '0', '0', '0', '0', '0', 0, 0, 0, 0, 0, 0, 0,
                                         ' ', '0', '.', '0', '0', '0', '0', '0', '0', 0, 0, 0, 0, 0, 0, 0);
  // Largest allowed byte after the frame is taken away: 0 for the blank
  // and the point, 9 for a digit, anything beyond the field.
  const __m256i limit = _mm256_setr_epi8(0, 9, 0, 9, 9, 9, 9, 9, 9, -1, -1, -1, -1, -1, -1, -1,
                                         0, 9, 0, 9, 9, 9, 9, 9, 9, -1, -1, -1, -1, -1, -1, -1);
  // Byte pairs to words: d0, d1, 10 d2 + d3, 10 d4 + d5, d6.
  const __m256i w8 = _mm256_setr_epi8(0, 1, 0, 1, 10, 1, 10, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                                      0, 1, 0, 1, 10, 1, 10, 1, 1, 0, 0, 0, 0, 0, 0, 0);
  // Word pairs to double words: X = 10 d0 + d1, Y = d2 d3 d4 d5, d6.
  const __m256i w16 = _mm256_setr_epi16(10, 1, 100, 1, 1, 0, 0, 0, 10, 1, 100, 1, 1, 0, 0, 0);
  const __m256i w32 = _mm256_setr_epi32(100000, 10, 1, 0, 100000, 10, 1, 0);
  const __m256i bytes = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(b), reinterpret_cast<const __m128i*>(a));
  const __m256i t = _mm256_xor_si256(bytes, frame);
  const bool ok = _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(t, limit), limit)) == -1;
  value = _mm256_mullo_epi32(_mm256_madd_epi16(_mm256_maddubs_epi16(t, w8), w16), w32);
  return ok;
}

XK_AVX2 inline bool usual_fields4(const char* p, std::uint32_t* k) {
  __m256i a, b;
  const bool ok = usual_fields2(p, p + kFieldWidth, a) & usual_fields2(p + 2 * kFieldWidth, p + 3 * kFieldWidth, b);
  const __m256i h = _mm256_hadd_epi32(_mm256_hadd_epi32(a, b), _mm256_setzero_si256());
  // h holds fields 0, 2 in its low half and 1, 3 in its high half.
  const __m256i order = _mm256_permutevar8x32_epi32(h, _mm256_setr_epi32(0, 4, 1, 5, 2, 3, 6, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(k), _mm256_castsi256_si128(order));
  return ok;
}

// The integers of fields from `m` on, one field at a time.
inline bool usual_fields_from(const char* fields, std::size_t m, std::uint32_t* k) {
  bool ok = true;
  for (; m < kStates; ++m) ok &= usual_field(fields + m * kFieldWidth, k[m]);
  return ok;
}

// The integers of all 282 fields: groups of four whose 16-byte reads stay
// inside the 282 fields, then the rest one at a time.
XK_AVX2 bool usual_fields_avx2(const char* fields, std::uint32_t* k) {
  bool ok = true;
  std::size_t m = 0;
  for (; (m + 4) * kFieldWidth + 7 <= kStates * kFieldWidth; m += 4) ok &= usual_fields4(fields + m * kFieldWidth, &k[m]);
  return usual_fields_from(fields, m, k) & ok;
}

#undef XK_AVX2

// A full-length line of usual fields: the integers first, then one
// vectorisable pass of divisions.  k / 1e6 with an exact integer k below
// 2^24 is a correctly rounded single-precision division, the same value the
// general field rules give.  Returns false (row untouched) when any field
// is not of the usual form.
bool usual_row(const char* fields, float* row, VectorPath path) {
  std::array<std::uint32_t, kStates> k;
  const bool ok = path >= VectorPath::avx2 ? usual_fields_avx2(fields, k.data()) : usual_fields_from(fields, 0, k.data());
  if (!ok) return false;
  for (std::size_t m = 0; m < kStates; ++m) row[m] = static_cast<float>(static_cast<std::int32_t>(k[m])) / 1e6f;
  return true;
}

}  // namespace

namespace {

// The GAMMA lines a reader has met, and the first of positions 1..L that
// is short of its 282 fields (0: none).
struct GammaCount {
  long lines = 0;
  long first_short = 0;
  int short_fields = 0;
};

constexpr std::size_t kFullLine = kFirstField + kStates * kFieldWidth;

// Parses one line (without its line end) into the table.
void gamma_line(std::string_view line, int L, std::span<float> table, GammaCount& count, VectorPath path) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CR LF line ends
  if (line.size() > kLineBuffer) line = line.substr(0, kLineBuffer);
  if (line.size() < 5 || std::memcmp(line.data(), "GAMMA", 5) != 0) return;
  const long k = ++count.lines;
  if (k > L) return;  // surplus GAMMA lines are ignored: the table has L rows
  if (line.size() < kFullLine && count.first_short == 0) {
    count.first_short = k;
    count.short_fields = static_cast<int>(line.size() <= kFirstField ? 0 : (line.size() - kFirstField) / kFieldWidth);
  }
  float* row = table.data() + static_cast<std::size_t>(k - 1) * kStates;
  if (line.size() >= kFullLine && usual_row(line.data() + kFirstField, row, path)) return;
  for (std::size_t m = 0; m < kStates; ++m) {
    std::size_t start = kFirstField + m * kFieldWidth;
    if (start >= line.size()) break;  // fields beyond the end of the line read as 0
    std::size_t len = std::min(kFieldWidth, line.size() - start);
    if (!fw::parse_field_float(line.substr(start, len), 6, row[m])) throw FatalStop("ERROR: Bad gammaline!!!");
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// With GammaRows::complete, refuses a file that does not cover positions
// 1..L with whole lines.
void check_rows(const std::string& path, int L, const GammaCount& count, GammaRows rows) {
  if (rows != GammaRows::complete) return;
  if (count.lines < L)
    throw IoError(path, "damaged gamma file: " + std::to_string(count.lines) + " GAMMA lines for " +
                            std::to_string(L) + " positions");
  if (count.first_short != 0)
    throw IoError(path, "damaged gamma file: GAMMA line " + std::to_string(count.first_short) + " holds " +
                            std::to_string(count.short_fields) + " of " + std::to_string(kStates) + " fields");
}

}  // namespace

void parse_gamma_text(std::string_view text, int L, std::span<float> table, VectorPath path) {
  path = usable_vector_path(path);
  std::fill(table.begin(), table.end(), 0.0f);
  GammaCount k;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    gamma_line(text.substr(pos, end - pos), L, table, k, path);
    pos = end + 1;
  }
}

void readgamma(const std::string& path, int L, std::span<float> table, GammaRows rows) {
  if (L < 0) L = 0;
  if (table.size() < static_cast<std::size_t>(L) * kStates) {
    throw std::logic_error("readgamma: table smaller than L rows");
  }
  table = table.first(static_cast<std::size_t>(L) * kStates);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw io_error_from_errno(path);
  std::fill(table.begin(), table.end(), 0.0f);
  const VectorPath vectors = best_vector_path();

  // Streams the file through a fixed buffer that stays in cache: whole lines
  // are parsed in place, a partial line moves to the front for the next read.
  // A line longer than the buffer keeps its first kLineBuffer characters.
  std::vector<char> buf(1 << 16);
  std::size_t have = 0;
  bool skipping = false;  // inside the dropped tail of an over-long line
  GammaCount k;
  for (;;) {
    std::size_t got = std::fread(buf.data() + have, 1, buf.size() - have, file.get());
    if (got == 0 && std::ferror(file.get())) throw io_error_from_errno(path);
    have += got;
    const bool at_end = got == 0;
    std::string_view data(buf.data(), have);
    std::size_t pos = 0;
    for (;;) {
      std::size_t nl = data.find('\n', pos);
      if (nl == std::string_view::npos) break;
      if (!skipping) gamma_line(data.substr(pos, nl - pos), L, table, k, vectors);
      skipping = false;
      pos = nl + 1;
    }
    std::string_view rest = data.substr(pos);
    if (at_end) {
      if (!skipping && !rest.empty()) gamma_line(rest, L, table, k, vectors);
      break;
    }
    if (rest.size() == buf.size()) {  // no line end in a full buffer
      if (!skipping) gamma_line(rest, L, table, k, vectors);
      skipping = true;
      have = 0;
      continue;
    }
    std::memmove(buf.data(), rest.data(), rest.size());
    have = rest.size();
  }
  check_rows(path, L, k, rows);
}

std::vector<float> readgamma(const std::string& path, int L, GammaRows rows) {
  std::vector<float> table(static_cast<std::size_t>(std::max(L, 0)) * kStates);
  readgamma(path, L, table, rows);
  return table;
}

std::string readgcaseq(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw NotFound("ERROR: gcb file not found -", path);
  std::string seq;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 7 || line.compare(0, 7, "RESIDUE") != 0) continue;
    for (std::size_t c = 8; c < 20 && c < line.size(); ++c) {
      if (kSequenceLetters.find(line[c]) != std::string_view::npos) seq += line[c];
    }
  }
  return seq;
}

}  // namespace xk
