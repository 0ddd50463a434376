// The merged profile, its residue letters and its file; the frame's names
// and lines; the phases end to end without files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "blockalign/blockmerge.hpp"
#include "blockalign/frame.hpp"
#include "blockalign/merge.hpp"
#include "common/ending.hpp"
#include "profile/record.hpp"
#include "readers/profiles.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;

namespace {

std::vector<float> one_hot(const std::string& letters) {
  std::vector<float> p;
  for (char c : letters) {
    const auto v = letter_profile(c);
    p.insert(p.end(), v.begin(), v.end());
  }
  return p;
}

std::array<double, 20> row_of(const std::vector<double>& out, int p) {
  std::array<double, 20> r{};
  for (int a = 0; a < 20; ++a) r[a] = out[static_cast<std::size_t>(p - 1) * 20 + a];
  return r;
}

std::string le32(float f) {
  char b[4];
  std::memcpy(b, &f, 4);  // the test machines are little-endian
  return std::string(b, 4);
}

}  // namespace

TEST(MergedProfile, HalfOwnHalfMatchedPartner) {
  // Base = first (equal lengths).  Position 1 of A matched with position 2
  // (C) in 600 of 1000 samples; position 2 (D) never matched.
  const std::vector<float> pro1 = one_hot("AD"), pro2 = one_hot("GC");
  const std::vector<float> match{0.0f, 0.6f, 0.0f, 0.0f};
  const std::vector<double> out = merge_profiles(2, 2, pro1, pro2, match);
  ASSERT_EQ(out.size(), 40u);
  // Row 1: A 0.5, C 0.3 -> divided by 0.8.
  EXPECT_DOUBLE_EQ(out[0], 0.5 / (0.5 + 0.5 * double(0.6f)));
  EXPECT_DOUBLE_EQ(out[1], 0.5 * double(0.6f) / (0.5 + 0.5 * double(0.6f)));
  // Row 2: D alone, renormalised.
  EXPECT_EQ(row_of(out, 2)[2], 1.0);
}

TEST(MergedProfile, LongerInputIsTheBase) {
  // len1 = 1 < len2 = 3: laid on the second input; pair (q, p) = (1, p).
  const std::vector<float> pro1 = one_hot("W"), pro2 = one_hot("AAY");
  const std::vector<float> match{0.0f, 0.0f, 1.0f};
  const std::vector<double> out = merge_profiles(1, 3, pro1, pro2, match);
  ASSERT_EQ(out.size(), 60u);
  EXPECT_EQ(row_of(out, 1)[0], 1.0);
  EXPECT_EQ(row_of(out, 3)[18], 0.5);  // W
  EXPECT_EQ(row_of(out, 3)[19], 0.5);  // Y
  EXPECT_EQ(residue_letter(row_of(out, 3)), 'W');  // tie: the earlier letter
  // Equal lengths: the first input, whatever the second holds.
  EXPECT_EQ(merge_profiles(3, 3, one_hot("CCC"), one_hot("AAA"), std::vector<float>(9, 0.0f))[1], 1.0);
}

TEST(MergedProfile, RowsSumToOneWithoutMatches) {
  // A converter "B" row sums to about 0.053: renormalised.
  const std::vector<float> pro1 = one_hot("BXZA"), pro2 = one_hot("KK");
  const std::vector<double> out = merge_profiles(4, 2, pro1, pro2, std::vector<float>(8, 0.0f));
  for (int p = 1; p <= 4; ++p) {
    double t = 0;
    for (double v : row_of(out, p)) t += v;
    EXPECT_NEAR(t, 1.0, 1e-12);
  }
  EXPECT_NEAR(row_of(out, 1)[2], 0.05855 / (0.05855 + 0.04729), 1e-6);  // D of "B"
  EXPECT_EQ(residue_letter(row_of(out, 1)), 'D');
}

TEST(MergedProfile, AllZeroUnmatchedRowIsTheUnknownResidue) {
  std::vector<float> pro1 = one_hot("AC");
  std::fill(pro1.begin() + 20, pro1.end(), 0.0f);  // position 2 carries nothing
  const std::vector<double> out = merge_profiles(2, 1, pro1, one_hot("G"), std::vector<float>{0.5f, 0.0f});
  const std::array<double, 20> r = row_of(out, 2), unknown = unknown_residue_row();
  EXPECT_EQ(r, unknown);
  double t = 0;
  for (std::size_t a = 0; a < 20; ++a) {
    EXPECT_TRUE(std::isfinite(r[a]));
    EXPECT_NEAR(r[a], kBackground[a] / 1.00001, 1e-7);
    t += r[a];
  }
  EXPECT_NEAR(t, 1.0, 1e-12);
  EXPECT_EQ(residue_letter(r), 'A');
  // The same position matched by a sample takes the partner's residue.
  const std::vector<double> hit = merge_profiles(2, 1, pro1, one_hot("G"), std::vector<float>{0.0f, 0.5f});
  EXPECT_EQ(row_of(hit, 2)[5], 1.0);
}

TEST(MergedProfile, HugeMixedSignRowWritesNoInfinity) {
  // A damaged input row: +3e38 and -3e38 cancel, leaving a tiny positive
  // sum; the quotients would be far beyond the single-precision range.
  std::vector<float> pro1 = one_hot("AC");
  pro1[20] = 3e38f;
  pro1[21] = -3e38f;
  pro1[22] = 1e-30f;
  const std::vector<double> out = merge_profiles(2, 1, pro1, one_hot("G"), std::vector<float>{0.0f, 0.0f});
  EXPECT_EQ(row_of(out, 2), unknown_residue_row());
  EXPECT_EQ(row_of(out, 1)[0], 1.0);
  // Not-a-number and infinity in a row take the same defined row.
  pro1[20] = std::nanf("");
  EXPECT_EQ(row_of(merge_profiles(2, 1, pro1, one_hot("G"), std::vector<float>{0.0f, 0.0f}), 2),
            unknown_residue_row());
  pro1[20] = INFINITY;
  EXPECT_EQ(row_of(merge_profiles(2, 1, pro1, one_hot("G"), std::vector<float>{0.0f, 0.0f}), 2),
            unknown_residue_row());
}

