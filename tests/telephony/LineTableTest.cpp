#include <gtest/gtest.h>

#include <random>

#include "telephony/LineTable.h"

namespace {

std::vector<std::size_t> Watched(const std::string& lines, std::size_t devices) {
    std::vector<std::size_t> out;
    const auto set = LineTable::WatchedDevices(lines, devices);
    for (std::size_t d = 0; d < devices; ++d)
        if (set[d]) out.push_back(d + 1);
    return out;
}

using Lines = std::vector<std::size_t>;

TEST(WatchedLineRule, EveryEntryNeedsAFollowingCommaAndAnExactNumber) {
    const std::vector<std::tuple<const char*, std::size_t, Lines>> cases = {
        {"2,5,", 7, {2, 5}},  {"5,2,", 7, {2, 5}},
        {"1,2,3", 7, {1, 2}}, {"12,3,", 12, {3, 12}},
        {"2,", 1, {}},        {"1, 2,", 3, {1}},
        {"02,3,", 3, {3}},    {"1-4,", 5, {}},
        {"0,1,1,1,", 3, {1}}, {"", 3, {}},
        {",,3,", 3, {3}},     {"99999999999999999999999,2,", 3, {2}}};
    for (const auto& [lines, devices, watched] : cases)
        EXPECT_EQ(Watched(lines, devices), watched) << lines;
    // All lines: every device with a final comma.
    EXPECT_EQ(LineTable::AllLines(3), "1,2,3,");
    EXPECT_EQ(LineTable::AllLines(0), "");
    EXPECT_EQ(Watched(LineTable::AllLines(300), 300).size(), 300u);
}

// The one-pass form must agree with the literal rule on any text.
TEST(WatchedLineRule, OnePassAgreesWithTheLiteralRuleOnRandomTexts) {
    std::mt19937 random(7);
    const std::string alphabet = "0123456789,, -";
    for (int round = 0; round < 3000; ++round) {
        std::string lines;
        const int length = random() % 20;
        for (int i = 0; i < length; ++i) lines += alphabet[random() % alphabet.size()];
        const auto fast = LineTable::WatchedDevices(lines, 120);
        for (std::size_t d = 0; d < 120; ++d)
            ASSERT_EQ(fast[d], LineTable::IsWatched(lines, d)) << lines << " device " << d;
    }
}

std::string Times(int n, const std::string& character) {
    std::string text;
    for (int i = 0; i < n; ++i) text += character;
    return text;
}

TEST(LineNameField, IsTwentyTwoCharactersWithTheCommaAfterTheName) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Sales", "Sales," + std::string(16, ' ')},
        {std::string(21, 'a'), std::string(21, 'a') + ","},
        {std::string(22, 'b'), std::string(21, 'b') + ","},
        {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstu,"},
        {"", "," + std::string(21, ' ')},
        // Characters, not bytes: UTF-8 names are padded and cut alike.
        {"Sales desk \u2014 Z\u00FCrich", "Sales desk \u2014 Z\u00FCrich,  "},
        {Times(21, "\u00FC"), Times(21, "\u00FC") + ","},
        {Times(25, "\u96FB"), Times(21, "\u96FB") + ","},
        {Times(20, "a") + "\U0001F4DE\U0001F4DE", Times(20, "a") + "\U0001F4DE,"}};
    for (const auto& [name, field] : cases) EXPECT_EQ(LineTable::NameField(name), field) << name;
    EXPECT_EQ(LineTable::NameField(std::nullopt), "Name Not Available");
}

TEST(LineTableReset, HoldsOneEntryMoreThanThereAreDevicesAllCleared) {
    LineTable table;
    table.Reset(2);
    table.lineAlarm[1] = "Alarm";
    table.totalTimeOnline[1] = 30;
    table.Reset(3);
    EXPECT_EQ(std::tuple(table.Size(), table.lineAlarm[1], table.totalTimeOnline[1]),
              std::tuple(4u, "", 0));
}

}  // namespace
