#include "driver/fasta_input.hpp"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <istream>
#include <optional>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/residues.hpp"
#include "common/text_file.hpp"
#include "driver/external_tools.hpp"
#include "driver/ordered_pool.hpp"
#include "driver/run_state.hpp"
#include "msaformats/full_length.hpp"

namespace xk::driver {

namespace {

bool removable(char c) { return c == ' ' || c == '\t' || c == '-' || c == '.'; }

bool blank_line(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}


// How a character is shown in a message: itself when printable, else its code.
std::string shown(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7f) return std::string("\"") + c + "\"";
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("code 0x") + kHex[u >> 4] + kHex[u & 15];
}

// "Sequence 2 (seqB)" for messages.
std::string who(std::size_t number, const std::string& id) {
  return "Sequence " + std::to_string(number) + " (" + without_trailing_blanks(id) + ")";
}

struct PendingStar {
  std::size_t position;  // the residue position it would have had
  std::size_t line;
  std::size_t column;
};

class Reader {
 public:
  explicit Reader(const std::string& name) : name_(name) {}

  void line(std::string_view text) {
    ++line_no_;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!text.empty() && text.front() == '>') {
      finish();
      FastaSequence s;
      s.id = std::string(text.substr(1, 10));
      s.id.resize(kIdWidth, ' ');
      s.header_word = header_word(text);
      s.name = msa::identifier(text, seqs_.size() + 1);
      seqs_.push_back(std::move(s));
      return;
    }
    if (seqs_.empty()) {
      if (blank_line(text)) return;
      throw FatalStop("ERROR: Text before the first header line (line " + std::to_string(line_no_) + " of " +
                      name_ + ")!!!");
    }
    for (std::size_t col = 0; col < text.size(); ++col) residue(text[col], col + 1);
  }

  std::vector<FastaSequence> done(bool file_empty) {
    if (seqs_.empty()) {
      if (file_empty) throw FatalStop("ERROR: The input file " + name_ + " is empty!!!");
      throw FatalStop("ERROR: No header line (a line beginning with \">\") in " + name_ + "!!!");
    }
    finish();
    return std::move(seqs_);
  }

 private:
  void residue(char raw, std::size_t column) {
    if (removable(raw)) return;
    FastaSequence& s = seqs_.back();
    const std::size_t number = seqs_.size();
    const char c = caps(raw);
    if (star_) bad(s, number, '*', star_->position, star_->line, star_->column);
    if (c == '*') {
      star_ = PendingStar{s.residues.size() + 1, line_no_, column};
      return;
    }
    if (c == 'U' || c == 'O' || c == 'J') {
      s.residues += 'X';
      s.warnings.push_back("WARNING: " + who(number, s.id) + " position " + std::to_string(s.residues.size()) +
                           ": " + std::string(1, c) + " read as X");
      return;
    }
    if (kConverterAlphabet.find(c) == std::string_view::npos)
      bad(s, number, raw, s.residues.size() + 1, line_no_, column);
    s.residues += c;
  }

  [[noreturn]] void bad(const FastaSequence& s, std::size_t number, char c, std::size_t position,
                        std::size_t line, std::size_t column) const {
    throw FatalStop("ERROR: " + who(number, s.id) + " position " + std::to_string(position) + ": character " +
                    shown(c) + " is not a residue letter (line " + std::to_string(line) + ", column " +
                    std::to_string(column) + " of " + name_ + ")!!!");
  }

  // Closes the current sequence: its checks and warnings.
  void finish() {
    star_.reset();
    if (seqs_.empty()) return;
    FastaSequence& s = seqs_.back();
    const std::size_t number = seqs_.size();
    if (s.residues.empty()) throw FatalStop("ERROR: " + who(number, s.id) + " has no residues!!!");
    if (s.residues.size() > kMaxResidues) {
      s.warnings.push_back("WARNING: " + who(number, s.id) + " has " + std::to_string(s.residues.size()) +
                           " residues; only the first " + std::to_string(kMaxResidues) + " are used");
      s.residues.resize(kMaxResidues);
    }
    for (std::size_t k = 0; k + 1 < number; ++k) {
      if (seqs_[k].id == s.id) {
        s.warnings.push_back("WARNING: Sequences " + std::to_string(k + 1) + " and " + std::to_string(number) +
                             " have the same identifier (" + without_trailing_blanks(s.id) + ")");
        break;
      }
    }
  }

