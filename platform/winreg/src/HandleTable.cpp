#include "HandleTable.h"

namespace dawdlex::winreg {

HKEY HandleTable::add(std::int64_t keyId, REGSAM access)
{
    const std::uintptr_t value = m_next;
    m_next += 4;
    m_keys.emplace(value, OpenKey{keyId, access});
    return reinterpret_cast<HKEY>(value);
}

std::optional<HandleTable::OpenKey> HandleTable::find(HKEY handle) const
{
    const auto it = m_keys.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_keys.end())
        return std::nullopt;
    return it->second;
}

bool HandleTable::remove(HKEY handle)
{
    return m_keys.erase(reinterpret_cast<std::uintptr_t>(handle)) > 0;
}

} // namespace dawdlex::winreg
