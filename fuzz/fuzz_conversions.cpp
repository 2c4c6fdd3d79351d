// The text-to-number rules on any bytes: nothing crashes, the lenient reading always gives a number, the
// strict reading agrees with the C library's where both read the text, and every whole-number conversion
// either fails or is the reading rounded half to even and within its type.
#include "Conversions.h"
#include "Require.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

using namespace dawdlex;

namespace {

template <typename Int> void checkWhole(std::optional<Int> whole, std::optional<double> reading)
{
    const double rounded = reading ? std::nearbyint(*reading) : NAN;
    const bool fits = rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
                      rounded <= static_cast<double>(std::numeric_limits<Int>::max());
    require(whole.has_value() == fits && (!whole || static_cast<double>(*whole) == rounded));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double lenient = readLenient(text);
    const std::optional<double> decimal = readDecimal(text);
    require(!std::isnan(lenient) && !(decimal && std::isnan(*decimal)));
    if (decimal) {
        // A text that is a number as a whole starts with that number, and the C library reads it the
        // same once edge blanks are trimmed and D exponents made E (denormals may round differently).
        require(lenient == *decimal);
        std::string plain = text.substr(0, text.find_last_not_of(" \t") + 1);
        for (char& c : plain)
            c = (c == 'D' || c == 'd') ? 'e' : c;
        char* end = nullptr;
        const double reference = std::strtod(plain.c_str(), &end);
        require(*end == '\0' &&
                (*decimal == reference || (reference != 0.0 && std::fabs(reference) < DBL_MIN)));
    }
    checkWhole(toWhole32(text), decimal);
    checkWhole(toWhole16(text), decimal);
    checkWhole(toLenientWhole16(text), std::optional<double>(lenient));
    // The correction is needed exactly when the reading is out of bounds, and then is the nearer bound.
    const bool below = text.empty() || lenient < kMinDelay;
    const bool above = !below && lenient > kMaxDelay;
    const std::optional<std::string> corrected = correctedDelay(text);
    require(corrected.has_value() == (below || above) &&
            (!corrected || *corrected == (below ? "1" : "50000")));
    const std::int32_t interval = delayInterval(text);
    require(interval >= kMinDelay && interval <= kMaxDelay);
    return 0;
}
