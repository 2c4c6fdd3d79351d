// An open registry key handle that closes itself. Move-only.
#pragma once

#include <windows.h>

#include <string>

namespace dawdlex::regtool {

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
    LSTATUS open(HKEY base, const std::string& subkey, REGSAM access);
    LSTATUS create(HKEY base, const std::string& subkey, DWORD* disposition = nullptr);

    HKEY get() const { return m_key; }
    bool isOpen() const { return m_key != nullptr; }
    void close();

private:
    HKEY m_key = nullptr;
};

} // namespace dawdlex::regtool
