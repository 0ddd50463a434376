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
