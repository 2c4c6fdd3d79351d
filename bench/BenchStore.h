#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace dawdlex::bench {

// A registry store of the benchmark's own: points XDG_CONFIG_HOME at a new temporary folder for as long as
// the object lives, so that nothing ever touches the user's own settings, and closes the store on both
// ends so that the next registry call opens the right one. Stops the program when the folder cannot be
// made: a benchmark must never run against the real store.
class BenchStore
{
public:
    BenchStore();
    ~BenchStore();
    BenchStore(const BenchStore&) = delete;
    BenchStore& operator=(const BenchStore&) = delete;

    const std::filesystem::path& configHome() const { return m_configHome; }

private:
    std::filesystem::path m_configHome;
    std::optional<std::string> m_previous;
};

} // namespace dawdlex::bench
