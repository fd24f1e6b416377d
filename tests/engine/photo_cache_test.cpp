// The prepared-photograph cache: the byte budget is kept exactly, only an
// identical key gets a photograph back, and entries are forgotten when
// taken, released or no longer wanted; and the arena its pixels live in.
#include "engine/photo_cache.h"
#include "engine/pixel_arena.h"
#include "engine_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

namespace tw {
namespace {

// w x h x 3 bytes, content telling photographs apart.
Picture photoOf(int w, int h, std::uint8_t tag) { return test::solidPicture(w, h, {tag, 0, 0}); }

PreparedPhotoKey keyAt(std::size_t index)
{
    tmosaicproject s = test::wizardDefaults();
    return PreparedPhotoKey::of(index, "/photos/p" + std::to_string(index) + ".jpg", s);
}

TEST(PreparedPhotoCache, PhotographFillingTheBudgetExactlyIsKept)
{
    PreparedPhotoCache cache(10 * 10 * 3);
    Picture p = photoOf(10, 10, 7);
    EXPECT_TRUE(cache.offer(keyAt(0), p));
    EXPECT_EQ(cache.usedBytes(), 300u);
    EXPECT_EQ(cache.size(), 1u);
}

TEST(PreparedPhotoCache, PhotographOneByteOverTheRestIsRefusedAndLeftWhole)
{
    PreparedPhotoCache cache(10 * 10 * 3 + 2);
    Picture first = photoOf(10, 10, 1);
    ASSERT_TRUE(cache.offer(keyAt(0), first));
    Picture second = photoOf(1, 1, 2);  // 3 bytes, 2 left
    EXPECT_FALSE(cache.offer(keyAt(1), second));
    EXPECT_TRUE(test::samePicture(second, photoOf(1, 1, 2))) << "a refused photograph stays with the caller";
    EXPECT_EQ(cache.usedBytes(), 300u);
    EXPECT_EQ(cache.size(), 1u);
}

TEST(PreparedPhotoCache, ZeroBudgetKeepsNothing)
{
    PreparedPhotoCache cache(0);
    Picture p = photoOf(1, 1, 1);
    EXPECT_FALSE(cache.offer(keyAt(0), p));
    EXPECT_EQ(cache.size(), 0u);
}

TEST(PreparedPhotoCache, KeptCopyDoesNotFollowLaterChangesToTheOffered)
{
    PreparedPhotoCache cache(1000);
    Picture p = test::coordinatePicture(9, 7);
    ASSERT_TRUE(cache.offer(keyAt(1), p));
    p.fill({1, 2, 3});
    Picture out;
    ASSERT_TRUE(cache.take(keyAt(1), out));
    EXPECT_TRUE(test::samePicture(out, test::coordinatePicture(9, 7)));
}

TEST(PreparedPhotoCache, EmptyPictureIsKeptAndGivenBackEmpty)
{
    PreparedPhotoCache cache(10);
    Picture empty;
    ASSERT_TRUE(cache.offer(keyAt(0), empty));
    Picture out = photoOf(2, 2, 1);
    ASSERT_TRUE(cache.take(keyAt(0), out));
    EXPECT_TRUE(out.empty());
}

TEST(PreparedPhotoCache, TakingReturnsThePhotographAndFreesItsBytes)
{
    PreparedPhotoCache cache(1000);
    Picture p = photoOf(8, 6, 42);
    ASSERT_TRUE(cache.offer(keyAt(3), p));
    Picture out = photoOf(2, 2, 9);
    ASSERT_TRUE(cache.take(keyAt(3), out));
    EXPECT_TRUE(test::samePicture(out, photoOf(8, 6, 42)));
    EXPECT_EQ(cache.usedBytes(), 0u);
    EXPECT_EQ(cache.size(), 0u);
    Picture again;
    EXPECT_FALSE(cache.take(keyAt(3), again)) << "a photograph is handed out once";
    // The freed bytes can be used again.
    Picture big = photoOf(18, 18, 1);  // 972 bytes
    EXPECT_TRUE(cache.offer(keyAt(4), big));
}

// Every part of the key that shaped the photograph must match.
struct KeyChange {
    const char* name;
    void (*change)(PreparedPhotoKey&);
};

const KeyChange kKeyChanges[] = {
    {"OtherLibraryPosition", [](PreparedPhotoKey& k) { k.index += 1; }},
    {"OtherPath", [](PreparedPhotoKey& k) { k.path += "x"; }},
    {"CropSwitched", [](PreparedPhotoKey& k) { k.crop = !k.crop; }},
    {"MonoSwitched", [](PreparedPhotoKey& k) { k.mono = !k.mono; }},
    {"OtherCellWidth", [](PreparedPhotoKey& k) { k.cellWidth += 1; }},
    {"OtherCellHeight", [](PreparedPhotoKey& k) { k.cellHeight -= 1; }},
};

class PreparedPhotoKeys : public ::testing::TestWithParam<KeyChange> {};

TEST_P(PreparedPhotoKeys, MismatchGetsNothingAndOutIsUnchanged)
{
    PreparedPhotoCache cache(1000);
    Picture p = photoOf(4, 4, 5);
    const PreparedPhotoKey stored = keyAt(2);
    ASSERT_TRUE(cache.offer(stored, p));
    PreparedPhotoKey asked = stored;
    GetParam().change(asked);
    Picture out = photoOf(3, 3, 77);
    EXPECT_FALSE(cache.take(asked, out));
    EXPECT_TRUE(test::samePicture(out, photoOf(3, 3, 77)));
}

INSTANTIATE_TEST_SUITE_P(Fields, PreparedPhotoKeys, ::testing::ValuesIn(kKeyChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PreparedPhotoKey, TakesEverySettingThatShapesThePreparedPicture)
{
    tmosaicproject s = test::wizardDefaults();
    s.cropCell = 1;
    s.monoCell = 0;
    s.cellWidth = 24;
    s.cellHeight = 18;
    const PreparedPhotoKey a = PreparedPhotoKey::of(5, "/a.jpg", s);
    EXPECT_EQ(a.index, 5u);
    EXPECT_EQ(a.path, "/a.jpg");
    EXPECT_TRUE(a.crop);
    EXPECT_FALSE(a.mono);
    EXPECT_EQ(a.cellWidth, 24);
    EXPECT_EQ(a.cellHeight, 18);
    s.monoCell = 1;
    EXPECT_FALSE(PreparedPhotoKey::of(5, "/a.jpg", s) == a);
    s.monoCell = 0;
    s.colorEnhance = 0;  // applied per cell after the cache: not part of the key
    s.borderSize = 3;
    EXPECT_TRUE(PreparedPhotoKey::of(5, "/a.jpg", s) == a);
}

TEST(PreparedPhotoCache, MismatchedEntryIsDroppedSinceNobodyCanUseIt)
{
    PreparedPhotoCache cache(1000);
    Picture p = photoOf(4, 4, 5);
    ASSERT_TRUE(cache.offer(keyAt(2), p));
    PreparedPhotoKey other = keyAt(2);
    other.mono = !other.mono;
    Picture out;
    EXPECT_FALSE(cache.take(other, out));
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.usedBytes(), 0u);
}

TEST(PreparedPhotoCache, NewOfferAtTheSamePositionReplacesAndRecountsBytes)
{
    PreparedPhotoCache cache(100);
    Picture a = photoOf(5, 5, 1);  // 75 bytes
    ASSERT_TRUE(cache.offer(keyAt(0), a));
    Picture b = photoOf(4, 4, 2);  // 48 bytes: fits only once the old one is gone
    EXPECT_TRUE(cache.offer(keyAt(0), b));
    EXPECT_EQ(cache.usedBytes(), 48u);
    Picture out;
    ASSERT_TRUE(cache.take(keyAt(0), out));
    EXPECT_TRUE(test::samePicture(out, photoOf(4, 4, 2)));
}

TEST(PreparedPhotoCache, ReleaseAndKeepOnlyForgetAndFreeBytes)
{
    PreparedPhotoCache cache(10000);
    for (std::size_t i = 0; i < 6; ++i) {
        Picture p = photoOf(2, 2, std::uint8_t(i));
        ASSERT_TRUE(cache.offer(keyAt(i), p));
    }
    cache.release(1);
    cache.release(99);  // nothing there
    EXPECT_EQ(cache.size(), 5u);
    // Wanted: 0, 3 and 5 (beyond the end of the list: not wanted).
    cache.keepOnly({1, 1, 0, 1, 0});
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.usedBytes(), 24u);
    Picture out;
    EXPECT_TRUE(cache.take(keyAt(0), out));
    EXPECT_TRUE(cache.take(keyAt(3), out));
    EXPECT_FALSE(cache.take(keyAt(5), out));
    EXPECT_FALSE(cache.take(keyAt(1), out));
}

TEST(PreparedPhotoCache, ConcurrentTakersEachGetTheirOwnPhotograph)
{
    constexpr std::size_t kPhotos = 64;
    PreparedPhotoCache cache(kPhotos * 12);
    for (std::size_t i = 0; i < kPhotos; ++i) {
        Picture p = photoOf(2, 2, std::uint8_t(i));
        ASSERT_TRUE(cache.offer(keyAt(i), p));
    }
    std::vector<char> got(kPhotos, 0);
    auto taker = [&](std::size_t parity) {
        for (std::size_t i = parity; i < kPhotos; i += 2) {
            Picture out;
            got[i] = cache.take(keyAt(i), out) && test::samePicture(out, photoOf(2, 2, std::uint8_t(i)));
        }
    };
    std::thread a(taker, 0), b(taker, 1);
    a.join();
    b.join();
    for (std::size_t i = 0; i < kPhotos; ++i)
        EXPECT_TRUE(got[i]) << "photograph " << i;
    EXPECT_EQ(cache.usedBytes(), 0u);
}

// Blocks never overlap, keep their bytes, and chunks go back to the system
// once all their blocks are freed.
// ---------------------------------------------------------------- compact data

std::unique_ptr<const CompactTile> compactOf(int w, int h, std::uint8_t tag)
{
    const Picture photo = test::patternPicture(w, h, [tag](int x, int y) {
        return Bgr{std::uint8_t(tag + x * 9), std::uint8_t(y * 13), std::uint8_t((x + y) * 7)};
    });
    const ReducedPicture reduced(photo, Size{std::max(1, w / 3), std::max(1, h / 3)});
    const ChannelRanges ranges{AmountRange{-30, 30}, AmountRange{-30, 30}, AmountRange{-30, 30}};
    return std::make_unique<const CompactTile>(reduced, ranges, std::uint64_t{1} << 30);
}

TEST(PreparedPhotoCache, CompactDataCountsItsBytesAndIsHandedOutOnlyAsCompactData)
{
    auto tile = compactOf(30, 21, 5);
    const std::uint64_t bytes = tile->byteSize();
    const CompactTile* address = tile.get();
    PreparedPhotoCache cache(bytes);
    ASSERT_TRUE(cache.offer(keyAt(2), std::move(tile)));
    EXPECT_EQ(cache.usedBytes(), bytes);
    EXPECT_TRUE(cache.holds(keyAt(2)));
    Picture out = photoOf(2, 2, 9);
    EXPECT_FALSE(cache.take(keyAt(2), out)) << "compact data is no picture";
    EXPECT_EQ(out.width(), 2);
    EXPECT_TRUE(cache.holds(keyAt(2)));
    std::unique_ptr<const CompactTile> taken = cache.takeCompact(keyAt(2));
    EXPECT_EQ(taken.get(), address);
    EXPECT_EQ(cache.usedBytes(), 0u);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.takeCompact(keyAt(2)), nullptr);
}

