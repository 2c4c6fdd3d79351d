#pragma once

#include <unistd.h>

#include <utility>

namespace dawdlex {

// Owns one open file descriptor and closes it on destruction; move-only. A negative value means none.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { (void)close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            (void)close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    // Closes now, for callers that must know whether the close (and so a delayed write) failed; errno
    // tells why. Holds nothing afterwards either way. True when there was nothing to close.
    [[nodiscard]] bool close()
    {
        if (m_fd < 0) {
            return true;
        }
        return ::close(std::exchange(m_fd, -1)) == 0;
    }

private:
    int m_fd = -1;
};

} // namespace dawdlex
