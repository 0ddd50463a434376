#include "blockalign/baa.hpp"

#include <ostream>

#include "blockalign/blockmerge.hpp"
#include "blockalign/frame.hpp"
#include "blockalign/merge.hpp"
#include "blockalign/table.hpp"
#include "common/names.hpp"
#include "profile/record.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"

namespace xk {

double merge_bytes(int len1, int len2) {
  const double cells = (len1 + 1.0) * (len2 + 1.0);
  return cells * (3.0 * sizeof(double) * (block_limit(len1, len2) + 1) + sizeof(double) + 2 * sizeof(float));
}

void baa(const std::string& name1, const std::string& name2, int len1, int len2, const ScoringTables& tables,
         float bias, std::optional<std::uint64_t> seed, std::ostream& out) {
  const std::string file1 = without_trailing_blanks(name1), file2 = without_trailing_blanks(name2);
  baa(MergeFiles{file1, file2, merged_file_name(file1, file2), file1, file2}, len1, len2, tables, bias, seed, out);
}

void baa(const MergeFiles& files, int len1, int len2, const ScoringTables& tables, float bias,
         std::optional<std::uint64_t> seed, std::ostream& out, unsigned threads, LayeredTables* keep,
         std::vector<float>* match) {
  const std::string& file1 = files.profile1;
  const std::string& file2 = files.profile2;
  out << aligning_line(files.shown1, files.shown2);

  const auto n1 = static_cast<std::size_t>(len1), n2 = static_cast<std::size_t>(len2);
  std::vector<float> pro1 = make_table<float>(n1 * kProfileWidth, "pro1");
  std::vector<float> pro2 = make_table<float>(n2 * kProfileWidth, "pro2");
  readdrct(file1, len1, pro1);
  readdrct(file2, len2, pro2);

  std::vector<float> mij;
  {
    std::vector<float> gmatrix1 = make_table<float>(n1 * kStates, "gmatrix1");
    std::vector<float> gmatrix2 = make_table<float>(n2 * kStates, "gmatrix2");
    readgamma(gamma_file_of(file1), len1, gmatrix1);
    readgamma(gamma_file_of(file2), len2, gmatrix2);
    mij.resize(n1 * n2);
    score_profiles(tables, len1, len2, pro1, pro2, gmatrix1, gmatrix2, mij, 0.0f, threads);
  }
  to_exponents(mij, bias);

  const int maxblock = block_limit(len1, len2);
  out << block_line(maxblock) << '\n';
  out.flush();

  BlockMergeResult merged = block_merge(len1, len2, maxblock, mij, pro1, pro2, seed, keep, threads);
  write_merged_profile(files.merged, std::max(len1, len2), merged.outprofile);
  if (match != nullptr) *match = std::move(merged.match);
}

}  // namespace xk
