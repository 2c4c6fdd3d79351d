// Owns a registry key handle that a single operation opens for a moment (a test open, the handle a
// create returns) and closes it when it goes out of scope. The close result is ignored: nothing can be
// done about a failed close of a handle that is no longer needed. It does not own predefined root
// handles and must not be given one.
#pragma once

#include <windows.h>

class ScopedKey
{
public:
    ScopedKey() = default;
    ~ScopedKey();
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    // Where the registry API stores a new handle; any handle held before is closed first.
    HKEY* receive();
    HKEY get() const { return m_key; }

private:
    void close();

    HKEY m_key = nullptr;
};