TEST(PreparedPhotoCache, CompactDataOverTheRestOfTheBudgetIsRefused)
{
    auto first = compactOf(30, 21, 1), second = compactOf(30, 21, 2);
    PreparedPhotoCache cache(first->byteSize() + second->byteSize() - 1);
    EXPECT_TRUE(cache.offer(keyAt(0), std::move(first)));
    EXPECT_FALSE(cache.offer(keyAt(1), std::move(second)));
    EXPECT_EQ(cache.size(), 1u);
    PreparedPhotoCache none(0);
    EXPECT_FALSE(none.offer(keyAt(0), compactOf(6, 6, 3)));
    EXPECT_EQ(none.usedBytes(), 0u);
    EXPECT_FALSE(none.offer(keyAt(0), std::unique_ptr<const CompactTile>{}));
}

TEST(PreparedPhotoCache, CompactDataUnderAnotherKeyIsDroppedAndPicturesAreNotCompactData)
{
    PreparedPhotoCache cache(1 << 20);
    ASSERT_TRUE(cache.offer(keyAt(0), compactOf(30, 21, 1)));
    PreparedPhotoKey other = keyAt(0);
    other.mono = !other.mono;
    EXPECT_EQ(cache.takeCompact(other), nullptr);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.usedBytes(), 0u);

    ASSERT_TRUE(cache.offer(keyAt(1), photoOf(4, 4, 1)));
    EXPECT_EQ(cache.takeCompact(keyAt(1)), nullptr);
    EXPECT_TRUE(cache.holds(keyAt(1))) << "the picture stays for take";
    ASSERT_TRUE(cache.offer(keyAt(1), compactOf(9, 9, 1)));  // replaces the picture
    EXPECT_EQ(cache.size(), 1u);
    ASSERT_TRUE(cache.offer(keyAt(2), compactOf(9, 9, 2)));
    cache.release(1);
    cache.keepOnly(std::vector<char>{0, 0, 0});
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.usedBytes(), 0u);
}

