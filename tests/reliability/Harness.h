#pragma once
// What the tests and their worker processes share: self-checking value data, a reader of whole trees and
// the churn script, which is its own model.
#include <windows.h>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dawdlex::reliability {

// The counter it was written for, then bytes that depend on the counter and the length, so that a torn,
// cut or mixed-up value shows by its bytes alone.
inline std::string makePayload(std::uint64_t counter, std::size_t size)
{
    std::string out(reinterpret_cast<const char*>(&counter), sizeof counter);
    for (std::uint64_t state = counter * 0x9E3779B97F4A7C15ull + size + 1; out.size() < 8 + size;) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        out += static_cast<char>(state);
    }
    return out;
}

inline std::optional<std::uint64_t> payloadCounter(const std::string& data)
{
    std::uint64_t counter = 0;
    std::memcpy(&counter, data.data(), std::min(data.size(), sizeof counter));
    return data.size() >= 8 && makePayload(counter, data.size() - 8) == data ? std::optional(counter)
                                                                             : std::nullopt;
}

inline LSTATUS setPayload(HKEY key, const std::string& name, std::uint64_t counter, std::size_t size)
{
    const std::string data = makePayload(counter, size);
    return RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

struct StoredValue
{
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
    bool operator==(const StoredValue&) const = default;
};
// Each key below a base, by its path relative to the base, with its values in listing order.
using StoreContents = std::map<std::string, std::vector<StoredValue>>;

// Reads everything below HKEY_CURRENT_USER\base (an absent base reads as nothing); the first status that
// is neither success nor the end of a listing.
inline LSTATUS readContents(const std::string& base, StoreContents& contents, const std::string& below = "")
{
    HKEY key = nullptr;
    const std::string path = below.empty() ? base : base + "\\" + below;
    LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return below.empty() && status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    std::vector<StoredValue>& values = contents[below];
    for (DWORD i = 0, nameSize = 16384, size = 65536; status == ERROR_SUCCESS;
         ++i, nameSize = 16384, size = 65536) {
        StoredValue value{std::string(nameSize, '\0'), REG_NONE, std::string(size, '\0')};
        status = RegEnumValueA(key, i, value.name.data(), &nameSize, nullptr, &value.type,
                               reinterpret_cast<BYTE*>(value.data.data()), &size);
        if (status == ERROR_SUCCESS)
            values.push_back({value.name.substr(0, nameSize), value.type, value.data.substr(0, size)});
    }
    std::vector<std::string> subkeys;
    char name[256];
    for (DWORD size = sizeof name; status == ERROR_NO_MORE_ITEMS; size = sizeof name) {
        const LSTATUS listed = RegEnumKeyExA(key, static_cast<DWORD>(subkeys.size()), name, &size, nullptr,
                                             nullptr, nullptr, nullptr);
        if (listed == ERROR_SUCCESS)
            subkeys.emplace_back(name, size);
        else
            status = listed == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : listed;
    }
    RegCloseKey(key);
    for (std::size_t i = 0; i < subkeys.size() && status == ERROR_SUCCESS; ++i)
        status = readContents(base, contents, below.empty() ? subkeys[i] : below + "\\" + subkeys[i]);
    return status;
}

// Step n of a fixed, endless script below HKEY_CURRENT_USER\Software\Kill, each step exactly one changing
// call (one transaction): values of 20 bytes to 20 KB set, replaced (the name in another case) and deleted
// in keys S0..S3, each made as S<i>\A\B in one call and taken down a level at a time, values and all.
// Done on the store when `store` is set, then, when it succeeded, in `model` (what the store must hold,
// the base itself as "").
inline bool churnStep(std::uint64_t n, StoreContents& model, bool store)
{
    std::uint64_t h = (n + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 31)) * 0x94D049BB133111EBull;
    const std::string slot = std::string("S").append(std::to_string(h % 4));
    const std::string keys[] = {slot, slot + "\\A", slot + "\\A\\B"};
    const std::string name = std::string(h & 8 ? "VALUE" : "Value").append(std::to_string(h / 16 % 6));
    int depth = 0;
    while (depth < 3 && model.count(keys[depth]))
        ++depth;
    std::vector<StoredValue> none;
    std::vector<StoredValue>& values = depth ? model[keys[0]] : none;
    const auto found = std::find_if(values.begin(), values.end(), [&](const StoredValue& value) {
        return strcasecmp(value.name.c_str(), name.c_str()) == 0;
    });
    const int roll = static_cast<int>(h / 256 % 16);
    const char action = depth == 0 ? 'C' : roll >= 13 ? 'S' : roll >= 9 && found != values.end() ? 'D' : 'V';
    // Mostly a few hundred bytes; one value in eight spans several database pages.
    const std::size_t size = h / 4096 % 8 ? 16 + h / 65536 % 1500 : 8000 + h / 65536 % 12000;
    if (store) {
        const std::string key = std::string("Software\\Kill\\")
                                    .append(keys[action == 'C'   ? 2
                                                 : action == 'S' ? depth - 1
                                                                 : 0]);
        HKEY handle = nullptr;
        LSTATUS status = ERROR_SUCCESS;
        if (action == 'C')
            status = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &handle, nullptr);
        else if (action == 'S')
            status = RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        else
            status = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle);
        if (handle && action == 'D')
            status = RegDeleteValueA(handle, name.c_str());
        else if (handle && action == 'V')
            status = setPayload(handle, name, n, size);
        if (handle)
            RegCloseKey(handle);
        if (status != ERROR_SUCCESS)
            return false;
    }
    model[""];
    if (action == 'C') {
        for (const std::string& made : keys)
            model[made];
    } else if (action == 'S') {
        model.erase(keys[depth - 1]);
    } else if (action == 'D') {
        values.erase(found);
    } else if (found != values.end()) {
        found->data = makePayload(n, size);
    } else {
        values.push_back({name, REG_BINARY, makePayload(n, size)});
    }
    return true;
}

// Takes all free room of the file system but `spare` bytes into the new file `path`.
inline bool fillDisk(const std::string& path, off_t spare)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string block(4096, 'x');
    off_t size = 0;
    while (fd >= 0 && ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
        size += static_cast<off_t>(block.size());
    const bool full = fd >= 0 && errno == ENOSPC && ::ftruncate(fd, std::max<off_t>(0, size - spare)) == 0;
    ::close(fd);
    return full;
}

// The worker side of the test program: `reliability_tests worker MODE ...`.
int runWorker(int argc, char** argv);

} // namespace dawdlex::reliability
