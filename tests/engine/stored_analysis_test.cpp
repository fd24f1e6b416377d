// What the analysis cache keeps of a photograph: the stored bytes give back
// the signature and, for every enhancement, exactly the compact data built
// for that enhancement's amounts; bytes that are not a whole value are
// refused; the variant names what the data depends on.
#include "engine/cell_layout.h"
#include "engine/stored_analysis.h"
#include "engine_fixtures.h"
#include "imaging/signature.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tw {
namespace {

// Dark, light, flat and busy photographs: their amount ranges run from a
// few steps to nearly the whole -255..255, and some bytes clamp throughout.
struct Photo {
    const char* name;
    Picture picture;
    Size cell;
};

std::vector<Photo> photos()
{
    auto noisy = [](int w, int h, int bias) {
        std::uint32_t s = 99;
        return test::patternPicture(w, h, [&](int x, int y) {
            s = s * 1664525u + 1013904223u;
            const int n = static_cast<int>(s >> 26);
            auto v = [&](int base) { return std::uint8_t(std::clamp(base + n, 0, 255)); };
            return Bgr{v(bias + x), v(bias + y), v(bias + (x + y) / 2)};
        });
    };
    return {
        {"Dark", noisy(50, 40, 0), Size{16, 16}},
        {"Light", noisy(50, 40, 190), Size{12, 20}},
        {"Gradient", test::gradientPicture(64, 48, Bgr{0, 30, 255}, Bgr{255, 220, 0}), Size{24, 18}},
        {"Flat", test::solidPicture(30, 30, Bgr{200, 10, 128}), Size{8, 8}},
        {"Enlarged", noisy(9, 7, 60), Size{20, 20}},
    };
}

TEST(StoredAnalysis, GivesBackTheCompactDataBuiltForEveryEnhancement)
{
    for (const Photo& photo : photos()) {
        SCOPED_TRACE(photo.name);
        const ColorSignature signature = computeSignature(photo.picture);
        const ReducedPicture reduced(photo.picture, photo.cell);
        ASSERT_TRUE(reduced.usable());
        for (const int storedEnhance : {0, 50, 100}) {
            const CompactTile stored(reduced, storedAmountRanges(signature, storedEnhance), std::uint64_t{1} << 30);
            ASSERT_TRUE(stored.complete());
            const std::vector<std::uint8_t> value = encodeStoredAnalysis(signature, &stored);
            const StoredAnalysis whole = decodeStoredAnalysis(value);
            EXPECT_TRUE(whole.signature == signature);
            ASSERT_TRUE(whole.tile);
            EXPECT_TRUE(whole.tile->parts() == stored.parts()) << "stored " << storedEnhance;
            for (const int enhance : {0, 1, 37, 50, 99, 100}) {
                SCOPED_TRACE("stored " + std::to_string(storedEnhance) + ", wanted " + std::to_string(enhance));
                const ChannelRanges wanted = amountRanges(signature, enhance);
                bool held = true;
                for (std::size_t c = 0; c < 3; ++c)
                    held = held && stored.ranges()[c].low <= wanted[c].low && wanted[c].high <= stored.ranges()[c].high;
                const StoredAnalysis cut = decodeStoredAnalysis(value, enhance);
                ASSERT_TRUE(cut.tile);
                EXPECT_EQ(cut.covers, held);
                EXPECT_TRUE(cut.storedRanges == stored.ranges());
                if (enhance <= storedEnhance) {
                    EXPECT_TRUE(held);
                }
                if (!held)
                    continue;  // the cells beyond the stored amounts are drawn by decoding
                const CompactTile built(reduced, wanted, std::uint64_t{1} << 30);
                EXPECT_TRUE(cut.tile->parts() == built.parts());
                EXPECT_EQ(cut.tile->byteSize(), built.byteSize());
            }
        }
    }
}

TEST(StoredAnalysis, StoredAmountsGrowToTheWidestEnhancementAskedFor)
{
    for (const Photo& photo : photos()) {
        SCOPED_TRACE(photo.name);
        const ColorSignature signature = computeSignature(photo.picture);
        EXPECT_TRUE(storedAmountRanges(signature, 40) == amountRanges(signature, 40));
        // Amounts grow with the enhancement: the wider of the two stays.
        EXPECT_TRUE(storedAmountRanges(signature, 40, amountRanges(signature, 90)) == amountRanges(signature, 90));
        EXPECT_TRUE(storedAmountRanges(signature, 90, amountRanges(signature, 40)) == amountRanges(signature, 90));
        // Any earlier ranges are joined, not replaced.
        const ChannelRanges odd{AmountRange{-3, 200}, AmountRange{-250, 1}, AmountRange{0, 0}};
        const ChannelRanges own = amountRanges(signature, 60), joined = storedAmountRanges(signature, 60, odd);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(joined[c].low, std::min(own[c].low, odd[c].low));
            EXPECT_EQ(joined[c].high, std::max(own[c].high, odd[c].high));
        }
    }
}

