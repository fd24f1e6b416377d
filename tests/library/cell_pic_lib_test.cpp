#include "library/cell_pic_lib.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/prompts.h"
#include "installed_tree.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tw {
namespace {

namespace fs = std::filesystem;

struct Message {
    std::string text, caption;
};

// Records every message and answers confirmations from a script.
class ScriptedPrompts final : public Prompts {
public:
    void showMessage(const std::string& text, const std::string& caption) override
    {
        messages.push_back({text, caption});
    }
    Confirmation confirm(const std::string& text, const std::string& caption) override
    {
        confirmations.push_back({text, caption});
        return answer;
    }
    std::vector<Message> messages;
    std::vector<Message> confirmations;
    Confirmation answer = Confirmation::Ok;
};

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

void writeRaw(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readRaw(const fs::path& path)
{
    Bytes b = readWholeFile(path.string());
    return std::string(b.begin(), b.end());
}

std::vector<std::string> numbered(std::size_t n, const std::string& prefix = "p")
{
    std::vector<std::string> v;
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(prefix + std::to_string(i));
    return v;
}

// Restores the real program folder after a test that redirected it.
class ProgramFolderGuard {
public:
    explicit ProgramFolderGuard(const fs::path& folder) { setProgramFolderForTesting(folder.string()); }
    ~ProgramFolderGuard() { setProgramFolderForTesting(""); }
    ProgramFolderGuard(const ProgramFolderGuard&) = delete;
    ProgramFolderGuard& operator=(const ProgramFolderGuard&) = delete;
};

TEST(ListText, TwoEntriesAreWrittenAsTwentyBytesWithCrLfAfterEach)
{
    Bytes text = encodeListText({"C:\\a.jpg", "C:\\b.bmp"});
    EXPECT_EQ(text, bytesOf("C:\\a.jpg\r\nC:\\b.bmp\r\n"));
    EXPECT_EQ(text.size(), 20u);
}

TEST(ListText, EmptyListIsZeroBytesAndEmptyEntriesKeepTheirLineEnd)
{
    EXPECT_TRUE(encodeListText({}).empty());
    EXPECT_EQ(encodeListText({"", "a", ""}), bytesOf("\r\na\r\n\r\n"));
}

struct ParseCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries;
};

class ListTextParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ListTextParsing, SplitsLinesExactlyAsTheFormatSays)
{
    const ParseCase& c = GetParam();
    auto data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    EXPECT_EQ(parseListText(data, c.bytes.size()), c.entries) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ListTextParsing,
    ::testing::Values(
        ParseCase{"empty file", "", {}},
        ParseCase{"crlf after each", "C:\\a.jpg\r\nC:\\b.bmp\r\n", {"C:\\a.jpg", "C:\\b.bmp"}},
        ParseCase{"lf lf gives an empty middle entry", "C:\\a.jpg\n\nC:\\b.bmp", {"C:\\a.jpg", "", "C:\\b.bmp"}},
        ParseCase{"lone cr ends a line", "a\rb\r", {"a", "b"}},
        ParseCase{"lf cr ends two lines", "a\n\rb", {"a", "", "b"}},
        ParseCase{"lf cr at the end ends two lines", "a\n\r", {"a", ""}},
        ParseCase{"cr cr is two line ends", "a\r\rb", {"a", "", "b"}},
        ParseCase{"final line without line end counts", "a\r\nb", {"a", "b"}},
        ParseCase{"line end at the very end adds nothing", "a\r\n", {"a"}},
        ParseCase{"only a line end is one empty entry", "\r\n", {""}},
        ParseCase{"zero byte after the first line ends the text", std::string("a\r\n\0b\r\n", 7), {"a"}},
        ParseCase{"zero byte inside a line ends it", std::string("ab\0cd", 5), {"ab"}},
        ParseCase{"zero byte first gives nothing", std::string("\0a", 2), {}},
        ParseCase{"8-bit text kept as is", "C:\\caf\xe9.jpg\r\n", {"C:\\caf\xe9.jpg"}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ListText, RoundTripKeepsEveryEntryIncludingBlanksAndDuplicates)
{
    std::vector<std::string> entries = {"/x/a.jpg", "", "/x/a.jpg", " spaced .bmp", "\xff\xfe"};
    Bytes text = encodeListText(entries);
    EXPECT_EQ(parseListText(text.data(), text.size()), entries);
}

TEST(CellPicLibFile, ReadAndWriteUseTheImageListFormat)
{
    fs::path dir = test::scratchDir("lib_read_write");
    writeRaw(dir / "in.IL2", "C:\\a.jpg\n\nC:\\b.bmp");
    CellPicLib lib;
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    lib.readListFile((dir / "in.IL2").string());
    EXPECT_EQ(lib.entries(), (std::vector<std::string>{"C:\\a.jpg", "", "C:\\b.bmp"}));
    EXPECT_EQ(counts, std::vector<std::size_t>{3});
    lib.writeListFile((dir / "out.IL2").string());
    EXPECT_EQ(readRaw(dir / "out.IL2"), "C:\\a.jpg\r\n\r\nC:\\b.bmp\r\n");
}

TEST(CellPicLibFile, ZeroByteFileGivesEmptyListAndCountZero)
{
    fs::path dir = test::scratchDir("lib_zero_file");
    writeRaw(dir / "empty.IL2", "");
    CellPicLib lib;
    lib.append("old");
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    lib.readListFile((dir / "empty.IL2").string());
    EXPECT_EQ(lib.count(), 0u);
    EXPECT_EQ(counts, std::vector<std::size_t>{0});
}

TEST(CellPicLibFile, EmptyListIsWrittenAsZeroByteFile)
{
    fs::path dir = test::scratchDir("lib_write_empty");
    writeRaw(dir / "out.IL2", "previous content\r\n");
    CellPicLib lib;
    lib.writeListFile((dir / "out.IL2").string());
    EXPECT_EQ(fs::file_size(dir / "out.IL2"), 0u);
}

TEST(CellPicLibFile, UnreadableFileLeavesTheListUnchanged)
{
    fs::path dir = test::scratchDir("lib_read_fail");
    CellPicLib lib;
    lib.append("/keep/a.jpg");
    lib.append("/keep/b.jpg");
    int notified = 0;
    lib.onCountChanged = [&](std::size_t) { ++notified; };
    try {
        lib.readListFile((dir / "missing.IL2").string());
        FAIL() << "reading a missing file succeeded";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.IL2"), std::string::npos) << e.what();
    }
    // A folder cannot be read as a list either.
    EXPECT_THROW(lib.readListFile(dir.string()), Error);
    EXPECT_EQ(lib.entries(), (std::vector<std::string>{"/keep/a.jpg", "/keep/b.jpg"}));
    EXPECT_EQ(notified, 0);
}

TEST(CellPicLibFile, FailedWriteKeepsThePreviousFileAndTheList)
{
    fs::path dir = test::scratchDir("lib_write_fail");
    CellPicLib lib;
    lib.append("a");
    EXPECT_THROW(lib.writeListFile((dir / "no-such-folder" / "x.IL2").string()), Error);
    EXPECT_EQ(lib.count(), 1u);
}

TEST(CellPicLibAppend, LoadAllStopsAtOneThousandWithOneMessage)
{
    CellPicLib lib;
    for (const auto& p : numbered(999))
        lib.append(p);
    ScriptedPrompts prompts;
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    std::size_t added = lib.appendPaths(numbered(10, "new"), kLoadAllLimit, kLoadAllLimitMessage, prompts);
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(lib.count(), 1000u);
    EXPECT_EQ(lib.entry(999), "new0");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "You already loaded max count pictures ");
    EXPECT_EQ(prompts.messages[0].caption, "Caution");
    EXPECT_EQ(counts, std::vector<std::size_t>{1000});
}

TEST(CellPicLibAppend, SelectedFilesStopAt65535)
{
    CellPicLib lib;
    lib.replaceAll(numbered(65534));
    ScriptedPrompts prompts;
    std::size_t added =
        lib.appendPaths({"t1", "t2", "t3"}, kSelectedFilesLimit, kSelectedFilesLimitMessage, prompts);
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(lib.count(), 65535u);
    EXPECT_EQ(lib.entry(65534), "t1");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "You can only load 65535 pictures in this version");
    EXPECT_EQ(prompts.messages[0].caption, "Caution");
}

