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
    int run(const std::vector<std::string>& arguments);

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

    bool parseOptions(const std::string& verb, const std::vector<std::string>& arguments, Options& options);
    bool parseKey(const std::string& text, RegistryPath& path);
    bool confirm(const std::string& question, bool force);
    int fail(const std::string& message);
    int succeed();

    int query(const Options& options);
    int add(const Options& options);
    int remove(const Options& options);
    int exportKey(const Options& options);
    int importFile(const Options& options);
    int usage(std::ostream& stream, int status);

    Console& m_console;
};

} // namespace dawdlex::regtool
