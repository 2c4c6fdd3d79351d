#pragma once

#include <windows.h>

#include <string>

namespace dawdlex {

// Owns an open registry key handle and closes it when it goes, ignoring the result: nothing can be done
// about a failed close of a handle no longer needed. Move-only. Never give it a predefined root handle.
class RegKey
{
public:
    RegKey() = default;
    ~RegKey();
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Open or create `subkey` below `base`; on failure return the status and leave this key closed.
    [[nodiscard]] LSTATUS open(HKEY base, const std::string& subkey, REGSAM access);
    [[nodiscard]] LSTATUS create(HKEY base, const std::string& subkey, DWORD* disposition = nullptr);

    // Where the registry API stores a new handle; any handle held before is closed first.
    HKEY* receive();

    HKEY get() const { return m_key; }
    bool isOpen() const { return m_key != nullptr; }
    void close();

private:
    HKEY m_key = nullptr;
};

} // namespace dawdlex
