#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tw;

// The program is linked with umask wrapped, so tests can count its calls.
std::atomic<int> umaskCalls{0};
extern "C" mode_t __real_umask(mode_t mask);
extern "C" mode_t __wrap_umask(mode_t mask)
{
    ++umaskCalls;
    return __real_umask(mask);
}

namespace {

std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(Files, AtomicWriteReplacesWholeFileAndLeavesNoTemporary)
{
    auto dir = test::scratchDir("files_atomic");
    auto target = (dir / "out.bin").string();
    writeFileAtomic(target, Bytes{'o', 'l', 'd'});
    writeFileAtomic(target, Bytes{'n', 'e', 'w', '!'});
    EXPECT_EQ(slurp(target), "new!");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(Files, WriteFailingMidwayKeepsOldFileAndLeavesNoTemporary)
{
    // A file size limit makes the write fail part way, even for root: the
    // old file must survive whole and the temporary must be gone.
    auto dir = test::scratchDir("files_midway");
    auto target = (dir / "project.tw6").string();
    writeFileAtomic(target, Bytes{'o', 'l', 'd'});

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string message;
    try {
        writeFileAtomic(target, Bytes(100000, 'x'));
    } catch (const Error& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Cannot create file \"" + target + "\". File too large");
    EXPECT_EQ(slurp(target), "old");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(Files, StreamedWriteIsAllOrNothing)
{
    struct Row {
        const char* name;
        int failAfter;  // pieces written before produce throws; -1: none
        std::string expected;  // the target's content afterwards
    };
    const Row rows[] = {{"complete", -1, "abcdef"}, {"throws before writing", 0, "old"}, {"throws midway", 2, "old"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto dir = test::scratchDir(std::string("files_streamed_") + std::to_string(r.failAfter + 1));
        auto target = (dir / "out.bin").string();
        writeFileAtomic(target, Bytes{'o', 'l', 'd'});
        std::string message;
        try {
            writeFileAtomicStreamed(target, [&](const FileChunkWriter& write) {
                const char* pieces[] = {"ab", "cd", "ef"};
                for (int i = 0; i < 3; ++i) {
                    if (i == r.failAfter)
                        throw Error("producer failed");
                    write(reinterpret_cast<const std::uint8_t*>(pieces[i]), 2);
                }
            });
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, r.failAfter < 0 ? "" : "producer failed");
        EXPECT_EQ(slurp(target), r.expected);
        int files = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
            ++files;
        EXPECT_EQ(files, 1) << "no temporary file is left";
    }
}

TEST(Files, MissingFolderGivesCannotCreate)
{
    auto dir = test::scratchDir("files_missing");
    auto target = (dir / "no" / "such" / "x.bin").string();
    try {
        writeFileAtomic(target, Bytes{'x'});
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + target + "\". No such file or directory");
    }
}

TEST(Files, ReadMissingFileNamesFileAndReason)
{
    try {
        readWholeFile("/nonexistent/x.jpg");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"/nonexistent/x.jpg\". No such file or directory");
    }
}

TEST(Files, ReadRespectsSizeBound)
{
    auto dir = test::scratchDir("files_bound");
    auto target = (dir / "big.bin").string();
    writeFileAtomic(target, Bytes(1000, 7));
    EXPECT_EQ(readWholeFile(target, 1000).size(), 1000u);
    EXPECT_THROW(readWholeFile(target, 999), Error);
}

TEST(Files, PathParts)
{
    EXPECT_EQ(fileNamePart("/a/b/c.JPG"), "c.JPG");
    EXPECT_EQ(fileNamePart("plain"), "plain");
    EXPECT_EQ(extensionPart("/a/b.c/file"), "");
    EXPECT_EQ(extensionPart("/a/photo.tar.Jpeg"), "Jpeg");
    EXPECT_EQ(extensionPart("name."), "");
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
}

TEST(Errors, FullStopAddedOnlyWhenMissing)
{
    EXPECT_EQ(messageWithFullStop("Bitmap image is not valid"), "Bitmap image is not valid.");
    EXPECT_EQ(messageWithFullStop("Done."), "Done.");
    EXPECT_EQ(messageWithFullStop(""), ".");
}

// --- Reading only regular files -------------------------------------------

namespace {

int filesIn(const std::filesystem::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

} // namespace

TEST(Files, ReadRefusesAnythingButARegularFileAtOnce)
{
    auto dir = test::scratchDir("files_kinds");
    const std::string fifo = (dir / "x.bmp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zeroLink = (dir / "project.tw6").string();
    std::filesystem::create_symlink("/dev/zero", zeroLink);
    const std::string folder = (dir / "folder.IL2").string();
    std::filesystem::create_directory(folder);

    struct Row {
        std::string path;
        std::string reason;
    };
    const Row rows[] = {
        {fifo, "Not a regular file (a named pipe)"},
        {zeroLink, "Not a regular file (a character device)"},
        {"/dev/null", "Not a regular file (a character device)"},
        {folder, "Is a directory"},
    };
    std::atomic<bool> stop{false};
    std::thread feeder([&] { test::feedPipeUntil(fifo, stop); });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        try {
            // A bound well below what /dev/zero would give: reading it at
            // all shows as "too large".
            Bytes got = readWholeFile(row.path, 1 << 20);
            ADD_FAILURE() << "read " << got.size() << " bytes";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + row.path + "\". " + row.reason);
        }
    }
    stop = true;
    feeder.join();
}

TEST(Files, ReadFailureMidwayNamesTheFile)
{
    // /proc/self/mem is a regular file whose first read fails: address 0 is
    // never mapped.
    try {
        readWholeFile("/proc/self/mem", 1 << 20);
        FAIL() << "reading /proc/self/mem succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Stream read error");
        EXPECT_EQ(e.file(), "/proc/self/mem");
    }
}

// --- Saving ---------------------------------------------------------------

namespace {

std::string errorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

class SaveModes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { setUnnamedTemporariesForTesting(GetParam()); }
    void TearDown() override { setUnnamedTemporariesForTesting(true); }
};

std::string modeName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "UnnamedTemporary" : "NamedTemporary";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Files, SaveModes, ::testing::Bool(), modeName);

