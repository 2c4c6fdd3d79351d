// The processes the tests start, kill and starve: `reliability_tests worker MODE ARG...`. A worker reports
// 8-byte numbers on descriptor 3 and ends with status 0 when every call gave what it should.
#include "Harness.h"

#include "SettingsStore.h"

#include <winreg_store.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>

namespace dawdlex::reliability {

namespace {

bool report(std::uint64_t number)
{
    return ::write(3, &number, sizeof number) == sizeof number;
}

HKEY createKey(const std::string& path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

// `count` rounds of three writes: a value in a shared key, one in a key of its own and a "hot" value of its
// own in the shared key, replaced every round; and a read of another writer's hot value, never torn.
int writer(std::uint64_t id, std::uint64_t count)
{
    HKEY shared = createKey("Software\\Many\\Shared");
    HKEY own = createKey(std::string("Software\\Many\\Own").append(std::to_string(id)));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string name = std::to_string(id).append("-").append(std::to_string(i));
        if (setPayload(shared, name, id << 32 | i, i % 3000) || setPayload(own, name, id << 32 | i, 100) ||
            setPayload(shared, std::string("hot").append(std::to_string(id)), id << 32 | i, i * 7919 % 3000))
            return 1;
        std::string data(4096, '\0');
        DWORD size = 4096;
        const std::string other = std::string("hot").append(std::to_string((id + 1) % 4));
        if (RegQueryValueExA(shared, other.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS &&
            !payloadCounter(data.substr(0, size)))
            return 2;
    }
    return 0;
}

off_t fileSize(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// No file may grow past `bytes` from now on; a write past it fails with EFBIG instead of raising SIGXFSZ.
bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, RLIM_INFINITY};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Stores 20 values; fills the disk but 64 KiB (a file-size limit, or with a `ballast` file the file system's
// room); writes 6 KB values until five are refused (reporting each
// stored value's counter and each refusal's status | 1 << 63), reads, makes room and writes ten more.
int fill(const std::string& ballast)
{
    HKEY key = createKey("Software\\Full");
    int refused = 0;
    for (std::uint64_t i = 0; i < 220 && refused < 5; ++i) {
        const std::string store = i == 20 ? RegStorePath() : "";
        const off_t largest = std::max(fileSize(store), fileSize(store + "-wal"));
        if (i == 20 && !(ballast.empty() ? limitFileSize(largest + 65536) : fillDisk(ballast, 65536)))
            return 1;
        const LSTATUS status =
            setPayload(key, std::string("v").append(std::to_string(i)), i, i < 20 ? 200 : 6000);
        refused += status != ERROR_SUCCESS;
        report(status == ERROR_SUCCESS ? i : 1ull << 63 | static_cast<std::uint64_t>(status));
    }
    DWORD size = 0;
    if (RegQueryValueExA(key, "v0", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        !(ballast.empty() ? limitFileSize(RLIM_INFINITY) : ::unlink(ballast.c_str()) == 0))
        return 1;
    for (std::uint64_t i = 1000; i < 1010; ++i) {
        if (setPayload(key, std::string("v").append(std::to_string(i)), i, 6000) != ERROR_SUCCESS ||
            !report(i))
            return 1;
    }
    return 0;
}

// The program's own load, then a save of other settings: all sixteen values made of `tag`, with `room`
// bytes of file-size limit from after the load when given. Status 0 when the save said it succeeded.
int saveSettings(const std::string& tag, const char* room)
{
    Settings settings;
    (void)loadSettings(settings);
    settings.title = settings.buttonText = settings.customIconPath = tag;
    settings.statuses.fill(tag + "-status");
    settings.delays.fill(std::to_string(tag.size()));
    settings.dualBars = settings.disableScreenSaver = tag.size() % 2;
    settings.icon = static_cast<int>(tag.size() % 7);
    if (room && !limitFileSize(fileSize(RegStorePath() + std::string("-wal")) + std::atol(room)))
        return 2;
    return dawdlex::saveSettings(settings) ? 0 : 1;
}

} // namespace

int runWorker(int argc, char** argv)
{
    const std::string mode = argv[2];
    const std::string arg = argc > 3 ? argv[3] : "";
    const std::uint64_t number = std::strtoull(arg.c_str(), nullptr, 10);
    StoreContents contents;
    if (mode == "churn") { // from step `number` on, for ever, reporting each step done
        for (std::uint64_t n = 0; n < number; ++n)
            churnStep(n, contents, false);
        for (std::uint64_t n = number; churnStep(n, contents, true) && report(n); ++n) {
        }
        return 1;
    }
    if (mode == "writer")
        return writer(number, std::strtoull(argv[4], nullptr, 10));
    if (mode == "fill")
        return fill(arg);
    if (mode == "settings")
        return saveSettings(arg, argc > 4 ? argv[4] : nullptr);
    if (mode == "set") { // one 256 KB value, for another process to read at once
        HKEY key = createKey("Software\\Fresh");
        return setPayload(key, "value", number, 256 * 1024) == ERROR_SUCCESS ? 0 : 1;
    }
    if (mode == "probe") { // what a program meets on a damaged store: a read of everything, then a write
        report(static_cast<std::uint64_t>(readContents("Software", contents)));
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, nullptr, 0, KEY_ALL_ACCESS,
                                         nullptr, &key, nullptr);
        return report(static_cast<std::uint64_t>(status ? status : setPayload(key, "probe", 1, 100))) ? 0 : 1;
    }
    return 3;
}

} // namespace dawdlex::reliability
