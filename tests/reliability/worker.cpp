// The processes the reliability tests start, kill and starve. Usage:
//   reliability_worker churn <first step> <report fd>   runs the churn script for ever from that step,
//                                                       writing each finished step's number to the fd
//   reliability_worker writer <id> <count>              <count> values into a shared key and one of its own
//   reliability_worker reader <stop file> <result file> enumerates and checks values until <stop file> is
//                                                       there, then writes how many it checked in how many
//                                                       passes
//   reliability_worker fill <report fd> limit           writes under a file-size limit, then without it
//   reliability_worker fill <report fd> ballast <file>  the same with the disk filled by <file>
//   reliability_worker first-start <report fd> <file> <spare bytes>
//                                                       the first call with the disk full, then with space
//   reliability_worker set <counter>                    writes one 256 KB value for another process to read
//   reliability_worker probe <report fd>                reads everything and writes once, reporting both
// Exit status 0 when every call gave what was expected; messages on stderr otherwise.
#include "ChurnScript.h"
#include "Payload.h"

#include <windows.h>
#include <winreg_store.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>
#include <algorithm>
#include <string>

using namespace dawdlex::reliability;

namespace {

constexpr int writers = 4;

bool report(int fd, std::uint64_t number)
{
    return ::write(fd, &number, sizeof number) == static_cast<ssize_t>(sizeof number);
}

int churn(std::uint64_t first, int fd)
{
    ChurnScript script;
    while (script.steps() < first)
        script.advance();
    for (;;) {
        const std::uint64_t step = script.steps();
        const LSTATUS status = script.perform();
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "step %llu: status %ld\n", static_cast<unsigned long long>(step),
                         static_cast<long>(status));
            return 1;
        }
        if (!report(fd, step))
            return 1;
    }
}

LSTATUS setPayload(HKEY key, const std::string& name, std::uint64_t counter, std::size_t size)
{
    const std::string data = makePayload(counter, size);
    return RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

HKEY createKey(const std::string& path)
{
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        std::fprintf(stderr, "create %s: status %ld\n", path.c_str(), static_cast<long>(status));
    return key;
}

int writer(int id, int count)
{
    HKEY shared = createKey("Software\\Many\\Shared");
    HKEY own = createKey("Software\\Many\\Own" + std::to_string(id));
    if (!shared || !own)
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t counter = static_cast<std::uint64_t>(id) * 1000000 + i;
        const std::size_t size = 32 + (counter * 7919) % 3000;
        // Appended, not `"w" + std::to_string(id)`, which GCC 12 at -O3 misreads as an overlapping copy.
        std::string name = "w";
        name += std::to_string(id) + "-" + std::to_string(i);
        // "hot" is replaced on every round, with a size of its own each time, for the readers to catch
        // half-way if they ever could.
        const std::string hot = "hot" + std::to_string(id);
        for (const auto& [key, valueName] : {std::pair{shared, hot}, {shared, name}, {own, name}}) {
            const LSTATUS status = setPayload(key, valueName, counter, size);
            if (status != ERROR_SUCCESS) {
                std::fprintf(stderr, "writer %d %s: status %ld\n", id, valueName.c_str(),
                             static_cast<long>(status));
                ++failures;
            }
        }
    }
    RegCloseKey(shared);
    RegCloseKey(own);
    return failures == 0 ? 0 : 1;
}

// Enumerates the first values of one key (the "hot" ones among them), checking every value it sees; returns
// the number checked, -1 on a fault. Enumerating by index rereads the key on each call, so a reader that
// went through thousands of values would spend its time there instead of racing the writers.
constexpr DWORD enumerateLimit = 48;
long checkKey(const std::string& path)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return 0;
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "open %s: status %ld\n", path.c_str(), static_cast<long>(status));
        return -1;
    }
    long checked = 0;
    for (DWORD i = 0; i < enumerateLimit; ++i) {
        char name[64];
        DWORD nameLength = sizeof name;
        std::string data(8192, '\0');
        DWORD dataLength = static_cast<DWORD>(data.size());
        status = RegEnumValueA(key, i, name, &nameLength, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "enumerate %s: status %ld\n", path.c_str(), static_cast<long>(status));
            checked = -1;
            break;
        }
        data.resize(dataLength);
        if (!payloadCounter(data)) {
            std::fprintf(stderr, "%s\\%s: torn value of %u bytes\n", path.c_str(), name, dataLength);
            checked = -1;
            break;
        }
        ++checked;
    }
    RegCloseKey(key);
    return checked;
}

int reader(const char* stopFile, const char* resultFile)
{
    long total = 0;
    long passes = 0;
    bool faults = false;
    while (::access(stopFile, F_OK) != 0 && !faults) {
        std::vector<std::string> keys{"Software\\Many\\Shared"};
        for (int id = 0; id < writers; ++id)
            keys.push_back("Software\\Many\\Own" + std::to_string(id));
        for (const std::string& path : keys) {
            const long checked = checkKey(path);
            faults = faults || checked < 0;
            total += checked < 0 ? 0 : checked;
        }
        ++passes;
        // Leaves the writers some of a small machine's two cores.
        ::usleep(1000);
    }
    std::ofstream(resultFile) << total << ' ' << passes << '\n';
    return faults ? 1 : 0;
}

