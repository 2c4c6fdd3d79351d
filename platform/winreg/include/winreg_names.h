// How the store compares names, the UTF-8 decoding it rests on and the limits of names, for code that
// must agree with the store exactly (the registry tool matches and spells names the way the store does).
// Linux only: on Windows the registry is the system's own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dawdlex::winreg {

// The longest names the store takes, in bytes (the characters of the *A calls).
inline constexpr std::size_t maxKeyNameLength = 255;
inline constexpr std::size_t maxValueNameLength = 16383;
// Roots are at depth 0; a key may sit at most this many levels below its root.
inline constexpr int maxKeyDepth = 512;

// The length of the valid UTF-8 sequence at text[pos] (1 for ASCII), with its code point in codePoint; 0
// when the byte there starts none (a stray continuation byte, an overlong form, a surrogate, a code point
// past U+10FFFF, a sequence cut short).
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint);

// Appends the UTF-8 form of a code point up to U+10FFFF.
void appendUtf8(std::string& out, char32_t codePoint);

// The form under which the store compares and sorts names: each character upper-cased by the store's own
// fixed table (bytes that are not valid UTF-8 stand for themselves). Two names are the same name exactly
// when their folded forms are equal. The table never changes, since folded names are stored.
std::string foldName(std::string_view name);

} // namespace dawdlex::winreg