  const std::string& name_;
  std::vector<FastaSequence> seqs_;
  std::optional<PendingStar> star_;
  std::size_t line_no_ = 0;
};

}  // namespace

std::string header_word(std::string_view header) {
  auto is_sep = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t p = 0;
  for (int word = 1; word <= 2; ++word) {
    while (p < header.size() && is_sep(header[p])) ++p;
    const std::size_t start = p;
    while (p < header.size() && !is_sep(header[p])) ++p;
    if (word == 2) {
      std::string w(header.substr(start, p - start));
      if (auto lp = w.find('('); lp != std::string::npos) w.erase(lp, 1);
      if (auto rp = w.find(')'); rp != std::string::npos) w.erase(rp, 1);
      return w;
    }
  }
  return {};
}

std::string sequence_file_text(const FastaSequence& s) {
  std::string text = ">" + s.header_word + "\n";
  for (std::size_t p = 0; p < s.residues.size(); p += kSeqLineWidth) {
    text.append(s.residues, p, kSeqLineWidth);
    text += '\n';
  }
  return text;
}

std::vector<FastaSequence> read_fasta(std::istream& in, const std::string& name) {
  Reader reader(name);
  std::string line;
  bool any = false;
  while (std::getline(in, line)) {
    any = true;
    reader.line(line);
  }
  if (in.bad()) throw IoError(name, "read error");
  return reader.done(!any);
}

namespace {

void remove_if_present(const std::string& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
}

}  // namespace

void input_phase(RunState& state) {
  const std::string& name = state.settings.input;
  std::vector<FastaSequence> seqs;
  {
    std::error_code ec;
    std::ifstream in;
    const std::string& path = state.input_path.empty() ? name : state.input_path;
    if (!std::filesystem::is_directory(path, ec)) in.open(path, std::ios::binary);
    if (!in) throw NotFound("ERROR: File not found -", name);
    seqs = read_fasta(in, name);
  }
  std::ostream& con = state.console;
  con << '\n' << fw::ConsoleLine().text("Sequence number in the FASTA file:").num(static_cast<long long>(seqs.size())).str()
      << '\n';
  // Each sequence's files are made by the two tools, sequences side by side
  // on the run's threads.  The tools' output is held in memory and added to
  // LOG and the terminal in sequence order, with the console lines, as a
  // one-at-a-time run writes them.
  struct Made {
    std::exception_ptr error;
    HeldOutput held;
  };
  ordered_run<Made>(
      seqs.size(), state.threads,
      [&](std::size_t idx) {
        const std::string stem = std::to_string(idx + 1);
        const std::string seq_file = stem + ".seq", drct_file = stem + ".drct", gca_file = stem + ".gca";
        Made made;
        const ToolOutput output{&made.held};
        try {
          for (const std::string& f : {seq_file, drct_file, gca_file}) remove_if_present(f);
          write_text_file(seq_file, sequence_file_text(seqs[idx]));
          mkprof(seq_file, output);
          drct2gca(drct_file, output);
          remove_if_present(seq_file);
        } catch (...) {
          made.error = std::current_exception();
        }
        return made;
      },
      [&](std::size_t idx) {
        con << fw::ConsoleLine().text("...parsing sequence ").text(std::to_string(idx + 1)).str();
        for (const std::string& w : seqs[idx].warnings) con << fw::ConsoleLine().text(w).str();
        con.flush();
      },
      [&](std::size_t idx, Made&& made) {
        pass_on_tool_output(made.held);
        if (made.error) std::rethrow_exception(made.error);
        const FastaSequence& s = seqs[idx];
        state.seqID.push_back(s.id);
        state.seqchar.push_back(s.residues);
        state.names.push_back(s.name);
        state.sequences.push_back(s.residues);
      });
  con << '\n';
  con.flush();
}

}  // namespace xk::driver
