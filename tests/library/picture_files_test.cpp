#include "library/picture_files.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tw {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "x";
}

// What the listing must give, worked out from the directory order the
// system reports to std::filesystem: picture files where they stand,
// subfolders expanded where they are met.
void expectedListing(const fs::path& folder, bool recursive, std::vector<std::string>& out)
{
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (e.is_directory()) {
            if (recursive)
                expectedListing(e.path(), recursive, out);
        } else if (isListedPictureName(name)) {
            out.push_back(e.path().string());
        }
    }
}

std::vector<std::string> listed(const fs::path& folder, bool recursive)
{
    std::vector<std::string> list;
    listPictureFiles(folder.string(), list, recursive);
    return list;
}

std::vector<std::string> relative(const fs::path& root, const std::vector<std::string>& paths)
{
    std::vector<std::string> out;
    for (const std::string& p : paths)
        out.push_back(fs::path(p).lexically_relative(root).string());
    return out;
}

TEST(PictureName, TakesExactlyJpgAndBmpInAnyCase)
{
    struct Row {
        const char* name;
        bool listed;
    };
    const Row rows[] = {
        {"photo.jpg", true},      {"PHOTO.Jpg", true},    {"scan.BMP", true},     {"a.b.bmp", true},
        {".jpg", true},           {"photo.jpeg", false},  {"image.png", false},   {"jpg", false},
        {"photo.jpg.txt", false}, {"photo.jp", false},    {"photo.", false},      {"photo.jpgx", false},
        {"photo_jpg", false},     {"", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(isListedPictureName(row.name), row.listed) << row.name;
}

TEST(ListPictureFiles, FolderOfExampleListsJpgAndBmpAndSubfolderWhereMet)
{
    const fs::path root = test::scratchDir("example");
    for (const char* name : {"a.JPG", "b.jpeg", "c.bmp", "s/d.jpg"})
        touch(root / name);

    std::vector<std::string> flat;
    expectedListing(root, false, flat);
    EXPECT_EQ(listed(root, false), flat);
    std::vector<std::string> names = relative(root, listed(root, false));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.JPG", "c.bmp"}));

    std::vector<std::string> deep;
    expectedListing(root, true, deep);
    EXPECT_EQ(listed(root, true), deep);
    EXPECT_EQ(deep.size(), 3u);
}

TEST(ListPictureFiles, HiddenFilesAndFoldersAreIncluded)
{
    const fs::path root = test::scratchDir("hidden");
    for (const char* name : {".secret.jpg", "plain.bmp", ".hid/e.bmp", ".jpg"})
        touch(root / name);
    std::vector<std::string> flat = relative(root, listed(root, false));
    std::sort(flat.begin(), flat.end());
    EXPECT_EQ(flat, (std::vector<std::string>{".jpg", ".secret.jpg", "plain.bmp"}));
    std::vector<std::string> deep;
    expectedListing(root, true, deep);
    EXPECT_EQ(listed(root, true), deep);
    EXPECT_EQ(deep.size(), 4u);
}

TEST(ListPictureFiles, RecursionIsDepthFirstAtThePlaceEachFolderIsMet)
{
    const fs::path root = test::scratchDir("order");
    for (const char* name : {"1.jpg", "2.bmp", "x/3.jpg", "x/y/4.jpg", "x/y/z/5.bmp", "x/6.bmp", "w/7.jpg",
                             "w/v/8.JPG", "9.jpg", "folder.jpg/10.jpg"})
        touch(root / name);
    std::vector<std::string> deep;
    expectedListing(root, true, deep);
    const std::vector<std::string> got = listed(root, true);
    EXPECT_EQ(got, deep);
    EXPECT_EQ(got.size(), 10u);
    // A folder named like a picture is a folder: never listed itself.
    std::vector<std::string> flat = relative(root, listed(root, false));
    std::sort(flat.begin(), flat.end());
    EXPECT_EQ(flat, (std::vector<std::string>{"1.jpg", "2.bmp", "9.jpg"}));
}

TEST(ListPictureFiles, AppendsToWhatTheListAlreadyHolds)
{
    const fs::path root = test::scratchDir("append");
    touch(root / "a.jpg");
    std::vector<std::string> list{"kept"};
    listPictureFiles(root.string(), list, false);
    listPictureFiles((root.string() + "/"), list, false);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", (root / "a.jpg").string(), (root / "a.jpg").string()}));
}

TEST(ListPictureFiles, FoldersThatCannotBeReadListNothing)
{
    const fs::path root = test::scratchDir("unreadable");
    touch(root / "file.jpg");
    const std::string rows[] = {"", (root / "missing").string(), (root / "file.jpg").string(),
                                (root / "missing" / "deeper").string()};
    for (const std::string& folder : rows)
        for (bool recursive : {false, true}) {
            std::vector<std::string> list;
            listPictureFiles(folder, list, recursive);
            EXPECT_TRUE(list.empty()) << "'" << folder << "' recursive " << recursive;
        }
}

// Runs the listing as an ordinary user in a child process: the superuser
// reads every folder whatever its permissions.
bool listAsOrdinaryUser(const fs::path& folder, bool recursive, std::vector<std::string>& out)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        // The scratch folder may lie below a folder only its owner can enter
        // (a checkout in a private temporary folder): then nothing can be
        // told from the listing.
        if (::access(folder.parent_path().c_str(), X_OK) != 0)
            ::_exit(4);
        std::vector<std::string> list;
        listPictureFiles(folder.string(), list, recursive);
        std::string text;
        for (const std::string& p : list)
            text += p + '\n';
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0)
                ::_exit(3);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return true;
}

