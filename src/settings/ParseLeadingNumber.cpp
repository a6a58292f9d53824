#include "ParseLeadingNumber.h"

#include <charconv>
#include <cmath>
#include <string>

#include "platform/AsciiCase.h"
#include "platform/HexDigit.h"

namespace {

bool IsIgnoredBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!IsIgnoredBlank(c)) out.push_back(c);
    return out;
}

int DigitValue(char c, int base) {
    const int v = platform::HexDigit(c);
    return v < base ? v : -1;
}

double ParseRadix(const std::string& s, std::size_t pos, int base) {
    double value = 0;
    for (; pos < s.size(); ++pos) {
        const int d = DigitValue(s[pos], base);
        if (d < 0) break;
        value = value * base + d;
    }
    return value;
}

// Copies the longest prefix that forms a decimal number, with "D" exponents
// turned into "E" so that strtod reads it.
std::string DecimalPrefix(const std::string& s) {
    std::size_t i = 0;
    std::string out;
    auto digits = [&] {
        bool any = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') out.push_back(s[i++]), any = true;
        return any;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
    bool mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        out.push_back(s[i++]);
        mantissa = digits() || mantissa;
    }
    if (!mantissa) return "0";
    if (i < s.size() && (platform::FoldCase(s[i]) == 'e' || platform::FoldCase(s[i]) == 'd')) {
        std::string exponent = "E";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent.push_back(s[j++]);
        const std::size_t firstDigit = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') exponent.push_back(s[j++]);
        if (j > firstDigit) out += exponent;
    }
    return out;
}

}  // namespace

double ParseLeadingNumber(std::string_view text) {
    const std::string s = WithoutBlanks(text);
    if (s.size() >= 2 && s[0] == '&') {
        if (platform::FoldCase(s[1]) == 'h') return ParseRadix(s, 2, 16);
        if (platform::FoldCase(s[1]) == 'o') return ParseRadix(s, 2, 8);
        return 0;
    }
    // from_chars ignores the process locale, which Qt sets from the environment.
    std::string number = DecimalPrefix(s);
    const char* first = number.c_str();
    if (*first == '+') ++first;
    double value = 0;
    const auto [end, error] = std::from_chars(first, number.c_str() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        if (number.find("E-") != std::string::npos) return 0.0;  // underflow
        return first[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    (void)end;
    return error == std::errc() ? value : 0.0;
}

std::optional<std::int32_t> RoundToInt32(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);  // default mode: halves to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}
