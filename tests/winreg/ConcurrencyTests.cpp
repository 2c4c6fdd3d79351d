#include "StoreFixture.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>

extern char** environ;

namespace {

using ConcurrencyTest = StoreTest;

constexpr int valuesEach = 500;

// Built by appending: GCC 12 at -O3 misreads `"v" + std::to_string(i)` as an overlapping copy.
std::string numbered(const char* prefix, int number)
{
    std::string text = prefix;
    text += std::to_string(number);
    return text;
}

// The writer helper in a process of its own; killed and reaped on destruction if still running, so that
// a failed test never leaves it writing into the next test's folder.
class WriterProcess
{
public:
    WriterProcess(const char* path, const char* prefix, int count)
    {
        const std::string text = std::to_string(count);
        const char* argv[] = {WINREG_WRITER, path, prefix, text.c_str(), nullptr};
        if (::posix_spawn(&m_pid, WINREG_WRITER, nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
            0)
            m_pid = -1;
    }
    ~WriterProcess()
    {
        if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    bool started() const { return m_pid > 0; }
    bool running()
    {
        if (m_pid <= 0 || ::waitpid(m_pid, &m_status, WNOHANG) == 0)
            return m_pid > 0;
        m_pid = -1; // reaped: its number may now belong to someone else
        return false;
    }
    // The exit code, -1 when it did not exit normally.
    int wait()
    {
        if (::waitpid(m_pid, &m_status, 0) != m_pid)
            return -1;
        m_pid = -1;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    void kill()
    {
        ::kill(m_pid, SIGKILL);
        wait();
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

DWORD valueCount(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

std::set<std::string> allValueNames(const char* path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key), ERROR_SUCCESS);
    std::set<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD length = sizeof name;
        char data[64];
        DWORD size = sizeof data;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        EXPECT_EQ(std::string(data), std::string(name)) << "value holds its own name";
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

TEST_F(ConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing)
{
    // Both sides create the key themselves, so that the creation races too.
    WriterProcess child("Software\\Race", "child", valuesEach);
    ASSERT_TRUE(child.started());

    HKEY key = create("Software\\Race");
    int failures = 0;
    for (int i = 0; i < valuesEach; ++i) {
        const std::string name = numbered("parent", i);
        failures += setString(key, name.c_str(), name) != ERROR_SUCCESS;
    }
    RegCloseKey(key);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(failures, 0);

    const std::set<std::string> names = allValueNames("Software\\Race");
    EXPECT_EQ(names.size(), 2u * valuesEach);
    for (int i = 0; i < valuesEach; ++i) {
        EXPECT_TRUE(names.count(numbered("parent", i)));
        EXPECT_TRUE(names.count(numbered("child", i)));
    }
}

TEST_F(ConcurrencyTest, AWriterKilledMidWayLeavesOnlyWholeValues)
{
    WriterProcess child("Software\\Killed", "v", 1000000);
    ASSERT_TRUE(child.started());
    // Wait for the writer to be well under way; the bound only keeps a broken writer from hanging the test.
    for (int polls = 0; valueCount("Software\\Killed") < 200; ++polls) {
        ASSERT_LT(polls, 100000) << "the writer never got going";
        ASSERT_TRUE(child.running()) << "the writer ended early";
        ::usleep(1000);
    }
    child.kill();
    RegStoreClose();

    // Each value holds its own name; the writes committed in order, so they form an unbroken run.
    const std::set<std::string> names = allValueNames("Software\\Killed");
    ASSERT_GE(names.size(), 200u);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(names.count(numbered("v", int(i)))) << i;

    // The store takes writes again at once.
    HKEY key = create("Software\\Killed");
    EXPECT_EQ(setString(key, "after", "after"), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(ConcurrencyTest, ThreadsShareTheLayerSafely)
{
    constexpr int threads = 4;
    constexpr int each = 100;
    std::vector<std::thread> workers;
    std::vector<int> failures(threads, 0);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &failures] {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Threads", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) != ERROR_SUCCESS) {
                failures[t] = each;
                return;
            }
            for (int i = 0; i < each; ++i) {
                const std::string name = numbered("t", t) + numbered("-", i);
                failures[t] += setString(key, name.c_str(), name) != ERROR_SUCCESS;
            }
            RegCloseKey(key);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(failures[t], 0) << t;
    EXPECT_EQ(allValueNames("Software\\Threads").size(), static_cast<std::size_t>(threads * each));
}

} // namespace
