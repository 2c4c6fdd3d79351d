#include "StoreFile.h"

#include "SqliteDatabase.h"
#include "SqliteError.h"
#include "FileDescriptor.h"
#include "SqliteTransaction.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <signal.h>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dawdlex::winreg {

namespace {

// "DWLX": marks a database as a store of ours.
constexpr std::int64_t applicationId = 0x44574C58;

// Roots keep the ids of their predefined handles (low bits + 1); HKEY_PERFORMANCE_DATA's id 5 stays free.
// Other keys get random ids (RegistryStore::createChild), never reused.
constexpr const char* schemaSql = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id),
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    depth INTEGER NOT NULL,
    read_only INTEGER NOT NULL DEFAULT 0,
    UNIQUE(parent, folded));
CREATE TABLE vals(
    key INTEGER NOT NULL REFERENCES keys(id),
    folded TEXT NOT NULL,
    name TEXT NOT NULL,
    seq INTEGER NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, folded)) WITHOUT ROWID;
CREATE INDEX vals_order ON vals(key, seq);
)sql";

constexpr const char* rootsSql = R"sql(
INSERT INTO keys(id, parent, name, folded, depth) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', 0),
    (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 0),
    (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 0),
    (4, NULL, 'HKEY_USERS', 'HKEY_USERS', 0),
    (6, NULL, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG', 0),
    (7, NULL, 'HKEY_DYN_DATA', 'HKEY_DYN_DATA', 0);
)sql";

// Key classes and last-write times came later. They are added in place, without a new schema version, so
// that older builds still open the store; triggers keep the times, so that their changes count too. Times
// are FILETIME ticks (100 ns since 1601, UTC), in built-in SQL only: an older build knows no functions of
// ours.
std::string keyDetailsSql()
{
    const std::string now = "CAST((julianday('now') - 2305813.5) * 864000000000 AS INTEGER)";
    // One statement per key: a single UPDATE with "id IN (NEW.id, NEW.parent)" nearly doubled the time of
    // a key create.
    const auto touch = [&now](const char* key) {
        return std::string(" UPDATE keys SET written = ") + now + " WHERE id = " + key + ";";
    };
    const auto trigger = [](const char* event, const std::string& body) {
        return std::string("CREATE TRIGGER ") + event + " BEGIN" + body + " END;\n";
    };
    return "ALTER TABLE keys ADD COLUMN class TEXT;\n"
           "ALTER TABLE keys ADD COLUMN written INTEGER;\n" +
           trigger("key_created AFTER INSERT ON keys", touch("NEW.id") + touch("NEW.parent")) +
           trigger("key_deleted AFTER DELETE ON keys", touch("OLD.parent")) +
           trigger("value_added AFTER INSERT ON vals", touch("NEW.key")) +
           trigger("value_changed AFTER UPDATE ON vals", touch("NEW.key")) +
           trigger("value_deleted AFTER DELETE ON vals", touch("OLD.key"));
}

constexpr std::size_t headerSize = 100;
constexpr char magic[] = "SQLite format 3";

bool readFully(int fd, unsigned char* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The header check that needs no SQLite: the magic text, a valid page size, and a file of whole pages.
// A file cut short mid-page fails here.
LSTATUS inspectHeader(const std::string& path, StoreFile::State& state)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info = {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
        return ERROR_CANTOPEN;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size == 0) {
        state = StoreFile::State::Empty;
        return ERROR_SUCCESS;
    }
    std::array<unsigned char, headerSize> header{};
    if (size < headerSize || !readFully(file.get(), header.data(), header.size())) {
        state = StoreFile::State::Foreign;
        return ERROR_SUCCESS;
    }
    const unsigned rawPageSize = (unsigned{header[16]} << 8) | header[17];
    const std::uint64_t pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    const bool pageSizeValid = pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0;
    const bool ok =
        std::memcmp(header.data(), magic, sizeof magic) == 0 && pageSizeValid && size % pageSize == 0;
    state = ok ? StoreFile::State::Ours : StoreFile::State::Foreign;
    return ERROR_SUCCESS;
}

StoreFile::State classify(SqliteDatabase& db)
{
    const std::int64_t id = db.queryInt("PRAGMA application_id");
    const std::int64_t version = db.queryInt("PRAGMA user_version");
    if (id == applicationId)
        return version >= 1 && version <= StoreFile::schemaVersion ? StoreFile::State::Ours
                                                                   : StoreFile::State::Foreign;
    const bool blank = id == 0 && version == 0 && db.queryInt("SELECT count(*) FROM sqlite_schema") == 0;
    return blank ? StoreFile::State::Empty : StoreFile::State::Foreign;
}

void createSchema(SqliteDatabase& db)
{
    db.exec(schemaSql);
    db.exec(keyDetailsSql());
    db.exec(rootsSql);
    db.exec("PRAGMA application_id = " + std::to_string(applicationId));
    db.exec("PRAGMA user_version = " + std::to_string(StoreFile::schemaVersion));
}

