#pragma once

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
// stays valid while that connection lives; close the mapping before that connection.
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

    // The header as it stands; nullopt while a writer is halfway through it or before SQLite set it up.
    std::optional<Header> header() const;

private:
    const unsigned char* m_map = nullptr;
    std::size_t m_length = 0;
};

} // namespace dawdlex::winreg
