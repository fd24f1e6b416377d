// Where the shipped files and the user's default list are found, for a
// program folder of its own and for an installed program.
#include "installed_tree.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/program_files.h"
#include "test_support.h"

#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tw;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

class ProgramFolderGuard {
public:
    explicit ProgramFolderGuard(const fs::path& folder) { setProgramFolderForTesting(folder.string()); }
    ~ProgramFolderGuard() { setProgramFolderForTesting(""); }
};

} // namespace

TEST(ProgramFiles, AProgramFolderOfItsOwnKeepsEverythingBesideTheProgram)
{
    const fs::path dir = test::scratchDir("plain") / "bin";
    fs::create_directories(dir);
    ProgramFolderGuard guard(dir);
    test::ScopedEnv xdg("XDG_DATA_HOME", (dir / "must-not-be-used").c_str());

    EXPECT_FALSE(runsInstalled());
    EXPECT_EQ(programDataFolder(), dir.string());
    EXPECT_EQ(defaultPictureFolder(), (dir / "images").string());
    EXPECT_EQ(helpDocumentPath(), (dir / "help.pdf").string());
    EXPECT_EQ(defaultListReadPath(), (dir / "DefaultImgList.IL2").string());
    EXPECT_EQ(defaultListWritePath(), (dir / "DefaultImgList.IL2").string());
}

TEST(ProgramFiles, AnInstalledProgramReadsSharedFilesAndWritesTheUsersFolder)
{
    test::InstalledTree tree(test::scratchDir("installed"));
    EXPECT_TRUE(runsInstalled());
    // The data folder is a plain path, without "bin/.." in it.
    EXPECT_EQ(programDataFolder(), (tree.prefix / "share" / "tilewright").string());
    EXPECT_EQ(defaultPictureFolder(), (tree.prefix / "share" / "tilewright" / "images").string());
    EXPECT_EQ(helpDocumentPath(), (tree.prefix / "share" / "tilewright" / "help.pdf").string());
    EXPECT_EQ(defaultListWritePath(), (tree.userData / "DefaultImgList.IL2").string());
}

TEST(ProgramFiles, InstalledStartListIsTheUsersOwnElseTheShippedTemplate)
{
    test::InstalledTree tree(test::scratchDir("start_list"));
    // Neither exists: the template's name, so the caller rebuilds.
    EXPECT_EQ(defaultListReadPath(), (tree.data / "DefaultImgList.IL2").string());
    touch(tree.data / "DefaultImgList.IL2");
    EXPECT_EQ(defaultListReadPath(), (tree.data / "DefaultImgList.IL2").string());
    touch(tree.userData / "DefaultImgList.IL2");
    EXPECT_EQ(defaultListReadPath(), (tree.userData / "DefaultImgList.IL2").string());
}

TEST(ProgramFiles, UserDataFolderFollowsXdgDataHomeThenHome)
{
    const fs::path dir = test::scratchDir("user_data");
    passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const std::string accountHome = pw->pw_dir;
    struct Row {
        const char* why;
        const char* xdg;   // nullptr: unset
        const char* home;  // nullptr: unset
        std::string expected;
    };
    const std::string absXdg = (dir / "xdg").string();
    const std::string home = (dir / "home").string();
    const Row rows[] = {
        {"absolute XDG_DATA_HOME wins", absXdg.c_str(), home.c_str(), absXdg + "/tilewright"},
        {"relative XDG_DATA_HOME is ignored", "relative/data", home.c_str(), home + "/.local/share/tilewright"},
        {"empty XDG_DATA_HOME is ignored", "", home.c_str(), home + "/.local/share/tilewright"},
        {"unset XDG_DATA_HOME", nullptr, home.c_str(), home + "/.local/share/tilewright"},
        {"no HOME: the account's home folder", nullptr, nullptr, accountHome + "/.local/share/tilewright"},
    };
    for (const Row& row : rows) {
        test::ScopedEnv xdg("XDG_DATA_HOME", row.xdg);
        test::ScopedEnv homeEnv("HOME", row.home);
        EXPECT_EQ(userDataFolder(), row.expected) << row.why;
    }
}

TEST(ProgramFiles, UserCacheFolderFollowsXdgCacheHomeThenHome)
{
    const fs::path dir = test::scratchDir("user_cache");
    passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const std::string accountHome = pw->pw_dir;
    struct Row {
        const char* why;
        const char* xdg;   // nullptr: unset
        const char* home;  // nullptr: unset
        std::string expected;
    };
    const std::string absXdg = (dir / "xdg").string();
    const std::string home = (dir / "home").string();
    const Row rows[] = {
        {"absolute XDG_CACHE_HOME wins", absXdg.c_str(), home.c_str(), absXdg + "/tilewright"},
        {"relative XDG_CACHE_HOME is ignored", "relative/cache", home.c_str(), home + "/.cache/tilewright"},
        {"empty XDG_CACHE_HOME is ignored", "", home.c_str(), home + "/.cache/tilewright"},
        {"unset XDG_CACHE_HOME", nullptr, home.c_str(), home + "/.cache/tilewright"},
        {"no HOME: the account's home folder", nullptr, nullptr, accountHome + "/.cache/tilewright"},
    };
    for (const Row& row : rows) {
        test::ScopedEnv xdg("XDG_CACHE_HOME", row.xdg);
        test::ScopedEnv homeEnv("HOME", row.home);
        EXPECT_EQ(userCacheFolder(), row.expected) << row.why;
    }
}

TEST(ProgramFiles, EnsureFolderOfMakesMissingParentsPrivateToTheUser)
{
    const fs::path dir = test::scratchDir("ensure");
    const fs::path file = dir / "a" / "b" / "c" / "DefaultImgList.IL2";
    ensureFolderOf(file.string());
    ASSERT_TRUE(fs::is_directory(file.parent_path()));
    for (const fs::path& made : {dir / "a", dir / "a" / "b", dir / "a" / "b" / "c"}) {
        struct stat st {};
        ASSERT_EQ(::stat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }
    // An existing folder is left as it is.
    ensureFolderOf(file.string());
    EXPECT_FALSE(fs::exists(file));
}

TEST(ProgramFiles, EnsureFolderOfFailsNamingTheFileWhenAFileIsInTheWay)
{
    const fs::path dir = test::scratchDir("blocked");
    touch(dir / "tilewright");
    const std::string file = (dir / "tilewright" / "DefaultImgList.IL2").string();
    try {
        ensureFolderOf(file);
        ADD_FAILURE() << "a folder was made where a file stands";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + file + "\". Not a directory");
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "tilewright"));
}
