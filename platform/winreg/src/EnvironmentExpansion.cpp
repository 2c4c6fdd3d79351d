#include "EnvironmentExpansion.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <strings.h>
#include <unistd.h>

namespace dawdlex::winreg {

namespace {

std::optional<std::string_view> lookup(const std::string& name)
{
    if (const char* value = std::getenv(name.c_str()))
        return std::string_view(value);
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != name.size())
            continue;
        if (::strncasecmp(*entry, name.c_str(), name.size()) == 0)
            return std::string_view(equals + 1);
    }
    return std::nullopt;
}

} // namespace

std::string expandEnvironment(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        if (open == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, open - i));
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(open));
            break;
        }
        const std::string name(text.substr(open + 1, close - open - 1));
        const auto value = name.empty() ? std::nullopt : lookup(name);
        if (!value) {
            out += '%';
            i = open + 1;
            continue;
        }
        out.append(*value);
        i = close + 1;
    }
    return out;
}

} // namespace dawdlex::winreg