TEST(PixelArena, BlocksAreDisjointKeepTheirBytesAndEmptyChunksAreUnmapped)
{
    PixelArena arena;
    const std::size_t sizes[] = {1, 63, 64, 65, 4096 * 3 + 5, 1 << 20, 5 << 20, 0, 7};
    std::vector<PixelArena::Block> blocks;
    std::uint8_t tag = 1;
    for (std::size_t n : sizes) {
        blocks.push_back(arena.allocate(n));
        ASSERT_EQ(blocks.back().size, n);
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(blocks.back().data) % 64, 0u);
        if (n > 0)
            std::memset(blocks.back().data, tag, n);
        ++tag;
    }
    EXPECT_EQ(blocks[7].data, nullptr) << "an empty block needs no memory";
    // Freeing every other block leaves the others' bytes alone (their
    // neighbours' pages go back to the system).
    for (std::size_t i = 0; i < blocks.size(); i += 2)
        arena.free(blocks[i]);
    for (std::size_t i = 1; i < blocks.size(); i += 2)
        for (std::size_t k = 0; k < blocks[i].size; ++k)
            ASSERT_EQ(blocks[i].data[k], std::uint8_t(i + 1)) << "block " << i << " byte " << k;
    EXPECT_GT(arena.mappedBytes(), 0u);
    for (std::size_t i = 1; i < blocks.size(); i += 2)
        arena.free(blocks[i]);
    EXPECT_EQ(arena.mappedBytes(), 0u);
    // The arena keeps working after its chunks are gone.
    const PixelArena::Block again = arena.allocate(100);
    std::memset(again.data, 9, 100);
    EXPECT_GT(arena.mappedBytes(), 0u);
}

TEST(PixelArena, BlockLargerThanAChunkGetsOneOfItsOwn)
{
    PixelArena arena;
    const PixelArena::Block small = arena.allocate(1000);
    const PixelArena::Block big = arena.allocate(PixelArena::kChunkBytes + 1);
    EXPECT_NE(small.chunk, big.chunk);
    big.data[0] = 1;
    big.data[big.size - 1] = 2;
    EXPECT_GE(arena.mappedBytes(), PixelArena::kChunkBytes * 2);
    arena.free(big);
    EXPECT_EQ(arena.mappedBytes(), PixelArena::kChunkBytes);
    arena.free(small);
}

TEST(PhotoCacheBudget, OptionWinsAndDefaultIsAQuarterOfMemoryCapped)
{
    EngineOptions o;
    o.photoCacheBytes = 12345;
    EXPECT_EQ(photoCacheBudget(o), 12345u);
    o.photoCacheBytes = 0;
    EXPECT_EQ(photoCacheBudget(o), 0u);
    o.photoCacheBytes.reset();
    EXPECT_LE(photoCacheBudget(o), kDefaultPhotoCacheCap);
}

} // namespace
} // namespace tw
