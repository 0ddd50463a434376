#include "data/homstrad.hpp"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "common/ending.hpp"

namespace xk::data {

namespace {

constexpr std::string_view kOrder = "ACDEFGHIKLMNPQRSTVWY";
constexpr std::string_view kSecondary = "secondary structure and phi angle";

struct Record {
  std::string name;
  std::string title;  // the line after the header
  std::string body;   // the columns, up to (without) the "*"
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The PIR records of a text, in order.
std::vector<Record> records(std::string_view text, std::string_view file) {
  std::vector<Record> out;
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string_view head = trimmed(lines[k]);
    if (head.rfind(">", 0) != 0) continue;
    Record r;
    const std::size_t semi = head.find(';');
    r.name = std::string(trimmed(head.substr(semi == std::string_view::npos ? 1 : semi + 1)));
    if (k + 1 < lines.size()) r.title = std::string(trimmed(lines[k + 1]));
    bool ended = false;
    for (k += 2; k < lines.size() && !ended; ++k) {
      const std::string_view line = trimmed(lines[k]);
      if (line.rfind(">", 0) == 0) break;
      if (line.rfind("C;", 0) == 0) continue;
      for (char c : line) {
        if (c == '*') {
          ended = true;
          break;
        }
        if (c != ' ' && c != '\t') r.body += c;
      }
    }
    if (!ended) {
      throw FatalStop("ERROR: " + std::string(file) + ": record " + r.name + " has no closing \"*\"!!!");
    }
    --k;
    out.push_back(std::move(r));
  }
  return out;
}

bool is_residue(char c) { return c != '-' && c != '/' && c != '.'; }

// Builds a member from its alignment row and annotation rows; false when
// they do not fit together.
bool build_member(const std::string& name, const std::string& row, const std::string& seq_row,
                  const std::string& ss_row, Member& m, ReadCounts& counts) {
  if (seq_row.size() != row.size() || ss_row.size() != row.size()) return false;
  for (std::size_t c = 0; c < row.size(); ++c) {
    const bool residue = is_residue(row[c]);
    if (residue ? seq_row[c] != row[c] : is_residue(seq_row[c])) return false;
    if (residue != is_residue(ss_row[c])) return false;
  }
  m.name = name;
  bool pending_break = false;
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (row[c] == '/') {
      pending_break = true;
      ++counts.chain_breaks;
      continue;
    }
    if (!is_residue(row[c])) continue;
    const int code = residue_code(row[c]);
    const char ss = ss_row[c];
    const bool known = ss == 'H' || ss == 'E' || ss == 'C' || ss == 'P';
    m.letters += row[c];
    m.code.push_back(code);
    m.column.push_back(static_cast<int>(c));
    m.label += known ? ss : '?';
    m.starts_piece.push_back(static_cast<char>(pending_break || m.code.size() == 1));
    pending_break = false;
    if (code < 0) ++counts.odd_letters;
    if (!known) ++counts.odd_labels;
  }
  counts.residues += static_cast<long>(m.code.size());
  return true;
}

std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FatalStop("ERROR: Cannot read " + path.string() + "!!!");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

int residue_code(char c) {
  const std::size_t k = kOrder.find(c);
  return k == std::string_view::npos ? -1 : static_cast<int>(k);
}

std::uint32_t fnv1a(std::string_view bytes) {
  std::uint32_t h = 2166136261u;
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

bool held_out(std::string_view family) { return fnv1a(family) % 5u == 0u; }

Family parse_family(std::string_view name, std::string_view ali, std::string_view tem, ReadCounts& counts) {
  Family f;
  f.name = std::string(name);
  const std::vector<Record> rows = records(ali, f.name + ".ali");
  std::map<std::string, const Record*> sequence, secondary;
  const std::vector<Record> notes = records(tem, f.name + ".tem");
  for (const Record& r : notes) {
    if (r.title == "sequence") sequence.emplace(r.name, &r);
    if (r.title == kSecondary) secondary.emplace(r.name, &r);
  }
  for (const Record& r : rows) {
    f.columns = std::max(f.columns, static_cast<int>(r.body.size()));
    const auto s = sequence.find(r.name);
    const auto e = secondary.find(r.name);
    if (s == sequence.end() || e == secondary.end()) {
      ++counts.dropped_no_annotation;
      continue;
    }
    Member m;
    if (!build_member(r.name, r.body, s->second->body, e->second->body, m, counts)) {
      ++counts.dropped_mismatch;
      continue;
    }
    f.members.push_back(std::move(m));
    ++counts.members;
  }
  ++counts.families;
  return f;
}

std::vector<Family> read_families(const std::filesystem::path& root, Split part, ReadCounts& counts) {
  std::vector<std::filesystem::path> folders;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (entry.is_directory()) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  std::vector<Family> out;
  for (const auto& folder : folders) {
    const std::string name = folder.filename().string();
    if (held_out(name) != (part == Split::kHeldOut)) continue;
    std::vector<std::filesystem::path> ali, tem;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() == ".ali") ali.push_back(entry.path());
      if (entry.path().extension() == ".tem") tem.push_back(entry.path());
    }
    if (ali.size() != 1 || tem.size() != 1) {
      ++counts.families_unreadable;
      continue;
    }
    out.push_back(parse_family(name, read_text(ali[0]), read_text(tem[0]), counts));
  }
  return out;
}

}  // namespace xk::data
