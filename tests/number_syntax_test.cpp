#include "common/number_syntax.h"

#include <gtest/gtest.h>

namespace {

TEST(IntegerSyntax, OneSignDigitsAndExactlyTheSigned64BitRange) {
  EXPECT_EQ(parseInt64("+0640"), 640);
  EXPECT_EQ(parseInt64("-0"), 0);
  EXPECT_EQ(parseInt64("+09223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseInt64("-9223372036854775808"), INT64_MIN);
  for (const char* text : {"", "+", "-", " 640", "640 ", "6.4e2", "++1", "0x10", "١٢",
                           "9223372036854775808", "-9223372036854775809", "99999999999999999999"})
    EXPECT_EQ(parseInt64(text), std::nullopt) << '"' << text << '"';
}

}  // namespace
