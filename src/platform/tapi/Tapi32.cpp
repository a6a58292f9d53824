#include "Tapi32.h"

namespace platform {

DWORD ReadDword(const BYTE* buffer, DWORD size, DWORD offset) {
    if (buffer == nullptr || size < 4 || offset > size - 4) return 0;
    return static_cast<DWORD>(buffer[offset]) | static_cast<DWORD>(buffer[offset + 1]) << 8 |
           static_cast<DWORD>(buffer[offset + 2]) << 16 |
           static_cast<DWORD>(buffer[offset + 3]) << 24;
}

void WriteDword(BYTE* buffer, DWORD size, DWORD offset, DWORD value) {
    if (buffer == nullptr || size < 4 || offset > size - 4) return;
    for (int i = 0; i < 4; ++i) buffer[offset + i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace platform
