#include "common/integer_syntax.h"

#include <gtest/gtest.h>

namespace {

TEST(IntegerSyntax, AcceptsOneSignAndLeadingZeros) {
  EXPECT_EQ(parseInt64("+0640"), 640);
  EXPECT_EQ(parseInt64("-3"), -3);
  EXPECT_EQ(parseInt64("-0"), 0);
}

TEST(IntegerSyntax, RejectsAnythingButDigitsAfterOneSign) {
  for (const char* text : {"", "+", "-", " 640", "640 ", "640px", "6.4e2", "++1", "+-1", "0x10",
                           "1_000", "١٢"}) {
    EXPECT_EQ(parseInt64(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(IntegerSyntax, HoldsExactlyTheSigned64BitRange) {
  EXPECT_EQ(parseInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseInt64("+09223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parseInt64("9223372036854775808"), std::nullopt);
  EXPECT_EQ(parseInt64("-9223372036854775809"), std::nullopt);
  EXPECT_EQ(parseInt64("99999999999999999999"), std::nullopt);
}

}  // namespace
