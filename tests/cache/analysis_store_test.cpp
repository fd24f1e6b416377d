// The analysis cache's store: values found by content and variant, kept in
// whole transactions, evicted least recently used first, damaged values and
// databases dropped with a warning, several users of one database at once.
#include "cache/analysis_store.h"
#include "cache/content_hash.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tw {
namespace {

namespace fs = std::filesystem;

StoreKey key(int n, const std::string& variant = "v")
{
    const std::string content = "photograph " + std::to_string(n);
    return StoreKey{contentHash(content.data(), content.size()), variant};
}

std::vector<std::uint8_t> value(int n, std::size_t size = 100)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(n * 31 + static_cast<int>(i));
    return v;
}

struct Opened {
    std::unique_ptr<AnalysisStore> store;
    std::vector<std::string> warnings;
};

std::unique_ptr<Opened> openIn(const fs::path& folder, std::uint64_t limit = AnalysisStore::kDefaultLimitBytes)
{
    auto o = std::make_unique<Opened>();
    o->store = AnalysisStore::open(folder.string(), [w = &o->warnings](const std::string& t) { w->push_back(t); },
                                   limit);
    return o;
}

// Runs sql on the database file directly, as another program would.
void runSql(const fs::path& database, const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(ContentHash, DiffersForEveryChangeAndIsStable)
{
    const std::string text = "a photograph's bytes";
    const ContentHash h = contentHash(text.data(), text.size());
    EXPECT_EQ(h, contentHash(text.data(), text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string other = text;
        other[i] ^= 1;
        EXPECT_NE(contentHash(other.data(), other.size()), h) << "byte " << i;
    }
    EXPECT_NE(contentHash(text.data(), text.size() - 1), h);
    EXPECT_NE(contentHash(nullptr, 0), h);
}

TEST(AnalysisStore, FindsWhatWasPutUnderTheSameContentAndVariantOnly)
{
    const fs::path folder = test::scratchDir("store");
    {
        auto o = openIn(folder);
        ASSERT_TRUE(o->store);
        o->store->put(key(1), value(1));
        o->store->put(key(2), value(2));
        o->store->put(key(1, "other"), value(3));
        o->store->put(key(2), value(4));  // replaces
        // Queued values are found once written.
        EXPECT_FALSE(o->store->find(key(1)));
        o->store->flush();
        EXPECT_EQ(o->store->counts().written, 4u);
        EXPECT_EQ(o->warnings, std::vector<std::string>{});
    }
    // Another run finds them in the database.
    auto o = openIn(folder);
    ASSERT_TRUE(o->store);
    struct Row {
        const char* why;
        StoreKey key;
        std::optional<std::vector<std::uint8_t>> expected;
    };
    const Row rows[] = {
        {"first", key(1), value(1)},
        {"replaced", key(2), value(4)},
        {"same content, other variant", key(1, "other"), value(3)},
        {"other content", key(5), std::nullopt},
        {"other variant", key(2, "other"), std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(o->store->find(row.key), row.expected) << row.why;
    EXPECT_EQ(o->store->counts().found, 3u);
    EXPECT_EQ(o->store->counts().missed, 2u);
    const StoreSummary s = o->store->summary();
    EXPECT_EQ(s.entries, 3u);
    EXPECT_EQ(s.photographs, 2u);
    EXPECT_GT(s.fileBytes, 0u);
}

TEST(AnalysisStore, EvictsTheLeastRecentlyUsedPastTheLimit)
{
    const fs::path folder = test::scratchDir("store");
    // Room for about three values of 1000 bytes with their keys.
    auto o = openIn(folder, 3500);
    ASSERT_TRUE(o->store);
    auto later = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
    for (int n : {1, 2, 3}) {
        o->store->put(key(n), value(n, 1000));
        o->store->flush();
        later();
    }
    ASSERT_TRUE(o->store->find(key(1)));  // 1 used after 2 and 3
    o->store->flush();
    later();
    o->store->put(key(4), value(4, 1000));
    o->store->flush();
    EXPECT_EQ(o->store->counts().evicted, 1u);
    struct Row {
        int n;
        bool kept;
    };
    for (const Row& row : {Row{1, true}, Row{2, false}, Row{3, true}, Row{4, true}})
        EXPECT_EQ(o->store->find(key(row.n)).has_value(), row.kept) << "entry " << row.n;
    EXPECT_LE(o->store->summary().entryBytes, 3500u);
}

TEST(AnalysisStore, DamagedValueIsDroppedWithOneWarning)
{
    const fs::path folder = test::scratchDir("store");
    {
        auto o = openIn(folder);
        ASSERT_TRUE(o->store);
        for (int n : {1, 2, 3})
            o->store->put(key(n), value(n));
    }
    // Two values changed behind the store's back.
    runSql(folder / AnalysisStore::kDatabaseName, "UPDATE blobs SET value = zeroblob(100) WHERE id IN (1, 3)");
    auto o = openIn(folder);
    ASSERT_TRUE(o->store);
    EXPECT_FALSE(o->store->find(key(1)));
    EXPECT_EQ(o->store->find(key(2)), value(2));
    EXPECT_FALSE(o->store->find(key(3)));
    EXPECT_EQ(o->store->counts().damaged, 2u);
    ASSERT_EQ(o->warnings.size(), 1u);
    EXPECT_NE(o->warnings[0].find("was damaged"), std::string::npos) << o->warnings[0];
    EXPECT_EQ(o->store->summary().entries, 1u) << "damaged entries are removed";
    // A value its reader refused goes the same way.
    o->store->drop(key(2));
    EXPECT_EQ(o->store->summary().entries, 0u);
}

TEST(AnalysisStore, DamagedOrForeignDatabaseIsMadeAnewWithAWarning)
{
    struct Row {
        const char* why;
        void (*spoil)(const fs::path& database);
        bool warned;
    };
    const Row rows[] = {
        {"garbage", [](const fs::path& d) { std::ofstream(d, std::ios::binary) << std::string(3000, 'x'); }, true},
        {"another program's database",
         [](const fs::path& d) { runSql(d, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')"); }, true},
        {"another version's",
         [](const fs::path& d) {
             runSql(d, "PRAGMA application_id = " + std::to_string(0x54574143) + "; PRAGMA user_version = 99");
         },
         true},
        {"ours with a table missing",
         [](const fs::path& d) {
             { auto o = openIn(d.parent_path()); }
             runSql(d, "DROP TABLE blobs");
         },
         true},
        {"ours with the middle overwritten",
         [](const fs::path& d) {
             {
                 auto o = openIn(d.parent_path());
                 for (int n = 0; n < 200; ++n)
                     o->store->put(key(n), value(n, 2000));
             }
             std::fstream f(d, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(4096);
             f << std::string(8192, '\xff');
         },
         true},
        {"empty file", [](const fs::path& d) { std::ofstream(d, std::ios::binary); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const fs::path folder = test::scratchDir("store");
        const fs::path database = folder / AnalysisStore::kDatabaseName;
        row.spoil(database);
        auto o = openIn(folder);
        ASSERT_TRUE(o->store);
        o->store->put(key(1), value(1));
        o->store->flush();
        // Damage found only while reading makes the database anew then.
        for (int n = 0; n < 200; ++n)
            (void)o->store->find(key(n + 1000));
        std::optional<std::vector<std::uint8_t>> found = o->store->find(key(1));
        if (!found) {
            o->store->put(key(1), value(1));
            o->store->flush();
            found = o->store->find(key(1));
        }
        EXPECT_EQ(found, value(1));
        EXPECT_TRUE(o->store->usable());
        if (row.warned) {
            ASSERT_FALSE(o->warnings.empty());
            EXPECT_NE(o->warnings[0].find("it is made anew"), std::string::npos) << o->warnings[0];
        } else {
            EXPECT_EQ(o->warnings, std::vector<std::string>{});
        }
    }
}

TEST(AnalysisStore, ClearRemovesEveryEntryAndSaysWhatWasThere)
{
    const fs::path folder = test::scratchDir("store");
    auto o = openIn(folder);
    ASSERT_TRUE(o->store);
    for (int n = 0; n < 50; ++n)
        o->store->put(key(n % 20, "v" + std::to_string(n / 20)), value(n, 5000));
    const StoreSummary before = o->store->clear();
    EXPECT_EQ(before.entries, 50u);
    EXPECT_EQ(before.photographs, 20u);
    const StoreSummary after = o->store->summary();
    EXPECT_EQ(after.entries, 0u);
    EXPECT_EQ(after.entryBytes, 0u);
    EXPECT_LT(after.fileBytes, before.fileBytes / 4) << "the space goes back";
    EXPECT_FALSE(o->store->find(key(1, "v0")));
}

// Stores on one database in several threads at once (each its own
// connection, as separate programs have): every value written by one is
// found by the others, none lost, no failure.
TEST(AnalysisStore, SeveralUsersAtOnceLoseNothing)
{
    const fs::path folder = test::scratchDir("store");
    constexpr int kUsers = 4, kEach = 60;
    std::vector<std::vector<std::string>> warnings(kUsers);
    std::vector<std::thread> users;
    for (int u = 0; u < kUsers; ++u)
        users.emplace_back([&, u] {
            auto store = AnalysisStore::open(folder.string(),
                                             [&w = warnings[static_cast<std::size_t>(u)]](const std::string& t) {
                                                 w.push_back(t);
                                             });
            ASSERT_TRUE(store);
            for (int n = 0; n < kEach; ++n) {
                store->put(key(u * 1000 + n), value(n, 3000));
                (void)store->find(key(((u + 1) % kUsers) * 1000 + n));
                if (n % 10 == 9)
                    store->flush();
            }
            EXPECT_TRUE(store->usable());
        });
    for (std::thread& t : users)
        t.join();
    for (const auto& w : warnings)
        EXPECT_EQ(w, std::vector<std::string>{});
    auto o = openIn(folder);
    ASSERT_TRUE(o->store);
    for (int u = 0; u < kUsers; ++u)
        for (int n = 0; n < kEach; ++n)
            EXPECT_EQ(o->store->find(key(u * 1000 + n)), value(n, 3000)) << "user " << u << " value " << n;
}

// A folder that cannot hold the database: no store, one warning.
TEST(AnalysisStore, FolderThatCannotBeUsedGivesNoStoreAndOneWarning)
{
    const fs::path dir = test::scratchDir("blocked");
    std::ofstream(dir / "file") << "not a folder";
    fs::create_directories(dir / AnalysisStore::kDatabaseName.c_str());
    const fs::path databaseIsAFolder = dir;
    for (const fs::path& folder : {dir / "file" / "cache", databaseIsAFolder}) {
        SCOPED_TRACE(folder.string());
        auto o = openIn(folder);
        EXPECT_FALSE(o->store);
        ASSERT_EQ(o->warnings.size(), 1u);
        EXPECT_NE(o->warnings[0].find("creations go on without it"), std::string::npos) << o->warnings[0];
    }
}

} // namespace
} // namespace tw
