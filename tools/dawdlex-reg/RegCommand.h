// The verbs of dawdlex-reg: query, add, delete, export and import, with the command line's parsing and
// messages. It owns no streams; `main` hands it the process's.
#pragma once

#include "RegistryPath.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace dawdlex::regtool {

struct Console
{
    std::ostream& out;
    std::ostream& err;
    // Asks a Yes/No question; nullopt when there is no terminal to ask on.
    std::function<std::optional<bool>(const std::string& question)> ask;
    // Whether a progress bar may be drawn on `err` (it is a terminal).
    bool errIsTerminal = false;
};

class RegCommand
{
public:
    explicit RegCommand(Console& console);

    // Runs the command line `arguments` (without the program name). Returns the exit status: 0 on
    // success, 1 on any failure or refusal, after a message on `err`.
    [[nodiscard]] int run(const std::vector<std::string>& arguments);

private:
    struct Options
    {
        std::vector<std::string> positional;
        std::optional<std::string> valueName; // /v NAME, or "" for /ve
        bool allValues = false;               // /va
        bool recurse = false;                 // /s (query)
        bool force = false;                   // /f or /y
        std::optional<std::string> type;      // /t
        std::optional<std::string> data;      // /d
        std::optional<std::string> separator; // /s (add)
    };

    [[nodiscard]] bool parseOptions(const std::string& verb, const std::vector<std::string>& arguments,
                                    Options& options);
    [[nodiscard]] bool parseKey(const std::string& text, RegistryPath& path);
    [[nodiscard]] bool confirm(const std::string& question, bool force);
    // Writes "ERROR: " and the message on `err`; fail() does the same and gives the exit status 1.
    void printError(const std::string& message);
    [[nodiscard]] int fail(const std::string& message);
    [[nodiscard]] int succeed();

    [[nodiscard]] int query(const Options& options);
    [[nodiscard]] int add(const Options& options);
    [[nodiscard]] int remove(const Options& options);
    [[nodiscard]] int exportKey(const Options& options);
    [[nodiscard]] int importFile(const Options& options);
    [[nodiscard]] int usage(std::ostream& stream, int status);

    Console& m_console;
};

} // namespace dawdlex::regtool
