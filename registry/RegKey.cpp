#include "RegKey.h"

#include <utility>

namespace dawdlex {

RegKey::~RegKey()
{
    close();
}

RegKey::RegKey(RegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept
{
    if (this != &other) {
        close();
        m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
}

LSTATUS RegKey::open(HKEY base, const std::string& subkey, REGSAM access)
{
    close();
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(base, subkey.c_str(), 0, access, &key);
    if (status == ERROR_SUCCESS)
        m_key = key;
    return status;
}

LSTATUS RegKey::create(HKEY base, const std::string& subkey, DWORD* disposition)
{
    close();
    SECURITY_ATTRIBUTES security{};
    HKEY key = nullptr;
    DWORD ignored = 0;
    const LSTATUS status = RegCreateKeyExA(base, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, &security,
                                           &key, disposition != nullptr ? disposition : &ignored);
    if (status == ERROR_SUCCESS)
        m_key = key;
    return status;
}

HKEY* RegKey::receive()
{
    close();
    return &m_key;
}

void RegKey::close()
{
    if (m_key != nullptr)
        RegCloseKey(std::exchange(m_key, nullptr));
}

} // namespace dawdlex
