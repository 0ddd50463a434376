// Fixed-width text fields, read and written the one way the whole suite uses.
//
// Input fields follow the classic fixed-column number rules: blanks anywhere
// in a field are ignored, a blank field reads as 0, a field with a decimal
// point is taken as written, a field of digits without a point carries
// `implied` implied decimals (so "  1000000" read with 6 implied decimals is
// 1.0), a sign and an exponent (E or D) are allowed.  Anything else is not a
// number.
//
// Output pieces: "(Iw)" integers right-justified in w columns (asterisks
// filling the field when too wide), "(Fw.d)" reals with d decimals
// right-justified in w columns, "(Aw)" texts left-justified in w columns, and
// the free-form console line.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace xk::fw {

// Reads one field.  Returns nullopt when the field is not a number.
std::optional<double> parse_field(std::string_view field, int implied);

// The same for the hot gamma-file path: single precision result, returns
// false when the field is not a number.  Same rules as parse_field.
bool parse_field_float(std::string_view field, int implied, float& out);

// Field `index` (0-based) of width `width` starting at 0-based column
// `first` of `line`; columns beyond the end of the line read as blanks.
std::string_view field_at(std::string_view line, std::size_t first, std::size_t width, std::size_t index);

// "(Iw)": right-justified; asterisks filling the field when too wide.
std::string format_int(long long value, int width);

// "(Fw.d)": d decimals, right-justified in w columns; the leading zero of a
// value below 1 is dropped when only that makes it fit; asterisks otherwise.
std::string format_fixed(double value, int width, int decimals);

// "(Fw.d)" of the exact value units x 10^-d, written as `width` characters
// at `out` (no terminating zero): the text format_fixed(units / 10^d, width,
// d) gives, made without floating point, for writers of large tables.
// decimals 0..18.
void put_fixed_units(char* out, long long units, int width, int decimals);

namespace detail {
// "00" "01" ... "99": two digits at a time.
inline constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> t{};
  for (int k = 0; k < 100; ++k) {
    t[static_cast<std::size_t>(2 * k)] = static_cast<char>('0' + k / 10);
    t[static_cast<std::size_t>(2 * k + 1)] = static_cast<char>('0' + k % 10);
  }
  return t;
}();
inline constexpr std::array<unsigned long long, 19> kPow10U = [] {
  std::array<unsigned long long, 19> t{};
  t[0] = 1;
  for (std::size_t k = 1; k < t.size(); ++k) t[k] = t[k - 1] * 10;
  return t;
}();

// The one body of both forms below.
[[gnu::always_inline]] inline void put_fixed_units(char* out, long long units, int width, int decimals) {
  const auto w = static_cast<std::size_t>(width);
  const auto d = static_cast<std::size_t>(decimals);
  const bool neg = units < 0;
  const unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
  unsigned long long whole = u / kPow10U[d];
  unsigned long long frac = u % kPow10U[d];
  // Length of the plain text: sign, integer digits, point, decimals.
  std::size_t int_digits = 1;
  for (unsigned long long x = whole; x >= 10; x /= 10) ++int_digits;
  std::size_t n = (neg ? 1 : 0) + int_digits + (d > 0 ? 1 + d : 0);
  // A lone leading zero before the point goes when only that makes it fit.
  const bool drop_zero = n > w && d > 0 && whole == 0;
  if (drop_zero) --n;
  if (n > w) {
    std::fill(out, out + w, '*');
    return;
  }
  // Digits from the right end of the field, two at a time (all the way
  // unrolled where the decimals are a constant).
  char* p = out + w;
  std::size_t k = d;
#pragma GCC unroll 9
  for (; k >= 2; k -= 2) {
    const std::size_t pair = static_cast<std::size_t>(frac % 100) * 2;
    frac /= 100;
    p -= 2;
    p[0] = kDigitPairs[pair];
    p[1] = kDigitPairs[pair + 1];
  }
  if (k == 1) *--p = static_cast<char>('0' + frac);
  if (d > 0) *--p = '.';
  if (!drop_zero) {
    do {
      *--p = static_cast<char>('0' + whole % 10);
      whole /= 10;
    } while (whole != 0);
  }
  if (neg) *--p = '-';
  std::fill(out, p, ' ');
}
}  // namespace detail

// The same for a field format fixed when the program is built, made inline
// with its divisions by constants: for a writer of millions of fields.
template <int Width, int Decimals>
inline void put_fixed_units(char* out, long long units) {
  static_assert(Width > 0 && Decimals >= 0 && Decimals <= 18);
  detail::put_fixed_units(out, units, Width, Decimals);
}

// "(Aw)": left-justified, padded with blanks, cut to its first w characters.
std::string format_text(std::string_view text, int width);

// Shortest decimal form of a number as the console shows it ("12", "0.5",
// "1e-07").
std::string shortest(double value);
std::string shortest(long long value);

// A free-form console line: one leading blank, texts appended directly, each
// number set off by one blank before it and written in its shortest form.
//   ConsoleLine().text("Sequence number in the FASTA file:").num(5).str()
//     == " Sequence number in the FASTA file: 5\n"
class ConsoleLine {
 public:
  ConsoleLine() : line_(" ") {}
  ConsoleLine& text(std::string_view t) {
    line_ += t;
    return *this;
  }
  ConsoleLine& num(long long v) {
    line_ += ' ';
    line_ += shortest(v);
    return *this;
  }
  ConsoleLine& num(int v) { return num(static_cast<long long>(v)); }
  ConsoleLine& num(double v) {
    line_ += ' ';
    line_ += shortest(v);
    return *this;
  }
  std::string str() const { return line_ + '\n'; }

 private:
  std::string line_;
};

}  // namespace xk::fw
