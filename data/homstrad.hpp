// Reading the structure-based alignments the local-structure data are
// trained on: one family per folder, the alignment FAM.ali (PIR records:
// ">P1;name", a description line, rows of columns ending in "*"; "-" a gap,
// "/" a chain break, "C;" comment lines) and the annotation FAM.tem (the same
// columns, several records per member: "sequence", "secondary structure and
// phi angle" with H helix, E strand, C coil, P coil with positive phi, ...).
//
// The family split is fixed: a family is held out when the 32-bit FNV-1a
// hash of its folder name is 0 modulo 5; every other family trains.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace xk::data {

// Residue letter -> 0..19 in the order "ACDEFGHIKLMNPQRSTVWY", -1 otherwise.
int residue_code(char c);

std::uint32_t fnv1a(std::string_view bytes);
bool held_out(std::string_view family);

// One member's residues, in sequence order (gaps and breaks removed).
struct Member {
  std::string name;
  std::string letters;            // the residue letters as written
  std::vector<int> code;          // residue_code of each letter (-1: not one of the 20)
  std::vector<int> column;        // alignment column of each residue, from 0
  std::string label;              // 'H', 'E', 'C', 'P', or '?' for any other annotation
  std::vector<char> starts_piece; // 1 where a chain break precedes the residue
};

struct Family {
  std::string name;
  int columns = 0;
  std::vector<Member> members;
};

// What reading dropped or marked, summed over families.
struct ReadCounts {
  long families = 0;
  long families_unreadable = 0;    // no single .ali and .tem pair in the folder
  long members = 0;                // members kept
  long dropped_no_annotation = 0;  // no "sequence" or secondary-structure record in the .tem
  long dropped_mismatch = 0;       // .tem rows that do not match the .ali row
  long residues = 0;
  long odd_letters = 0;            // residues that are not one of the 20 letters
  long odd_labels = 0;             // residues whose annotation is not H, E, C or P
  long chain_breaks = 0;
};

// Parses one family from the texts of its .ali and .tem files.  A member
// whose .tem "sequence" row differs from its .ali row (a chain break "/" may
// stand as "-"), or whose secondary-structure row does not put a letter on
// exactly its residue columns, is dropped and counted.  Throws FatalStop for
// an .ali that is not in the record layout (a row without its "*").
Family parse_family(std::string_view name, std::string_view ali, std::string_view tem, ReadCounts& counts);

enum class Split { kTraining, kHeldOut };

// Reads every family folder of `root` in the given part of the split, in
// folder-name order.  Folders without exactly one .ali and one .tem are
// counted and skipped.
std::vector<Family> read_families(const std::filesystem::path& root, Split part, ReadCounts& counts);

}  // namespace xk::data