TEST(StoredAnalysis, WithoutCompactDataOnlyTheSignatureComesBack)
{
    const ColorSignature signature = computeSignature(photos()[2].picture);
    const StoredAnalysis back = decodeStoredAnalysis(encodeStoredAnalysis(signature, nullptr), 100);
    EXPECT_TRUE(back.signature == signature);
    EXPECT_FALSE(back.tile);
}

TEST(StoredAnalysis, BytesThatAreNotAWholeValueAreRefused)
{
    const std::vector<Photo> all = photos();
    const Photo& photo = all[0];
    const ColorSignature signature = computeSignature(photo.picture);
    const CompactTile tile(ReducedPicture(photo.picture, photo.cell), storedAmountRanges(signature, 100),
                           std::uint64_t{1} << 30);
    const std::vector<std::uint8_t> good = encodeStoredAnalysis(signature, &tile);
    ASSERT_NO_THROW(decodeStoredAnalysis(good, 50));
    // Offsets: magic 0..3, signature 4..23, flags 24, symmetry 25, cell
    // size 26..29, source size 30..37, ranges 38..49, then the cell bytes.
    struct Row {
        const char* fault;
        void (*damage)(std::vector<std::uint8_t>&);
    };
    const Row rows[] = {
        {"other magic", [](std::vector<std::uint8_t>& v) { v[0] = 'X'; }},
        {"other version", [](std::vector<std::uint8_t>& v) { v[3] = 9; }},
        {"unknown flag", [](std::vector<std::uint8_t>& v) { v[24] |= 0x80; }},
        {"unknown symmetry", [](std::vector<std::uint8_t>& v) { v[25] |= 0x10; }},
        {"no cell width", [](std::vector<std::uint8_t>& v) { v[26] = v[27] = 0; }},
        {"cell beyond the largest", [](std::vector<std::uint8_t>& v) { v[27] = 0x7f; }},
        {"no source height", [](std::vector<std::uint8_t>& v) { v[34] = v[35] = v[36] = v[37] = 0; }},
        {"range upside down", [](std::vector<std::uint8_t>& v) { std::swap(v[38], v[40]), std::swap(v[39], v[41]); }},
        {"range beyond 255", [](std::vector<std::uint8_t>& v) { v[42] = 0x00, v[43] = 0x02; }},
        {"trailing byte", [](std::vector<std::uint8_t>& v) { v.push_back(0); }},
        {"last byte gone", [](std::vector<std::uint8_t>& v) { v.pop_back(); }},
        {"empty", [](std::vector<std::uint8_t>& v) { v.clear(); }},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> bad = good;
        row.damage(bad);
        EXPECT_THROW(decodeStoredAnalysis(bad, 50), std::invalid_argument) << row.fault;
    }
    // Every value cut short anywhere is refused, never read past its end.
    for (std::size_t size = 0; size < good.size(); ++size) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(decodeStoredAnalysis(cut), std::invalid_argument) << "cut to " << size << " bytes";
    }
}

// The variant changes with everything the stored data depends on, and
// with nothing that only steers the matching.
TEST(StoredAnalysis, VariantNamesTheCropGreyCellSizeAndReader)
{
    const tmosaicproject base = test::gridSettings(10, 8, 16, 16);
    const std::string v = storedAnalysisVariant(PictureFormat::Jpeg, base);
    struct Row {
        const char* change;
        void (*apply)(tmosaicproject&);
        bool differs;
    };
    const Row rows[] = {
        {"crop toggled", [](tmosaicproject& s) { s.cropCell = !s.cropCell; }, true},
        {"grey toggled", [](tmosaicproject& s) { s.monoCell = !s.monoCell; }, true},
        {"cell width", [](tmosaicproject& s) { s.cellWidth = 20; }, true},
        {"cell height", [](tmosaicproject& s) { s.cellHeight = 12; }, true},
        {"border size", [](tmosaicproject& s) { s.borderSize = 2; }, true},
        {"randomness", [](tmosaicproject& s) { s.randomLevel = 7; }, false},
        {"enhance", [](tmosaicproject& s) { s.colorEnhance = 13; }, false},
        {"flips", [](tmosaicproject& s) { s.allowHFlip = !s.allowHFlip; }, false},
        {"radius", [](tmosaicproject& s) { s.repeatRadius = 5; }, false},
        {"use all", [](tmosaicproject& s) { s.useAllPhotos = !s.useAllPhotos; }, false},
        {"cell counts", [](tmosaicproject& s) { s.cellsX = 40, s.cellsY = 3; }, false},
    };
    for (const Row& row : rows) {
        tmosaicproject s = base;
        row.apply(s);
        EXPECT_EQ(storedAnalysisVariant(PictureFormat::Jpeg, s) != v, row.differs) << row.change;
    }
    EXPECT_NE(storedAnalysisVariant(PictureFormat::Bmp, base), v) << "reader";
}

} // namespace
} // namespace tw
