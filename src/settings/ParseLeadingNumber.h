#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// The one conversion from text to number: blanks, tabs and line feeds are
// ignored anywhere; "&H" and "&O" introduce hexadecimal and octal integers;
// otherwise sign, digits, fraction and exponent ("E" or "D") are read up to
// the first character that cannot continue the number. No number gives 0.
double ParseLeadingNumber(std::string_view text);

// Rounded to the nearest integer, halves to the even neighbour; nothing when
// the value does not fit a signed 32-bit integer (or is not finite).
std::optional<std::int32_t> RoundToInt32(double value);
