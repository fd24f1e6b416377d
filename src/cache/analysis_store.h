#pragma once
// The analysis cache: what the library stage works out for a photograph,
// kept between runs in one SQLite database in the user's cache folder, so
// that a repeat creation with the same library needs no decoding.
//
// An entry is found by the photograph's content (the XXH3 128-bit hash of
// the file's bytes) and a variant text that names everything else the
// stored value depends on (the reader, the crop, grey or colour, the cell
// size, the program's own generation of the analysis); the value itself
// is opaque bytes to the store.
//
// The file is read and hashed on every use; its size and modification time
// are not trusted to say it is unchanged. A file rewritten with the same
// size and time (a restored backup, `touch -r`, a file system with a coarse
// clock) must not be drawn from its old content, and reading the file is
// also what proves that it is still there and readable, so the cache never
// hides a photograph that has gone. Hashing runs at memory speed, a small
// share of what decoding the file costs.
//
// Writes are queued and go to the database in one transaction per batch,
// so a crash leaves whole entries or none. Once the entries together pass
// the size limit, the least recently used go first. Several programs may
// use one database at once (write-ahead log; each waits for the others'
// short transactions).
//
// A database that is damaged, or is not this program's, is removed and
// made anew with a warning. Any other failure (a folder that cannot be
// written, a full disk, a database locked for too long) switches the cache
// off for the rest of the run, with one warning: a creation never fails
// because of the cache, and no member function throws.
#include "cache/content_hash.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct StoreKey {
    ContentHash content;
    std::string variant;
    friend bool operator==(const StoreKey&, const StoreKey&) = default;
};

// What a store did in this run.
struct StoreCounts {
    std::uint64_t found = 0;    // lookups that gave a value
    std::uint64_t missed = 0;   // lookups that did not (damaged values included)
    std::uint64_t written = 0;  // values written to the database
    std::uint64_t damaged = 0;  // values found damaged and dropped
    std::uint64_t evicted = 0;  // entries removed for the size limit
};

struct StoreSummary {
    std::uint64_t entries = 0;
    std::uint64_t photographs = 0;  // distinct contents among the entries
    std::uint64_t entryBytes = 0;   // what the entries count against the limit
    std::uint64_t fileBytes = 0;    // the database and its log on disk
    std::uint64_t limitBytes = 0;
};

class AnalysisStore {
public:
    using Warn = std::function<void(const std::string&)>;

    static constexpr std::uint64_t kDefaultLimitBytes = std::uint64_t{1} << 30;
    static inline const std::string kDatabaseName = "analysis-cache.sqlite";
    static inline const std::string kLockName = "analysis-cache.lock";

    // Opens the database in folder (created, with its parents, when
    // missing), making it anew when it is damaged or foreign. Returns null
    // after a warning when the folder or the database cannot be used.
    static std::unique_ptr<AnalysisStore> open(const std::string& folder, Warn warn,
                                               std::uint64_t limitBytes = kDefaultLimitBytes);

    ~AnalysisStore();
    AnalysisStore(const AnalysisStore&) = delete;
    AnalysisStore& operator=(const AnalysisStore&) = delete;

    const std::string& databasePath() const { return path_; }
    std::uint64_t limitBytes() const { return limit_; }
    // False once a failure has switched the cache off for this run.
    bool usable() const;

    // The value stored under key, whose use is recorded for the eviction
    // order. Safe from several threads at once.
    std::optional<std::vector<std::uint8_t>> find(const StoreKey& key);
    // Queues a value (replacing any under the same key); queued values are
    // written once enough have gathered, and by flush.
    void put(const StoreKey& key, std::vector<std::uint8_t> value);
    // A value find gave that its reader could not take: removed at the next
    // flush and counted as damaged (one warning per run).
    void drop(const StoreKey& key);
    // Writes what is queued (values, uses, drops) in one transaction, then
    // evicts down to the limit.
    void flush() noexcept;

    StoreCounts counts() const;
    // Flushes, then sums up the database.
    StoreSummary summary();
    // Flushes, then removes every entry and gives the space back.
    // Returns what was there.
    StoreSummary clear();

private:
    class Database;
    AnalysisStore(std::string folder, Warn warn, std::uint64_t limitBytes);
    bool start();
    // Opens the database at path, making it anew (with a warning) when it is
    // damaged or not ours.
    static std::unique_ptr<Database> openOrMakeAnew(const std::string& path, const Warn& warn);
    void flushLocked() noexcept;
    // A failure reported by SQLite: damage makes the database anew, other
    // failures switch the cache off. what says what was being done.
    void failedLocked(int code, const std::string& message) noexcept;
    void warnOnce(const std::string& text) noexcept;

    const std::string folder_;
    const std::string path_;
    const Warn warn_;
    const std::uint64_t limit_;

    mutable std::mutex mutex_;
    std::unique_ptr<Database> db_;
    bool usable_ = false;
    bool warned_ = false;
    bool warnedDamage_ = false;

    struct Pending {
        StoreKey key;
        std::vector<std::uint8_t> value;
    };
    std::vector<Pending> pending_;
    std::uint64_t pendingBytes_ = 0;
    std::vector<std::int64_t> used_;      // ids of entries found
    std::vector<StoreKey> dropped_;
    StoreCounts counts_;
};

} // namespace tw
