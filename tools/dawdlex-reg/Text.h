// Text conversions for .reg files: UTF-8 (the store's texts), UTF-16LE (the files Windows writes) and the
// Windows ANSI code page of older files.
//
// The store may hold bytes that are not valid UTF-8. They survive a trip through UTF-16 because each such
// byte becomes the lone surrogate U+DC80..U+DCFF and turns back into the same byte.
#pragma once

#include <winreg_names.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace dawdlex::regtool {

// Converts UTF-8 to UTF-16; each byte that does not start a valid sequence becomes U+DC00 + byte.
std::u16string utf8ToUtf16(std::string_view utf8);

// Converts UTF-16 to UTF-8; a lone U+DC80..U+DCFF becomes its byte again, any other lone surrogate U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

// Little-endian bytes of `text`, and back. An odd trailing byte of `bytes` is ignored by the caller's choice:
// utf16LeFromBytes reads whole units only.
std::string utf16LeBytes(std::u16string_view text);
std::u16string utf16LeFromBytes(std::string_view bytes);

bool isValidUtf8(std::string_view text);

// Windows-1252 to UTF-8 (the five code points that code page leaves undefined map to U+0080-style C1 codes).
std::string windows1252ToUtf8(std::string_view ansi);

// Names are compared the way the store compares them, with the store's own folding.
using winreg::foldName;

enum class FileEncoding
{
    Utf16Le,
    Utf8,
    Ansi
};

// Decodes the bytes of a .reg file into UTF-8 text: UTF-16LE when it starts with its byte-order mark or
// looks like UTF-16LE (an ASCII character followed by a zero byte); UTF-8 when it has the UTF-8 mark or is
// valid UTF-8; Windows-1252 otherwise. Returns false, with `error` set, on a truncated UTF-16 file.
[[nodiscard]] bool decodeRegFileBytes(std::string_view bytes, std::string& text, FileEncoding& encoding,
                                      std::string& error);

} // namespace dawdlex::regtool
