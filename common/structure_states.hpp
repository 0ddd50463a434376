// The local-structure states shared by gamma files, the readers and the
// scores: every residue position has a posterior over states 0..281; the
// frequency tables and the scores use states 1..281.
#pragma once

namespace xk {

// Columns of a gamma table row (states 0..281).
inline constexpr int kStates = 282;

}  // namespace xk
