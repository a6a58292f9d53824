#include <gtest/gtest.h>

#include <cmath>

#include "settings/ParseLeadingNumber.h"

// Leading number up to the first stranger; blanks, tabs and line feeds are
// ignored anywhere; exponents with E or D; &H and &O prefixes.
TEST(ParseLeadingNumber, ReadsWhatTheSettingsFileAndTheBoxesHold) {
    const std::vector<std::pair<const char*, double>> cases = {
        {"720", 720},  {" 1", 1},      {"12abc", 12},       {"abc", 0},     {"", 0},
        {"-", 0},      {"-42x", -42},  {"+7", 7},           {"90.5", 90.5}, {".5", 0.5},
        {"1.", 1},     {"1.2.3", 1.2}, {"1 2\t3\n4", 1234}, {" \t- 5", -5}, {"& H 1E", 30},
        {"1E3", 1000}, {"1d3", 1000},  {"25e-1", 2.5},      {"7e", 7},      {"7e+", 7},
        {"1e-999", 0}, {"&H1E", 30},   {"&h1e", 30},        {"&O17", 15},   {"&o178", 15},
        {"&HG", 0},    {"&X1", 0}};
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(ParseLeadingNumber(text), value) << text;
    EXPECT_TRUE(std::isinf(ParseLeadingNumber("1e999")));
}

TEST(RoundToInt32, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
    const std::vector<std::pair<double, int>> cases = {{90.5, 90},
                                                       {91.5, 92},
                                                       {45.5, 46},
                                                       {44.5, 44},
                                                       {-0.5, 0},
                                                       {-1.5, -2},
                                                       {2147483647.0, 2147483647},
                                                       {-2147483648.0, -2147483647 - 1}};
    for (const auto& [number, rounded] : cases) EXPECT_EQ(RoundToInt32(number), rounded) << number;
    for (double refused : {2147483648.0, ParseLeadingNumber("1e999"), std::nan("")})
        EXPECT_FALSE(RoundToInt32(refused)) << refused;
}
