#include "WorkerProcess.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace dawdlex::reliability {

namespace {

constexpr int childReportFd = 3;

} // namespace

WorkerProcess::WorkerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             Reports reports)
{
    int ends[2] = {-1, -1};
    if (reports == Reports::Pipe && ::pipe2(ends, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> texts{program};
    for (std::string argument : arguments)
        texts.push_back(argument == "{fd}" ? std::to_string(childReportFd) : argument);
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (reports == Reports::Pipe)
        posix_spawn_file_actions_adddup2(&actions, ends[1], childReportFd);
    if (::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (reports == Reports::Pipe) {
        ::close(ends[1]);
        m_readEnd = ends[0];
    }
}

WorkerProcess::~WorkerProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        wait();
    }
    if (m_readEnd >= 0)
        ::close(m_readEnd);
}

void WorkerProcess::kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

int WorkerProcess::wait()
{
    if (m_pid <= 0)
        return -1;
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(m_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    m_pid = -1;
    return result < 0 ? -1 : status;
}

std::optional<int> WorkerProcess::waitFor(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(m_pid, &status, WNOHANG);
        if (result == m_pid) {
            m_pid = -1;
            return status;
        }
        if (result < 0 && errno != EINTR) {
            m_pid = -1;
            return -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill();
            wait();
            return std::nullopt;
        }
        ::usleep(5000);
    }
}

std::vector<std::uint64_t> WorkerProcess::reports()
{
    std::vector<std::uint64_t> numbers;
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_readEnd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    // Each report is one write of 8 bytes, which a pipe never splits.
    for (std::size_t at = 0; at + sizeof(std::uint64_t) <= pending.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t number = 0;
        pending.copy(reinterpret_cast<char*>(&number), sizeof number, at);
        numbers.push_back(number);
    }
    return numbers;
}

std::string workerProgram()
{
    return RELIABILITY_WORKER;
}

std::string checkStoreFile(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "cannot open";
        sqlite3_close(db);
        return "open: " + message;
    }
    std::string found;
    const auto collect = [](void* out, int columns, char** values, char**) {
        auto& text = *static_cast<std::string*>(out);
        for (int i = 0; i < columns; ++i)
            text += std::string(values[i] ? values[i] : "NULL") + (i + 1 < columns ? "|" : "\n");
        return 0;
    };
    std::string integrity;
    char* error = nullptr;
    if (sqlite3_exec(db, "PRAGMA integrity_check", collect, &integrity, &error) != SQLITE_OK)
        found = std::string("integrity_check: ") + (error ? error : "failed");
    else if (integrity != "ok\n")
        found = "integrity_check: " + integrity;
    sqlite3_free(error);
    error = nullptr;
    std::string orphans;
    if (found.empty() && sqlite3_exec(db, "PRAGMA foreign_key_check", collect, &orphans, &error) != SQLITE_OK)
        found = std::string("foreign_key_check: ") + (error ? error : "failed");
    else if (found.empty() && !orphans.empty())
        found = "rows pointing at missing keys: " + orphans;
    sqlite3_free(error);
    sqlite3_close(db);
    return found.empty() ? "ok" : found;
}

} // namespace dawdlex::reliability
