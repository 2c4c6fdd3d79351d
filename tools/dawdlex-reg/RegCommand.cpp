#include "RegCommand.h"

#include "FileDescriptor.h"

#include "ProgressMeter.h"
#include "RegExporter.h"
#include "RegFileParser.h"
#include "RegImporter.h"
#include "SignalBlocker.h"
#include "Text.h"
#include "ValueText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dawdlex::regtool {

namespace {

constexpr const char* kUsage =
    "Usage: dawdlex-reg <verb> <arguments>\n"
    "\n"
    "  query  KEY [/v NAME | /ve] [/s]\n"
    "  add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]\n"
    "  delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  export KEY FILE [/y]\n"
    "  import FILE\n"
    "\n"
    "KEY     a full key path such as HKCU\\Software\\Pendlewick\\Dawdlex (quote it in the shell);\n"
    "        roots: HKEY_CURRENT_USER or HKCU, HKLM, HKCR, HKU, HKCC\n"
    "/v      the value NAME; /ve the default value; /va every value of the key\n"
    "/s      query: every key below KEY too; add: the REG_MULTI_SZ separator (default \\0)\n"
    "/t      REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE\n"
    "/d      the data: text; a number for REG_DWORD and REG_QWORD (decimal or 0x...);\n"
    "        hex digits for REG_BINARY and REG_NONE\n"
    "/f, /y  do not ask before overwriting or deleting\n"
    "FILE    a registry editor file (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\");\n"
    "        export writes UTF-16LE as Windows does, import reads UTF-16LE, UTF-8 and ANSI\n";

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string shownName(const std::string& name)
{
    return name.empty() ? "(Default)" : name;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) {
        error = std::strerror(errno);
        return false;
    }
    bytes.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes into a temporary file beside `path` and renames it over `path`, so a failed export never leaves a
// half-written file in place of an earlier backup.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& error)
{
    std::string temporary = path + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (!file.isOpen()) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    const int writeErrno = errno;
    const bool closed = file.close();
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(written && closed ? errno : writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool fileExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

RegCommand::RegCommand(Console& console) : m_console(console) {}

int RegCommand::run(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return usage(m_console.err, 1);
    const std::string verb = lower(arguments[0]);
    if (verb == "/?" || verb == "-?" || verb == "-h" || verb == "--help" || verb == "help")
        return usage(m_console.out, 0);
    Options options;
    if (!parseOptions(verb, {arguments.begin() + 1, arguments.end()}, options))
        return 1;
    if (verb == "query")
        return query(options);
    if (verb == "add")
        return add(options);
    if (verb == "delete")
        return remove(options);
    if (verb == "export")
        return exportKey(options);
    if (verb == "import")
        return importFile(options);
    return fail("unknown verb \"" + arguments[0] +
                "\" (use query, add, delete, export or import; /? for help)");
}

int RegCommand::usage(std::ostream& stream, int status)
{
    stream << kUsage;
    return status;
}

void RegCommand::printError(const std::string& message)
{
    m_console.err << "ERROR: " << message << '\n';
}

int RegCommand::fail(const std::string& message)
{
    printError(message);
    return 1;
}

int RegCommand::succeed()
{
    m_console.out << "The operation completed successfully.\n";
    return 0;
}

bool RegCommand::parseOptions(const std::string& verb, const std::vector<std::string>& arguments,
                              Options& options)
{
    const auto takesValue = [&](const std::string& option) {
        return option == "v" || option == "t" || option == "d" || (option == "s" && verb == "add");
    };
    const auto known = [&](const std::string& option) {
        if (verb == "query")
            return option == "v" || option == "ve" || option == "s";
        if (verb == "add")
            return option == "v" || option == "ve" || option == "t" || option == "d" || option == "s" ||
                   option == "f";
        if (verb == "delete")
            return option == "v" || option == "ve" || option == "va" || option == "f";
        if (verb == "export")
            return option == "y";
        return false;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::string option = argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')
                                       ? lower(std::string_view(argument).substr(1))
                                       : std::string();
        if (option.empty() || !known(option)) {
            options.positional.push_back(argument);
            continue;
        }
        std::string value;
        if (takesValue(option)) {
            if (i + 1 == arguments.size()) {
                printError("the option " + argument + " needs a value");
                return false;
            }
            value = arguments[++i];
        }
        const bool repeatedValueChoice = (option == "v" || option == "ve" || option == "va") &&
                                         (options.valueName.has_value() || options.allValues);
        if (repeatedValueChoice) {
            printError("give only one of /v, /ve and /va");
            return false;
        }
        if (option == "v")
            options.valueName = value;
        else if (option == "ve")
            options.valueName = std::string();
        else if (option == "va")
            options.allValues = true;
        else if (option == "s" && verb == "query")
            options.recurse = true;
        else if (option == "s")
            options.separator = value;
        else if (option == "t")
            options.type = value;
        else if (option == "d")
            options.data = value;
        else
            options.force = true;
    }
    return true;
}

bool RegCommand::parseKey(const std::string& text, RegistryPath& path)
{
    std::string error;
    if (!parseRegistryPath(text, path, error)) {
        printError("invalid key \"" + text + "\": " + error);
        return false;
    }
    error = checkKeyLimits(path);
    if (!error.empty()) {
        printError("invalid key \"" + text + "\": " + error);
        return false;
    }
    return true;
}

bool RegCommand::confirm(const std::string& question, bool force)
{
    if (force)
        return true;
    const std::optional<bool> answer = m_console.ask ? m_console.ask(question) : std::nullopt;
    if (!answer) {
        printError("there is no terminal to ask \"" + question +
                   "\" on; add /f (or /y for export) to go ahead "
                   "without asking");
        return false;
    }
    if (!*answer)
        m_console.err << "The operation was cancelled.\n";
    return *answer;
}

int RegCommand::query(const Options& options)
{
    if (options.positional.size() != 1)
        return fail("query needs exactly one KEY (dawdlex-reg query KEY [/v NAME | /ve] [/s])");
    RegistryPath path;
    if (!parseKey(options.positional[0], path))
        return 1;
    std::vector<ExportedKey> keys;
    RegKey key;
    LSTATUS status = openSpelled(RegistryPath(path), path, key);
    if (status == ERROR_SUCCESS && options.recurse) {
        status = RegExporter().collect(path, keys);
    } else if (status == ERROR_SUCCESS) {
        ExportedKey& only = keys.emplace_back();
        only.path = path;
        status = readValues(key.get(), only.values);
    }
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("the key " + path.text() + " does not exist");
    if (status != ERROR_SUCCESS)
        return fail("cannot read " + path.text() + ": " + statusText(status));

    std::size_t matches = 0;
    for (const ExportedKey& exported : keys) {
        std::string lines;
        for (const RegValue& value : exported.values) {
            if (options.valueName && foldName(value.name) != foldName(*options.valueName))
                continue;
            lines += "    " + shownName(value.name) + "    " + typeName(value.type) + "    " +
                     displayData(value) + "\n";
            ++matches;
        }
        if (!options.valueName || !lines.empty())
            m_console.out << "\n" << exported.path.text() << "\n" << lines;
    }
    if (options.valueName && matches == 0) {
        return fail("the value " + shownName(*options.valueName) + " does not exist in " + path.text() +
                    (options.recurse ? " or below it" : ""));
    }
    if (!options.recurse && !options.valueName) {
        std::vector<std::string> names;
        status = readSubkeyNames(key.get(), names);
        if (status != ERROR_SUCCESS)
            return fail("cannot read " + path.text() + ": " + statusText(status));
        m_console.out << "\n";
        for (const std::string& name : names)
            m_console.out << path.child(name).text() << "\n";
    }
    if (options.recurse && options.valueName)
        m_console.out << "\nEnd of search: " << matches << " match(es) found.\n";
    return 0;
}

int RegCommand::add(const Options& options)
{
    if (options.positional.size() != 1)
        return fail(
            "add needs exactly one KEY (dawdlex-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f])");
    RegistryPath path;
    if (!parseKey(options.positional[0], path))
        return 1;
    RegOperation operation;
    operation.key = path;
    const bool setsValue = options.valueName || options.type || options.data;
    if (setsValue) {
        operation.kind = RegOperation::Kind::SetValue;
        operation.value.name = options.valueName.value_or(std::string());
        const std::optional<DWORD> type = parseTypeName(options.type.value_or("REG_SZ"));
        if (!type)
            return fail("unknown type \"" + *options.type +
                        "\" (use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, "
                        "REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE)");
        if (options.separator && *type != REG_MULTI_SZ)
            return fail("/s gives the separator of REG_MULTI_SZ data only");
        operation.value.type = *type;
        std::string error = checkValueNameLimit(operation.value.name);
        if (!error.empty())
            return fail(error);
        if (!encodeData(*type, options.data.value_or(std::string()), options.separator.value_or("\\0"),
                        operation.value.data, error))
            return fail(error);
        RegKey key;
        RegValue existing;
        const bool exists = openKey(path, KEY_READ, key) == ERROR_SUCCESS &&
                            readValue(key.get(), operation.value.name, existing) == ERROR_SUCCESS;
        if (exists && !confirm("Value " + shownName(operation.value.name) + " exists, overwrite (Yes/No)? ",
                               options.force))
            return 1;
    }
    const SignalBlocker blocker;
    const RegImporter::Result result =
        RegImporter({}, [&] { return blocker.requested(); }).apply({operation});
    if (!result.succeeded)
        return fail(result.message);
    return succeed();
}

int RegCommand::remove(const Options& options)
{
    if (options.positional.size() != 1)
        return fail("delete needs exactly one KEY (dawdlex-reg delete KEY [/v NAME | /ve | /va] [/f])");
    RegistryPath path;
    if (!parseKey(options.positional[0], path))
        return 1;
    const bool wholeKey = !options.valueName && !options.allValues;
    if (wholeKey && path.isRoot())
        return fail("a root key cannot be deleted");
    RegKey key;
    LSTATUS status = openKey(path, KEY_READ, key);
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("the key " + path.text() + " does not exist");
    if (status != ERROR_SUCCESS)
        return fail("cannot open " + path.text() + ": " + statusText(status));

    std::vector<RegOperation> operations;
    std::string question;
    if (wholeKey) {
        question = "Permanently delete the registry key " + path.text() + " (Yes/No)? ";
        operations.push_back(RegOperation{RegOperation::Kind::DeleteKey, path, {}, 0});
    } else if (options.allValues) {
        question = "Delete all values under the registry key " + path.text() + " (Yes/No)? ";
        std::vector<RegValue> values;
        status = readValues(key.get(), values);
        if (status != ERROR_SUCCESS)
            return fail("cannot read " + path.text() + ": " + statusText(status));
        // Last first: the values an interrupted delete must put back then go back at the end, where they
        // were, with no other value moved.
        for (auto value = values.rbegin(); value != values.rend(); ++value)
            operations.push_back(RegOperation{RegOperation::Kind::DeleteValue, path, std::move(*value), 0});
    } else {
        RegValue value;
        status = readValue(key.get(), *options.valueName, value);
        if (status == ERROR_FILE_NOT_FOUND)
            return fail("the value " + shownName(*options.valueName) + " does not exist in " + path.text());
        question = "Delete the registry value " + shownName(*options.valueName) + " (Yes/No)? ";
        operations.push_back(RegOperation{RegOperation::Kind::DeleteValue, path, std::move(value), 0});
    }
    key.close();
    if (!confirm(question, options.force))
        return 1;
    const SignalBlocker blocker;
    const RegImporter::Result result = RegImporter({}, [&] { return blocker.requested(); }).apply(operations);
    if (!result.succeeded)
        return fail(result.message + (result.rolledBack ? "; nothing was deleted" : ""));
    return succeed();
}

int RegCommand::exportKey(const Options& options)
{
    if (options.positional.size() != 2)
        return fail("export needs a KEY and a FILE (dawdlex-reg export KEY FILE [/y])");
    RegistryPath path;
    if (!parseKey(options.positional[0], path))
        return 1;
    const std::string& file = options.positional[1];
    std::vector<ExportedKey> keys;
    {
        ProgressMeter meter(m_console.err, m_console.errIsTerminal, "Reading");
        const LSTATUS status =
            RegExporter([&](std::size_t keysRead) { meter.update(keysRead, 0); }).collect(path, keys);
        if (status == ERROR_FILE_NOT_FOUND)
            return fail("the key " + path.text() + " does not exist");
        if (status != ERROR_SUCCESS)
            return fail("cannot read " + path.text() + ": " + statusText(status));
    }
    std::string text;
    std::string error;
    if (!formatRegFile(keys, text, error))
        return fail("cannot export " + path.text() + ": " + error);
    if (fileExists(file) && !confirm("File " + file + " already exists. Overwrite (Yes/No)? ", options.force))
        return 1;
    if (!writeFileAtomically(file, encodeRegFile(text), error))
        return fail("cannot write " + file + ": " + error);
    return succeed();
}

int RegCommand::importFile(const Options& options)
{
    if (options.positional.size() != 1)
        return fail("import needs exactly one FILE (dawdlex-reg import FILE)");
    const std::string& file = options.positional[0];
    std::string bytes;
    std::string text;
    std::string error;
    FileEncoding encoding = FileEncoding::Utf8;
    if (!readWholeFile(file, bytes, error))
        return fail("cannot read " + file + ": " + error);
    if (!decodeRegFileBytes(bytes, text, encoding, error))
        return fail(file + ": " + error + "; nothing was changed");
    std::vector<RegOperation> operations;
    RegFileError parseError;
    if (!parseRegFile(text, operations, parseError)) {
        const std::string where =
            parseError.line > 0 ? file + ", line " + std::to_string(parseError.line) : file;
        return fail(where + ": " + parseError.message + "; nothing was changed");
    }
    ProgressMeter meter(m_console.err, m_console.errIsTerminal, "Importing");
    const SignalBlocker blocker;
    const RegImporter::Result result =
        RegImporter([&](std::size_t done, std::size_t total) { meter.update(done, total); },
                    [&] { return blocker.requested(); })
            .apply(operations);
    meter.finish();
    if (!result.succeeded) {
        const std::string outcome = result.rolledBack
                                        ? "; the earlier changes were undone, nothing was changed"
                                        : "; undoing the earlier changes failed too, so the settings may be "
                                          "partly changed";
        if (result.stopped)
            return fail(file + ": " + result.message + outcome);
        return fail(file + ", line " + std::to_string(result.line) + ": " + result.message + outcome);
    }
    return succeed();
}

} // namespace dawdlex::regtool
