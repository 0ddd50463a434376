#include "common/fixedwidth.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace xk::fw {

namespace {

constexpr std::array<double, 23> kPow10 = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The exponent part of a field, from position i (its letter): "E", "e",
// "D" or "d", then blanks, an optional sign and at least one digit, blanks
// allowed among them, to the end of the field.  False when it is not one.
bool scan_exponent(std::string_view field, std::size_t i, int& exponent) {
  const std::size_t n = field.size();
  const char c = field[i];
  if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return false;
  ++i;
  while (i < n && field[i] == ' ') ++i;
  bool eneg = false;
  if (i < n && (field[i] == '+' || field[i] == '-')) {
    eneg = field[i] == '-';
    ++i;
  }
  bool edigit = false;
  exponent = 0;
  for (; i < n; ++i) {
    const char d = field[i];
    if (d == ' ') continue;
    if (d < '0' || d > '9') return false;
    edigit = true;
    if (exponent < 10000) exponent = exponent * 10 + (d - '0');
  }
  if (eneg) exponent = -exponent;
  return edigit;
}

// mant * 10^scale, by one exact power of ten where the table reaches.
double scaled(std::uint64_t mant, int scale) {
  double v = static_cast<double>(mant);
  if (scale < 0 && -scale < static_cast<int>(kPow10.size())) {
    v /= kPow10[static_cast<std::size_t>(-scale)];
  } else if (scale > 0 && scale < static_cast<int>(kPow10.size())) {
    v *= kPow10[static_cast<std::size_t>(scale)];
  } else if (scale != 0) {
    v *= std::pow(10.0, scale);
  }
  return v;
}

// Scans a field.  On success stores mantissa digits (as an integer when they
// fit), the decimal scale and sign.  Falls back to strtod for long mantissas.
bool scan(std::string_view field, int implied, double& out) {
  std::uint64_t mant = 0;
  int ndig = 0;        // significant digits kept in mant
  int scale = 0;       // value = mant * 10^scale
  int dropped = 0;     // integer digits beyond what mant holds
  bool neg = false, seen_sign = false, seen_digit = false, seen_point = false;
  std::size_t i = 0;
  const std::size_t n = field.size();
  auto skip_blanks = [&] {
    while (i < n && field[i] == ' ') ++i;
  };
  skip_blanks();
  if (i < n && (field[i] == '+' || field[i] == '-')) {
    neg = field[i] == '-';
    seen_sign = true;
    ++i;
  }
  for (; i < n; ++i) {
    char c = field[i];
    if (c == ' ') continue;
    if (c >= '0' && c <= '9') {
      seen_digit = true;
      if (ndig < 18) {
        if (mant != 0 || c != '0') ++ndig;
        mant = mant * 10 + static_cast<std::uint64_t>(c - '0');
        if (seen_point) --scale;
      } else if (!seen_point) {
        ++dropped;
      }
      continue;
    }
    if (c == '.' && !seen_point) {
      seen_point = true;
      continue;
    }
    break;
  }
  int exponent = 0;
  if (i < n && (!seen_digit || !scan_exponent(field, i, exponent))) return false;
  if (!seen_digit) {
    // A blank field is 0; a lone sign or point is not a number.
    if (seen_sign || seen_point) return false;
    out = 0.0;
    return true;
  }
  if (!seen_point) scale -= implied;  // implied decimals also apply before an exponent
  scale += exponent + dropped;
  const double v = scaled(mant, scale);
  out = neg ? -v : v;
  return true;
}

}  // namespace

std::optional<double> parse_field(std::string_view field, int implied) {
  double v = 0.0;
  if (!scan(field, implied, v)) return std::nullopt;
  return v;
}

bool parse_field_float(std::string_view field, int implied, float& out) {
  double v = 0.0;
  if (!scan(field, implied, v)) return false;
  out = static_cast<float>(v);
  return true;
}

std::string_view field_at(std::string_view line, std::size_t first, std::size_t width, std::size_t index) {
  std::size_t start = first + index * width;
  if (start >= line.size()) return {};
  return line.substr(start, width);
}

std::string format_int(long long value, int width) {
  char buf[32];
  int len = std::snprintf(buf, sizeof buf, "%lld", value);
  if (len > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width - len), ' ') + buf;
}

std::string format_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return std::string(static_cast<std::size_t>(width), '*');
  char buf[512];
  int len = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s(buf, static_cast<std::size_t>(len > 0 ? len : 0));
  if (static_cast<int>(s.size()) > width) {
    if (s.rfind("0.", 0) == 0) s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
  }
  if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

void put_fixed_units(char* out, long long units, int width, int decimals) {
  detail::put_fixed_units(out, units, width, decimals);
}

std::string format_text(std::string_view text, int width) {
  std::string s(text.substr(0, static_cast<std::size_t>(width)));
  s.resize(static_cast<std::size_t>(width), ' ');
  return s;
}

std::string shortest(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string shortest(long long value) { return std::to_string(value); }

}  // namespace xk::fw
