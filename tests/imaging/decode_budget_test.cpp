// The decode budget: reservations, waiting, growing without deadlock, kept
// buffers; and hostile pictures (JPEG and BMP files of a few hundred bytes
// or kilobytes that declare gigapixel pictures) refused before their
// pixels are allocated.
#include "imaging/decode_budget.h"

#include "imaging/bmp.h"
#include "imaging/jpeg.h"
#include "imaging/load_picture.h"
#include "imaging/picture_region.h"
#include "platform/errors.h"

#include "jpeg_variants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace tw {
namespace {

constexpr std::uint64_t kMB = std::uint64_t{1} << 20;

TEST(DecodeBudget, ReservationsCountUntilReleasedAndThePeakStays)
{
    DecodeBudget budget(100);
    {
        DecodeBudget::Reservation a = budget.reserve(30);
        DecodeBudget::Reservation b = budget.reserve(70);
        EXPECT_EQ(budget.reserved(), 100u);
        b.resize(20);  // shrinking never waits
        EXPECT_EQ(budget.reserved(), 50u);
        DecodeBudget::Reservation moved = std::move(a);
        EXPECT_EQ(budget.reserved(), 50u) << "a moved reservation is held once";
    }
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_EQ(budget.peakReserved(), 100u);
}

TEST(DecodeBudget, MoreThanTheWholeBudgetIsRefusedAtOnceWithTheAmounts)
{
    const struct {
        std::uint64_t capacity, wanted;
        const char* message;
    } rows[] = {
        {64 * kMB, 64 * kMB + 1, "Decoding the picture needs 65 MB of memory, more than the 64 MB set aside for decoding pictures"},
        {256 * kMB, 2305 * kMB, "Decoding the picture needs 2305 MB of memory, more than the 256 MB set aside for decoding pictures"},
        {0, 1, "Decoding the picture needs 1 MB of memory, more than the 0 MB set aside for decoding pictures"},
    };
    for (const auto& r : rows) {
        DecodeBudget budget(r.capacity);
        try {
            budget.reserve(r.wanted);
            ADD_FAILURE() << r.wanted << " reserved of " << r.capacity;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), r.message);
        }
        EXPECT_EQ(budget.reserved(), 0u);
        EXPECT_EQ(budget.waiting(), 0u) << "a refusal does not wait";
    }
}

// A request that does not fit waits for others to let go, then goes on.
TEST(DecodeBudget, ARequestWaitsWhileOthersHoldTheBudget)
{
    DecodeBudget budget(100);
    DecodeBudget::Reservation first = budget.reserve(80);
    std::atomic<bool> got{false};
    std::thread other([&] {
        DecodeBudget::Reservation second = budget.reserve(50);
        got = true;
    });
    while (budget.waiting() == 0)
        std::this_thread::yield();
    EXPECT_FALSE(got.load());
    EXPECT_EQ(budget.reserved(), 80u);
    first.release();
    other.join();
    EXPECT_TRUE(got.load());
    EXPECT_LE(budget.peakReserved(), 100u);
}

// Two decodes that hold part of the budget and both grow past what is left
// would wait for each other forever; giving back before waiting avoids it.
TEST(DecodeBudget, TwoGrowingReservationsDoNotBlockEachOther)
{
    for (int round = 0; round < 20; ++round) {
        DecodeBudget budget(100);
        auto grow = [&] {
            DecodeBudget::Reservation r = budget.reserve(40);
            r.resize(90);
            EXPECT_EQ(r.bytes(), 90u);
        };
        std::thread a(grow), b(grow);
        a.join();
        b.join();
        EXPECT_EQ(budget.reserved(), 0u);
        EXPECT_LE(budget.peakReserved(), 100u);
    }
}

