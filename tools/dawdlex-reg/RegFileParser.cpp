#include "RegFileParser.h"

#include "Text.h"

#include <cctype>
#include <optional>
#include <utility>

namespace dawdlex::regtool {

namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    }
    return true;
}

// Whitespace and an optional comment: all that may follow the data on a line.
bool onlyTrailer(std::string_view rest)
{
    rest = trimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

struct PhysicalLine
{
    std::string_view text;
    std::size_t number;
};

std::vector<PhysicalLine> splitLines(std::string_view text)
{
    std::vector<PhysicalLine> lines;
    std::size_t number = 1;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back({text.substr(start), number});
            break;
        }
        lines.push_back({text.substr(start, end - start), number++});
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

// One value line with its continuation lines joined, remembering where each piece came from.
struct LogicalLine
{
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> pieces; // (offset in text, physical line number)

    std::size_t lineAt(std::size_t offset) const
    {
        std::size_t line = pieces.front().second;
        for (const auto& [start, number] : pieces) {
            if (start <= offset)
                line = number;
        }
        return line;
    }
};

class Parser
{
public:
    Parser(std::vector<RegOperation>& operations, RegFileError& error)
        : m_operations(operations), m_error(error)
    {}

    bool parse(std::string_view text)
    {
        const std::vector<PhysicalLine> lines = splitLines(text);
        std::size_t index = 0;
        if (!readHeader(lines, index))
            return false;
        while (index < lines.size()) {
            const std::string_view line = trimLeft(lines[index].text);
            const std::size_t number = lines[index].number;
            ++index;
            if (trimRight(line).empty() || line.front() == ';')
                continue;
            if (line.front() == '[') {
                if (!parseKeyLine(trimRight(line), number))
                    return false;
                continue;
            }
            if (line.front() == '"' || line.front() == '@') {
                if (!parseValueLine(joinContinuations(line, number, lines, index)))
                    return false;
                continue;
            }
            return fail(number, "unrecognised line (expected [key], \"name\"=data, @=data or a ; comment)");
        }
        return true;
    }

private:
    bool fail(std::size_t line, std::string message)
    {
        m_error.line = line;
        m_error.message = std::move(message);
        return false;
    }

    bool readHeader(const std::vector<PhysicalLine>& lines, std::size_t& index)
    {
        while (index < lines.size() && trimRight(trimLeft(lines[index].text)).empty())
            ++index;
        if (index == lines.size())
            return fail(0, "the file is empty");
        const std::string_view header = trimRight(trimLeft(lines[index].text));
        m_version5 = header == kVersion5Header;
        if (!m_version5 && header != kRegedit4Header) {
            return fail(lines[index].number, "not a registry file: the first line must be \"" +
                                                 std::string(kVersion5Header) + "\" or \"" +
                                                 std::string(kRegedit4Header) + "\"");
        }
        ++index;
        return true;
    }

    static LogicalLine joinContinuations(std::string_view first, std::size_t number,
                                         const std::vector<PhysicalLine>& lines, std::size_t& index)
    {
        LogicalLine logical;
        logical.pieces.emplace_back(0, number);
        std::string_view piece = trimRight(first);
        while (!piece.empty() && piece.back() == '\\' && index < lines.size()) {
            piece.remove_suffix(1);
            logical.text += piece;
            piece = trimRight(trimLeft(lines[index].text));
            logical.pieces.emplace_back(logical.text.size(), lines[index].number);
            ++index;
        }
        logical.text += piece;
        return logical;
    }

    bool parseKeyLine(std::string_view line, std::size_t number)
    {
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos)
            return fail(number, "missing ']' at the end of the key name");
        if (!onlyTrailer(line.substr(close + 1)))
            return fail(number, "unexpected text after ']'");
        std::string_view name = line.substr(1, close - 1);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove)
            name.remove_prefix(1);
        RegistryPath path;
        std::string problem;
        if (!parseRegistryPath(name, path, problem))
            return fail(number, problem);
        problem = checkKeyLimits(path);
        if (!problem.empty())
            return fail(number, problem);
        if (remove && path.isRoot())
            return fail(number, "a root key cannot be deleted");
        m_key = path;
        m_keyDeleted = remove;
        RegOperation operation;
        operation.kind = remove ? RegOperation::Kind::DeleteKey : RegOperation::Kind::CreateKey;
        operation.key = path;
        operation.line = number;
        m_operations.push_back(std::move(operation));
        return true;
    }

    // Reads a quoted text starting at `pos` (on the opening quote); leaves `pos` after the closing quote.
    bool readQuoted(const LogicalLine& line, std::size_t& pos, std::string& out)
    {
        const std::string& s = line.text;
        const std::size_t open = pos++;
        while (pos < s.size()) {
            const char c = s[pos++];
            if (c == '"')
                return true;
            if (c != '\\' || pos == s.size()) {
                out += c;
                continue;
            }
            const char next = s[pos++];
            switch (next) {
            case '\\':
            case '"':
                out += next;
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default: // unknown escapes stay as written
                out += '\\';
                out += next;
            }
        }
        return fail(line.lineAt(open), "unterminated string (a closing '\"' is missing)");
    }

    bool parseValueLine(const LogicalLine& line)
    {
        const std::size_t number = line.lineAt(0);
        if (m_key.root == nullptr)
            return fail(number, "a value comes before any [key] line");
        if (m_keyDeleted)
            return fail(number, "a value follows a [-key] line, which deletes its key");
        const std::string& s = line.text;
        std::size_t pos = 0;
        RegOperation operation;
        operation.key = m_key;
        operation.line = number;
        if (s[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, operation.value.name)) {
            return false;
        }
        const std::string problem = checkValueNameLimit(operation.value.name);
        if (!problem.empty())
            return fail(number, problem);
        // As with key paths: the registry calls would cut the name at the NUL and set another value.
        if (operation.value.name.find('\0') != std::string::npos)
            return fail(number, "a value name cannot contain a NUL character");
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        if (pos == s.size() || s[pos] != '=')
            return fail(line.lineAt(pos), "'=' expected after the value name");
        ++pos;
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
        if (!parseData(line, pos, operation))
            return false;
        m_operations.push_back(std::move(operation));
        return true;
    }

    bool parseData(const LogicalLine& line, std::size_t pos, RegOperation& operation)
    {
        const std::string_view rest = std::string_view(line.text).substr(pos);
        operation.kind = RegOperation::Kind::SetValue;
        if (!rest.empty() && rest.front() == '-' && onlyTrailer(rest.substr(1))) {
            operation.kind = RegOperation::Kind::DeleteValue;
            return true;
        }
        if (!rest.empty() && rest.front() == '"') {
            operation.value.type = REG_SZ;
            if (!readQuoted(line, pos, operation.value.data))
                return false;
            operation.value.data += '\0';
            if (!onlyTrailer(std::string_view(line.text).substr(pos)))
                return fail(line.lineAt(pos), "unexpected text after the closing '\"'");
            return true;
        }
        if (startsWithNoCase(rest, "dword:"))
            return parseDword(line, pos + 6, operation.value);
        if (startsWithNoCase(rest, "hex:")) {
            operation.value.type = REG_BINARY;
            return parseHexBytes(line, pos + 4, operation.value);
        }
        if (startsWithNoCase(rest, "hex(")) {
            const std::size_t close = rest.find("):");
            std::optional<DWORD> type =
                close == std::string_view::npos ? std::nullopt : readHexNumber(rest.substr(4, close - 4));
            if (!type)
                return fail(line.lineAt(pos), "bad type in hex(N): N must be 1 to 8 hexadecimal digits");
            operation.value.type = *type;
            return parseHexBytes(line, pos + close + 2, operation.value);
        }
        return fail(line.lineAt(pos),
                    "unrecognised value data (expected \"text\", dword:, hex:, hex(N): or -)");
    }

    static std::optional<DWORD> readHexNumber(std::string_view digits)
    {
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        DWORD number = 0;
        for (const char c : digits) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            number = (number << 4) | static_cast<DWORD>(digit);
        }
        return number;
    }

    bool parseDword(const LogicalLine& line, std::size_t pos, RegValue& value)
    {
        const std::string_view rest = std::string_view(line.text).substr(pos);
        std::size_t length = 0;
        while (length < rest.size() && hexDigit(rest[length]) >= 0)
            ++length;
        const std::optional<DWORD> number = readHexNumber(rest.substr(0, length));
        if (!number || !onlyTrailer(rest.substr(length)))
            return fail(line.lineAt(pos), "bad dword: expected 1 to 8 hexadecimal digits");
        value.type = REG_DWORD;
        value.data.assign(4, '\0');
        for (int i = 0; i < 4; ++i)
            value.data[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
        return true;
    }

    bool parseHexBytes(const LogicalLine& line, std::size_t pos, RegValue& value)
    {
        const std::string& s = line.text;
        std::string bytes;
        while (true) {
            while (pos < s.size() && isBlank(s[pos]))
                ++pos;
            if (pos == s.size() || s[pos] == ';')
                break;
            const std::size_t start = pos;
            while (pos < s.size() && hexDigit(s[pos]) >= 0)
                ++pos;
            if (pos == start || pos - start > 2)
                return fail(line.lineAt(start), "bad hex data: expected bytes of two hexadecimal digits "
                                                "separated by commas");
            bytes += static_cast<char>(*readHexNumber(std::string_view(s).substr(start, pos - start)));
            while (pos < s.size() && isBlank(s[pos]))
                ++pos;
            if (pos == s.size() || s[pos] == ';')
                break;
            if (s[pos] != ',')
                return fail(line.lineAt(pos), "bad hex data: expected bytes of two hexadecimal digits "
                                              "separated by commas");
            ++pos;
        }
        value.data = storedForm(value.type, std::move(bytes));
        return true;
    }

    // 5.00 files carry the texts of string types as UTF-16LE; the store keeps UTF-8.
    std::string storedForm(DWORD type, std::string bytes) const
    {
        if (!m_version5 || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
            return bytes;
        std::string out = utf16ToUtf8(utf16LeFromBytes(bytes));
        if (bytes.size() % 2 != 0)
            out += bytes.back();
        return out;
    }

    std::vector<RegOperation>& m_operations;
    RegFileError& m_error;
    bool m_version5 = false;
    RegistryPath m_key;
    bool m_keyDeleted = false;
};

} // namespace

bool parseRegFile(std::string_view text, std::vector<RegOperation>& operations, RegFileError& error)
{
    operations.clear();
    Parser parser(operations, error);
    return parser.parse(text);
}

} // namespace dawdlex::regtool