TEST(MergedProfile, ResidueLetterTieGoesToTheEarlierLetter) {
  std::array<double, 20> r{};
  EXPECT_EQ(residue_letter(r), 'A');
  r[19] = 0.4;
  EXPECT_EQ(residue_letter(r), 'Y');
  r[2] = 0.4;
  EXPECT_EQ(residue_letter(r), 'D');
  r[10] = 0.4000001;
  EXPECT_EQ(residue_letter(r), 'M');
}

TEST(MergedProfile, RecordBytes) {
  xktest::TempDir dir;
  const std::string path = dir.file("A-B.drct");
  xktest::write_file(path, std::string(1000, 'x'));  // replaced, not overwritten in place
  std::vector<double> out(40, 0.0);
  out[2] = 0.75;
  out[0] = 0.25;
  out[20 + 19] = 1.0 / 3.0;
  out[20 + 1] = 2.0 / 3.0;
  write_merged_profile(path, 2, out);
  const std::string bytes = xktest::read_file(path);
  ASSERT_EQ(bytes.size(), 2 * kRecordBytes);
  for (int p = 1; p <= 2; ++p) {
    std::string want;
    want += static_cast<char>(p);
    want += '\0';
    want += static_cast<char>(p);
    want += '\0';
    want += "    ";
    want += ' ';
    want += p == 1 ? 'D' : 'C';
    want += "  ";
    for (int z = 0; z < 6; ++z) want += le32(0.0f);
    want += le32(1.0f);
    for (int a = 0; a < 20; ++a) want += le32(static_cast<float>(out[static_cast<std::size_t>(p - 1) * 20 + a]));
    want += le32(0.0f) + le32(0.0f);
    want += "  ";
    want += std::string(6, '\0');
    EXPECT_EQ(bytes.substr((p - 1) * kRecordBytes, kRecordBytes), want) << "record " << p;
  }
  EXPECT_EQ(getdrctlen(path), 2);
  EXPECT_THROW(write_merged_profile(dir.file("no/such/folder.drct"), 2, out), IoError);
}

TEST(BlockFrame, NamesAndLines) {
  EXPECT_EQ(merged_file_name("A-B.drct", "C.drct"), "A-B-C.drct");
  EXPECT_EQ(merged_file_name("1.drct   ", "12.drct"), "1-12.drct");
  EXPECT_EQ(merged_file_name("2 .drct", "3.x.drct"), "2-3.drct");
  EXPECT_EQ(aligning_line("A.drct", "B.drct  "), " ...aligning (BAA): A.drct B.drct\n");
  EXPECT_EQ(block_line(9), " Maximum number of block: 9\n");
  EXPECT_EQ(block_line(0), " Maximum number of block: 0\n");
  std::vector<float> m{1.5f, -2.0f, 0.0f};
  to_exponents(m, 0.25f);
  EXPECT_EQ(m, (std::vector<float>{3.25f, -3.75f, 0.25f}));
}

TEST(BlockMerge, FewerThanTenPositionsKeepsTheLongerProfile) {
  const std::vector<float> pro1 = one_hot("ACDEFGHIK"), pro2 = one_hot("BBBBBBBBBBBB");
  std::vector<float> x(9 * 12, 3.0f);
  const BlockMergeResult r = block_merge(9, 12, 0, x, pro1, pro2, 3);
  EXPECT_EQ(r.pK, std::vector<double>{1.0});
  EXPECT_EQ(r.match, std::vector<float>(9 * 12, 0.0f));
  ASSERT_EQ(r.outprofile.size(), 12u * 20u);
  for (int p = 1; p <= 12; ++p) {
    EXPECT_NEAR(row_of(r.outprofile, p)[2], 0.05855 / (0.05855 + 0.04729), 1e-6);
    EXPECT_NEAR(row_of(r.outprofile, p)[11], 0.04729 / (0.05855 + 0.04729), 1e-6);
  }
}

TEST(BlockMerge, FixedSeedIsReproducible) {
  const int n1 = 33, n2 = 41;
  std::mt19937 gen(4);
  std::uniform_real_distribution<float> d(-3.0f, 4.0f), v(0.0f, 1.0f);
  std::vector<float> x(n1 * n2), pro1(n1 * 20), pro2(n2 * 20);
  for (float& e : x) e = d(gen);
  for (float& e : pro1) e = v(gen);
  for (float& e : pro2) e = v(gen);
  const int K = 3;
  const BlockMergeResult a = block_merge(n1, n2, K, x, pro1, pro2, 2024);
  const BlockMergeResult b = block_merge(n1, n2, K, x, pro1, pro2, 2024);
  const BlockMergeResult c = block_merge(n1, n2, K, x, pro1, pro2, 2025);
  EXPECT_EQ(a.match, b.match);
  EXPECT_EQ(a.outprofile, b.outprofile);
  EXPECT_NE(a.match, c.match);
  EXPECT_EQ(a.totalcount.size(), 4u);
  ASSERT_EQ(a.outprofile.size(), static_cast<std::size_t>(n2) * 20);
  for (int p = 1; p <= n2; ++p) {
    double t = 0;
    for (double e : row_of(a.outprofile, p)) t += e;
    EXPECT_NEAR(t, 1.0, 1e-12);
  }
}
