#include "blockalign/merge.hpp"

#include <cassert>
#include <cmath>

#include "blockalign/table.hpp"
#include "common/residues.hpp"
#include "profile/record.hpp"

namespace xk {

std::array<double, 20> unknown_residue_row() {
  std::array<double, 20> row{};
  double sum = 0.0;
  for (float v : kBackground) sum += v;
  for (std::size_t a = 0; a < 20; ++a) row[a] = static_cast<double>(kBackground[a]) / sum;
  return row;
}

std::vector<double> merge_profiles(int len1, int len2, std::span<const float> pro1, std::span<const float> pro2,
                                   std::span<const float> match) {
  const bool base_first = !(len1 < len2);
  const int L = base_first ? len1 : len2, P = base_first ? len2 : len1;
  const std::span<const float> base = base_first ? pro1 : pro2, partner = base_first ? pro2 : pro1;
  const std::size_t n2 = static_cast<std::size_t>(len2);
  assert(base.size() >= static_cast<std::size_t>(L) * 20 && partner.size() >= static_cast<std::size_t>(P) * 20);
  assert(match.size() >= static_cast<std::size_t>(len1) * n2);

  std::vector<double> out = make_table<double>(static_cast<std::size_t>(L) * 20, "outprofile");
  for (std::size_t p = 0; p < static_cast<std::size_t>(L); ++p) {
    std::array<double, 20> other{};
    for (std::size_t q = 0; q < static_cast<std::size_t>(P); ++q) {
      const float m = base_first ? match[p * n2 + q] : match[q * n2 + p];
      if (m == 0.0f) continue;  // adds nothing: most pairs were never matched
      const float* row = &partner[q * 20];
      for (std::size_t a = 0; a < 20; ++a) other[a] += static_cast<double>(m) * static_cast<double>(row[a]);
    }
    double* o = &out[p * 20];
    double t = 0.0;
    for (std::size_t a = 0; a < 20; ++a) {
      o[a] = 0.5 * static_cast<double>(base[p * 20 + a]) + 0.5 * other[a];
      t += o[a];
    }
    bool defined = t > 0.0 && std::isfinite(t);
    if (defined) {
      // Entries of mixed sign can leave a small positive sum: a quotient
      // beyond the single-precision range would reach the file as infinity.
      for (std::size_t a = 0; a < 20; ++a) {
        o[a] /= t;
        defined = defined && std::isfinite(static_cast<float>(o[a]));
      }
    }
    if (!defined) {
      const std::array<double, 20> unknown = unknown_residue_row();
      for (std::size_t a = 0; a < 20; ++a) o[a] = unknown[a];
    }
  }
  return out;
}

char residue_letter(std::span<const double, 20> row) {
  std::size_t best = 0;
  for (std::size_t a = 1; a < 20; ++a) {
    if (row[a] > row[best]) best = a;
  }
  return kResidueOrder[best];
}

void write_merged_profile(const std::string& path, int L, std::span<const double> outprofile) {
  assert(outprofile.size() >= static_cast<std::size_t>(L) * 20);
  ProfileWriter writer(path);
  for (int p = 1; p <= L; ++p) {
    const std::span<const double, 20> row(&outprofile[static_cast<std::size_t>(p - 1) * 20], 20);
    std::array<float, 20> values{};
    for (std::size_t a = 0; a < 20; ++a) values[a] = static_cast<float>(row[a]);
    writer.write(merged_record(p, residue_letter(row), values));
  }
  writer.close();
}

}  // namespace xk