TEST(CellPicLibAppend, WithinTheLimitNoMessageAndOrderKept)
{
    CellPicLib lib;
    ScriptedPrompts prompts;
    int notified = 0;
    lib.onCountChanged = [&](std::size_t) { ++notified; };
    EXPECT_EQ(lib.appendPaths({"a", "b", "a"}, kLoadAllLimit, kLoadAllLimitMessage, prompts), 3u);
    EXPECT_EQ(lib.entries(), (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(notified, 1);
}

TEST(CellPicLibAppend, ListAlreadyBeyondTheLimitDoesNotGrow)
{
    CellPicLib lib;
    lib.replaceAll(numbered(1005));
    ScriptedPrompts prompts;
    EXPECT_EQ(lib.appendPaths({"x"}, kLoadAllLimit, kLoadAllLimitMessage, prompts), 0u);
    EXPECT_EQ(lib.count(), 1005u);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST(CellPicLibAppend, ListLongerThanTheTableIsAllowed)
{
    CellPicLib lib;
    ScriptedPrompts prompts;
    EXPECT_EQ(lib.appendPaths(numbered(10300), kSelectedFilesLimit, kSelectedFilesLimitMessage, prompts), 10300u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(CellPicLibDelete, DeletingEntryThreeOfTenMovesLaterEntriesDown)
{
    CellPicLib lib;
    lib.replaceAll(numbered(10));
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    lib.deleteSelected(3);
    ASSERT_EQ(lib.count(), 9u);
    EXPECT_EQ(lib.entry(2), "p2");
    EXPECT_EQ(lib.entry(3), "p4");
    EXPECT_EQ(lib.entry(8), "p9");
    EXPECT_EQ(counts, std::vector<std::size_t>{9});
}

TEST(CellPicLibDelete, OutOfRangeOrNoSelectionDeletesNothing)
{
    CellPicLib lib;
    lib.replaceAll(numbered(3));
    lib.deleteSelected(-1);
    lib.deleteSelected(3);
    lib.deleteSelected(1000);
    EXPECT_EQ(lib.entries(), numbered(3));
    lib.deleteAll();
    EXPECT_EQ(lib.count(), 0u);
}

class DefaultListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = test::scratchDir(std::string("lib_default_") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    fs::path dir;
};

TEST_F(DefaultListTest, RebuildTakesBmpAndJpgSortedWithoutRegardToCase)
{
    ProgramFolderGuard guard(dir);
    fs::path images = dir / "images";
    fs::create_directories(images / "sub.jpg");  // a folder, not a picture
    for (const char* name : {"b.JPG", "A.bmp", "c.jpg", "a2.Bmp", ".hidden.jpg", "d.jpeg", "e.png", "f.jpg.txt",
                             "Zeta.jpg", "alpha.jpg"})
        writeRaw(images / name, "x");
    writeRaw(images / "sub.jpg" / "inner.jpg", "x");

    CellPicLib lib;
    lib.append("previous");
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    lib.rebuildDefaultList();

    const std::string folder = (dir / "images").string();
    std::vector<std::string> expected;
    for (const char* name : {"A.bmp", "a2.Bmp", "alpha.jpg", "b.JPG", "c.jpg", "Zeta.jpg"})
        expected.push_back(folder + "/" + name);
    EXPECT_EQ(lib.entries(), expected);
    EXPECT_EQ(counts, std::vector<std::size_t>{expected.size()});
    const Bytes text = encodeListText(expected);
    EXPECT_EQ(readRaw(dir / "DefaultImgList.IL2"), std::string(text.begin(), text.end()));
}

TEST_F(DefaultListTest, NamesEqualButForCaseHaveAFixedOrder)
{
    ProgramFolderGuard guard(dir);
    fs::create_directories(dir / "images");
    for (const char* name : {"pic.jpg", "PIC.jpg", "Pic.jpg"})
        writeRaw(dir / "images" / name, "x");
    CellPicLib lib;
    lib.rebuildDefaultList();
    const std::string folder = (dir / "images").string();
    EXPECT_EQ(lib.entries(), (std::vector<std::string>{folder + "/PIC.jpg", folder + "/Pic.jpg", folder + "/pic.jpg"}));
}

TEST_F(DefaultListTest, NoImagesFolderGivesEmptyListAndZeroByteFile)
{
    ProgramFolderGuard guard(dir);
    writeRaw(dir / "DefaultImgList.IL2", "old\r\n");
    CellPicLib lib;
    lib.replaceAll(numbered(4));
    lib.rebuildDefaultList();
    EXPECT_EQ(lib.count(), 0u);
    ASSERT_TRUE(fs::exists(dir / "DefaultImgList.IL2"));
    EXPECT_EQ(fs::file_size(dir / "DefaultImgList.IL2"), 0u);
}

TEST_F(DefaultListTest, LoadReadsAnExistingDefaultListWithoutScanning)
{
    ProgramFolderGuard guard(dir);
    fs::create_directories(dir / "images");
    writeRaw(dir / "images" / "ignored.jpg", "x");
    writeRaw(dir / "DefaultImgList.IL2", "/else/where.jpg\r\n");
    CellPicLib lib;
    std::vector<std::size_t> counts;
    lib.onCountChanged = [&](std::size_t n) { counts.push_back(n); };
    lib.loadDefaultList();
    EXPECT_EQ(lib.entries(), std::vector<std::string>{"/else/where.jpg"});
    EXPECT_EQ(counts, std::vector<std::size_t>{1});
    EXPECT_EQ(readRaw(dir / "DefaultImgList.IL2"), "/else/where.jpg\r\n");
}

TEST_F(DefaultListTest, LoadRebuildsAndWritesWhenTheDefaultListIsMissing)
{
    ProgramFolderGuard guard(dir);
    fs::create_directories(dir / "images");
    writeRaw(dir / "images" / "one.bmp", "x");
    CellPicLib lib;
    lib.loadDefaultList();
    const std::string entry = (dir / "images" / "one.bmp").string();
    EXPECT_EQ(lib.entries(), std::vector<std::string>{entry});
    EXPECT_EQ(readRaw(dir / "DefaultImgList.IL2"), entry + "\r\n");
}

TEST_F(DefaultListTest, SetAsDefaultAsksAndWritesOnlyOnOk)
{
    ProgramFolderGuard guard(dir);
    writeRaw(dir / "DefaultImgList.IL2", "kept\r\n");
    CellPicLib lib;
    lib.replaceAll({"x.jpg", "y.bmp"});
    ScriptedPrompts prompts;
    prompts.answer = Confirmation::Cancel;
    EXPECT_FALSE(lib.setAsDefault(prompts));
    EXPECT_EQ(readRaw(dir / "DefaultImgList.IL2"), "kept\r\n");
    ASSERT_EQ(prompts.confirmations.size(), 1u);
    EXPECT_EQ(prompts.confirmations[0].text, "This action will overwrite existed default image list");
    EXPECT_EQ(prompts.confirmations[0].caption, "Caution");

    prompts.answer = Confirmation::Ok;
    EXPECT_TRUE(lib.setAsDefault(prompts));
    EXPECT_EQ(readRaw(dir / "DefaultImgList.IL2"), "x.jpg\r\ny.bmp\r\n");
}

// Every file below the tree's share folder with its content, to prove that
// nothing there was written.
std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files.emplace_back(e.path().string(), readRaw(e.path()));
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(DefaultListTest, InstalledStartReadsTheShippedTemplateAndWritesNothing)
{
    test::InstalledTree tree(dir);
    fs::create_directories(tree.data / "images");
    writeRaw(tree.data / "images" / "sample.jpg", "x");
    writeRaw(tree.data / "DefaultImgList.IL2", "/shipped/a.jpg\r\n/shipped/b.bmp\r\n");
    const auto before = snapshot(tree.prefix);

    CellPicLib lib;
    lib.loadDefaultList();
    EXPECT_EQ(lib.entries(), (std::vector<std::string>{"/shipped/a.jpg", "/shipped/b.bmp"}));
    EXPECT_EQ(snapshot(tree.prefix), before);
    EXPECT_FALSE(fs::exists(tree.userData)) << "reading the template made the user's folder";
}

TEST_F(DefaultListTest, InstalledRebuildWritesTheUsersFolderNeverTheSharedOne)
{
    test::InstalledTree tree(dir);
    fs::create_directories(tree.data / "images");
    writeRaw(tree.data / "images" / "b.jpg", "x");
    writeRaw(tree.data / "images" / "A.bmp", "x");
    const auto before = snapshot(tree.prefix);

    // No template and no list of the user's: start rebuilds from the shared
    // images and saves the result as the user's default list.
    CellPicLib lib;
    lib.loadDefaultList();
    const std::string images = (tree.prefix / "share" / "tilewright" / "images").string();
    const std::vector<std::string> expected{images + "/A.bmp", images + "/b.jpg"};
    EXPECT_EQ(lib.entries(), expected);
    EXPECT_EQ(readRaw(tree.userData / "DefaultImgList.IL2"), images + "/A.bmp\r\n" + images + "/b.jpg\r\n");
    EXPECT_EQ(snapshot(tree.prefix), before);
}

TEST_F(DefaultListTest, InstalledSetAsDefaultIsWhatTheNextStartReads)
{
    test::InstalledTree tree(dir);
    writeRaw(tree.data / "DefaultImgList.IL2", "/shipped/a.jpg\r\n");
    const auto before = snapshot(tree.prefix);
    {
        CellPicLib lib;
        lib.replaceAll({"/mine/one.jpg", "/mine/two.jpg"});
        ScriptedPrompts prompts;
        ASSERT_TRUE(lib.setAsDefault(prompts));
    }
    CellPicLib next;
    next.loadDefaultList();
    EXPECT_EQ(next.entries(), (std::vector<std::string>{"/mine/one.jpg", "/mine/two.jpg"}));
    EXPECT_EQ(snapshot(tree.prefix), before);
}

TEST_F(DefaultListTest, InstalledWriteFailureNamesTheListAndKeepsTheRebuiltList)
{
    test::InstalledTree tree(dir);
    fs::create_directories(tree.data / "images");
    writeRaw(tree.data / "images" / "one.jpg", "x");
    // A file where the user's data folder should be.
    fs::create_directories(tree.xdgHome);
    writeRaw(tree.userData, "not a folder");
    CellPicLib lib;
    const std::string list = (tree.userData / "DefaultImgList.IL2").string();
    try {
        lib.rebuildDefaultList();
        ADD_FAILURE() << "writing below a file succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + list + "\". Not a directory");
    }
    EXPECT_EQ(lib.count(), 1u);
    EXPECT_EQ(readRaw(tree.userData), "not a folder");
}

} // namespace
} // namespace tw
