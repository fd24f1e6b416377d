#include "cache/analysis_store.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/program_files.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

namespace tw {

namespace {

constexpr int kApplicationId = 0x54574143;  // "TWAC"
constexpr int kSchemaVersion = 1;
// Queued values are written once they hold this much.
constexpr std::uint64_t kBatchBytes = std::uint64_t{4} << 20;
// How long a program waits for another's transaction or for the folder lock.
constexpr int kWaitMilliseconds = 10000;
// What an entry costs beside its value: key, row and index bytes.
constexpr std::uint64_t kEntryOverhead = 96;

const char* const kSchema = R"(
CREATE TABLE entries(id INTEGER PRIMARY KEY, content BLOB NOT NULL, variant TEXT NOT NULL,
                     bytes INTEGER NOT NULL, used INTEGER NOT NULL, checksum INTEGER NOT NULL);
CREATE UNIQUE INDEX entries_key ON entries(content, variant);
CREATE INDEX entries_used ON entries(used);
CREATE TABLE blobs(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
)";

// A failure reported by SQLite, with its (extended) result code.
class SqlFailure : public std::runtime_error {
public:
    SqlFailure(int code, const std::string& message) : std::runtime_error(message), code(code) {}
    int code;
};

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
}

bool isBusy(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// Content hashes are stored as 16 bytes, high half first.
std::array<std::uint8_t, 16> contentBytes(const ContentHash& h)
{
    std::array<std::uint8_t, 16> b{};
    for (int i = 0; i < 8; ++i) {
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(h.high >> (56 - 8 * i));
        b[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(h.low >> (56 - 8 * i));
    }
    return b;
}

std::int64_t nowMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The database and what SQLite keeps beside it.
void removeDatabaseFiles(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db)
    {
        const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
        if (rc != SQLITE_OK)
            throw SqlFailure(rc, sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, std::int64_t v)
    {
        check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    Statement& bind(int i, const std::string& text)
    {
        check(sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8));
        return *this;
    }
    Statement& bind(int i, const void* data, std::size_t size)
    {
        // A zero-length blob must still be a blob, not NULL.
        static const std::uint8_t none = 0;
        check(sqlite3_bind_blob64(stmt_, i, size ? data : &none, size, SQLITE_STATIC));
        return *this;
    }
    Statement& bind(int i, const ContentHash& h)
    {
        const auto bytes = contentBytes(h);
        check(sqlite3_bind_blob64(stmt_, i, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
        return *this;
    }

    // True for a row, false when done.
    bool step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw SqlFailure(rc, sqlite3_errmsg(db_));
    }
    // Runs to the end.
    void run()
    {
        while (step()) {
        }
    }
    void reset() noexcept
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::vector<std::uint8_t> blob(int column) const
    {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
        const int size = sqlite3_column_bytes(stmt_, column);
        return data && size > 0 ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>{};
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            throw SqlFailure(rc, sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// One use of a statement, left reset whatever happens.
class Use {
public:
    explicit Use(Statement& s) : s_(s) {}
    ~Use() { s_.reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    Statement* operator->() { return &s_; }

private:
    Statement& s_;
};

// The lock file beside the database, held while a program opens, checks or
// makes the database anew, so two programs never do that at once.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // lets the lock go
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // 0, or the errno of what failed.
    int take(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            return errno;
        for (int waited = 0;; waited += 10) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                return 0;
            if (errno != EWOULDBLOCK || waited >= kWaitMilliseconds)
                return errno == EWOULDBLOCK ? ETIMEDOUT : errno;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    int fd_ = -1;
};

} // namespace

class AnalysisStore::Database {
public:
    enum class State { Fresh, Ours, Foreign, OtherVersion, Damaged };

    explicit Database(const std::string& path) : path_(path)
    {
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        db_ = db;
        if (rc != SQLITE_OK) {
            const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            sqlite3_close_v2(db);
            db_ = nullptr;
            throw SqlFailure(rc, message);
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kWaitMilliseconds);
    }
    ~Database()
    {
        statements_.clear();
        sqlite3_close_v2(db_);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql)
    {
        char* error = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
        if (rc != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errstr(rc);
            sqlite3_free(error);
            throw SqlFailure(rc, message);
        }
    }
    void rollback() noexcept
    {
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    std::int64_t single(const char* sql)
    {
        Statement s(db_, sql);
        return s.step() ? s.integer(0) : 0;
    }

    State inspect()
    {
        const std::int64_t application = single("PRAGMA application_id");
        const std::int64_t version = single("PRAGMA user_version");
        const std::int64_t objects = single("SELECT COUNT(*) FROM sqlite_schema");
        if (application == 0 && version == 0 && objects == 0)
            return State::Fresh;
        if (application != kApplicationId)
            return State::Foreign;
        if (version != kSchemaVersion)
            return State::OtherVersion;
        if (single("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('entries', 'blobs')") != 2)
            return State::Damaged;
        exec("PRAGMA journal_mode = WAL");
        return State::Ours;
    }

    void create()
    {
        // Space of evicted entries goes back to the system; the setting
        // only takes before the first table.
        exec("PRAGMA auto_vacuum = INCREMENTAL");
        exec("PRAGMA journal_mode = WAL");
        exec("BEGIN IMMEDIATE");
        try {
            exec(kSchema);
            exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
            exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
            exec("COMMIT");
        } catch (...) {
            rollback();
            throw;
        }
    }

    // After inspect or create.
    void prepare()
    {
        exec("PRAGMA synchronous = NORMAL");
        find = add("SELECT e.id, e.checksum, b.value FROM entries e JOIN blobs b ON b.id = e.id "
                   "WHERE e.content = ?1 AND e.variant = ?2");
        keyId = add("SELECT id FROM entries WHERE content = ?1 AND variant = ?2");
        insertEntry = add("INSERT INTO entries(content, variant, bytes, used, checksum) VALUES(?1, ?2, ?3, ?4, ?5)");
        insertBlob = add("INSERT INTO blobs(id, value) VALUES(?1, ?2)");
        deleteEntry = add("DELETE FROM entries WHERE id = ?1");
        deleteBlob = add("DELETE FROM blobs WHERE id = ?1");
        touch = add("UPDATE entries SET used = ?2 WHERE id = ?1 AND used < ?2");
        total = add("SELECT COALESCE(SUM(bytes), 0) FROM entries");
        // The newest entries that fit the limit stay; the rest go.
        beyondLimit = add("SELECT id FROM (SELECT id, SUM(bytes) OVER (ORDER BY used DESC, id DESC) AS kept "
                          "FROM entries) WHERE kept > ?1");
        identity_ = fileIdentity();
    }

    // Removes the entry under its id, blob and all.
    void remove(std::int64_t id)
    {
        Use(*deleteBlob)->bind(1, id).run();
        Use(*deleteEntry)->bind(1, id).run();
    }
    void removeKey(const StoreKey& key)
    {
        std::int64_t id = -1;
        {
            Use use(*keyId);
            use->bind(1, key.content).bind(2, key.variant);
            if (use->step())
                id = use->integer(0);
        }
        if (id >= 0)
            remove(id);
    }
    void insert(const StoreKey& key, const std::vector<std::uint8_t>& value, std::uint64_t bytes, std::int64_t used,
                std::uint64_t checksum)
    {
        Use(*insertEntry)
            ->bind(1, key.content)
            .bind(2, key.variant)
            .bind(3, static_cast<std::int64_t>(bytes))
            .bind(4, used)
            .bind(5, static_cast<std::int64_t>(checksum))
            .run();
        const std::int64_t id = sqlite3_last_insert_rowid(db_);
        Use(*insertBlob)->bind(1, id).bind(2, value.data(), value.size()).run();
    }

    // Whether the file at the path is still the one this connection opened
    // (another program may have made the database anew meanwhile).
    bool stillTheFile() const { return fileIdentity() == identity_; }

    Statement* find = nullptr;
    Statement* keyId = nullptr;
    Statement* insertEntry = nullptr;
    Statement* insertBlob = nullptr;
    Statement* deleteEntry = nullptr;
    Statement* deleteBlob = nullptr;
    Statement* touch = nullptr;
    Statement* total = nullptr;
    Statement* beyondLimit = nullptr;

private:
    Statement* add(const char* sql)
    {
        statements_.push_back(std::make_unique<Statement>(db_, sql));
        return statements_.back().get();
    }
    std::pair<dev_t, ino_t> fileIdentity() const
    {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0)
            return {0, 0};
        return {st.st_dev, st.st_ino};
    }

    std::string path_;
    sqlite3* db_ = nullptr;
    std::vector<std::unique_ptr<Statement>> statements_;
    std::pair<dev_t, ino_t> identity_{0, 0};
};

// Throws SqlFailure for anything but damage.
std::unique_ptr<AnalysisStore::Database> AnalysisStore::openOrMakeAnew(const std::string& path, const Warn& warn)
{
    std::string trouble;
    try {
        auto db = std::make_unique<Database>(path);
        switch (db->inspect()) {
        case Database::State::Fresh: db->create(); [[fallthrough]];
        case Database::State::Ours: db->prepare(); return db;
        case Database::State::Foreign: trouble = "is not Tilewright's analysis cache"; break;
        case Database::State::OtherVersion: trouble = "was made by another version of Tilewright"; break;
        case Database::State::Damaged: trouble = "is damaged (tables missing)"; break;
        }
    } catch (const SqlFailure& e) {
        if (!isDamage(e.code))
            throw;
        trouble = std::string("is damaged (") + e.what() + ")";
    }
    if (warn)
        warn("the analysis cache " + path + " " + trouble + "; it is made anew");
    removeDatabaseFiles(path);
    auto db = std::make_unique<Database>(path);
    db->create();
    db->prepare();
    return db;
}

AnalysisStore::AnalysisStore(std::string folder, Warn warn, std::uint64_t limitBytes)
    : folder_(std::move(folder)), path_(joinPath(folder_, kDatabaseName)), warn_(std::move(warn)), limit_(limitBytes)
{
}

AnalysisStore::~AnalysisStore()
{
    flush();
    std::lock_guard lock(mutex_);
    db_.reset();
}

std::unique_ptr<AnalysisStore> AnalysisStore::open(const std::string& folder, Warn warn, std::uint64_t limitBytes)
{
    std::unique_ptr<AnalysisStore> store(new AnalysisStore(folder, std::move(warn), limitBytes));
    if (!store->start())
        return nullptr;
    return store;
}

void AnalysisStore::warnOnce(const std::string& text) noexcept
{
    if (warned_ || !warn_)
        return;
    warned_ = true;
    try {
        warn_(text);
    } catch (...) {
        // A warning that cannot be shown is not worth failing for.
    }
}

bool AnalysisStore::start()
{
    const std::string cannot = "the analysis cache cannot be kept in " + folder_;
    const std::string goOn = "; creations go on without it";
    try {
        ensureFolderOf(path_);
    } catch (const Error& e) {
        warnOnce(cannot + " (" + e.what() + ")" + goOn);
        return false;
    }
    FolderLock lock;
    if (const int error = lock.take(joinPath(folder_, kLockName)); error != 0) {
        warnOnce(cannot + " (" + std::strerror(error) + ")" + goOn);
        return false;
    }
    std::lock_guard guard(mutex_);
    try {
        // Damage is worth its own warning even when a later one follows.
        db_ = openOrMakeAnew(path_, [this](const std::string& text) {
            if (warn_)
                warn_(text);
        });
    } catch (const SqlFailure& e) {
        db_.reset();
        warnOnce(cannot + " (" + e.what() + ")" + goOn);
        return false;
    } catch (const std::exception& e) {
        db_.reset();
        warnOnce(cannot + " (" + e.what() + ")" + goOn);
        return false;
    }
    usable_ = true;
    return true;
}

bool AnalysisStore::usable() const
{
    std::lock_guard lock(mutex_);
    return usable_;
}

void AnalysisStore::failedLocked(int code, const std::string& message) noexcept
{
    for (Pending& p : pending_)
        p.value = {};
    pending_.clear();
    pendingBytes_ = 0;
    used_.clear();
    dropped_.clear();
    if (isBusy(code)) {
        // Another program held the database past the wait: this batch is
        // lost, the cache itself is fine.
        return;
    }
    if (!isDamage(code)) {
        usable_ = false;
        db_.reset();
        warnOnce("the analysis cache " + path_ + " cannot be used (" + message + "); creations go on without it");
        return;
    }
    // Damage found in the middle of a run: the database is made anew, unless
    // another program has done so already.
    try {
        FolderLock lock;
        if (lock.take(joinPath(folder_, kLockName)) != 0)
            throw SqlFailure(SQLITE_CANTOPEN, "the lock file cannot be taken");
        const bool replaced = db_ && !db_->stillTheFile();
        db_.reset();
        if (!replaced) {
            if (warn_)
                warn_("the analysis cache " + path_ + " is damaged (" + message + "); it is made anew");
            removeDatabaseFiles(path_);
        }
        db_ = openOrMakeAnew(path_, warn_);
    } catch (...) {
        usable_ = false;
        db_.reset();
        warnOnce("the analysis cache " + path_ + " cannot be made anew; creations go on without it");
    }
}

std::optional<std::vector<std::uint8_t>> AnalysisStore::find(const StoreKey& key)
{
    std::lock_guard lock(mutex_);
    if (!usable_) {
        ++counts_.missed;
        return std::nullopt;
    }
    try {
        Use use(*db_->find);
        use->bind(1, key.content).bind(2, key.variant);
        if (!use->step()) {
            ++counts_.missed;
            return std::nullopt;
        }
        const std::int64_t id = use->integer(0);
        const auto checksum = static_cast<std::uint64_t>(use->integer(1));
        std::vector<std::uint8_t> value = use->blob(2);
        if (checksum64(value.data(), value.size()) != checksum) {
            ++counts_.damaged;
            ++counts_.missed;
            dropped_.push_back(key);
            if (!warnedDamage_ && warn_) {
                warnedDamage_ = true;
                warn_("an entry of the analysis cache " + path_ + " was damaged; it is made again");
            }
            return std::nullopt;
        }
        used_.push_back(id);
        ++counts_.found;
        return value;
    } catch (const SqlFailure& e) {
        failedLocked(e.code, e.what());
    } catch (const std::bad_alloc&) {
        // No memory for the value: as if it were not there.
    }
    ++counts_.missed;
    return std::nullopt;
}

void AnalysisStore::put(const StoreKey& key, std::vector<std::uint8_t> value)
{
    std::lock_guard lock(mutex_);
    if (!usable_)
        return;
    pendingBytes_ += value.size();
    pending_.push_back(Pending{key, std::move(value)});
    if (pendingBytes_ >= kBatchBytes)
        flushLocked();
}

void AnalysisStore::drop(const StoreKey& key)
{
    std::lock_guard lock(mutex_);
    ++counts_.damaged;
    if (!usable_)
        return;
    dropped_.push_back(key);
    if (!warnedDamage_ && warn_) {
        warnedDamage_ = true;
        try {
            warn_("an entry of the analysis cache " + path_ + " was damaged; it is made again");
        } catch (...) {
        }
    }
}

void AnalysisStore::flush() noexcept
{
    std::lock_guard lock(mutex_);
    flushLocked();
}

void AnalysisStore::flushLocked() noexcept
{
    if (!usable_ || (pending_.empty() && used_.empty() && dropped_.empty()))
        return;
    std::uint64_t evicted = 0;
    try {
        Database& db = *db_;
        db.exec("BEGIN IMMEDIATE");
        for (const StoreKey& key : dropped_)
            db.removeKey(key);
        const std::int64_t now = nowMicroseconds();
        for (const Pending& p : pending_) {
            db.removeKey(p.key);
            db.insert(p.key, p.value, p.value.size() + p.key.variant.size() + kEntryOverhead, now,
                      checksum64(p.value.data(), p.value.size()));
        }
        for (std::int64_t id : used_)
            Use(*db.touch)->bind(1, id).bind(2, now).run();
        std::int64_t total = 0;
        {
            Use use(*db.total);
            total = use->step() ? use->integer(0) : 0;
        }
        if (static_cast<std::uint64_t>(total) > limit_) {
            std::vector<std::int64_t> ids;
            {
                Use use(*db.beyondLimit);
                use->bind(1, static_cast<std::int64_t>(limit_));
                while (use->step())
                    ids.push_back(use->integer(0));
            }
            for (std::int64_t id : ids)
                db.remove(id);
            evicted = ids.size();
        }
        db.exec("COMMIT");
        counts_.written += pending_.size();
        counts_.evicted += evicted;
    } catch (const SqlFailure& e) {
        if (db_)
            db_->rollback();
        failedLocked(e.code, e.what());
        return;
    } catch (const std::bad_alloc&) {
        if (db_)
            db_->rollback();
    }
    pending_.clear();
    pendingBytes_ = 0;
    used_.clear();
    dropped_.clear();
    if (evicted > 0) {
        try {
            db_->exec("PRAGMA incremental_vacuum");
        } catch (const SqlFailure& e) {
            failedLocked(e.code, e.what());
        }
    }
}

StoreSummary AnalysisStore::summary()
{
    std::lock_guard lock(mutex_);
    flushLocked();
    StoreSummary s;
    s.limitBytes = limit_;
    if (!usable_)
        return s;
    try {
        s.entries = static_cast<std::uint64_t>(db_->single("SELECT COUNT(*) FROM entries"));
        s.photographs = static_cast<std::uint64_t>(db_->single("SELECT COUNT(DISTINCT content) FROM entries"));
        s.entryBytes = static_cast<std::uint64_t>(db_->single("SELECT COALESCE(SUM(bytes), 0) FROM entries"));
    } catch (const SqlFailure& e) {
        failedLocked(e.code, e.what());
    }
    s.fileBytes = fileSize(path_) + fileSize(path_ + "-wal");
    return s;
}

StoreSummary AnalysisStore::clear()
{
    StoreSummary before = summary();
    std::lock_guard lock(mutex_);
    if (!usable_)
        return before;
    try {
        db_->exec("BEGIN IMMEDIATE");
        db_->exec("DELETE FROM blobs");
        db_->exec("DELETE FROM entries");
        db_->exec("COMMIT");
        db_->exec("PRAGMA incremental_vacuum");
        // The log gives its space back too, unless another program reads.
        db_->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const SqlFailure& e) {
        if (db_)
            db_->rollback();
        failedLocked(e.code, e.what());
    }
    return before;
}

StoreCounts AnalysisStore::counts() const
{
    std::lock_guard lock(mutex_);
    return counts_;
}

} // namespace tw
