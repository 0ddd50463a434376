// The small rules of the block aligner's frame: file names, the block
// limit, the pair exponents and the printed lines.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace xk {

// The largest number of blocks considered: min(len1 div 10, len2 div 10),
// at most 20 (so 0 when either input has fewer than 10 positions).
inline constexpr int kMaxBlockCap = 20;
int block_limit(int len1, int len2);

// The merged profile file: stem of name1 and of name2, each without
// trailing blanks, joined as a node name, then ".drct".  ("A-B.drct", "C.drct") ->
// "A-B-C.drct".
std::string merged_file_name(std::string_view name1, std::string_view name2);

// Turns pair scores (bits) into the block aligner's exponents, in place:
// m <- m + m + bias, in single precision.
void to_exponents(std::span<float> mij, float bias);

// The printed lines: " ...aligning (BAA): <name1> <name2>" and
// " Maximum number of block: <maxblock>", each with its line end.
std::string aligning_line(std::string_view name1, std::string_view name2);
std::string block_line(int maxblock);

}  // namespace xk
