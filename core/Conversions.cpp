#include "Conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace dawdlex {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLenientBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isEdgeBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Reads the number at the start of `text` (already free of blanks) into a form strtod accepts, and returns
// how many characters it used; 0 when the text does not start with a number.
std::size_t scanNumber(std::string_view text, std::string& normalized)
{
    std::size_t i = 0;
    normalized.clear();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        normalized += text[i++];
    }
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            ++digits;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        normalized += text[i];
    }
    if (digits == 0) {
        normalized.clear();
        return 0;
    }
    // An exponent counts only when digits follow its letter and optional sign.
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent += text[j++];
        }
        const std::size_t firstDigit = j;
        while (j < text.size() && isDigit(text[j])) {
            exponent += text[j++];
        }
        if (j > firstDigit) {
            normalized += exponent;
            i = j;
        }
    }
    return i;
}

// Whether normalized digits ("[digits][.digits][e[sign]digits]", no sign in front) that do not fit a double
// stand for a number too large, rather than too small, for one.
bool isTooLarge(std::string_view digits)
{
    const std::size_t e = std::min(digits.find('e'), digits.size());
    const std::string_view mantissa = digits.substr(0, e);
    const std::size_t first = mantissa.find_first_not_of("0.");
    if (first == std::string_view::npos) {
        return false; // zero, however long its exponent
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    // The power of ten just above the leading digit, before the exponent.
    long long order =
        first < point ? static_cast<long long>(point - first) : -static_cast<long long>(first - point - 1);
    long long exponent = 0;
    bool negative = false;
    for (char c : digits.substr(std::min(e + 1, digits.size()))) {
        if (c == '-') {
            negative = true;
        } else if (isDigit(c)) {
            exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL); // far beyond any double
        }
    }
    order += negative ? -exponent : exponent;
    return order > 0;
}

// Locale-independent on purpose: the program's locale may use a comma as its decimal sign.
double toDouble(const std::string& normalized)
{
    std::string_view digits = normalized;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        digits.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves `value` alone then: too small reads as zero, too large as an infinity.
        value = isTooLarge(digits) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

template <typename Int> std::optional<Int> roundToType(double value)
{
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(value); // the default rounding mode sends halves to the even side
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
        return std::nullopt;
    }
    return static_cast<Int>(rounded);
}

} // namespace

std::optional<double> readDecimal(std::string_view text)
{
    while (!text.empty() && isEdgeBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isEdgeBlank(text.back())) {
        text.remove_suffix(1);
    }
    std::string normalized;
    const std::size_t used = scanNumber(text, normalized);
    if (used == 0 || used != text.size()) {
        return std::nullopt;
    }
    return toDouble(normalized);
}

std::optional<std::int32_t> toWhole32(std::string_view text)
{
    const auto value = readDecimal(text);
    return value ? roundToType<std::int32_t>(*value) : std::nullopt;
}

std::optional<std::int16_t> toWhole16(std::string_view text)
{
    const auto value = readDecimal(text);
    return value ? roundToType<std::int16_t>(*value) : std::nullopt;
}

double readLenient(std::string_view text)
{
    std::string compact;
    compact.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(compact),
                 [](char c) { return !isLenientBlank(c); });
    std::string normalized;
    if (scanNumber(compact, normalized) == 0) {
        return 0.0;
    }
    return toDouble(normalized);
}

std::optional<std::int16_t> toLenientWhole16(std::string_view text)
{
    return roundToType<std::int16_t>(readLenient(text));
}

std::optional<std::string> correctedDelay(std::string_view text)
{
    const double value = readLenient(text);
    if (text.empty() || value < kMinDelay) {
        return std::to_string(kMinDelay);
    }
    if (value > kMaxDelay) {
        return std::to_string(kMaxDelay);
    }
    return std::nullopt;
}

std::int32_t delayInterval(std::string_view text)
{
    auto interval = toWhole32(text);
    if (!interval) {
        const double lenient = std::clamp(readLenient(text), double(kMinDelay), double(kMaxDelay));
        interval = static_cast<std::int32_t>(std::nearbyint(lenient));
    }
    return std::clamp(*interval, kMinDelay, kMaxDelay);
}

} // namespace dawdlex
