#include "RegFileWriter.h"

#include "Text.h"

#include <cstdio>

namespace dawdlex::regtool {

namespace {

constexpr std::size_t kLineWidth = 80;
constexpr const char* kLineEnd = "\r\n";

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out + '"';
}

bool writableAsQuotedText(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

std::string fileBytes(const RegValue& value)
{
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    return text ? utf16LeBytes(utf8ToUtf16(value.data)) : value.data;
}

std::string hexPrefix(DWORD type)
{
    if (type == REG_BINARY)
        return "hex:";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
    return buffer;
}

std::string wrappedHex(std::string line, const std::string& bytes)
{
    std::string out;
    bool lineHasData = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        char token[4];
        std::snprintf(token, sizeof token, last ? "%02x" : "%02x,", static_cast<unsigned char>(bytes[i]));
        // A line that goes on needs room for its trailing backslash.
        const std::size_t needed = line.size() + (last ? 2 : 4);
        if (lineHasData && needed > kLineWidth) {
            out += line + "\\" + kLineEnd;
            line = "  ";
        }
        line += token;
        lineHasData = true;
    }
    return out + line;
}

} // namespace

std::string formatValue(const RegValue& value)
{
    std::string line = value.name.empty() ? "@=" : quoted(value.name) + "=";
    if (value.type == REG_SZ && writableAsQuotedText(value.data))
        return line + quoted(value.data.substr(0, value.data.size() - 1));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return line + buffer;
    }
    return wrappedHex(line + hexPrefix(value.type), fileBytes(value));
}

bool formatRegFile(const std::vector<ExportedKey>& keys, std::string& text, std::string& error)
{
    text = "Windows Registry Editor Version 5.00";
    text += kLineEnd;
    text += kLineEnd;
    for (const ExportedKey& key : keys) {
        const std::string path = key.path.text();
        if (path.find_first_of("\r\n") != std::string::npos) {
            error = "the key name \"" + path + "\" holds a line break, which the file format cannot carry";
            return false;
        }
        text += "[" + path + "]" + kLineEnd;
        for (const RegValue& value : key.values)
            text += formatValue(value) + kLineEnd;
        text += kLineEnd;
    }
    return true;
}

std::string encodeRegFile(const std::string& text)
{
    return "\xFF\xFE" + utf16LeBytes(utf8ToUtf16(text));
}

} // namespace dawdlex::regtool
