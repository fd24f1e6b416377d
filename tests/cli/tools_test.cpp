// The generators behind help.pdf and the sample pictures: a PDF whose
// cross-reference table really points at its objects, text that stays
// inside its lines, and pictures that come out the same for the same seed.
#include "pdf_writer.h"
#include "synth_pictures.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace tw::tools {
namespace {

std::size_t parseNumberAt(const std::string& text, std::size_t pos) { return std::strtoull(text.c_str() + pos, nullptr, 10); }

TEST(PdfWriter, CrossReferenceOffsetsPointAtEveryObject)
{
    PageLayout layout;
    std::vector<std::string> pages = {"BT /F1 12 Tf 56 700 Td (one) Tj ET\n", "BT /F2 12 Tf 56 700 Td (two) Tj ET\n",
                                      "BT /F3 12 Tf 56 700 Td (three) Tj ET\n"};
    const std::string pdf = buildPdf(pages, "Title (with parens)", layout);

    ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    ASSERT_GE(pdf.size(), 6u);
    EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");

    const std::size_t startxrefPos = pdf.rfind("startxref\n");
    ASSERT_NE(startxrefPos, std::string::npos);
    const std::size_t xref = parseNumberAt(pdf, startxrefPos + 10);
    ASSERT_LT(xref, pdf.size());
    ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);

    // "0 N" then N entries of exactly 20 bytes.
    const std::size_t countPos = xref + 5 + 2;
    const std::size_t count = parseNumberAt(pdf, countPos);
    EXPECT_EQ(count, 7u + 2 * pages.size());
    std::size_t entry = pdf.find('\n', countPos) + 1;
    EXPECT_EQ(pdf.substr(entry, 20), "0000000000 65535 f \n");
    for (std::size_t n = 1; n < count; ++n) {
        const std::string line = pdf.substr(entry + 20 * n, 20);
        ASSERT_EQ(line.substr(10), " 00000 n \n") << "entry " << n;
        const std::size_t offset = parseNumberAt(line, 0);
        const std::string header = std::to_string(n) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << n << " not at " << offset;
    }
    EXPECT_NE(pdf.find("/Size " + std::to_string(count) + " /Root 1 0 R"), std::string::npos);
    EXPECT_NE(pdf.find("/Count 3"), std::string::npos);
    EXPECT_NE(pdf.find("/Title (Title \\(with parens\\))"), std::string::npos);
}

TEST(PdfWriter, StreamLengthsMatchTheirContent)
{
    const std::string pdf = buildPdf({"BT /F1 10 Tf 10 10 Td (abc) Tj ET\n", ""}, "t", PageLayout{});
    std::regex lengthRe("/Length (\\d+) >>\nstream\n");
    int streams = 0;
    for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), lengthRe); it != std::sregex_iterator(); ++it) {
        const std::size_t length = std::stoul((*it)[1].str());
        const std::size_t start = static_cast<std::size_t>(it->position(0) + it->length(0));
        EXPECT_EQ(pdf.compare(start + length, 11, "\nendstream\n"), 0) << "stream " << streams;
        ++streams;
    }
    EXPECT_EQ(streams, 2);
}

TEST(PdfWriter, WidthsFollowTheFontMetrics)
{
    // H 722 + e 556 + l 222 + l 222 + o 556 = 2278 thousandths.
    EXPECT_DOUBLE_EQ(textWidth("Hello", PdfFont::Regular, 10), 22.78);
    // Bold: H 722 + e 556 + l 278 + l 278 + o 611 = 2445.
    EXPECT_DOUBLE_EQ(textWidth("Hello", PdfFont::Bold, 10), 24.45);
    EXPECT_DOUBLE_EQ(textWidth("Hello", PdfFont::Mono, 10), 30.0);
    // Characters outside printable ASCII are measured as the '?' drawn for them.
    EXPECT_DOUBLE_EQ(textWidth("\xE9", PdfFont::Regular, 1000), textWidth("?", PdfFont::Regular, 1000));
}

TEST(PdfWriter, WrappedLinesFitAndKeepEveryWord)
{
    const std::string text =
        "Tilewright divides the main picture into a grid of cells and gives every cell the library photograph "
        "whose colours fit it best, then draws a large mosaic. Averyveryverylongwordthatcannotfitononelineatall"
        "becauseitgoesonandonandonforeverandever ends.";
    const double width = 120;
    std::vector<std::string> lines = wrapText(text, PdfFont::Regular, 10, width);
    ASSERT_GT(lines.size(), 3u);
    std::string rejoined;
    for (const std::string& line : lines) {
        EXPECT_LE(textWidth(line, PdfFont::Regular, 10), width) << line;
        EXPECT_FALSE(line.empty());
        rejoined += line;
    }
    std::string squeezed = text;
    squeezed.erase(std::remove(squeezed.begin(), squeezed.end(), ' '), squeezed.end());
    rejoined.erase(std::remove(rejoined.begin(), rejoined.end(), ' '), rejoined.end());
    EXPECT_EQ(rejoined, squeezed);
}

