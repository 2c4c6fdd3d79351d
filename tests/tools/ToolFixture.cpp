#include "ToolFixture.h"

#include "StoreAccess.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace dawdlex::regtool;
using dawdlex::RegKey;

ToolRun ToolTest::runTool(const std::vector<std::string>& arguments) const
{
    const std::string outPath = (m_registry.configHome() / "tool.out").string();
    const std::string errPath = (m_registry.configHome() / "tool.err").string();
    std::vector<char*> argv;
    std::string program = DAWDLEX_REG_EXE;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

std::string ToolTest::writeFile(const std::string& name, const std::string& bytes) const
{
    const std::string file = (m_registry.configHome() / name).string();
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

std::string ToolTest::readFile(const std::string& file) const
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

RegistryPath ToolTest::path(const std::string& text)
{
    RegistryPath parsed;
    std::string error;
    EXPECT_TRUE(parseRegistryPath(text, parsed, error)) << error;
    return parsed;
}

void ToolTest::makeKey(const std::string& key)
{
    RegKey handle;
    ASSERT_EQ(handle.create(path(key).root, path(key).subkey()), ERROR_SUCCESS) << key;
}

void ToolTest::setValue(const std::string& key, const RegValue& value)
{
    RegKey handle;
    ASSERT_EQ(handle.create(path(key).root, path(key).subkey()), ERROR_SUCCESS) << key;
    ASSERT_EQ(writeValue(handle.get(), value), ERROR_SUCCESS) << key << " " << value.name;
}

std::vector<ExportedKey> ToolTest::snapshot(const std::string& key)
{
    std::vector<ExportedKey> keys;
    if (RegExporter().collect(path(key), keys) != ERROR_SUCCESS)
        keys.clear();
    return keys;
}

std::string ToolTest::dump(const std::string& key)
{
    std::ostringstream out;
    for (const ExportedKey& exported : snapshot(key)) {
        out << "[" << exported.path.text() << "]\n";
        for (const RegValue& value : exported.values) {
            out << value.name.size() << ":" << value.name << " " << value.type << " " << value.data.size()
                << ":";
            out.write(value.data.data(), static_cast<std::streamsize>(value.data.size()));
            out << "\n";
        }
    }
    return out.str();
}