TEST(ListPictureFiles, UnreadableSubfolderAddsNothingAndTheRestIsListed)
{
    const fs::path root = test::scratchDir("locked");
    for (const char* name : {"a.jpg", "locked/x.jpg", "open/y.bmp", "z.bmp"})
        touch(root / name);
    ::chmod((root / "locked").c_str(), 0);
    std::vector<std::string> got;
    const bool ran = listAsOrdinaryUser(root, true, got);
    std::vector<std::string> lockedTop;
    const bool ranTop = ran && listAsOrdinaryUser(root / "locked", false, lockedTop);
    ::chmod((root / "locked").c_str(), 0755);
    if (!ran || !ranTop)
        GTEST_SKIP() << "cannot run the listing as an ordinary user here";
    std::vector<std::string> expected;
    expectedListing(root, true, expected);
    std::erase(expected, (root / "locked" / "x.jpg").string());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), 3u);
    EXPECT_TRUE(lockedTop.empty());
}

TEST(ListPictureFiles, LinksAreFollowedButLoopsEndAndSpecialFilesAreSkipped)
{
    const fs::path root = test::scratchDir("links");
    const fs::path other = test::scratchDir("links-other");
    touch(root / "a.jpg");
    touch(other / "far.bmp");
    fs::create_directory_symlink(root, root / "loop");
    fs::create_directory_symlink(other, root / "elsewhere");
    fs::create_symlink(root / "nothing-here.jpg", root / "dangling.jpg");
    fs::create_symlink(root / "a.jpg", root / "alias.JPG");
    ASSERT_EQ(::mkfifo((root / "pipe.jpg").c_str(), 0644), 0);

    std::vector<std::string> got = relative(root, listed(root, true));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"a.jpg", "alias.JPG", "dangling.jpg", "elsewhere/far.bmp"}));
}

TEST(ListPictureFiles, DeepTreeIsListedWithoutRunningOutOfStackOrHandles)
{
    const fs::path root = test::scratchDir("deep");
    fs::path p = root;
    constexpr int kDepth = 400;
    for (int i = 0; i < kDepth; ++i)
        p /= "d";
    touch(p / "bottom.jpg");
    touch(root / "top.jpg");
    const std::vector<std::string> got = listed(root, true);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(std::find(got.begin(), got.end(), (p / "bottom.jpg").string()) != got.end());
}

} // namespace
} // namespace tw
