#pragma once

#include "winreg.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace dawdlex::winreg {

// The open keys of this process: maps the HKEY values handed to callers to the key they name and the
// access they were opened with. Handles are numbers, never pointers, and a value is never handed out twice
// in a process, so a closed handle stays invalid. Knows nothing of the store: whether the key still exists
// is the store's question. The predefined root handles are not in the table.
class HandleTable
{
public:
    struct OpenKey
    {
        std::int64_t keyId;
        REGSAM access;
    };

    HKEY add(std::int64_t keyId, REGSAM access);
    std::optional<OpenKey> find(HKEY handle) const;
    // False when the handle was not open.
    bool remove(HKEY handle);
    void clear() { m_keys.clear(); }

private:
    std::unordered_map<std::uintptr_t, OpenKey> m_keys;
    // Multiples of 4 from here, as the platform's own handles are; far from the predefined ones.
    std::uintptr_t m_next = 0x1000;
};

} // namespace dawdlex::winreg
