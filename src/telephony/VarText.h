#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Text fields cut out of the variable area of a telephony structure.
namespace vartext {

// The forgiving substring: a start beyond the end gives "", a length running
// past the end is cut there; a negative start or length gives "".
std::string_view Cut(std::string_view text, std::int64_t start, std::int64_t length);

// The field at structure offset `offset` with byte count `size` (its NUL
// included) of a structure whose variable area `area` starts at `fixedSize`,
// as valid UTF-8 with NUL and every other control character shown as "|", so
// a name or caller id can never break a list row or a log line. The bytes are
// cut first and decoded after, so a field's offsets are the service's bytes.
std::string Field(std::string_view area, std::uint32_t offset, std::uint32_t size,
                  std::uint32_t fixedSize);

}  // namespace vartext
