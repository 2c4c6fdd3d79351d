#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dawdlex {

// The text-to-number rules every caller shares: the strict whole-number conversion used for timer intervals
// and stored check-box values, the lenient reading used by the delay boxes and the stored icon index, and
// the delay correction built on it. Pure functions; nothing here knows a window.

// The number the whole text spells, apart from leading and trailing blanks and tabs: an optional sign,
// digits with at most one point, an optional exponent (E or D). No result for anything else.
std::optional<double> readDecimal(std::string_view text);

// readDecimal rounded half to even. No result when the text is not a decimal number or the rounded value
// does not fit the type.
std::optional<std::int32_t> toWhole32(std::string_view text);
std::optional<std::int16_t> toWhole16(std::string_view text);

// The number at the start of the text, with blanks, tabs and line feeds ignored wherever they stand; 0 when
// the text does not start with a number. Never fails; a huge exponent reads as an infinity of its sign.
double readLenient(std::string_view text);

// readLenient rounded half to even; no result when that does not fit 16 bits.
std::optional<std::int16_t> toLenientWhole16(std::string_view text);

// The bounds a phase delay is kept within, in milliseconds.
inline constexpr std::int32_t kMinDelay = 1;
inline constexpr std::int32_t kMaxDelay = 50000;

// The text a delay box must hold instead of `text`: "1" for an empty text or one reading below 1, "50000"
// for one reading above 50000, and no result when the text may stay.
std::optional<std::string> correctedDelay(std::string_view text);

// The timer interval a delay text stands for: its whole-number conversion when it has one, else its lenient
// reading rounded half to even (texts such as "5abc" that the correction lets through), always clamped to
// kMinDelay..kMaxDelay so that no text can stop or flood the timer.
std::int32_t delayInterval(std::string_view text);

} // namespace dawdlex
