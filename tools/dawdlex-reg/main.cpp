// dawdlex-reg: inspect, back up, reset and move the settings in the registry store from a terminal.
#include "RegCommand.h"

#include <iostream>
#include <unistd.h>

namespace {

std::optional<bool> askOnTerminal(const std::string& question)
{
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    while (true) {
        std::cout << question << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false;
        for (char& c : answer)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (answer == "y" || answer == "yes")
            return true;
        if (answer == "n" || answer == "no")
            return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    dawdlex::regtool::Console console{std::cout, std::cerr, askOnTerminal, ::isatty(STDERR_FILENO) == 1};
    dawdlex::regtool::RegCommand command(console);
    return command.run(std::vector<std::string>(argv + 1, argv + argc));
}
