#include "platform/errors.h"
#include "platform/files.h"
#include "test_support.h"

#include <fstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tw;

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

TEST(Files, FailedCreateNamesFileAndKeepsOldContent)
{
    auto dir = test::scratchDir("files_readonly");
    auto target = (dir / "keep.txt").string();
    writeFileAtomic(target, Bytes{'k'});
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores folder permissions";
    ::chmod(dir.c_str(), 0555);
    try {
        writeFileAtomic(target, Bytes{'x'});
        ADD_FAILURE() << "write into a read-only folder succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + target + "\". ", 0), 0u) << e.what();
    }
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(slurp(target), "k");
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
