#include "RegistryStore.h"

#include "RootKeys.h"
#include "winreg_names.h"
#include "SqliteError.h"
#include "StoreFile.h"

#include <sqlite3.h>

#include <array>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <time.h>
#include <utility>

namespace dawdlex::winreg {

namespace {

using Use = SqliteStatement::Use;

RegistryStore::Value readValue(const Use& use)
{
    const auto data = use.columnBlob(2);
    return {std::string(use.columnText(0)), static_cast<DWORD>(use.columnInt64(1)),
            std::vector<BYTE>(data.begin(), data.end())};
}

} // namespace

std::unique_ptr<RegistryStore> RegistryStore::open(const std::string& path, LSTATUS& status)
{
    status = StoreFile::ensureExists(path);
    if (status != ERROR_SUCCESS)
        return nullptr;
    StoreFile::State state = StoreFile::State::Foreign;
    status = StoreFile::inspect(path, state);
    if (status != ERROR_SUCCESS)
        return nullptr;
    if (state == StoreFile::State::Foreign) {
        status = ERROR_BADDB;
        return nullptr;
    }
    StoreFile::repairSidecars(path);
    try {
        SqliteDatabase db(path, SqliteDatabase::Mode::ReadWrite);
        if (state == StoreFile::State::Empty) {
            db.exec("PRAGMA journal_mode = WAL");
            StoreFile::initialize(db);
        }
        // WAL lets readers and a writer of other processes go on at once; NORMAL keeps every commit
        // through a killed process, losing at most the last ones on a power cut.
        db.exec("PRAGMA synchronous = NORMAL");
        // A checkpoint costs two fsyncs; at SQLite's default of every 1,000 pages they doubled the time of
        // a key create. The WAL may now reach 32 MB before it is copied back; it goes when the last
        // connection closes.
        db.exec("PRAGMA wal_autocheckpoint = 8000");
        if (state == StoreFile::State::Ours)
            StoreFile::upgrade(db, path);
        // Without it every write would be refused as if the file were read-only.
        FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0) {
            status = ERROR_CANTOPEN;
            return nullptr;
        }
        return std::unique_ptr<RegistryStore>(new RegistryStore(path, std::move(file), std::move(db)));
    } catch (const SqliteError& error) {
        const int primary = error.code() & 0xFF;
        status = (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) ? ERROR_BADDB : ERROR_CANTOPEN;
        return nullptr;
    }
}

std::optional<std::int64_t> RegistryStore::rootId(HKEY handle)
{
    // The store file numbers its root rows after the handle's low byte, from 1. A predefined key that went
    // through a 32-bit integer may come back zero-extended, so only the low 32 bits count.
    const auto low = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
    for (const RootKey& root : kRootKeys) {
        if (root.value == low)
            return std::int64_t(root.value & 0xFF) + 1;
    }
    return std::nullopt;
}