TEST_P(SaveModes, LinkedTargetIsWrittenThroughAndTheLinkStays)
{
    auto dir = test::scratchDir("links");
    std::filesystem::create_directory(dir / "real");
    struct Row {
        std::string link;        // relative to dir
        std::string linkText;    // what the link holds
        std::string written;     // relative to dir: the file that gets the bytes
        bool targetExists;
    };
    const Row rows[] = {
        {"relative.bmp", "real/a.bmp", "real/a.bmp", true},
        {"absolute.bmp", (dir / "real/b.bmp").string(), "real/b.bmp", true},
        {"chain.bmp", "relative.bmp", "real/a.bmp", true},
        {"dangling.bmp", "real/new.bmp", "real/new.bmp", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.link);
        if (row.targetExists && !std::filesystem::exists(dir / row.written))
            writeFileAtomic((dir / row.written).string(), Bytes{'o', 'l', 'd'});
        std::filesystem::create_symlink(row.linkText, dir / row.link);
        writeFileAtomic((dir / row.link).string(), Bytes{'n', 'e', 'w'});
        EXPECT_TRUE(std::filesystem::is_symlink(dir / row.link));
        EXPECT_EQ(std::filesystem::read_symlink(dir / row.link).string(), row.linkText);
        EXPECT_EQ(slurp(dir / row.written), "new");
    }
    EXPECT_EQ(filesIn(dir / "real"), 3);
}

TEST_P(SaveModes, ReplacedFileKeepsItsPermissions)
{
    auto dir = test::scratchDir("modes");
    for (mode_t mode : {0600, 0640, 0604, 0755, 0660, 0444 | 0200}) {
        SCOPED_TRACE(mode);
        const std::string target = (dir / ("m" + std::to_string(mode))).string();
        writeFileAtomic(target, Bytes{'o'});
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        writeFileAtomic(target, Bytes{'n'});
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(slurp(target), "n");
    }
}

TEST_P(SaveModes, NewFileGetsTheUsualPermissionsAndTheUmaskStays)
{
    auto dir = test::scratchDir("umask");
    for (mode_t mask : {0022, 0077, 0002}) {
        SCOPED_TRACE(mask);
        const mode_t saved = ::umask(mask);
        const std::string target = (dir / ("u" + std::to_string(mask))).string();
        writeFileAtomic(target, Bytes{'x'});
        const mode_t after = ::umask(saved);
        EXPECT_EQ(after, mask) << "the save changed the umask";
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    }
}

