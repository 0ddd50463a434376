#include "msaformats/writers.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>

namespace xk::msa {

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The row with every gap written as `gap`.
std::string with_gaps(std::string_view row, char gap) {
  std::string out(row);
  for (char& c : out)
    if (is_gap(c)) c = gap;
  return out;
}

std::string fasta_like(const Alignment& a, bool keep_insert_gaps) {
  constexpr std::size_t kLine = 60;
  std::string out;
  for (std::size_t s = 0; s < a.rows.size(); ++s) {
    const std::string row = keep_insert_gaps ? a.rows[s] : with_gaps(a.rows[s], '-');
    out += '>' + a.names[s] + '\n';
    for (std::size_t p = 0; p < row.size(); p += kLine) out.append(row, p, kLine) += '\n';
  }
  return out;
}

std::size_t longest_name(const Alignment& a) {
  std::size_t w = 0;
  for (const std::string& n : a.names) w = std::max(w, n.size());
  return w;
}

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text);
  out.resize(std::max(width, text.size()), ' ');
  return out;
}

// Residue groups of the conservation line.
constexpr std::array<std::string_view, 9> kStrong = {"STA", "NEQK", "NHQK", "NDEQ", "QHRK",
                                                     "MILV", "MILF", "HY", "FYW"};
constexpr std::array<std::string_view, 11> kWeak = {"CSA", "ATV", "SAG", "STNK", "STPA", "SGND",
                                                    "SNDEQK", "NDEQHK", "NEQHRK", "FVLIM", "HFY"};

template <std::size_t N>
bool within_one_group(const std::array<std::string_view, N>& groups, std::string_view column) {
  return std::any_of(groups.begin(), groups.end(), [&](std::string_view g) {
    return std::all_of(column.begin(), column.end(), [&](char c) { return g.find(c) != std::string_view::npos; });
  });
}

char conservation_of(std::string_view column) {
  for (char c : column)
    if (is_gap(c)) return ' ';
  const bool same = std::all_of(column.begin(), column.end(), [&](char c) { return c == column.front(); });
  if (same && std::string_view("ACDEFGHIKLMNPQRSTVWY").find(column.front()) != std::string_view::npos) return '*';
  if (within_one_group(kStrong, column)) return ':';
  if (within_one_group(kWeak, column)) return '.';
  return ' ';
}

}  // namespace

std::optional<Format> parse_format(std::string_view name) {
  if (name == "fasta") return Format::fasta;
  if (name == "clustal") return Format::clustal;
  if (name == "stockholm") return Format::stockholm;
  if (name == "msf") return Format::msf;
  if (name == "a2m") return Format::a2m;
  return std::nullopt;
}

std::string to_fasta(const Alignment& a) { return fasta_like(a, false); }

std::string to_a2m(const Alignment& a) { return fasta_like(a, true); }

std::string conservation(const Alignment& a) {
  assert(!a.rows.empty());
  const std::size_t width = a.rows.front().size();
  std::string line(width, ' ');
  std::string column(a.rows.size(), ' ');
  for (std::size_t c = 0; c < width; ++c) {
    for (std::size_t s = 0; s < a.rows.size(); ++s) column[s] = upper(a.rows[s][c]);
    line[c] = conservation_of(column);
  }
  return line;
}

std::string to_clustal(const Alignment& a) {
  constexpr std::size_t kBlock = 60;
  assert(!a.rows.empty());
  const std::size_t width = a.rows.front().size();
  const std::size_t name_width = longest_name(a) + 4;
  const std::string marks = conservation(a);
  std::string out = "CLUSTAL multiple sequence alignment by xKESTRA\n\n";
  for (std::size_t from = 0; from < width; from += kBlock) {
    out += '\n';
    for (std::size_t s = 0; s < a.rows.size(); ++s)
      out += padded(a.names[s], name_width) + with_gaps(std::string_view(a.rows[s]).substr(from, kBlock), '-') + '\n';
    // Written to the block's full width, blanks included, so that readers
    // find every column of it.
    out += std::string(name_width, ' ') + marks.substr(from, kBlock) + '\n';
  }
  return out;
}

std::string to_stockholm(const Alignment& a) {
  std::size_t width = longest_name(a);
  const bool ss = !a.structure.empty();
  if (ss) width += 8;  // "#=GR " name " SS"
  if (!a.structure_consensus.empty()) width = std::max<std::size_t>(width, 12);  // "#=GC SS_cons"
  width += 1;
  std::string out = "# STOCKHOLM 1.0\n\n";
  for (std::size_t s = 0; s < a.rows.size(); ++s) {
    out += padded(a.names[s], width) + a.rows[s] + '\n';
    if (ss) out += padded("#=GR " + a.names[s] + " SS", width) + a.structure[s] + '\n';
  }
  if (!a.structure_consensus.empty()) out += padded("#=GC SS_cons", width) + a.structure_consensus + '\n';
  out += "//\n";
  return out;
}

int gcg_check(std::string_view text) {
  long long sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    sum += static_cast<long long>(i % 57 + 1) * static_cast<unsigned char>(upper(text[i]));
  return static_cast<int>(sum % 10000);
}

std::string to_msf(const Alignment& a) {
  constexpr std::size_t kLine = 50, kGroup = 10;
  assert(!a.rows.empty());
  const std::size_t width = a.rows.front().size();
  const std::size_t name_width = longest_name(a) + 2;
  std::vector<std::string> rows;
  long long total = 0;
  for (const std::string& r : a.rows) {
    rows.push_back(with_gaps(r, '.'));
    total += gcg_check(rows.back());
  }
  std::string out = "!!AA_MULTIPLE_ALIGNMENT 1.0\n\n";
  out += " xKESTRA.msf  MSF: " + std::to_string(width) + "  Type: P  Check: " + std::to_string(total % 10000) +
         "  ..\n\n";
  for (std::size_t s = 0; s < rows.size(); ++s)
    out += " Name: " + padded(a.names[s], name_width) + "Len: " + std::to_string(width) +
           "  Check: " + std::to_string(gcg_check(rows[s])) + "  Weight: 1.00\n";
  out += "\n//\n";
  for (std::size_t from = 0; from < width; from += kLine) {
    out += '\n';
    for (std::size_t s = 0; s < rows.size(); ++s) {
      std::string line = padded(a.names[s], name_width);
      for (std::size_t g = from; g < std::min(width, from + kLine); g += kGroup) {
        if (g != from) line += ' ';
        line.append(rows[s], g, std::min(kGroup, from + kLine - g));
      }
      out += line + '\n';
    }
  }
  return out;
}

std::string format_alignment(const Alignment& a, Format f) {
  switch (f) {
    case Format::fasta: return to_fasta(a);
    case Format::clustal: return to_clustal(a);
    case Format::stockholm: return to_stockholm(a);
    case Format::msf: return to_msf(a);
    case Format::a2m: return to_a2m(a);
  }
  return to_fasta(a);
}

}  // namespace xk::msa