RegistryStore::RegistryStore(std::string path, FileDescriptor file, SqliteDatabase db)
    : m_path(std::move(path)), m_file(std::move(file)), m_db(std::move(db)),
      m_keyById(m_db.prepare("SELECT parent IS NULL, read_only, depth FROM keys WHERE id = ?1")),
      m_child(m_db.prepare("SELECT id, read_only, depth FROM keys WHERE parent = ?1 AND folded = ?2")),
      m_hasChildren(m_db.prepare("SELECT EXISTS(SELECT 1 FROM keys WHERE parent = ?1)")),
      m_childAt(m_db.prepare(
          "SELECT name, folded, id FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2")),
      m_keyCounts(m_db.prepare(
          "SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1")),
      m_valueCounts(m_db.prepare("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
                                 "ifnull(max(length(data)), 0) FROM vals WHERE key = ?1")),
      m_insertKey(
          m_db.prepare("INSERT INTO keys(id, parent, name, folded, depth) VALUES(?1, ?2, ?3, ?4, ?5)")),
      m_deleteValues(m_db.prepare("DELETE FROM vals WHERE key = ?1")),
      m_deleteKey(m_db.prepare("DELETE FROM keys WHERE id = ?1")),
      m_setReadOnly(m_db.prepare("UPDATE keys SET read_only = ?2 WHERE id = ?1")),
      m_valueByName(m_db.prepare("SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2")),
      m_valueAt(m_db.prepare(
          "SELECT name, type, data, seq FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2")),
      m_upsertValue(m_db.prepare(
          "INSERT INTO vals(key, folded, name, seq, type, data) "
          "VALUES(?1, ?2, ?3, (SELECT ifnull(max(seq), 0) + 1 FROM vals WHERE key = ?1), ?4, ?5) "
          "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data")),
      m_deleteValue(m_db.prepare("DELETE FROM vals WHERE key = ?1 AND folded = ?2")),
      m_dataVersion(m_db.prepare("PRAGMA data_version")),
      m_childAfter(m_db.prepare(
          "SELECT name, folded, id FROM keys WHERE parent = ?1 AND folded > ?2 ORDER BY folded LIMIT 1")),
      m_valueAfter(m_db.prepare(
          "SELECT name, type, data, seq FROM vals WHERE key = ?1 AND seq > ?2 ORDER BY seq LIMIT 1")),
      m_hasDetails(StoreFile::hasKeyDetails(m_db))
{
    if (!m_hasDetails)
        return;
    m_details = m_db.prepare("SELECT ifnull(class, ''), ifnull(written, 0) FROM keys WHERE id = ?1");
    m_longestClass =
        m_db.prepare("SELECT ifnull(max(length(CAST(class AS BLOB))), 0) FROM keys WHERE parent = ?1");
    m_setClass = m_db.prepare("UPDATE keys SET class = ?2 WHERE id = ?1");
}

RegistryStore::~RegistryStore()
{
    // The mapping goes before the connection; the descriptor after it, with the members.
    m_walIndex.unmap();
}

RegistryStore::Version RegistryStore::version()
{
    Use use(m_dataVersion);
    return {use.step() ? use.columnInt64(0) : -1, m_ownChanges};
}

bool RegistryStore::continues(const Cursor& cursor, std::int64_t keyId, DWORD index, const Version& now) const
{
    return cursor.valid && cursor.keyId == keyId && index == cursor.index + 1 && cursor.version == now;
}

bool RegistryStore::writable() const
{
    // Checked on the file each time, so a chmod takes effect at once; for root the file system itself
    // would let every write through.
    struct stat info = {};
    if (!m_hasDetails || ::fstat(m_file.get(), &info) != 0 || (info.st_mode & S_IWUSR) == 0)
        return false;
    return !m_db.isReadOnly();
}

RegistryStore::CachedReads::CachedReads(RegistryStore& store) : m_store(store)
{
    m_store.beginCachedReads();
}

RegistryStore::CachedReads::~CachedReads()
{
    m_store.m_cacheInUse = false;
}

void RegistryStore::beginCachedReads()
{
    m_cacheInUse = false;
    if (!m_walIndex.isOpen()) {
        // One try: a store not in WAL mode has no shared memory to watch, and is simply not cached.
        if (m_walIndexTried)
            return;
        m_walIndexTried = true;
        // The connection maps the shared memory at its first read; only then is the file ours to map.
        Use(m_dataVersion).step();
        if (!m_walIndex.open(m_path))
            return;
    }
    const auto header = m_walIndex.header();
    if (!header) {
        clearCache();
        return;
    }
    if (header != m_cacheHeader || m_cacheOwnChanges != m_ownChanges) {
        clearCache();
        m_cacheHeader = header;
        m_cacheOwnChanges = m_ownChanges;
    }
    m_cacheInUse = true;
}

void RegistryStore::clearCache()
{
    m_cacheHeader.reset();
    m_keyCache.clear();
    m_childCache.clear();
    m_valueCache.clear();
}