TEST_P(SaveModes, UmaskIsNeverCalled)
{
    // The umask can only be read by setting it, and setting it for a moment
    // changes it for every thread of the process: a save must not call it.
    auto dir = test::scratchDir("umask_calls");
    const int before = umaskCalls.load();
    writeFileAtomic((dir / "new").string(), Bytes{'x'});
    writeFileAtomic((dir / "new").string(), Bytes{'y'});
    EXPECT_EQ(umaskCalls.load(), before);
}

TEST_P(SaveModes, LongestNameTheFolderTakesSaves)
{
    // The temporary's name does not grow with the target's.
    auto dir = test::scratchDir("long");
    const long nameMax = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    ASSERT_GT(nameMax, 20);
    for (long length : {nameMax - 20, nameMax - 1, nameMax}) {
        SCOPED_TRACE(length);
        const std::string target = (dir / std::string(static_cast<std::size_t>(length), 'n')).string();
        writeFileAtomic(target, Bytes{'x'});
        EXPECT_EQ(slurp(target), "x");
    }
    EXPECT_EQ(filesIn(dir), 3);
}

TEST_P(SaveModes, FailedSavesLeaveNoTemporaryAndTheOldFile)
{
    auto dir = test::scratchDir("failures");
    const std::string target = (dir / "keep.tw6").string();
    writeFileAtomic(target, Bytes{'o', 'l', 'd'});
    std::filesystem::create_directory(dir / "sub.bmp");

    struct Row {
        const char* fault;
        std::function<void()> save;
        std::string message;
    };
    const Row rows[] = {
        {"write fails midway (file size limit)",
         [&] {
             struct rlimit saved {};
             ::getrlimit(RLIMIT_FSIZE, &saved);
             auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
             struct rlimit tight = saved;
             tight.rlim_cur = 4096;
             ::setrlimit(RLIMIT_FSIZE, &tight);
             try {
                 writeFileAtomic(target, Bytes(100000, 'x'));
             } catch (...) {
                 ::setrlimit(RLIMIT_FSIZE, &saved);
                 std::signal(SIGXFSZ, oldHandler);
                 throw;
             }
             ::setrlimit(RLIMIT_FSIZE, &saved);
             std::signal(SIGXFSZ, oldHandler);
         },
         "Cannot create file \"" + target + "\". File too large"},
        {"dropped without commit",
         [&] {
             AtomicOutputFile file(target);
             file.write(Bytes(5000, 'y'));
             throw Error("abandoned");
         },
         "abandoned"},
        {"write after a failed write",
         [&] {
             AtomicOutputFile file(target);
             try {
                 struct rlimit saved {};
                 ::getrlimit(RLIMIT_FSIZE, &saved);
                 auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
                 struct rlimit tight = saved;
                 tight.rlim_cur = 10;
                 ::setrlimit(RLIMIT_FSIZE, &tight);
                 std::string ignored = errorOf([&] { file.write(Bytes(100, 'z')); });
                 ::setrlimit(RLIMIT_FSIZE, &saved);
                 std::signal(SIGXFSZ, oldHandler);
             } catch (...) {
             }
             file.write(Bytes{'q'});
         },
         "Cannot create file \"" + target + "\". Bad file descriptor"},
        {"a folder where the file goes", [&] { writeFileAtomic((dir / "sub.bmp").string(), Bytes{'x'}); },
         "Cannot create file \"" + (dir / "sub.bmp").string() + "\". Is a directory"},
        {"link loop",
         [&] {
             std::filesystem::create_symlink("loop2", dir / "loop1");
             std::filesystem::create_symlink("loop1", dir / "loop2");
             writeFileAtomic((dir / "loop1").string(), Bytes{'x'});
         },
         "Cannot create file \"" + (dir / "loop1").string() + "\". Too many levels of symbolic links"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_EQ(errorOf(row.save), row.message);
        EXPECT_EQ(slurp(target), "old");
        for (auto& e : std::filesystem::directory_iterator(dir))
            EXPECT_NE(e.path().filename().string().rfind(".tw-", 0), 0u) << "left behind: " << e.path();
    }
}

TEST_P(SaveModes, StreamedSaveAppearsOnlyAtCommit)
{
    auto dir = test::scratchDir("streamed");
    const std::string target = (dir / "big.bmp").string();
    writeFileAtomic(target, Bytes{'o', 'l', 'd'});
    {
        AtomicOutputFile file(target);
        for (int row = 0; row < 100; ++row)
            file.write(Bytes(1000, static_cast<std::uint8_t>(row)));
        EXPECT_EQ(slurp(target), "old") << "visible before commit";
        file.commit();
        EXPECT_THROW(file.commit(), Error);
    }
    const std::string got = slurp(target);
    ASSERT_EQ(got.size(), 100000u);
    for (int row = 0; row < 100; ++row)
        ASSERT_EQ(static_cast<unsigned char>(got[static_cast<std::size_t>(row) * 1000 + 999]), row) << row;
    EXPECT_EQ(filesIn(dir), 1);
}

TEST(Files, SignalDuringASaveRemovesTheTemporary)
{
    // The unnamed temporary vanishes with the process anyway; the named one
    // must be removed by the signal handler.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        auto dir = test::scratchDir("signal" + std::to_string(sig));
        const std::string target = (dir / "out.bmp").string();
        writeFileAtomic(target, Bytes{'o', 'l', 'd'});
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // A shell may start tests with SIGINT ignored; the program under
            // test would have it at the default.
            std::signal(sig, SIG_DFL);
            setUnnamedTemporariesForTesting(false);
            AtomicOutputFile file(target);
            file.write(Bytes(1 << 16, 'n'));
            (void)!::write(ready[1], "r", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(filesIn(dir), 2) << "no temporary while saving";
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
        EXPECT_EQ(filesIn(dir), 1);
        EXPECT_EQ(slurp(target), "old");
    }
}

TEST(Files, SignalToAForkedChildLeavesTheParentsTemporary)
{
    // A child forked during a save inherits the list of temporaries; ended
    // by a signal, it must not remove the file its parent is writing.
    auto dir = test::scratchDir("fork");
    setUnnamedTemporariesForTesting(false);
    {
        AtomicOutputFile file((dir / "out.bmp").string());
        file.write(Bytes{'p'});
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::signal(SIGTERM, SIG_DFL);
            AtomicOutputFile own((dir / "child.bmp").string());  // lists its own, installs the handler
            ::raise(SIGTERM);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
        EXPECT_EQ(filesIn(dir), 1) << "the parent's temporary is gone, or the child's stayed";
        file.commit();
    }
    setUnnamedTemporariesForTesting(true);
    EXPECT_EQ(slurp(dir / "out.bmp"), "p");
    EXPECT_EQ(filesIn(dir), 1);
}

TEST(Files, FolderThatTakesNoNewFileIsWrittenInPlace)
{
    auto dir = test::unprivilegedDir("in_place");
    const std::string list = (dir / "list.IL2").string();
    const std::string absent = (dir / "absent.IL2").string();
    const std::string readOnly = (dir / "readonly.IL2").string();
    const std::string report = test::runUnprivileged([&]() -> std::string {
        writeFileAtomic(list, Bytes{'o', 'l', 'd', ' ', 'l', 'o', 'n', 'g', 'e', 'r'});
        writeFileAtomic(readOnly, Bytes{'r'});
        ::chmod(readOnly.c_str(), 0444);
        struct stat before {};
        ::stat(list.c_str(), &before);
        ::chmod(dir.c_str(), 0555);
        std::string problems;
        // A writable file: written in place, as "create or truncate" would.
        std::string e = errorOf([&] { writeFileAtomic(list, Bytes{'n', 'e', 'w'}); });
        if (!e.empty())
            problems += "in-place save failed: " + e + "; ";
        if (slurp(list) != "new")
            problems += "content is \"" + slurp(list) + "\"; ";
        struct stat after {};
        ::stat(list.c_str(), &after);
        if (after.st_ino != before.st_ino)
            problems += "the file was replaced, not written in place; ";
        // No file to write into, and a read-only file: refused, nothing changes.
        e = errorOf([&] { writeFileAtomic(absent, Bytes{'x'}); });
        if (e != "Cannot create file \"" + absent + "\". Permission denied")
            problems += "new file in read-only folder: \"" + e + "\"; ";
        e = errorOf([&] { writeFileAtomic(readOnly, Bytes{'x'}); });
        if (e != "Cannot create file \"" + readOnly + "\". Permission denied")
            problems += "read-only file: \"" + e + "\"; ";
        if (slurp(readOnly) != "r")
            problems += "read-only file changed; ";
        ::chmod(dir.c_str(), 0755);
        if (filesIn(dir) != 2)
            problems += "folder holds " + std::to_string(filesIn(dir)) + " files; ";
        return problems;
    });
    EXPECT_EQ(report, "");
}

TEST(Files, PreflightRefusesWhatASaveWouldRefuseAndWritesNothing)
{
    auto dir = test::unprivilegedDir("preflight");
    const std::string plainFile = (dir / "plain").string();
    writeFileAtomic(plainFile, Bytes{'p'});
    std::filesystem::create_directory(dir / "folder");
    const std::string tooLong = (dir / std::string(300, 'n')).string();

    struct Row {
        std::string path;
        std::string reason;  // empty: accepted
    };
    const std::vector<Row> rows = {
        {(dir / "new.bmp").string(), ""},
        {plainFile, ""},
        {(dir / "missing" / "x.bmp").string(), "No such file or directory"},
        {(dir / "plain" / "x.bmp").string(), "Not a directory"},
        {tooLong, "File name too long"},
        {(dir / "folder").string(), "Is a directory"},
        {"", "No such file or directory"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const std::string e = errorOf([&] { checkCanCreateFile(row.path); });
        EXPECT_EQ(e, row.reason.empty() ? "" : "Cannot create file \"" + row.path + "\". " + row.reason);
    }
    EXPECT_EQ(filesIn(dir), 2);

    // Permissions, as a user they bind.
    const std::string report = test::runUnprivileged([&]() -> std::string {
        const std::string writable = (dir / "w.bmp").string(), locked = (dir / "ro.bmp").string();
        writeFileAtomic(writable, Bytes{'w'});
        writeFileAtomic(locked, Bytes{'r'});
        ::chmod(locked.c_str(), 0444);
        ::chmod(dir.c_str(), 0555);
        std::string problems;
        struct Case {
            std::string path, expected;
        };
        const Case cases[] = {
            {writable, ""},
            {(dir / "new.bmp").string(), "Cannot create file \"" + (dir / "new.bmp").string() + "\". Permission denied"},
            {locked, "Cannot create file \"" + locked + "\". Permission denied"},
        };
        for (const Case& c : cases) {
            std::string e = errorOf([&] { checkCanCreateFile(c.path); });
            if (e != c.expected)
                problems += c.path + ": \"" + e + "\"; ";
        }
        ::chmod(dir.c_str(), 0755);
        ::unlink(writable.c_str());
        ::unlink(locked.c_str());
        return problems;
    });
    EXPECT_EQ(report, "");
}

TEST(Files, SameFileFollowsLinksAndCompareFilesOnDisk)
{
    auto dir = test::scratchDir("same");
    const std::string a = (dir / "a.bmp").string();
    writeFileAtomic(a, Bytes{'a'});
    writeFileAtomic((dir / "b.bmp").string(), Bytes{'b'});
    std::filesystem::create_hard_link(a, dir / "hard.bmp");
    std::filesystem::create_symlink("a.bmp", dir / "soft.bmp");
    std::filesystem::create_symlink("later.bmp", dir / "dangling.bmp");
    struct Row {
        std::string x, y;
        bool same;
    };
    const std::string d = dir.string();
    const Row rows[] = {
        {a, a, true},
        {a, d + "/./a.bmp", true},
        {a, d + "/hard.bmp", true},
        {a, d + "/soft.bmp", true},
        {a, d + "/b.bmp", false},
        {d + "/new.tw6", d + "/../" + dir.filename().string() + "/new.tw6", true},
        {d + "/new.tw6", d + "/new.bmp", false},
        {d + "/dangling.bmp", d + "/later.bmp", true},
        {a, d + "/new.bmp", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.x + " vs " + row.y);
        EXPECT_EQ(sameFile(row.x, row.y), row.same);
        EXPECT_EQ(sameFile(row.y, row.x), row.same);
    }
}

TEST(Errors, ControlCharactersAreShownEscaped)
{
    struct Row {
        std::string raw, shown;
    };
    const Row rows[] = {
        {"/pics/a.jpg", "/pics/a.jpg"},
        {"/pics/\x1b[2Jclear.jpg", "/pics/\\x1b[2Jclear.jpg"},
        {"two\nlines\r\tend", "two\\nlines\\r\\tend"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7f"},
        {"csi\xc2\x9b" "31m", "csi\\xc2\\x9b31m"},
        {"caf\xc3\xa9 \xe9t\xe9", "caf\xc3\xa9 \xe9t\xe9"},          // UTF-8 and 8-bit text stay
        {"\xe2\x82\xac euro", "\xe2\x82\xac euro"},                     // 0x82 inside a character
        {"C:\\pics\\a.jpg", "C:\\pics\\a.jpg"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(escapeControlCharacters(row.raw), row.shown);
}
