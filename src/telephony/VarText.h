#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Text fields cut out of the variable area of a telephony structure.
namespace vartext {

// The area as text, with NUL and every other control character (below 32)
// shown as "|", so a name or caller id can never break a list row or a log line.
std::string Barred(const std::uint8_t* area, std::size_t size);

// The forgiving substring: a start beyond the end gives "", a length running
// past the end is cut there; a negative start or length gives "".
std::string Cut(const std::string& text, std::int64_t start, std::int64_t length);

// The field at structure offset `offset` with byte count `size` (its NUL
// included) of a structure whose variable area starts at `fixedSize`.
std::string Field(const std::string& barredArea, std::uint32_t offset, std::uint32_t size,
                  std::uint32_t fixedSize);

}  // namespace vartext