template <typename Map, typename Answer>
void RegistryStore::remember(Map& map, const typename Map::key_type& key, const Answer& answer)
{
    // Enough for the keys and values a program keeps reading; a program that reads everything once
    // gains nothing from a bigger cache.
    constexpr std::size_t kMaxEntries = 4096;
    if (!m_cacheInUse)
        return;
    if (map.size() >= kMaxEntries)
        map.clear();
    map.insert_or_assign(key, answer);
}

std::optional<RegistryStore::Key> RegistryStore::key(std::int64_t id)
{
    if (m_cacheInUse) {
        if (const auto hit = m_keyCache.find(id); hit != m_keyCache.end())
            return hit->second;
    }
    Use use(m_keyById);
    std::optional<Key> found;
    if (use.bind(1, id).step())
        found =
            Key{id, use.columnInt64(0) != 0, use.columnInt64(1) != 0, static_cast<int>(use.columnInt64(2))};
    remember(m_keyCache, id, found);
    return found;
}

std::optional<RegistryStore::Key> RegistryStore::child(const Key& parent, std::string_view name)
{
    std::pair<std::int64_t, std::string> lookup{parent.id, foldName(name)};
    if (m_cacheInUse) {
        if (const auto hit = m_childCache.find(lookup); hit != m_childCache.end())
            return hit->second;
    }
    Use use(m_child);
    std::optional<Key> found;
    if (use.bind(1, parent.id).bindText(2, lookup.second).step())
        found = Key{use.columnInt64(0), false, use.columnInt64(1) != 0, static_cast<int>(use.columnInt64(2))};
    remember(m_childCache, lookup, found);
    return found;
}

bool RegistryStore::hasChildren(std::int64_t id)
{
    Use use(m_hasChildren);
    return use.bind(1, id).step() && use.columnInt64(0) != 0;
}

std::optional<RegistryStore::Child> RegistryStore::childAt(std::int64_t id, DWORD index)
{
    const Version now = version();
    const bool next = continues(m_childCursor, id, index, now);
    Use use(next ? m_childAfter : m_childAt);
    use.bind(1, id);
    if (next)
        use.bindText(2, m_childCursor.folded);
    else
        use.bind(2, index);
    m_childCursor.valid = false;
    if (!use.step())
        return std::nullopt;
    // The next call searches past this name; one that does not sort after the last would list the same
    // names again, for ever.
    std::string folded(use.columnText(1));
    if (use.columnType(1) != SQLITE_TEXT || (next && folded <= m_childCursor.folded))
        throw SqliteError(SQLITE_CORRUPT, "the index of key names is damaged");
    m_childCursor = {id, index, 0, std::move(folded), now, true};
    return Child{std::string(use.columnText(0)), use.columnInt64(2)};
}

RegistryStore::Info RegistryStore::info(std::int64_t id)
{
    Info result;
    {
        Use use(m_keyCounts);
        if (use.bind(1, id).step()) {
            result.subKeys = static_cast<DWORD>(use.columnInt64(0));
            result.maxSubKeyNameLength = static_cast<DWORD>(use.columnInt64(1));
        }
    }
    if (m_hasDetails) {
        Use use(m_longestClass);
        if (use.bind(1, id).step())
            result.maxClassLength = static_cast<DWORD>(use.columnInt64(0));
    }
    Use use(m_valueCounts);
    if (use.bind(1, id).step()) {
        result.values = static_cast<DWORD>(use.columnInt64(0));
        result.maxValueNameLength = static_cast<DWORD>(use.columnInt64(1));
        result.maxValueLength = static_cast<DWORD>(use.columnInt64(2));
    }
    return result;
}

RegistryStore::Details RegistryStore::details(std::int64_t id)
{
    Details result;
    if (m_hasDetails) {
        Use use(m_details);
        if (use.bind(1, id).step())
            result = {std::string(use.columnText(0)), use.columnInt64(1)};
    }
    // A store not brought up to date keeps no times: its file's is the latest any key can have.
    if (result.lastWrite == 0) {
        struct stat info = {};
        timespec time = {};
        if (::fstat(m_file.get(), &info) == 0)
            time = info.st_mtim;
        else
            ::clock_gettime(CLOCK_REALTIME, &time);
        result.lastWrite = StoreFile::fileTimeOf(time);
    }
    return result;
}

