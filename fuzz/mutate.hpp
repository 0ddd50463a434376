// Mutations of an input file's bytes for the readers' fuzzing driver.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace xk::fuzz {

// Changes `bytes` in place by one to four random edits: a flipped bit, a
// byte set to a value readers treat specially (line ends, blanks, '>',
// '.', '-', digits, 0x00, 0xFF), a deleted, duplicated or inserted range,
// or a cut at a random point.  Deterministic for a given generator state.
void mutate(std::string& bytes, std::mt19937_64& rng);

}  // namespace xk::fuzz
