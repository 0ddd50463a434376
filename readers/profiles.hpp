// Readers of profile files (".drct", 136-byte records) for the main program.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace xk {

// Number of records of the file (= residue positions).  A missing file, a
// folder, or a file whose size is not a whole number of 136-byte records
// throws IoError naming it.
int getdrctlen(const std::string& path);

// Copies the 20 profile values of records 1..n into rows 0..n-1 of `table`
// (n x 20, row-major, order "ACDEFGHIKLMNPQRSTVWY").  Stops at the end of
// the file; rows after the last record keep what the caller put there.
// A missing file throws IoError naming it.
void readdrct(const std::string& path, int n, std::span<float> table);

// getdrctlen and readdrct in one: a zero-filled table of exactly the file's
// records.
std::vector<float> readdrct(const std::string& path);

}  // namespace xk