RegistryStore::Key RegistryStore::createChild(const Key& parent, std::string_view name,
                                              std::string_view className)
{
    const std::string folded = foldName(name);
    // A handle names its key by id, so an id must never come back for a later key: a stale handle would
    // then write into a stranger. Random 63-bit ids make that as good as impossible, at no cost per write.
    for (int attempt = 0;; ++attempt) {
        std::int64_t id = 0;
        sqlite3_randomness(sizeof id, &id);
        id = (id & std::numeric_limits<std::int64_t>::max()) | 0x100;
        try {
            changed();
            Use(m_insertKey)
                .bind(1, id)
                .bind(2, parent.id)
                .bindText(3, name)
                .bindText(4, folded)
                .bind(5, parent.depth + 1)
                .run();
            if (m_hasDetails && !className.empty())
                Use(m_setClass).bind(1, id).bindText(2, className).run();
            return Key{id, false, false, parent.depth + 1};
        } catch (const SqliteError& error) {
            if (error.code() != SQLITE_CONSTRAINT_PRIMARYKEY || attempt == 3)
                throw;
        }
    }
}

void RegistryStore::removeKey(std::int64_t id)
{
    changed();
    Use(m_deleteValues).bind(1, id).run();
    Use(m_deleteKey).bind(1, id).run();
}

void RegistryStore::setReadOnly(std::int64_t id, bool readOnly)
{
    changed();
    Use(m_setReadOnly).bind(1, id).bind(2, readOnly ? 1 : 0).run();
}

std::optional<RegistryStore::Value> RegistryStore::value(std::int64_t keyId, std::string_view name)
{
    std::pair<std::int64_t, std::string> lookup{keyId, foldName(name)};
    if (m_cacheInUse) {
        if (const auto hit = m_valueCache.find(lookup); hit != m_valueCache.end())
            return hit->second;
    }
    Use use(m_valueByName);
    std::optional<Value> found;
    if (use.bind(1, keyId).bindText(2, lookup.second).step())
        found = readValue(use);
    remember(m_valueCache, lookup, found);
    return found;
}

std::optional<RegistryStore::Value> RegistryStore::valueAt(std::int64_t keyId, DWORD index)
{
    const Version now = version();
    const bool next = continues(m_valueCursor, keyId, index, now);
    Use use(next ? m_valueAfter : m_valueAt);
    use.bind(1, keyId).bind(2, next ? m_valueCursor.seq : std::int64_t(index));
    const std::int64_t previous = m_valueCursor.seq;
    m_valueCursor.valid = false;
    if (!use.step())
        return std::nullopt;
    // As for key names: a place that does not lie after the last would start the listing over.
    const std::int64_t seq = use.columnInt64(3);
    if (use.columnType(3) != SQLITE_INTEGER || (next && seq <= previous))
        throw SqliteError(SQLITE_CORRUPT, "the index of value order is damaged");
    m_valueCursor = {keyId, index, seq, {}, now, true};
    return readValue(use);
}

void RegistryStore::setValue(std::int64_t keyId, std::string_view name, DWORD type,
                             std::span<const BYTE> data)
{
    const std::string folded = foldName(name);
    changed();
    Use(m_upsertValue)
        .bind(1, keyId)
        .bindText(2, folded)
        .bindText(3, name)
        .bind(4, type)
        .bindBlob(5, data)
        .run();
}

bool RegistryStore::removeValue(std::int64_t keyId, std::string_view name)
{
    const std::string folded = foldName(name);
    changed();
    Use(m_deleteValue).bind(1, keyId).bindText(2, folded).run();
    return m_db.changes() > 0;
}

} // namespace dawdlex::winreg
