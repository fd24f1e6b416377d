// The help document written through Qt's PDF writer: every page laid out
// is written with its footer, the title is recorded, and a target that
// cannot be written is reported instead of left half-made.
#include "help_pdf.h"

#include "test_support.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fstream>

namespace tw::tools {
namespace {

QByteArray readAll(const std::filesystem::path& path)
{
    QFile f(QString::fromStdString(path.string()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Page objects of the PDF ("/Type /Page", not "/Pages").
int pageObjects(const QByteArray& pdf)
{
    return static_cast<int>(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))));
}

QString longHelp(int sections)
{
    QString text = QStringLiteral("# Title\n\n");
    for (int i = 0; i < sections; ++i)
        text += QStringLiteral("## Section %1\n\nSome words that make a paragraph long enough to wrap across more "
                               "than one line of the page, so the layout has to break it.\n\n- a bullet item\n- "
                               "another item\n\n    tilewright-cli create --main x.jpg --out y.jpg\n\n")
                    .arg(i);
    return text;
}

TEST(HelpPdf, FooterNamesThePageAndTheCount)
{
    EXPECT_EQ(helpPageFooter(QStringLiteral("Tilewright Help"), 1, 3), QStringLiteral("Tilewright Help - page 1 of 3"));
    EXPECT_EQ(helpPageFooter(QStringLiteral("T"), 12, 12), QStringLiteral("T - page 12 of 12"));
}

TEST(HelpPdf, EveryLaidOutPageIsWritten)
{
    const auto dir = test::scratchDir("help_pages");
    struct Row {
        int sections;
        int minPages, maxPages;
    };
    for (const Row row : {Row{1, 1, 1}, Row{12, 2, 6}, Row{60, 8, 40}}) {
        const auto out = dir / ("help" + std::to_string(row.sections) + ".pdf");
        const int pages = writeHelpPdf(longHelp(row.sections), QString::fromStdString(out.string()),
                                       QStringLiteral("Tilewright Help"));
        EXPECT_GE(pages, row.minPages) << row.sections << " sections";
        EXPECT_LE(pages, row.maxPages) << row.sections << " sections";
        const QByteArray pdf = readAll(out);
        ASSERT_TRUE(pdf.startsWith("%PDF-")) << out;
        EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF")) << out;
        EXPECT_EQ(pageObjects(pdf), pages) << row.sections << " sections";
    }
}

TEST(HelpPdf, TheTitleIsRecorded)
{
    const auto out = test::scratchDir("help_title") / "help.pdf";
    writeHelpPdf(QStringLiteral("# Help\n\nText.\n"), QString::fromStdString(out.string()),
                 QStringLiteral("Tilewright Help"));
    const QByteArray pdf = readAll(out);
    // Qt writes the title as UTF-16 with a byte order mark.
    QByteArray utf16("\xFE\xFF", 2);
    for (QChar c : QStringLiteral("Tilewright Help")) {
        utf16.append(static_cast<char>(c.unicode() >> 8));
        utf16.append(static_cast<char>(c.unicode() & 0xFF));
    }
    EXPECT_TRUE(pdf.contains("/Title (" + utf16 + ")"))
        << "no title in the information dictionary";
}

TEST(HelpPdf, AnUnwritableTargetFailsAndKeepsWhatWasThere)
{
    const auto dir = test::scratchDir("help_unwritable");
    // A folder that does not exist.
    const QString missing = QString::fromStdString((dir / "no-such-folder" / "help.pdf").string());
    EXPECT_THROW(writeHelpPdf(QStringLiteral("# Help\n"), missing, QStringLiteral("T")), std::runtime_error);
    EXPECT_FALSE(QFile::exists(missing));
    // A folder standing where the file should go.
    std::filesystem::create_directories(dir / "help.pdf");
    std::ofstream(dir / "help.pdf" / "inside.txt") << "kept";
    const QString occupied = QString::fromStdString((dir / "help.pdf").string());
    EXPECT_THROW(writeHelpPdf(QStringLiteral("# Help\n"), occupied, QStringLiteral("T")), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "help.pdf"));
    EXPECT_TRUE(std::filesystem::exists(dir / "help.pdf" / "inside.txt"));
    // Nothing is left behind beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

} // namespace
} // namespace tw::tools
