#pragma once

#include "winreg.h"

#include <cstdint>
#include <ctime>
#include <string>

namespace dawdlex::winreg {

class SqliteDatabase;

// The store file as a file: creating a new one, telling ours from anything else, and the schema. Every
// check runs before anything could write, so a file that is not ours is never modified.
class StoreFile
{
public:
    // The schema version this build reads and writes; a file of a higher version is refused. Additions an
    // older build can live with keep the version and are found by their presence (hasKeyDetails).
    static constexpr int schemaVersion = 1;

    enum class State
    {
        Empty, // a zero-length file: an empty database, still to be given the schema
        Ours,
        Foreign // not a database, damaged, not ours, or of a newer schema
    };

    // Makes sure a store file exists at path: a new one is built complete under a temporary name and then
    // linked into place, so the path never names a half-made store, and a racing process's file wins.
    // ERROR_SUCCESS or ERROR_CANTOPEN.
    static LSTATUS ensureExists(const std::string& path);

    // Inspects the file without writing to it: its header and size with plain reads, then its structure
    // and identity through a read-only connection. ERROR_CANTOPEN when it cannot be read.
    static LSTATUS inspect(const std::string& path, State& state);

    // SQLite gives the -wal and -shm files the store file's mode; made while the store was read-only, they
    // would keep it read-only after its owner made it writable again. Gives them back the owner's write
    // permission when the store file has it.
    static void repairSidecars(const std::string& path);

    // Gives an empty database the schema, in one write transaction; a database that turns out to be ours
    // by then is left alone. Throws SqliteError (SQLITE_NOTADB for a foreign one).
    static void initialize(SqliteDatabase& db);

    // Whether the store keeps key classes and last-write times; stores made by older builds do not.
    static bool hasKeyDetails(SqliteDatabase& db);

    // Adds classes and last-write times to an older store in place, in one write transaction, keeping
    // everything in it; its keys get the file's modification time. A store file without its owner's write
    // permission is left as it is. Throws SqliteError.
    static void upgrade(SqliteDatabase& db, const std::string& path);

    // A file system time as FILETIME ticks: 100 ns since 1601, UTC.
    static std::int64_t fileTimeOf(const timespec& time);
};

} // namespace dawdlex::winreg