TEST(PdfWriter, StringsAreEscaped)
{
    EXPECT_EQ(pdfString("a(b)c\\d"), "(a\\(b\\)c\\\\d)");
    EXPECT_EQ(pdfString("caf\xC3\xA9\n"), "(caf?" "?" "?)");
}

TEST(PdfWriter, LongTextFlowsOntoPagesInsideTheMargins)
{
    std::string text = "# Title\n\n";
    for (int i = 0; i < 60; ++i) {
        text += "## Section " + std::to_string(i) + "\n\n";
        text += "Some words that make a paragraph long enough to wrap across more than one line of the page, "
                "so the layout has to break it.\n\n- a bullet item\n- another (with parentheses)\n\n    code line\n\n";
    }
    PageLayout layout;
    std::vector<std::string> pages = layoutHelpText(text, layout, "Footer");
    ASSERT_GT(pages.size(), 3u);
    std::regex tdRe("([0-9.]+) ([0-9.-]+) Td");
    for (std::size_t p = 0; p < pages.size(); ++p) {
        int lines = 0;
        for (auto it = std::sregex_iterator(pages[p].begin(), pages[p].end(), tdRe); it != std::sregex_iterator();
             ++it) {
            const double x = std::stod((*it)[1].str()), y = std::stod((*it)[2].str());
            EXPECT_GE(x, layout.margin * 0.5) << "page " << p;
            EXPECT_LE(x, layout.width - layout.margin) << "page " << p;
            EXPECT_GE(y, layout.margin * 0.5) << "page " << p;
            EXPECT_LE(y, layout.height - layout.margin) << "page " << p;
            ++lines;
        }
        EXPECT_GT(lines, 5) << "page " << p;
        EXPECT_NE(pages[p].find("(Footer - page " + std::to_string(p + 1) + " of " + std::to_string(pages.size()) + ")"),
                  std::string::npos);
    }
    EXPECT_NE(pages[0].find("(another \\(with parentheses\\))"), std::string::npos);
}

TEST(SynthPictures, SameRecipeGivesTheSamePixels)
{
    for (int k = 0; k < kSceneKindCount; ++k) {
        PhotoRecipe recipe{96, 72, 4242u + static_cast<std::uint64_t>(k), static_cast<SceneKind>(k), 3.0};
        Picture a = makePhoto(recipe), b = makePhoto(recipe);
        EXPECT_TRUE(test::samePicture(a, b)) << sceneKindName(recipe.kind);
        recipe.seed += 1000;
        EXPECT_FALSE(makePhoto(recipe) == a) << sceneKindName(recipe.kind) << ": the seed changes nothing";
    }
    EXPECT_TRUE(test::samePicture(makeSampleMain(48), makeSampleMain(48)));
}

TEST(SynthPictures, PicturesHaveTheAskedSizeAndRealDetail)
{
    for (int k = 0; k < kSceneKindCount; ++k) {
        PhotoRecipe recipe{64, 36, 77u + static_cast<std::uint64_t>(k), static_cast<SceneKind>(k), 2.0};
        Picture p = makePhoto(recipe);
        ASSERT_EQ(p.width(), 64);
        ASSERT_EQ(p.height(), 36);
        // A flat or nearly flat picture would make a useless library photograph.
        double sum = 0, sumSq = 0;
        const std::size_t n = p.byteSize();
        for (std::size_t i = 0; i < n; ++i) {
            sum += p.data()[i];
            sumSq += double(p.data()[i]) * p.data()[i];
        }
        const double mean = sum / n, variance = sumSq / n - mean * mean;
        EXPECT_GT(variance, 20.0) << sceneKindName(recipe.kind);
    }
    Picture main = makeSampleMain(96);
    EXPECT_EQ(main.width(), 96);
    EXPECT_EQ(main.height(), 96);
}

TEST(SynthPictures, KindForSeedCoversEveryKind)
{
    std::vector<int> seen(kSceneKindCount, 0);
    for (std::uint64_t seed = 0; seed < 300; ++seed)
        ++seen[static_cast<int>(sceneKindForSeed(seed))];
    for (int k = 0; k < kSceneKindCount; ++k)
        EXPECT_GT(seen[k], 20) << sceneKindName(static_cast<SceneKind>(k));
}

} // namespace
} // namespace tw::tools
