// dawdlex-reg's verbs on big keys, run in-process through RegCommand on the real store in a temporary
// folder. Each iteration is one command; its set-up (filling the key, writing the file) is not timed.
#include "BenchStore.h"

#include "RegCommand.h"

#include <benchmark/benchmark.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dawdlex::bench::BenchStore;
using dawdlex::regtool::Console;
using dawdlex::regtool::RegCommand;

constexpr char kKeyPath[] = "HKCU\\Software\\DawdlexToolBench";
constexpr char kSubKey[] = "Software\\DawdlexToolBench";

// Runs one command; a failure stops the benchmark with the tool's own message.
bool runCommand(benchmark::State& state, const std::vector<std::string>& arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, nullptr, false};
    if (RegCommand(console).run(arguments) == 0)
        return true;
    state.SkipWithError(("dawdlex-reg failed: " + err.str()).c_str());
    return false;
}

std::string valueName(int i)
{
    return "Value" + std::to_string(i);
}

// `count` short texts in the key below HKEY_CURRENT_USER at subKey.
bool fillKey(const std::string& subKey, int count)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool stored = true;
    for (int i = 0; i < count && stored; ++i) {
        const std::string data = "data of value " + std::to_string(i);
        stored =
            RegSetValueExA(key, valueName(i).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

void BM_QueryKeyOf10000Values(benchmark::State& state)
{
    const BenchStore store;
    if (!fillKey(kSubKey, 10000)) {
        state.SkipWithError("cannot fill the key");
        return;
    }
    for (auto _ : state) {
        if (!runCommand(state, {"query", kKeyPath}))
            break;
    }
}
BENCHMARK(BM_QueryKeyOf10000Values)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeleteAllOf10000Values(benchmark::State& state)
{
    const BenchStore store;
    for (auto _ : state) {
        state.PauseTiming();
        const bool filled = fillKey(kSubKey, 10000);
        state.ResumeTiming();
        if (!filled) {
            state.SkipWithError("cannot fill the key");
            break;
        }
        if (!runCommand(state, {"delete", kKeyPath, "/va", "/f"}))
            break;
    }
}
BENCHMARK(BM_DeleteAllOf10000Values)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportFileOf10000Values(benchmark::State& state)
{
    const BenchStore store;
    const std::string file = (store.configHome() / "values.reg").string();
    {
        std::ofstream out(file, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" << kSubKey << "]\r\n";
        for (int i = 0; i < 10000; ++i)
            out << '"' << valueName(i) << "\"=\"data of value " << i << "\"\r\n";
    }
    for (auto _ : state) {
        state.PauseTiming();
        // Each import starts from no key, so that every value is new.
        const bool cleared = RegDeleteKeyA(HKEY_CURRENT_USER, kSubKey) != ERROR_ACCESS_DENIED;
        state.ResumeTiming();
        if (!cleared || !runCommand(state, {"import", file}))
            break;
    }
}
BENCHMARK(BM_ImportFileOf10000Values)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImportDeletingKeysOf1000(benchmark::State& state)
{
    const BenchStore store;
    const std::string file = (store.configHome() / "deletes.reg").string();
    {
        std::ofstream out(file, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n";
        for (int k = 0; k < 1000; ++k)
            out << "[-HKEY_CURRENT_USER\\" << kSubKey << "\\Key" << k << "]\r\n";
    }
    for (auto _ : state) {
        state.PauseTiming();
        bool filled = true;
        for (int k = 0; k < 1000 && filled; ++k)
            filled = fillKey(std::string(kSubKey) + "\\Key" + std::to_string(k), 1);
        state.ResumeTiming();
        if (!filled) {
            state.SkipWithError("cannot fill the keys");
            break;
        }
        if (!runCommand(state, {"import", file}))
            break;
    }
}
BENCHMARK(BM_ImportDeletingKeysOf1000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_QueryTreeOf1000KeysWith10Values(benchmark::State& state)
{
    const BenchStore store;
    for (int k = 0; k < 1000; ++k) {
        if (!fillKey(std::string(kSubKey) + "\\Key" + std::to_string(k), 10)) {
            state.SkipWithError("cannot fill the keys");
            return;
        }
    }
    for (auto _ : state) {
        if (!runCommand(state, {"query", kKeyPath, "/s"}))
            break;
    }
}
BENCHMARK(BM_QueryTreeOf1000KeysWith10Values)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
