// Fuzz target: the JPEG reader (our code around libjpeg). A failure must
// leave the target as it was. Inputs whose frame header declares a large
// picture are skipped: decoding them is slow by nature and their memory is
// the decoder's budget's business, not a fault this target looks for.
#include "imaging/jpeg.h"
#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::uint64_t kLargestPixels = std::uint64_t{1} << 20;

// True when any start-of-frame marker in the data declares more pixels than
// the target decodes. A plain scan: bytes that only look like a marker skip
// an input needlessly, never the other way round.
bool declaresLargePicture(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 8 < size; ++i) {
        if (data[i] != 0xFF)
            continue;
        const std::uint8_t m = data[i + 1];
        const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (!frame)
            continue;
        const std::uint64_t height = (std::uint64_t{data[i + 5]} << 8) | data[i + 6];
        const std::uint64_t width = (std::uint64_t{data[i + 7]} << 8) | data[i + 8];
        if (width * height > kLargestPixels)
            return true;
    }
    return false;
}

const tw::Picture& untouched()
{
    static const tw::Picture p = [] {
        tw::Picture q(2, 3);
        q.fill(tw::Bgr{7, 8, 9});
        return q;
    }();
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (declaresLargePicture(data, size))
        return 0;
    tw::Picture picture = untouched();
    try {
        tw::decodeJpeg(data, size, picture);
    } catch (const tw::Error&) {
        if (!(picture == untouched()))
            std::abort();  // a failed read changed its target
        return 0;
    }
    if (picture.empty() || picture.byteSize() != static_cast<std::size_t>(picture.width()) * picture.height() * 3)
        std::abort();
    return 0;
}
