#include "Text.h"

#include <winreg_names.h>

#include <array>

namespace dawdlex::regtool {

using winreg::appendUtf8;
using winreg::decodeUtf8;

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code points that Windows-1252 puts at 0x80..0x9F; 0 where it defines none.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(utf8, pos, cp);
        if (length == 0) {
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(utf8[pos]));
            ++pos;
            continue;
        }
        pos += length;
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
            continue;
        }
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00));
            ++i;
        } else if (low && unit >= 0xDC80 && unit <= 0xDCFF) {
            out += static_cast<char>(unit - 0xDC00);
        } else if (high || low) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::string utf16LeBytes(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

std::u16string utf16LeFromBytes(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(text, pos, cp);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string windows1252ToUtf8(std::string_view ansi)
{
    std::string out;
    out.reserve(ansi.size());
    for (const char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        char32_t cp = b;
        if (b >= 0x80 && b <= 0x9F && kWindows1252High[b - 0x80] != 0)
            cp = kWindows1252High[b - 0x80];
        appendUtf8(out, cp);
    }
    return out;
}

bool decodeRegFileBytes(std::string_view bytes, std::string& text, FileEncoding& encoding, std::string& error)
{
    const bool utf16Mark = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    const bool utf16Guess =
        bytes.size() >= 2 && bytes[0] != 0 && static_cast<unsigned char>(bytes[0]) < 0x80 && bytes[1] == 0;
    if (utf16Mark || utf16Guess) {
        const std::string_view body = bytes.substr(utf16Mark ? 2 : 0);
        if (body.size() % 2 != 0) {
            error = "the file ends in the middle of a UTF-16 character";
            return false;
        }
        encoding = FileEncoding::Utf16Le;
        text = utf16ToUtf8(utf16LeFromBytes(body));
        return true;
    }
    std::string_view body = bytes;
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    if (isValidUtf8(body)) {
        encoding = FileEncoding::Utf8;
        text = std::string(body);
        return true;
    }
    encoding = FileEncoding::Ansi;
    text = windows1252ToUtf8(body);
    return true;
}

} // namespace dawdlex::regtool
