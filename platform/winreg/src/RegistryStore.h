#pragma once

#include "FileDescriptor.h"
#include "SqliteDatabase.h"
#include "WalIndexWatch.h"
#include "winreg.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dawdlex::winreg {

// The registry's keys and values in one SQLite file: the six roots, keys named case-insensitively under
// their parent, and named typed values kept in the order they were first set. Owns the connection and
// its prepared statements. Works on key ids and single names; handles, paths, access rights and the
// API's argument rules are the caller's business, as is wrapping related calls in one transaction
// (database()). Methods throw SqliteError when SQLite fails; the store is then unchanged.
class RegistryStore
{
public:
    struct Key
    {
        std::int64_t id = 0;
        bool isRoot = false;
        bool readOnly = false;
        int depth = 0;
    };

    struct Value
    {
        std::string name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    struct Child
    {
        std::string name;
        std::int64_t id = 0;
    };

    // What a key keeps besides its name: its class ("" for none) and when it last changed, in FILETIME
    // ticks, never 0.
    struct Details
    {
        std::string className;
        std::int64_t lastWrite = 0;
    };

    struct Info
    {
        DWORD subKeys = 0;
        DWORD maxSubKeyNameLength = 0;
        DWORD maxClassLength = 0;
        DWORD values = 0;
        DWORD maxValueNameLength = 0;
        DWORD maxValueLength = 0;
    };

    // Opens the store at path, first creating a new empty one when no file is there. On failure returns
    // null and sets status: ERROR_BADDB for a file that is not a store of ours or of a newer schema (such
    // a file is left exactly as it was), ERROR_CANTOPEN when the file cannot be created or read.
    static std::unique_ptr<RegistryStore> open(const std::string& path, LSTATUS& status);
    ~RegistryStore();

    // The key id of a predefined root handle, known by its low 32 bits alone; nullopt for any other handle,
    // HKEY_PERFORMANCE_DATA included.
    static std::optional<std::int64_t> rootId(HKEY handle);

    const std::string& path() const { return m_path; }
    SqliteDatabase& database() { return m_db; }

    // False when the file lacks its owner's write permission or SQLite could only open it for reading, and
    // for a store of an older build that could not be brought up to date when it was opened (until it is
    // opened again): every key is then read-only.
    bool writable() const;

    // A scope in which key(), child() and value() may answer from what earlier scopes read, for as long
    // as nothing has been committed since, by this process or any other: that is checked once, as the
    // scope opens, on the WAL-index header in shared memory, at no cost of a lock. Open it before the
    // read transaction of a call that only reads, so that what the transaction then reads is at least as
    // new as the header seen. Without a usable header every lookup reads the database.
    class CachedReads
    {
    public:
        explicit CachedReads(RegistryStore& store);
        ~CachedReads();
        CachedReads(const CachedReads&) = delete;
        CachedReads& operator=(const CachedReads&) = delete;

    private:
        RegistryStore& m_store;
    };

    // nullopt when the key does not exist (any more).
    std::optional<Key> key(std::int64_t id);
    std::optional<Key> child(const Key& parent, std::string_view name);
    bool hasChildren(std::int64_t id);
    // The index-th subkey in the order of folded names; nullopt past the end.
    std::optional<Child> childAt(std::int64_t id, DWORD index);
    Info info(std::int64_t id);
    Details details(std::int64_t id);

    // The key gets className as its class ("" for none); its parent counts as changed.
    Key createChild(const Key& parent, std::string_view name, std::string_view className = {});
    // Removes a key without subkeys, with its values.
    void removeKey(std::int64_t id);
    void setReadOnly(std::int64_t id, bool readOnly);

    std::optional<Value> value(std::int64_t keyId, std::string_view name);
    // The index-th value in the order values were first set; nullopt past the end.
    std::optional<Value> valueAt(std::int64_t keyId, DWORD index);
    // Creates or replaces; a replaced value keeps its first spelling and its place in the order.
    void setValue(std::int64_t keyId, std::string_view name, DWORD type, std::span<const BYTE> data);
    // False when there was no such value.
    bool removeValue(std::int64_t keyId, std::string_view name);

private:
    RegistryStore(std::string path, FileDescriptor file, SqliteDatabase db);

    // What the store's content was at some moment: SQLite's data version (other connections' commits)
    // and the count of this store's own changes.
    struct Version
    {
        std::int64_t data = -1;
        std::int64_t own = 0;
        bool operator==(const Version&) const = default;
    };

    // Where the last listing call stopped, so that the next index goes on from there instead of counting
    // from the start: listing n items is then n index lookups rather than n * n / 2 row visits. Valid only
    // while the content is unchanged.
    struct Cursor
    {
        std::int64_t keyId = 0;
        DWORD index = 0;
        std::int64_t seq = 0;
        std::string folded;
        Version version;
        bool valid = false;
    };

    Version version();
    bool continues(const Cursor& cursor, std::int64_t keyId, DWORD index, const Version& now) const;
    void changed() { ++m_ownChanges; }
    void beginCachedReads();
    void clearCache();
    // Stores an answer for later scopes, while one is open and the cache is not too big.
    template <typename Map, typename Answer>
    void remember(Map& map, const typename Map::key_type& key, const Answer& answer);

    std::string m_path;
    // Kept open to read the file's mode cheaply before each change.
    FileDescriptor m_file;
    // Before m_db, so that its descriptor closes after the connection (see WalIndexWatch); the destructor
    // unmaps it before the connection closes.
    WalIndexWatch m_walIndex;
    SqliteDatabase m_db;
    SqliteStatement m_keyById;
    SqliteStatement m_child;
    SqliteStatement m_hasChildren;
    SqliteStatement m_childAt;
    SqliteStatement m_keyCounts;
    SqliteStatement m_valueCounts;
    SqliteStatement m_insertKey;
    SqliteStatement m_deleteValues;
    SqliteStatement m_deleteKey;
    SqliteStatement m_setReadOnly;
    SqliteStatement m_valueByName;
    SqliteStatement m_valueAt;
    SqliteStatement m_upsertValue;
    SqliteStatement m_deleteValue;
    SqliteStatement m_dataVersion;
    SqliteStatement m_childAfter;
    SqliteStatement m_valueAfter;
    // Only with hasDetails: the store keeps classes and last-write times.
    bool m_hasDetails = false;
    SqliteStatement m_details;
    SqliteStatement m_longestClass;
    SqliteStatement m_setClass;
    std::int64_t m_ownChanges = 0;
    Cursor m_childCursor;
    Cursor m_valueCursor;
    bool m_walIndexTried = false;
    std::optional<WalIndexWatch::Header> m_cacheHeader;
    std::int64_t m_cacheOwnChanges = -1;
    bool m_cacheInUse = false;
    std::map<std::int64_t, std::optional<Key>> m_keyCache;
    std::map<std::pair<std::int64_t, std::string>, std::optional<Key>> m_childCache;
    std::map<std::pair<std::int64_t, std::string>, std::optional<Value>> m_valueCache;
};

} // namespace dawdlex::winreg
