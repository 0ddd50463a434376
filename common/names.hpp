// The names of the suite's files: trailing blanks, the stem of a file name,
// node names, and the files a stem names.
#pragma once

#include <string>
#include <string_view>

namespace xk {

// A name without its trailing blanks (trailing blanks are never part of a
// file name or an identifier).  Leading and inner blanks stay.
std::string without_trailing_blanks(std::string_view name);

// The stem of a file name: the name up to the first "." of its last
// component, folders kept; the whole name when that component has no ".".
//   "1-3.drct" -> "1-3",  "a.b.drct" -> "a",  "plain" -> "plain",
//   "run.2/7.drct" -> "run.2/7",  "run.2/plain" -> "run.2/plain".
std::string file_stem(std::string_view name);

// The gamma file of a profile (or sequence) file: its stem + ".gca".
std::string gamma_file_of(std::string_view name);

// The profile file of a sequence (or gamma) file: its stem + ".drct".
std::string profile_file_of(std::string_view name);

// Whether a stem is a node name: a sequence number (decimal digits) or node
// names joined by "-" ("1", "12", "1-3", "2-1-3"); never empty, no leading,
// trailing or doubled "-".
bool is_node_name(std::string_view stem);

// The node of a merge: first + "-" + second.
std::string joined_node_name(std::string_view first, std::string_view second);

}  // namespace xk
