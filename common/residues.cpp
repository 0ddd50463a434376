#include "common/residues.hpp"

namespace xk {

const std::array<float, 20> kBackground = {0.08279f, 0.01937f, 0.05855f, 0.05992f, 0.04014f,
                                           0.08089f, 0.02275f, 0.05552f, 0.05959f, 0.0802f,
                                           0.0207f,  0.04729f, 0.04599f, 0.03728f, 0.0464f,
                                           0.06246f, 0.05888f, 0.06866f, 0.01507f, 0.03756f};

}  // namespace xk
