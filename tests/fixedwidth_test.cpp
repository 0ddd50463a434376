// Fixed-width fields: the number-input rules and the output pieces.
#include <gtest/gtest.h>

#include "common/fixedwidth.hpp"

using namespace xk::fw;

TEST(FixedWidthInput, PointTakenAsWrittenAndImpliedDecimalsOtherwise) {
  EXPECT_DOUBLE_EQ(*parse_field(" 0.003546", 6), 0.003546);
  EXPECT_DOUBLE_EQ(*parse_field("  1000000", 6), 1.0);
  EXPECT_DOUBLE_EQ(*parse_field("     1234", 6), 0.001234);
  EXPECT_DOUBLE_EQ(*parse_field("   .5    ", 6), 0.5);
  EXPECT_DOUBLE_EQ(*parse_field("        1234567", 7), 0.1234567);
  EXPECT_DOUBLE_EQ(*parse_field("      0.0123456", 7), 0.0123456);
}

TEST(FixedWidthInput, BlanksIgnoredAndBlankFieldIsZero) {
  EXPECT_DOUBLE_EQ(*parse_field("         ", 6), 0.0);
  EXPECT_DOUBLE_EQ(*parse_field("", 6), 0.0);
  EXPECT_DOUBLE_EQ(*parse_field(" 1 2. 5  ", 6), 12.5);
  EXPECT_DOUBLE_EQ(*parse_field("  1 0    ", 0), 10.0);
}

TEST(FixedWidthInput, SignsAndExponents) {
  EXPECT_DOUBLE_EQ(*parse_field("  -0.25", 6), -0.25);
  EXPECT_DOUBLE_EQ(*parse_field("  +2.5", 6), 2.5);
  EXPECT_DOUBLE_EQ(*parse_field(" 1.5E-03", 6), 0.0015);
  EXPECT_DOUBLE_EQ(*parse_field(" 2.0d+2", 6), 200.0);
  EXPECT_DOUBLE_EQ(*parse_field("  15e1", 1), 15.0);  // implied decimals apply to the mantissa: 1.5e1
}

TEST(FixedWidthInput, AnythingElseIsNotANumber) {
  for (const char* bad : {" abcdefgh", "  0.1x   ", " 1.2.3   ", "    -    ", "  .      ", "  1.0E   ", " 1e+x"}) {
    EXPECT_FALSE(parse_field(bad, 6).has_value()) << '"' << bad << '"';
  }
  float f = 0;
  EXPECT_FALSE(parse_field_float(" GAMMA   ", 6, f));
}

TEST(FixedWidthInput, FieldAtReadsBeyondTheLineAsBlank) {
  std::string_view line = "GAMMA   0.100000 0.200000";
  EXPECT_EQ(field_at(line, 7, 9, 0), " 0.100000");
  EXPECT_EQ(field_at(line, 7, 9, 1), " 0.200000");
  EXPECT_EQ(field_at(line, 7, 9, 2), "");
}

TEST(FixedWidthOutput, IntegersRightJustifiedOrAsterisks) {
  EXPECT_EQ(format_int(7, 4), "   7");
  EXPECT_EQ(format_int(-12, 4), " -12");
  EXPECT_EQ(format_int(9999, 4), "9999");
  EXPECT_EQ(format_int(10000, 4), "****");
  EXPECT_EQ(format_int(-999, 3), "***");
  EXPECT_EQ(format_int(28, 10), "        28");
}

TEST(FixedWidthOutput, RealsWithFixedDecimals) {
  EXPECT_EQ(format_fixed(0.5, 5, 2), " 0.50");
  EXPECT_EQ(format_fixed(1.0, 5, 2), " 1.00");
  EXPECT_EQ(format_fixed(12.345, 5, 2), "12.35");
  EXPECT_EQ(format_fixed(-0.5, 5, 2), "-0.50");
  EXPECT_EQ(format_fixed(-0.5, 4, 2), "-.50");  // the leading zero gives way first
  EXPECT_EQ(format_fixed(123.0, 5, 2), "*****");
  EXPECT_EQ(format_fixed(0.003546, 9, 6), " 0.003546");
  EXPECT_EQ(format_fixed(1.0, 9, 6), " 1.000000");
}

TEST(FixedWidthOutput, TextsLeftJustifiedAndCut) {
  EXPECT_EQ(format_text("seq1", 13), "seq1         ");
  EXPECT_EQ(format_text("a_very_long_identifier", 13), "a_very_long_i");
}

TEST(ConsoleLines, OneLeadingBlankAndNumbersSetOff) {
  EXPECT_EQ(ConsoleLine().text("Sequence number in the FASTA file:").num(5).str(),
            " Sequence number in the FASTA file: 5\n");
  EXPECT_EQ(ConsoleLine().text("...parsing sequence ").text("12").str(), " ...parsing sequence 12\n");
  EXPECT_EQ(ConsoleLine().text("x").num(0.5).str(), " x 0.5\n");
  EXPECT_EQ(ConsoleLine().str(), " \n");
}