TEST(DecodeBudget, BuffersAreKeptForTheNextDecodeAndYieldToReservations)
{
    DecodeBudget budget(10 * kMB);
    std::uint8_t* first = nullptr;
    {
        DecodeBudget::Reservation r = budget.reserve(0);
        r.resize(kMB, 4 * kMB);
        first = r.buffer();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(r.bufferSize(), 4 * kMB);
        EXPECT_EQ(budget.reserved(), 5 * kMB);
    }
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_EQ(budget.keptBytes(), 4 * kMB);
    {
        DecodeBudget::Reservation r = budget.reserve(0);
        r.resize(0, 4 * kMB - 100);  // close enough to reuse
        EXPECT_EQ(r.buffer(), first);
        EXPECT_EQ(budget.reserved(), 4 * kMB) << "the whole kept buffer counts";
        EXPECT_EQ(budget.keptBytes(), 0u);
    }
    {
        DecodeBudget::Reservation r = budget.reserve(0);
        r.resize(0, kMB);  // far smaller: a buffer of its own
        EXPECT_NE(r.buffer(), first);
        EXPECT_EQ(budget.reserved(), kMB);
    }
    EXPECT_EQ(budget.keptBytes(), 5 * kMB);
    // A reservation that needs the kept buffers' room gets it.
    DecodeBudget::Reservation big = budget.reserve(9 * kMB);
    EXPECT_LE(budget.reserved() + budget.keptBytes(), 10 * kMB);
    big.release();
    budget.releaseKeptBuffers();
    EXPECT_EQ(budget.keptBytes(), 0u);
}

TEST(DecodeBudget, ShrinkingKeepsTheBufferAndItsContent)
{
    DecodeBudget budget(10 * kMB);
    DecodeBudget::Reservation r = budget.reserve(0);
    r.resize(3 * kMB, kMB);
    r.buffer()[0] = 42;
    r.buffer()[kMB - 1] = 43;
    r.shrinkTo(0);
    EXPECT_EQ(r.bytes(), kMB) << "never below the buffer";
    EXPECT_EQ(r.buffer()[0], 42);
    EXPECT_EQ(r.buffer()[kMB - 1], 43);
    EXPECT_EQ(budget.reserved(), kMB);
}

TEST(DecodeBudget, DefaultIsHalfTheAvailableMemoryWithAFloor)
{
    EXPECT_EQ(defaultDecodeBudget(8192 * kMB), 4096 * kMB);
    EXPECT_EQ(defaultDecodeBudget(100 * kMB), kMinDecodeBudget);
    EXPECT_EQ(defaultDecodeBudget(0), kUnknownMemoryDecodeBudget);
}

// ---------------------------------------------------------------- hostile pictures

void writeBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A tiny picture's JPEG whose frame header claims width x height: the
// compressed data ends long before, and libjpeg would pad the rest.
Bytes jpegClaiming(bool progressive, int width, int height)
{
    test::JpegVariant v{"bomb", test::JpegKind::Colour, 1, 1, progressive, 0, 50};
    Bytes bytes = test::encodeJpegVariant(test::solidPicture(8, 8, Bgr{90, 90, 90}), v);
    for (std::size_t i = 2; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = std::uint8_t(height >> 8);
            bytes[i + 6] = std::uint8_t(height & 0xFF);
            bytes[i + 7] = std::uint8_t(width >> 8);
            bytes[i + 8] = std::uint8_t(width & 0xFF);
            return bytes;
        }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

// An RLE8 bitmap of width x height whose data is only end-of-line codes:
// long enough for the reader's bound on compressed pictures, far too
// short for the picture.
Bytes rleBitmapClaiming(int width, int height, std::size_t dataBytes)
{
    Bytes b(14 + 40 + 256 * 4, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b[at + std::size_t(k)] = std::uint8_t(v >> (8 * k));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(10, std::uint32_t(b.size()));
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    b[26] = 1;   // planes
    b[28] = 8;   // bits
    put32(30, 1);  // RLE8
    b.resize(b.size() + dataBytes, 0);  // "0 0": end of line, again and again
    b.push_back(0);
    b.push_back(1);  // end of bitmap
    put32(2, std::uint32_t(b.size()));
    return b;
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Bomb {
    const char* name;
    Bytes (*bytes)();
    std::size_t maxFileBytes;
    const char* message;
};

const Bomb kBombs[] = {
    {"progressive.jpg", [] { return jpegClaiming(true, 16384, 16384); }, 1000,
     "A picture of 16384 x 16384 pixels needs 2311 MB of memory, more than the 64 MB set aside for decoding pictures"},
    {"baseline.jpg", [] { return jpegClaiming(false, 16384, 16384); }, 1000,
     "A picture of 16384 x 16384 pixels needs 775 MB of memory, more than the 64 MB set aside for decoding pictures"},
    {"rle.bmp", [] { return rleBitmapClaiming(10000, 10000, 400000); }, 402000,
     "A picture of 10000 x 10000 pixels needs 287 MB of memory, more than the 64 MB set aside for decoding pictures"},
};

class HostilePicture : public ::testing::TestWithParam<Bomb> {};

// Refused before the pixels (or libjpeg's coefficients) are allocated: the
// budget never held more than the file, and the process did not grow.
TEST_P(HostilePicture, IsRefusedBeforeItsPixelsAreAllocated)
{
    const Bomb& bomb = GetParam();
    const auto dir = test::scratchDir(std::string("bomb_") + bomb.name);
    const std::string path = (dir / bomb.name).string();
    const Bytes bytes = bomb.bytes();
    ASSERT_LE(bytes.size(), bomb.maxFileBytes);
    writeBytes(path, bytes);

    const long before = peakResidentKilobytes();
    DecodeBudget budget(64 * kMB);
    Picture target = test::solidPicture(2, 2, Bgr{1, 2, 3});
    try {
        loadPicture(target, path, budget);
        ADD_FAILURE() << "loaded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), bomb.message);
        EXPECT_EQ(e.file(), path);
    }
    EXPECT_TRUE(test::samePicture(target, test::solidPicture(2, 2, Bgr{1, 2, 3})));
    try {
        decodePictureRegion(path, RegionRequest{1, 1, false}, nullptr, budget);
        ADD_FAILURE() << "decoded";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), bomb.message);
        EXPECT_EQ(e.file(), path);
    }
    EXPECT_LE(budget.peakReserved(), bytes.size()) << "nothing but the file was ever held";
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_LT(peakResidentKilobytes() - before, 32 * 1024) << "the process grew by tens of megabytes";
}

INSTANTIATE_TEST_SUITE_P(Files, HostilePicture, ::testing::ValuesIn(kBombs), [](const auto& info) {
    std::string n = info.param.name;
    std::replace(n.begin(), n.end(), '.', '_');
    return n;
});

// The same kind of file at a size the budget allows loads (its missing
// data padded), and costs one decode's memory.
TEST(HostilePicture, LargePictureLoadsWhenTheBudgetAllows)
{
    const auto dir = test::scratchDir("bomb_allowed");
    for (bool progressive : {false, true}) {
        const std::string path = (dir / (progressive ? "p.jpg" : "b.jpg")).string();
        writeBytes(path, jpegClaiming(progressive, 2048, 1024));
        DecodeBudget budget(64 * kMB);
        Picture target;
        loadPicture(target, path, budget);
        EXPECT_EQ(target.width(), 2048);
        EXPECT_EQ(target.height(), 1024);
        EXPECT_GE(budget.peakReserved(), std::uint64_t{2048} * 1024 * 3);
        EXPECT_LE(budget.peakReserved(), 64 * kMB);
        // Too small a budget for the same file: refused.
        DecodeBudget small(4 * kMB);
        EXPECT_THROW(loadPicture(target, path, small), Error);
    }
}

// Several threads decoding at once never hold more than the budget: each
// waits for the memory the others use.
TEST(HostilePicture, ThreadsDecodingAtOnceNeverHoldMoreThanTheBudget)
{
    const auto dir = test::scratchDir("budget_threads");
    const std::string path = (dir / "big.jpg").string();
    writeBytes(path, jpegClaiming(true, 1024, 1024));
    Picture probe;
    DecodeBudget measure(256 * kMB);
    loadPicture(probe, path, measure);
    const std::uint64_t one = measure.peakReserved();
    // Room for one decode and a half: never two at once.
    DecodeBudget budget(one + one / 2);
    std::vector<std::thread> threads;
    std::atomic<int> loaded{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 3; ++k) {
                Picture p;
                loadPicture(p, path, budget);
                loaded += p.width() == 1024;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(loaded.load(), 12);
    EXPECT_LE(budget.peakReserved(), one + one / 2);
    EXPECT_EQ(budget.reserved(), 0u);
}

} // namespace
} // namespace tw
