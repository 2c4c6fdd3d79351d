#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dawdlex::reliability {

// One run of reliability_worker (or another helper program) in a process of its own, optionally with a
// pipe on which it reports 8-byte numbers. Owns the process: the destructor kills and reaps one still
// running, so a failed test leaves nothing behind.
class WorkerProcess
{
public:
    enum class Reports
    {
        None,
        // "{fd}" in the arguments is replaced by the number of the pipe's writing end in the child.
        Pipe,
    };

    WorkerProcess(const std::string& program, const std::vector<std::string>& arguments,
                  Reports reports = Reports::None);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    bool started() const { return m_pid > 0; }
    void kill();
    // The wait status of the ended process; -1 when it could not be had.
    int wait();
    // The same, but a process still running after `limit` is killed: nullopt then.
    std::optional<int> waitFor(std::chrono::milliseconds limit);
    // Every number reported so far, reading until the writing end is closed (the process has ended).
    std::vector<std::uint64_t> reports();

private:
    pid_t m_pid = -1;
    int m_readEnd = -1;
};

// The path of the reliability_worker program.
std::string workerProgram();

// Runs SQLite's own checks on the store file through a read-only connection of its own: "ok" when the
// integrity check passes and no row points at a missing key, else what was found.
std::string checkStoreFile(const std::string& path);

} // namespace dawdlex::reliability
