#include "common/vector_path.hpp"

#include <array>

namespace xk {

VectorPath best_vector_path() {
  // The processor's feature words are read once at start-up by the
  // compiler's runtime; these checks only test bits.
  if (__builtin_cpu_supports("x86-64-v4")) return VectorPath::avx512;
  if (__builtin_cpu_supports("x86-64-v3")) return VectorPath::avx2;
  return VectorPath::plain;
}

VectorPath usable_vector_path(VectorPath wanted) {
  const VectorPath best = best_vector_path();
  return wanted < best ? wanted : best;
}

std::span<const VectorPath> usable_vector_paths() {
  static constexpr std::array<VectorPath, 3> kAll = {VectorPath::plain, VectorPath::avx2, VectorPath::avx512};
  return std::span<const VectorPath>(kAll).first(static_cast<std::size_t>(best_vector_path()) + 1);
}

std::string_view vector_path_name(VectorPath path) {
  switch (path) {
    case VectorPath::plain: return "plain";
    case VectorPath::avx2: return "avx2";
    case VectorPath::avx512: return "avx512";
  }
  return "?";
}

}  // namespace xk
