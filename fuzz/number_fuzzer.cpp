// ParseLeadingNumber over any text a settings file or the Options dialog can
// hold, and the rounding every integer setting goes through.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/ParseLeadingNumber.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = ParseLeadingNumber(text);
    if (std::isnan(value)) std::abort();  // no text reads as "not a number"
    const auto rounded = RoundToInt32(value);
    if (rounded) {
        // Within half a unit of the value, and a value that fits gives one.
        if (std::fabs(static_cast<double>(*rounded) - value) > 0.5) std::abort();
    } else if (std::isfinite(value) && value >= -2147483648.0 && value <= 2147483647.0) {
        std::abort();
    }
    return 0;
}
