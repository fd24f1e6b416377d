// Fuzz target: the JPEG reader (our code around libjpeg), whole and by
// region. A failure must leave the target as it was; a region decode must
// fail exactly when the whole decode fails and otherwise give exactly the
// whole picture's pixels in its rectangle (picked from the input's bytes).
// Inputs whose frame header declares a large picture are skipped: decoding
// them is slow by nature and their memory is the decoder's budget's
// business, not a fault this target looks for.
#include "imaging/jpeg.h"
#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Decodes a rectangle chosen from the input's hash into a buffer of its own.
class RegionReceiver final : public tw::JpegRowReceiver {
public:
    explicit RegionReceiver(std::uint64_t pick) : pick_(pick) {}

    tw::Rect region(int width, int height) override
    {
        if (width <= 0 || height <= 0)
            std::abort();  // promised a non-empty picture
        const auto take = [this](int range) {
            const int v = static_cast<int>(pick_ % static_cast<std::uint64_t>(range));
            pick_ /= static_cast<std::uint64_t>(range);
            return v;
        };
        rect_.left = take(width);
        rect_.top = take(height);
        rect_.right = rect_.left + 1 + take(width - rect_.left);
        rect_.bottom = rect_.top + 1 + take(height - rect_.top);
        return rect_;
    }

    std::uint8_t* memory(std::size_t bufferBytes, std::uint64_t) override
    {
        buffer_.assign(bufferBytes, 0);
        return buffer_.data();
    }

    void rowsReady(const tw::PictureView& view, int count) override
    {
        if (count < rows_ || count > rect_.height() || view.width != rect_.width() || view.height != rect_.height())
            std::abort();  // rows went backwards or the view is not the region
        rows_ = count;
        view_ = view;
    }

    const tw::Rect& rect() const { return rect_; }
    const tw::PictureView& view() const { return view_; }
    int rows() const { return rows_; }

private:
    std::uint64_t pick_;
    tw::Rect rect_;
    std::vector<std::uint8_t> buffer_;
    tw::PictureView view_;
    int rows_ = 0;
};

// The region decode agrees with the whole picture, or both failed.
// wholeError is the whole decode's message when it failed.
void checkRegion(const std::uint8_t* data, std::size_t size, const tw::Picture* whole, const char* wholeError)
{
    RegionReceiver receiver(hashOf(data, size));
    try {
        tw::decodeJpegRows(data, size, receiver);
    } catch (const tw::Error& e) {
        if (whole) {
            std::fprintf(stderr, "region failed \"%s\"; the whole picture did not\n", e.what());
            std::abort();
        }
        return;
    }
    if (!whole) {
        std::fprintf(stderr, "region succeeded; the whole picture failed \"%s\"\n", wholeError);
        std::abort();
    }
    const tw::Rect& r = receiver.rect();
    if (receiver.rows() != r.height())
        std::abort();  // rows missing at the end
    for (int y = 0; y < r.height(); ++y)
        if (std::memcmp(receiver.view().row(y), whole->row(r.top + y) + static_cast<std::size_t>(r.left) * 3,
                        static_cast<std::size_t>(r.width()) * 3) != 0) {
            std::fprintf(stderr, "region %d,%d-%d,%d of %dx%d differs from the whole picture in its row %d\n", r.left,
                         r.top, r.right, r.bottom, whole->width(), whole->height(), y);
            std::abort();
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (declaresLargePicture(data, size))
        return 0;
    tw::Picture picture = untouched();
    try {
        tw::decodeJpeg(data, size, picture);
    } catch (const tw::Error& e) {
        if (!(picture == untouched()))
            std::abort();  // a failed read changed its target
        checkRegion(data, size, nullptr, e.what());
        return 0;
    }
    if (picture.empty() || picture.byteSize() != static_cast<std::size_t>(picture.width()) * picture.height() * 3)
        std::abort();
    checkRegion(data, size, &picture, nullptr);
    return 0;
}
