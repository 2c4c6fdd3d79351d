#include "ScopedKey.h"

#include <utility>

ScopedKey::~ScopedKey()
{
    close();
}

HKEY* ScopedKey::receive()
{
    close();
    return &m_key;
}

void ScopedKey::close()
{
    if (m_key)
        RegCloseKey(std::exchange(m_key, nullptr));
}
