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

TEST(ProgramFiles, UserFoldersFollowTheirXdgVariableThenHome)
{
    const fs::path dir = test::scratchDir("user_folders");
    passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const std::string accountHome = pw->pw_dir;
    const std::string absXdg = (dir / "xdg").string();
    const std::string home = (dir / "home").string();
    struct Folder {
        const char* variable;
        std::string (*folder)();
        const char* belowHome;
    };
    const Folder folders[] = {
        {"XDG_DATA_HOME", &userDataFolder, "/.local/share/tilewright"},
        {"XDG_CACHE_HOME", &userCacheFolder, "/.cache/tilewright"},
    };
    struct Row {
        const char* why;
        const char* xdg;   // nullptr: unset
        const char* home;  // nullptr: unset
        bool fromXdg;      // else below HOME (or the account's home)
    };
    const Row rows[] = {
        {"absolute variable wins", absXdg.c_str(), home.c_str(), true},
        {"relative variable is ignored", "relative/dir", home.c_str(), false},
        {"empty variable is ignored", "", home.c_str(), false},
        {"unset variable", nullptr, home.c_str(), false},
        {"no HOME: the account's home folder", nullptr, nullptr, false},
    };
    for (const Folder& f : folders)
        for (const Row& row : rows) {
            test::ScopedEnv xdg(f.variable, row.xdg);
            test::ScopedEnv homeEnv("HOME", row.home);
            const std::string expected =
                row.fromXdg ? absXdg + "/tilewright" : (row.home ? home : accountHome) + f.belowHome;
            EXPECT_EQ(f.folder(), expected) << f.variable << ": " << row.why;
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
