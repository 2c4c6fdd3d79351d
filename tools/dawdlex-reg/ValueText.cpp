#include "ValueText.h"

#include "Text.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

namespace dawdlex::regtool {

namespace {

const std::array<std::pair<DWORD, const char*>, 12>& typeNames()
{
    static const std::array<std::pair<DWORD, const char*>, 12> names = {{
        {REG_NONE, "REG_NONE"},
        {REG_SZ, "REG_SZ"},
        {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
        {REG_BINARY, "REG_BINARY"},
        {REG_DWORD, "REG_DWORD"},
        {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
        {REG_LINK, "REG_LINK"},
        {REG_MULTI_SZ, "REG_MULTI_SZ"},
        {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
        {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
        {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
        {REG_QWORD, "REG_QWORD"},
    }};
    return names;
}

bool parseNumber(std::string_view text, unsigned long long max, unsigned long long& number)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && number <= max;
}

std::string littleEndian(unsigned long long number, int size)
{
    std::string out;
    for (int i = 0; i < size; ++i)
        out += static_cast<char>((number >> (8 * i)) & 0xFF);
    return out;
}

bool parseHexDigits(std::string_view text, std::string& data)
{
    if (text.size() % 2 != 0)
        return false;
    data.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (ec != std::errc() || end != text.data() + i + 2)
            return false;
        data += static_cast<char>(value);
    }
    return true;
}

bool encodeMultiString(std::string_view text, std::string_view separator, std::string& data,
                       std::string& error)
{
    data.clear();
    if (text.empty()) {
        data = std::string(1, '\0');
        return true;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = separator.empty() ? std::string_view::npos : text.find(separator, start);
        const std::string_view item = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (item.empty()) {
            error = "REG_MULTI_SZ data cannot hold an empty string: it would end the list early";
            return false;
        }
        data += item;
        data += '\0';
        if (end == std::string_view::npos)
            break;
        start = end + separator.size();
    }
    data += '\0';
    return true;
}

std::string hexUpper(std::string_view bytes)
{
    std::string out;
    char buffer[3];
    for (const char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned char>(c));
        out += buffer;
    }
    return out;
}

std::string withoutTerminator(std::string_view text)
{
    if (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace

std::string typeName(DWORD type)
{
    for (const auto& [code, name] : typeNames()) {
        if (code == type)
            return name;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "REG_0x%x", static_cast<unsigned>(type));
    return buffer;
}

std::optional<DWORD> parseTypeName(std::string_view name)
{
    const std::string upper = foldName(name);
    for (const DWORD type :
         {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE}) {
        if (upper == typeName(type))
            return type;
    }
    return std::nullopt;
}

bool encodeData(DWORD type, std::string_view text, std::string_view separator, std::string& data,
                std::string& error)
{
    unsigned long long number = 0;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        data = std::string(text) + '\0';
        return true;
    case REG_MULTI_SZ:
        return encodeMultiString(text, separator, data, error);
    case REG_DWORD:
        if (!parseNumber(text, 0xFFFFFFFFull, number)) {
            error = "REG_DWORD data must be a number from 0 to 4294967295 (or 0x0 to 0xffffffff)";
            return false;
        }
        data = littleEndian(number, 4);
        return true;
    case REG_QWORD:
        if (!parseNumber(text, ~0ull, number)) {
            error = "REG_QWORD data must be a number from 0 to 18446744073709551615 (or 0x0 to "
                    "0xffffffffffffffff)";
            return false;
        }
        data = littleEndian(number, 8);
        return true;
    default:
        if (!parseHexDigits(text, data)) {
            error = typeName(type) + " data must be an even number of hexadecimal digits, e.g. 0aff10";
            return false;
        }
        return true;
    }
}

std::string displayData(const RegValue& value)
{
    unsigned long long number = 0;
    char buffer[32];
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return withoutTerminator(value.data);
    case REG_MULTI_SZ: {
        std::string out = withoutTerminator(withoutTerminator(value.data));
        for (std::size_t pos = out.find('\0'); pos != std::string::npos; pos = out.find('\0', pos + 2))
            out.replace(pos, 1, "\\0");
        return out;
    }
    case REG_DWORD:
    case REG_QWORD:
        if (value.data.size() != (value.type == REG_DWORD ? 4u : 8u))
            return hexUpper(value.data);
        for (std::size_t i = value.data.size(); i > 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i - 1]);
        std::snprintf(buffer, sizeof buffer, "0x%llx", number);
        return buffer;
    default:
        return hexUpper(value.data);
    }
}

} // namespace dawdlex::regtool
