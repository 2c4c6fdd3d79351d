#pragma once

#include "FileDescriptor.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace dawdlex::winreg {

// Tells, without a lock or a system call, whether any connection has committed to a WAL-mode SQLite
// database since an earlier look: it maps the database's shared-memory file read-only and reads the
// WAL-index header, which every commit rewrites (change counter, last frame, salts; see the file format's
// "WAL-index format"). Owns the mapping. Open it only while a connection of this process has the
// database's shared memory open: SQLite resets the file only when no connection has it, so the mapping
// stays valid while that connection lives; unmap() before that connection closes. The file's descriptor
// stays open until the object goes, after the connection: closing any descriptor of a file drops every
// POSIX lock the process holds on it, SQLite's own locks on the shared memory included, and a process that
// lost them would look gone to the others (which then reset the shared memory under it).
class WalIndexWatch
{
public:
    using Header = std::array<unsigned char, 48>;

    WalIndexWatch() = default;
    ~WalIndexWatch();
    WalIndexWatch(const WalIndexWatch&) = delete;
    WalIndexWatch& operator=(const WalIndexWatch&) = delete;

    // False, leaving the watch closed, when the file is missing, too short or cannot be mapped.
    bool open(const std::string& databasePath);
    bool isOpen() const { return m_map != nullptr; }
    // Drops the mapping; the descriptor stays until destruction.
    void unmap();

    // The header as it stands; nullopt while a writer is halfway through it or before SQLite set it up.
    std::optional<Header> header() const;

private:
    FileDescriptor m_file;
    const unsigned char* m_map = nullptr;
    std::size_t m_length = 0;
};

} // namespace dawdlex::winreg
