#include "RegistryPath.h"

#include "Text.h"

#include "RootKeys.h"

#include <array>

namespace dawdlex::regtool {

std::string RegistryPath::subkey() const
{
    std::string out;
    for (const std::string& component : components) {
        if (!out.empty())
            out += '\\';
        out += component;
    }
    return out;
}

std::string RegistryPath::text() const
{
    return isRoot() ? rootName : rootName + '\\' + subkey();
}

RegistryPath RegistryPath::parent() const
{
    RegistryPath out = *this;
    if (!out.components.empty())
        out.components.pop_back();
    return out;
}

RegistryPath RegistryPath::child(const std::string& name) const
{
    RegistryPath out = *this;
    out.components.push_back(name);
    return out;
}

bool RegistryPath::contains(const RegistryPath& other) const
{
    if (root != other.root || other.components.size() < components.size())
        return false;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (foldName(components[i]) != foldName(other.components[i]))
            return false;
    }
    return true;
}

bool parseRegistryPath(std::string_view text, RegistryPath& path, std::string& error)
{
    const std::size_t slash = text.find('\\');
    const std::string rootText(text.substr(0, slash));
    const std::string rootUpper = foldName(rootText);
    path = RegistryPath{};
    for (const RootKey& root : kRootKeys) {
        if (rootUpper == root.name || (!root.shortName.empty() && rootUpper == root.shortName)) {
            path.root = root.handle();
            path.rootName = root.name;
        }
    }
    if (path.root == nullptr) {
        error = rootText.empty() ? "the key path has no root key"
                                 : "unknown root key \"" + rootText +
                                       "\" (use HKEY_CURRENT_USER, HKCU, HKLM, "
                                       "HKCR, HKU or HKCC)";
        return false;
    }
    // The registry calls take key paths as C strings, so a NUL would silently cut the path short.
    if (text.find('\0') != std::string_view::npos) {
        error = "a key name cannot contain a NUL character";
        return false;
    }
    if (slash == std::string_view::npos)
        return true;
    std::size_t start = slash + 1;
    while (start <= text.size()) {
        std::size_t end = text.find('\\', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            path.components.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

std::string checkKeyLimits(const RegistryPath& path)
{
    if (path.components.size() > static_cast<std::size_t>(winreg::maxKeyDepth))
        return "the key is nested more than 512 levels deep";
    for (const std::string& component : path.components) {
        if (component.size() > winreg::maxKeyNameLength)
            return "a key name is longer than 255 bytes in UTF-8";
    }
    return {};
}

std::string checkValueNameLimit(std::string_view name)
{
    if (name.size() > winreg::maxValueNameLength)
        return "the value name is longer than 16383 bytes in UTF-8";
    return {};
}

} // namespace dawdlex::regtool
