// The program's text encoding: bytes from outside made valid UTF-8, and the
// fixed-width field functions counting characters, never bytes.
#include <gtest/gtest.h>

#include "platform/Utf8Text.h"

using platform::Utf8Text;

namespace {

TEST(Utf8Text, OutsideBytesBecomeValidTextWithControlCharactersBarred) {
    struct Case {
        std::string bytes, repaired, barred;
    };
    const Case cases[] = {
        {"Sales desk", "Sales desk", "Sales desk"},
        {"Sales desk \u2014 Z\u00FCrich", "Sales desk \u2014 Z\u00FCrich",
         "Sales desk \u2014 Z\u00FCrich"},
        {"\u96FB\u8A71 \U0001F4DE", "\u96FB\u8A71 \U0001F4DE", "\u96FB\u8A71 \U0001F4DE"},
        // Latin-1, as earlier builds wrote telephon.ini.
        {"Z\xFCrich", "Z\u00FCrich", "Z\u00FCrich"},
        // Sequences cut short, at the end and in the middle.
        {"Z\xC3", "Z\u00C3", "Z\u00C3"},
        {"\xE2\x80x", "\u00E2\u0080x", "\u00E2|x"},
        // Overlong, surrogate and beyond U+10FFFF: no UTF-8 at all.
        {"\xC0\xAF", "\u00C0\u00AF", "\u00C0\u00AF"},
        {"\xED\xA0\x80", "\u00ED\u00A0\u0080", "\u00ED\u00A0|"},
        {"\xF4\x90\x80\x80", "\u00F4\u0090\u0080\u0080", "\u00F4|||"},
        // C0, DEL and C1 (U+0085 in UTF-8).
        {std::string("a\0b\tc\r\n\x7F", 8), std::string("a\0b\tc\r\n\x7F", 8), "a|b|c|||"},
        {"x\xC2\x85y", "x\xC2\x85y", "x|y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8Text::Repaired(c.bytes), c.repaired) << c.bytes;
        EXPECT_EQ(Utf8Text::Barred(c.bytes), c.barred) << c.bytes;
        EXPECT_TRUE(Utf8Text::IsValid(c.repaired) && Utf8Text::IsValid(c.barred)) << c.bytes;
        EXPECT_EQ(Utf8Text::IsValid(c.bytes), c.bytes == c.repaired) << c.bytes;
    }
}

TEST(Utf8Text, FieldsCountPadAndCutByCharacters) {
    const std::string name = "Sales desk \u2014 Z\u00FCrich";  // 19 characters, 22 bytes
    EXPECT_EQ(Utf8Text::Length(name), 19u);
    EXPECT_EQ(Utf8Text::Length("\u96FB\u8A71\U0001F4DE"), 3u);
    const std::tuple<std::string, std::size_t, std::string> lefts[] = {
        {name, 12, "Sales desk \u2014"},
        {"Z\u00FCrich", 2, "Z\u00FC"},
        {"\u96FB\u8A71\u756A\u53F7", 3, "\u96FB\u8A71\u756A"},
        {"a\U0001F4DE", 1, "a"},
        {"ab", 5, "ab"},
        {"", 0, ""},
    };
    for (const auto& [text, count, left] : lefts) EXPECT_EQ(Utf8Text::Left(text, count), left);
    EXPECT_EQ(Utf8Text::Padded("Z\u00FC", 4), "Z\u00FC  ");
    EXPECT_EQ(Utf8Text::Padded(name, 3), name);
    // A byte budget (the hand-over buffer) ends between characters.
    const std::tuple<std::string, std::size_t, std::string> fits[] = {
        {"a\u00FC", 2, "a"},     {"a\u00FC", 3, "a\u00FC"},         {"\u96FB", 2, ""},
        {"a\U0001F4DE", 4, "a"}, {"a\U0001F4DE", 5, "a\U0001F4DE"}, {"ab", 1, "a"},
    };
    for (const auto& [text, bytes, fit] : fits) EXPECT_EQ(Utf8Text::FitBytes(text, bytes), fit);
}

}  // namespace
