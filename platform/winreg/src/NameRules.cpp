#include "NameRules.h"

#include "winreg_names.h"

#include <cstring>

namespace dawdlex::winreg {

namespace {

// One-to-one upper-casing of the case pairs of the scripts names are realistically written in; other
// characters compare as they are. The mapping must never change: folded names are stored.
char32_t upper(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    // Latin Extended-A: pairs of upper then lower, with runs that pair odd then even.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c % 2 == 1) ? c - 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c % 2 == 0) ? c - 1 : c;
    // Greek.
    if (c == 0x3C2)
        return 0x3A3;
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB))
        return c - 0x20;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 0x25;
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return c - 0x3F;
    // Cyrillic.
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0x4C1 && c <= 0x4CE)
        return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x4CF)
        return 0x4C0;
    // Armenian.
    if (c >= 0x561 && c <= 0x586)
        return c - 0x30;
    // Latin Extended Additional; fullwidth Latin.
    if (c >= 0x1E00 && c <= 0x1E95)
        return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0xFF41 && c <= 0xFF5A)
        return c - 0x20;
    return c;
}

} // namespace

std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(pos + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(pos + k) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return 0;
    codePoint = c;
    return length;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

std::string foldName(std::string_view name)
{
    // Most names are ASCII: upper-case the leading ASCII run in place and decode only what follows it.
    std::string out(name);
    std::size_t i = 0;
    for (; i < out.size() && static_cast<unsigned char>(out[i]) < 0x80; ++i) {
        if (out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - 0x20);
    }
    if (i == out.size())
        return out;
    out.resize(i);
    while (i < name.size()) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(name, i, c);
        if (length == 0) {
            out += name[i];
            ++i;
            continue;
        }
        appendUtf8(out, upper(c));
        i += length;
    }
    return out;
}

LSTATUS NameRules::splitPath(const char* path, std::vector<std::string>& names)
{
    names.clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    if (*path == '\\')
        return ERROR_BAD_PATHNAME;
    const std::string_view text(path);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\\', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end - start > maxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (end > start)
            names.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

LSTATUS NameRules::checkValueName(const char* name)
{
    if (!name)
        return ERROR_SUCCESS;
    return std::strlen(name) > maxValueNameLength ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

} // namespace dawdlex::winreg
