// The text-to-number rules on any bytes: nothing crashes, the lenient reading always gives a number, the
// strict reading agrees with the C library's where both read the text, and every whole-number conversion
// either fails or is the reading rounded half to even and within its type.
#include "Conversions.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

using namespace dawdlex;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

template <typename Int> void checkWhole(std::optional<Int> whole, std::optional<double> reading)
{
    if (!reading || !std::isfinite(*reading)) {
        require(!whole);
        return;
    }
    const double rounded = std::nearbyint(*reading);
    const bool fits = rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
                      rounded <= static_cast<double>(std::numeric_limits<Int>::max());
    require(whole.has_value() == fits);
    if (whole)
        require(static_cast<double>(*whole) == rounded);
}

// The C library's reading of a text readDecimal accepted: edge blanks trimmed, D exponents made E.
void checkAgainstStrtod(std::string_view text, double reading)
{
    std::string plain(text);
    while (!plain.empty() && (plain.back() == ' ' || plain.back() == '\t'))
        plain.pop_back();
    for (char& c : plain) {
        if (c == 'D' || c == 'd')
            c = 'e';
    }
    char* end = nullptr;
    const double reference = std::strtod(plain.c_str(), &end);
    require(*end == '\0');
    // Below the normal range the two may round a denormal differently; above it both say infinity.
    if (std::fabs(reference) != 0.0 && std::fabs(reference) < DBL_MIN)
        return;
    require(reading == reference);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const double lenient = readLenient(text);
    require(!std::isnan(lenient));
    const std::optional<double> decimal = readDecimal(text);
    if (decimal) {
        require(!std::isnan(*decimal));
        checkAgainstStrtod(text, *decimal);
        // A text that is a number as a whole starts with that number.
        require(lenient == *decimal);
    }
    checkWhole(toWhole32(text), decimal);
    checkWhole(toWhole16(text), decimal);
    checkWhole(toLenientWhole16(text), std::optional<double>(lenient));

    const std::optional<std::string> corrected = correctedDelay(text);
    // The correction is needed exactly when the reading is out of bounds, and then is the nearer bound.
    const bool below = text.empty() || lenient < kMinDelay;
    const bool above = !below && lenient > kMaxDelay;
    require(corrected.has_value() == (below || above));
    if (corrected)
        require(*corrected == (below ? "1" : "50000"));
    const std::int32_t interval = delayInterval(text);
    require(interval >= kMinDelay && interval <= kMaxDelay);
    return 0;
}
