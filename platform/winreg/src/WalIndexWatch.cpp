#include "WalIndexWatch.h"

#include "FileDescriptor.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace dawdlex::winreg {

namespace {

// The header is kept twice, one copy after the other; a writer updates the second copy first, so two
// equal copies are a whole header.
constexpr std::size_t kCopies = 2;
constexpr std::size_t kIsInitOffset = 12;

} // namespace

WalIndexWatch::~WalIndexWatch()
{
    unmap();
}

void WalIndexWatch::unmap()
{
    if (m_map)
        ::munmap(const_cast<unsigned char*>(m_map), m_length);
    m_map = nullptr;
}

bool WalIndexWatch::open(const std::string& databasePath)
{
    if (m_map)
        return true;
    if (m_file.get() < 0)
        m_file = FileDescriptor(::open((databasePath + "-shm").c_str(), O_RDONLY | O_CLOEXEC));
    const FileDescriptor& file = m_file;
    struct stat info = {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 ||
        info.st_size < static_cast<off_t>(kCopies * sizeof(Header)))
        return false;
    const std::size_t length = kCopies * sizeof(Header);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, file.get(), 0);
    if (map == MAP_FAILED)
        return false;
    m_map = static_cast<const unsigned char*>(map);
    m_length = length;
    return true;
}

std::optional<WalIndexWatch::Header> WalIndexWatch::header() const
{
    if (!m_map)
        return std::nullopt;
    Header first;
    Header second;
    std::memcpy(first.data(), m_map, sizeof first);
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(second.data(), m_map + sizeof first, sizeof second);
    if (first != second || first[kIsInitOffset] == 0)
        return std::nullopt;
    return first;
}

} // namespace dawdlex::winreg
