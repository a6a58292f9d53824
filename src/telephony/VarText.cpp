#include "VarText.h"

namespace vartext {

std::string Barred(const std::uint8_t* area, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(area), size);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32) c = '|';
    return text;
}

std::string Cut(const std::string& text, std::int64_t start, std::int64_t length) {
    if (start < 0 || length < 0) return {};
    if (start >= static_cast<std::int64_t>(text.size())) return {};
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

std::string Field(const std::string& barredArea, std::uint32_t offset, std::uint32_t size,
                  std::uint32_t fixedSize) {
    return Cut(barredArea, std::int64_t{offset} - fixedSize, std::int64_t{size} - 1);
}

}  // namespace vartext
