// What the block aligner's tables take, so that a caller can refuse a merge
// before any of them is allocated.
#pragma once

#include <cstdint>

namespace xk {

// Bytes held at the peak of one `baa` merge of profiles of len1 and len2
// positions (len1, len2 >= 0), counted from the sizes of its tables: the
// pair scores (4 bytes a pair) and their weights (8), the sampled matches
// (4), the three block-layered sum tables ((len1+1) (len2+1) (K+1) doubles
// each, K the block limit), the gamma and profile tables of both inputs.
// An upper estimate of what the process adds; computed without overflow.
std::uint64_t baa_peak_bytes(int len1, int len2);

}  // namespace xk
