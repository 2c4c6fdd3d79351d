// Registry speed: the registry API on the real store in a temporary folder, and the calls CRegistry makes
// for the settings and for renaming a tree. Per-call figures are the benchmark's time per iteration; each
// iteration is one call unless its name says otherwise.
#include "BenchStore.h"
#include "SettingsStore.h"
#include "CRegistry.h"

#include <benchmark/benchmark.h>
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using dawdlex::bench::BenchStore;

constexpr int kValueNames = 64;
constexpr int kSubKeys = 2000;
constexpr char kBenchKey[] = "Software\\DawdlexBench";

std::string numbered(const char* prefix, int number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%04d", prefix, number);
    return text;
}

std::vector<std::string> names(const char* prefix, int count)
{
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) {
        result.push_back(numbered(prefix, i));
    }
    return result;
}

// The bench key, created afresh in the benchmark's own store; closed when the benchmark ends.
class BenchKey
{
public:
    explicit BenchKey(benchmark::State& state)
    {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kBenchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                            nullptr) != ERROR_SUCCESS) {
            state.SkipWithError("cannot create the bench key");
        }
    }
    ~BenchKey() { RegCloseKey(m_key); }
    BenchKey(const BenchKey&) = delete;
    BenchKey& operator=(const BenchKey&) = delete;

    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool setText(HKEY key, const std::string& name, const std::string& text)
{
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

bool createSubKey(HKEY parent, const std::string& name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// RegSetValueExA of a short text, cycling over 64 names (the first round creates, the rest replace).
void BM_ValueSet(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    const auto valueNames = names("Value", kValueNames);
    const std::string text = "Reading Files...";
    std::size_t i = 0;
    for (auto _ : state) {
        if (!setText(key.get(), valueNames[i++ % kValueNames], text)) {
            state.SkipWithError("RegSetValueExA failed");
            break;
        }
    }
}
BENCHMARK(BM_ValueSet)->Unit(benchmark::kMicrosecond);

// RegQueryValueExA of a short text, cycling over 64 names.
void BM_ValueQuery(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    const auto valueNames = names("Value", kValueNames);
    for (const auto& name : valueNames) {
        setText(key.get(), name, "Reading Files...");
    }
    std::size_t i = 0;
    std::array<BYTE, 64> buffer{};
    for (auto _ : state) {
        DWORD type = 0;
        DWORD length = buffer.size();
        if (RegQueryValueExA(key.get(), valueNames[i++ % kValueNames].c_str(), nullptr, &type, buffer.data(),
                             &length) != ERROR_SUCCESS) {
            state.SkipWithError("RegQueryValueExA failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_ValueQuery)->Unit(benchmark::kMicrosecond);

// RegCreateKeyExA of a new subkey and RegCloseKey of its handle, 2,000 subkeys.
void BM_KeyCreate(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    const auto keyNames = names("Key", kSubKeys);
    std::size_t i = 0;
    for (auto _ : state) {
        if (!createSubKey(key.get(), keyNames[i++])) {
            state.SkipWithError("RegCreateKeyExA failed");
            break;
        }
    }
}
BENCHMARK(BM_KeyCreate)->Unit(benchmark::kMicrosecond)->Iterations(kSubKeys);

// RegOpenKeyExA and RegCloseKey, cycling over 2,000 existing subkeys.
void BM_KeyOpenClose(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    const auto keyNames = names("Key", kSubKeys);
    for (const auto& name : keyNames) {
        createSubKey(key.get(), name);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key.get(), keyNames[i++ % kSubKeys].c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) {
            state.SkipWithError("RegOpenKeyExA failed");
            break;
        }
        RegCloseKey(sub);
    }
}
BENCHMARK(BM_KeyOpenClose)->Unit(benchmark::kMicrosecond);

// RegDeleteKeyA of 2,000 subkeys without values.
void BM_KeyDelete(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    const auto keyNames = names("Key", kSubKeys);
    for (const auto& name : keyNames) {
        createSubKey(key.get(), name);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        if (RegDeleteKeyA(key.get(), keyNames[i++].c_str()) != ERROR_SUCCESS) {
            state.SkipWithError("RegDeleteKeyA failed");
            break;
        }
    }
}
BENCHMARK(BM_KeyDelete)->Unit(benchmark::kMicrosecond)->Iterations(kSubKeys);

// One iteration lists all 1,000 values of a key with RegEnumValueA, names and data.
void BM_EnumValues1000(benchmark::State& state)
{
    BenchStore store;
    BenchKey key(state);
    for (const auto& name : names("Value", 1000)) {
        setText(key.get(), name, "Reading Files...");
    }
    std::array<char, 256> name{};
    std::array<BYTE, 256> data{};
    for (auto _ : state) {
        DWORD index = 0;
        for (;; ++index) {
            DWORD nameLength = name.size();
            DWORD dataLength = data.size();
            DWORD type = 0;
            if (RegEnumValueA(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                              &dataLength) != ERROR_SUCCESS) {
                break;
            }
        }
        if (index != 1000) {
            state.SkipWithError("RegEnumValueA did not list 1,000 values");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_EnumValues1000)->Unit(benchmark::kMicrosecond);

constexpr std::array<const char*, 16> kSettingNames{
    "Title",  "Status0", "Speed0", "Status1", "Speed1", "Status2",      "Speed2",     "Status3",
    "Speed3", "Status4", "Speed4", "Dual",    "Saver",  "CustIconPath", "ButtonText", "Icon"};

[[nodiscard]] bool writeSettings(CRegistry& registry)
{
    bool allWritten = true;
    for (const char* name : kSettingNames) {
        allWritten = registry.WriteString("Reading Files...", name) && allWritten;
    }
    return allWritten;
}

// The settings key with all sixteen values, as a first save leaves it.
[[nodiscard]] bool seedSettings()
{
    CRegistry registry;
    // False also for a key that exists; the open tells whether it is there.
    (void)registry.CreateKey(dawdlex::kSettingsKey);
    return registry.OpenKey(dawdlex::kSettingsKey) && writeSettings(registry);
}

// What loadSettings does with the registry: open the settings key and read the sixteen values.
void BM_LoadSettingsCalls(benchmark::State& state)
{
    BenchStore store;
    if (!seedSettings()) {
        state.SkipWithError("seeding the settings failed");
    }
    for (auto _ : state) {
        CRegistry registry;
        if (!registry.OpenKey(dawdlex::kSettingsKey)) {
            state.SkipWithError("OpenKey failed");
            break;
        }
        for (const char* name : kSettingNames) {
            benchmark::DoNotOptimize(registry.ReadString(name));
        }
    }
}
BENCHMARK(BM_LoadSettingsCalls)->Unit(benchmark::kMicrosecond);

// What saveSettings does with the registry: open the settings key and write the sixteen values.
void BM_SaveSettingsCalls(benchmark::State& state)
{
    BenchStore store;
    // The loop's OpenKey tells whether the key is there.
    (void)CRegistry().CreateKey(dawdlex::kSettingsKey);
    for (auto _ : state) {
        CRegistry registry;
        if (!registry.OpenKey(dawdlex::kSettingsKey)) {
            state.SkipWithError("OpenKey failed");
            break;
        }
        if (!writeSettings(registry)) {
            state.SkipWithError("WriteString failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveSettingsCalls)->Unit(benchmark::kMicrosecond);

// A tree of 1,000 keys (the top key, 9 children, 90 grandchildren, 900 great-grandchildren) with 4 values
// each, renamed back and forth with CRegistry::RenameKey; one iteration is one rename.
void BM_RenameKeyTree(benchmark::State& state)
{
    BenchStore store;
    const std::string base = std::string("HKEY_CURRENT_USER\\") + kBenchKey + "\\";
    bool built = true;
    auto fill = [&built](const std::string& path) {
        CRegistry registry;
        // Every key is new, so a false here is a failure too.
        built = registry.CreateKey(path) && registry.OpenKey(path) && built;
        for (int v = 0; v < 4; ++v) {
            built = registry.WriteString("Reading Files...", numbered("Value", v)) && built;
        }
    };
    fill(base + "TreeA");
    for (int a = 0; a < 9; ++a) {
        const std::string one = base + "TreeA\\" + numbered("A", a);
        fill(one);
        for (int b = 0; b < 10; ++b) {
            const std::string two = one + "\\" + numbered("B", b);
            fill(two);
            for (int c = 0; c < 10; ++c) {
                fill(two + "\\" + numbered("C", c));
            }
        }
    }
    if (!built) {
        state.SkipWithError("building the tree failed");
    }
    bool atA = true;
    for (auto _ : state) {
        CRegistry registry;
        if (!registry.OpenKey(base + (atA ? "TreeA" : "TreeB"))) {
            state.SkipWithError("OpenKey failed");
            break;
        }
        if (!registry.RenameKey(atA ? "TreeB" : "TreeA")) {
            state.SkipWithError("RenameKey failed");
            break;
        }
        atA = !atA;
    }
}
BENCHMARK(BM_RenameKeyTree)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
