#include "core/number_text.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

TEST(WholeNumberText, SignPositionAndNoGrouping) {
    EXPECT_EQ(wholeNumberText(0), " 0");
    EXPECT_EQ(wholeNumberText(7), " 7");
    EXPECT_EQ(wholeNumberText(65535), " 65535");
    EXPECT_EQ(wholeNumberText(-5), "-5");
    EXPECT_EQ(wholeNumberText(-65535), "-65535");
    EXPECT_EQ(wholeNumberText(1234567), " 1234567");
    EXPECT_EQ(wholeNumberText(4294967296LL), " 4294967296");
    // The extremes must not overflow on the way to text.
    EXPECT_EQ(wholeNumberText(INT64_MAX), " 9223372036854775807");
    EXPECT_EQ(wholeNumberText(INT64_MIN), "-9223372036854775808");
}

TEST(NumberText, FractionsHaveNoTrailingZerosAndNoLeadingZero) {
    EXPECT_EQ(numberText(0), " 0");
    EXPECT_EQ(numberText(3000), " 3");
    EXPECT_EQ(numberText(34215250), " 34215.25");
    EXPECT_EQ(numberText(1500), " 1.5");
    EXPECT_EQ(numberText(1001), " 1.001");
    EXPECT_EQ(numberText(1010), " 1.01");
    EXPECT_EQ(numberText(1100), " 1.1");
    EXPECT_EQ(numberText(1999), " 1.999");
    EXPECT_EQ(numberText(250), " .25");
    EXPECT_EQ(numberText(5), " .005");
    EXPECT_EQ(numberText(-250), "-.25");
    EXPECT_EQ(numberText(-2500), "-2.5");
    EXPECT_EQ(numberText(10000), " 10");
}

}  // namespace
