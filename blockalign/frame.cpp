#include "blockalign/frame.hpp"

#include <algorithm>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"

namespace xk {

int block_limit(int len1, int len2) { return std::min(std::min(len1 / 10, len2 / 10), kMaxBlockCap); }

std::string merged_file_name(std::string_view name1, std::string_view name2) {
  return joined_node_name(without_trailing_blanks(file_stem(name1)), without_trailing_blanks(file_stem(name2))) +
         ".drct";
}

void to_exponents(std::span<float> mij, float bias) {
  for (float& m : mij) m = m + m + bias;
}

std::string aligning_line(std::string_view name1, std::string_view name2) {
  return fw::ConsoleLine()
      .text("...aligning (BAA): ")
      .text(without_trailing_blanks(name1))
      .text(" ")
      .text(without_trailing_blanks(name2))
      .str();
}

std::string block_line(int maxblock) { return fw::ConsoleLine().text("Maximum number of block:").num(maxblock).str(); }

}  // namespace xk