// A first start killed while it built the store leaves its temporary file (and the file's log) behind;
// they are removed once their process is gone. Another process's temporary stays while it runs.
void removeAbandonedTemporaries(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return;
    const std::string folder = path.substr(0, slash);
    const std::string prefix = path.substr(slash + 1) + ".new-";
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        ::unlink((folder + "/" + name).c_str());
    }
}

} // namespace

LSTATUS StoreFile::ensureExists(const std::string& path)
{
    removeAbandonedTemporaries(path);
    if (::access(path.c_str(), F_OK) == 0)
        return ERROR_SUCCESS;
    const std::string temporary = path + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    {
        const FileDescriptor file(::open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
        // The umask may only take bits away; the store is the owner's alone, and writable by them.
        if (file.get() < 0 || ::fchmod(file.get(), 0600) != 0) {
            ::unlink(temporary.c_str());
            return ERROR_CANTOPEN;
        }
    }
    // Only the file itself is linked into place, never its log: the schema must be in the file, and the
    // log emptied, before it may go there. On a full disk the checkpoint fails, and no half-made store
    // (one that would be refused as damaged from then on) ever takes the store's name.
    const auto removeTemporary = [&temporary] {
        for (const char* suffix : {"", "-wal", "-shm"})
            ::unlink((temporary + suffix).c_str());
    };
    try {
        SqliteDatabase db(temporary, SqliteDatabase::Mode::ReadWrite);
        db.exec("PRAGMA journal_mode = WAL");
        initialize(db);
        if (db.queryInt("PRAGMA wal_checkpoint(TRUNCATE)") != 0)
            throw SqliteError(SQLITE_BUSY, "the new store's log could not be emptied");
    } catch (const SqliteError&) {
        removeTemporary();
        return ERROR_CANTOPEN;
    }
    struct stat log = {};
    if (::stat((temporary + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
        removeTemporary();
        return ERROR_CANTOPEN;
    }
    // Neither call replaces: when another process got there first, its store is the store. The rename
    // serves file systems without hard links.
    bool placed = ::link(temporary.c_str(), path.c_str()) == 0 || errno == EEXIST;
    if (!placed)
        placed = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0 ||
                 errno == EEXIST;
    removeTemporary();
    return placed ? ERROR_SUCCESS : ERROR_CANTOPEN;
}

LSTATUS StoreFile::inspect(const std::string& path, State& state)
{
    const LSTATUS status = inspectHeader(path, state);
    if (status != ERROR_SUCCESS || state != State::Ours)
        return status;
    try {
        SqliteDatabase probe(path, SqliteDatabase::Mode::ReadOnly);
        if (probe.queryText("PRAGMA quick_check") != "ok") {
            state = State::Foreign;
            return ERROR_SUCCESS;
        }
        state = classify(probe);
        return ERROR_SUCCESS;
    } catch (const SqliteError& error) {
        const int primary = error.code() & 0xFF;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
            state = State::Foreign;
            return ERROR_SUCCESS;
        }
        return ERROR_CANTOPEN;
    }
}

void StoreFile::repairSidecars(const std::string& path)
{
    struct stat store = {};
    if (::stat(path.c_str(), &store) != 0 || (store.st_mode & S_IWUSR) == 0)
        return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string sidecar = path + suffix;
        struct stat info = {};
        if (::stat(sidecar.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0 && info.st_uid == ::getuid())
            ::chmod(sidecar.c_str(), (info.st_mode & 07777) | S_IWUSR | S_IRUSR);
    }
}

void StoreFile::initialize(SqliteDatabase& db)
{
    SqliteTransaction transaction(db, SqliteTransaction::Kind::Write);
    const State state = classify(db);
    if (state == State::Foreign)
        throw SqliteError(SQLITE_NOTADB, "not a registry store");
    if (state == State::Empty)
        createSchema(db);
    transaction.commit();
}

bool StoreFile::hasKeyDetails(SqliteDatabase& db)
{
    return db.queryInt("SELECT count(*) FROM pragma_table_info('keys') WHERE name = 'written'") != 0;
}

void StoreFile::upgrade(SqliteDatabase& db, const std::string& path)
{
    if (hasKeyDetails(db))
        return;
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & S_IWUSR) == 0 || db.isReadOnly())
        return;
    SqliteTransaction transaction(db, SqliteTransaction::Kind::Write);
    if (hasKeyDetails(db))
        return;
    db.exec(keyDetailsSql());
    // When the keys were last written is unknown; the file's time is the latest it can have been.
    db.exec("UPDATE keys SET written = " + std::to_string(fileTimeOf(info.st_mtim)));
    transaction.commit();
}

std::int64_t StoreFile::fileTimeOf(const timespec& time)
{
    constexpr std::int64_t ticksPerSecond = 10'000'000;
    constexpr std::int64_t unixEpoch = 116'444'736'000'000'000; // 1970 in ticks since 1601
    return unixEpoch + static_cast<std::int64_t>(time.tv_sec) * ticksPerSecond + time.tv_nsec / 100;
}

} // namespace dawdlex::winreg
