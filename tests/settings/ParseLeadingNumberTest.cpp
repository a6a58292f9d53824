#include <gtest/gtest.h>

#include <cmath>

#include "settings/ParseLeadingNumber.h"

TEST(ParseLeadingNumber, ReadsTheLeadingNumberAndStopsAtTheFirstStranger) {
    EXPECT_EQ(ParseLeadingNumber("720"), 720);
    EXPECT_EQ(ParseLeadingNumber(" 1"), 1);
    EXPECT_EQ(ParseLeadingNumber("12abc"), 12);
    EXPECT_EQ(ParseLeadingNumber("abc"), 0);
    EXPECT_EQ(ParseLeadingNumber(""), 0);
    EXPECT_EQ(ParseLeadingNumber("-"), 0);
    EXPECT_EQ(ParseLeadingNumber("-42x"), -42);
    EXPECT_EQ(ParseLeadingNumber("+7"), 7);
    EXPECT_DOUBLE_EQ(ParseLeadingNumber("90.5"), 90.5);
    EXPECT_DOUBLE_EQ(ParseLeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseLeadingNumber("1."), 1.0);
    EXPECT_EQ(ParseLeadingNumber("1.2.3"), 1.2);
}

TEST(ParseLeadingNumber, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(ParseLeadingNumber("1 2\t3\n4"), 1234);
    EXPECT_EQ(ParseLeadingNumber(" \t- 5"), -5);
    EXPECT_EQ(ParseLeadingNumber("& H 1E"), 30);
}

TEST(ParseLeadingNumber, ReadsExponentsWithEOrD) {
    EXPECT_EQ(ParseLeadingNumber("1E3"), 1000);
    EXPECT_EQ(ParseLeadingNumber("1d3"), 1000);
    EXPECT_EQ(ParseLeadingNumber("25e-1"), 2.5);
    EXPECT_EQ(ParseLeadingNumber("7e"), 7);
    EXPECT_EQ(ParseLeadingNumber("7e+"), 7);
    EXPECT_EQ(ParseLeadingNumber("1e-999"), 0);
    EXPECT_TRUE(std::isinf(ParseLeadingNumber("1e999")));
}

TEST(ParseLeadingNumber, ReadsHexAndOctalPrefixes) {
    EXPECT_EQ(ParseLeadingNumber("&H1E"), 30);
    EXPECT_EQ(ParseLeadingNumber("&h1e"), 30);
    EXPECT_EQ(ParseLeadingNumber("&O17"), 15);
    EXPECT_EQ(ParseLeadingNumber("&o178"), 15);
    EXPECT_EQ(ParseLeadingNumber("&HG"), 0);
    EXPECT_EQ(ParseLeadingNumber("&X1"), 0);
}

TEST(RoundToInt32, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(RoundToInt32(90.5), 90);
    EXPECT_EQ(RoundToInt32(91.5), 92);
    EXPECT_EQ(RoundToInt32(45.5), 46);
    EXPECT_EQ(RoundToInt32(44.5), 44);
    EXPECT_EQ(RoundToInt32(-0.5), 0);
    EXPECT_EQ(RoundToInt32(-1.5), -2);
    EXPECT_EQ(RoundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(RoundToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_FALSE(RoundToInt32(2147483648.0));
    EXPECT_FALSE(RoundToInt32(ParseLeadingNumber("1e999")));
    EXPECT_FALSE(RoundToInt32(std::nan("")));
}
