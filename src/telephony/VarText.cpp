#include "VarText.h"

#include "platform/Utf8Text.h"

namespace vartext {

std::string_view Cut(std::string_view text, std::int64_t start, std::int64_t length) {
    if (start < 0 || length < 0) return {};
    if (start >= static_cast<std::int64_t>(text.size())) return {};
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

std::string Field(std::string_view area, std::uint32_t offset, std::uint32_t size,
                  std::uint32_t fixedSize) {
    return platform::Utf8Text::Barred(
        Cut(area, std::int64_t{offset} - fixedSize, std::int64_t{size} - 1));
}

}  // namespace vartext