off_t fileSize(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

bool setFileSizeLimit(rlim_t limit)
{
    struct rlimit current = {};
    if (::getrlimit(RLIMIT_FSIZE, &current) != 0)
        return false;
    current.rlim_cur = limit;
    return ::setrlimit(RLIMIT_FSIZE, &current) == 0;
}

// Records for the fill report: a stored value's counter, or a status with this bit set.
constexpr std::uint64_t statusMark = 1ull << 63;

// Takes all free space of the file system but `spare` bytes into the file `path`.
bool fillDisk(const std::string& path, off_t spare)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::string block(4096, 'x');
    off_t size = 0;
    while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
        size += static_cast<off_t>(block.size());
    const bool full = errno == ENOSPC && ::ftruncate(fd, std::max<off_t>(0, size - spare)) == 0;
    ::close(fd);
    return full;
}

// Fills the disk (a file-size limit, or a ballast file on a small file system), writes until writes are
// refused and a few times more, then gives the space back and writes again in the same process.
int fill(int fd, const std::string& how, const std::string& ballast)
{
    // At a file-size limit the kernel raises SIGXFSZ; ignored, the write fails with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    HKEY key = createKey("Software\\Full");
    if (!key)
        return 1;
    const std::string storeFile = RegStorePath();
    for (std::uint64_t i = 0; i < 20; ++i) {
        if (setPayload(key, "keep" + std::to_string(i), i, 200) != ERROR_SUCCESS || !report(fd, i))
            return 1;
    }
    const off_t largest = std::max(fileSize(storeFile), fileSize(storeFile + "-wal"));
    const bool full = how == "limit" ? setFileSizeLimit(static_cast<rlim_t>(largest) + 64 * 1024)
                                     : fillDisk(ballast, 64 * 1024);
    if (!full)
        return 1;
    int refused = 0;
    for (std::uint64_t i = 100; refused < 5 && i < 10000; ++i) {
        const LSTATUS status = setPayload(key, "big" + std::to_string(i), i, 6000);
        if (status == ERROR_SUCCESS) {
            if (!report(fd, i))
                return 1;
            continue;
        }
        ++refused;
        if (!report(fd, statusMark | static_cast<std::uint64_t>(status)))
            return 1;
    }
    // Reading goes on while the disk is full.
    DWORD size = 0;
    if (RegQueryValueExA(key, "keep0", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return 1;
    const bool spaceBack = how == "limit" ? setFileSizeLimit(RLIM_INFINITY) : ::unlink(ballast.c_str()) == 0;
    if (!spaceBack)
        return 1;
    for (std::uint64_t i = 20000; i < 20010; ++i) {
        const LSTATUS status = setPayload(key, "after" + std::to_string(i), i, 6000);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "after the disk full: status %ld\n", static_cast<long>(status));
            return 1;
        }
        if (!report(fd, i))
            return 1;
    }
    RegCloseKey(key);
    return 0;
}

// The very first start with the disk full but `spare` bytes: whatever the first call says, once the
// space is back the store must work, in this process and the next.
int firstStart(int fd, const std::string& ballast, off_t spare)
{
    if (!fillDisk(ballast, spare))
        return 1;
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    if (!report(fd, static_cast<std::uint64_t>(status)) || ::unlink(ballast.c_str()) != 0)
        return 1;
    // A store refused as damaged stays refused until it is closed; the next start opens it anew.
    RegStoreClose();
    status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &key, nullptr);
    if (status == ERROR_SUCCESS)
        status = setPayload(key, "value", 1, 100);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return report(fd, static_cast<std::uint64_t>(status)) ? 0 : 1;
}

// One value written by a process of its own, for a reader elsewhere to see at once.
int setOne(std::uint64_t counter)
{
    HKEY key = createKey("Software\\Fresh");
    if (!key)
        return 1;
    const LSTATUS status = setPayload(key, "value", counter, 256 * 1024);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}

// Reads everything below HKEY_CURRENT_USER\Software and writes one value, reporting both statuses: what a
// program meets when its store file has been damaged.
int probe(int fd)
{
    StoreContents contents;
    const LSTATUS read = readContents("Software", contents);
    HKEY key = nullptr;
    LSTATUS written = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr);
    if (written == ERROR_SUCCESS) {
        written = setPayload(key, "probe", 1, 100);
        RegCloseKey(key);
    }
    return report(fd, static_cast<std::uint64_t>(read)) && report(fd, static_cast<std::uint64_t>(written))
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "churn" && argc == 4)
        return churn(std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]));
    if (mode == "writer" && argc == 4)
        return writer(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "reader" && argc == 4)
        return reader(argv[2], argv[3]);
    if (mode == "fill" && (argc == 4 || argc == 5))
        return fill(std::atoi(argv[2]), argv[3], argc == 5 ? argv[4] : "");
    if (mode == "set" && argc == 3)
        return setOne(std::strtoull(argv[2], nullptr, 10));
    if (mode == "probe" && argc == 3)
        return probe(std::atoi(argv[2]));
    if (mode == "first-start" && argc == 5)
        return firstStart(std::atoi(argv[2]), argv[3], std::atol(argv[4]));
    std::fprintf(stderr, "usage: reliability_worker churn|writer|reader|fill ...\n");
    return 2;
}
