#include "BenchStore.h"

#include <winreg_store.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace dawdlex::bench {

BenchStore::BenchStore()
{
    // A folder on the same file system as the user's configuration, as the real store would be; a tmpfs
    // /tmp would flatter every write.
    const char* base = std::getenv("DAWDLEX_BENCH_DIR");
    std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/dawdlex-bench-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    m_configHome = buffer.data();
    if (const char* previous = std::getenv("XDG_CONFIG_HOME")) {
        m_previous = previous;
    }
    ::setenv("XDG_CONFIG_HOME", m_configHome.c_str(), 1);
    RegStoreClose();
}

BenchStore::~BenchStore()
{
    RegStoreClose();
    if (m_previous) {
        ::setenv("XDG_CONFIG_HOME", m_previous->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_configHome, ignored);
}

} // namespace dawdlex::bench
