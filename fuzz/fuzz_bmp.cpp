// Fuzz target: the BMP reader. Besides memory safety it checks the reader's
// promises: a failure leaves the target as it was, a success gives a 24-bit
// picture inside the size limits, and what was read survives our own
// writer and reader unchanged.
#include "imaging/bmp.h"
#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const tw::Picture& untouched()
{
    static const tw::Picture p = [] {
        tw::Picture q(3, 2);
        q.fill(tw::Bgr{1, 2, 3});
        return q;
    }();
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tw::Picture picture = untouched();
    try {
        tw::decodeBmp(data, size, picture);
    } catch (const tw::Error&) {
        if (!(picture == untouched()))
            std::abort();  // a failed read changed its target
        return 0;
    }
    if (picture.width() < 0 || picture.height() < 0 || picture.width() > tw::Picture::kMaxDimension ||
        picture.height() > tw::Picture::kMaxDimension ||
        picture.byteSize() != static_cast<std::size_t>(picture.width()) * picture.height() * 3)
        std::abort();
    const tw::Bytes again = tw::encodeBmp(picture);
    tw::Picture reread;
    tw::decodeBmp(again.data(), again.size(), reread);
    if (!(reread == picture) && !(picture.empty() && reread.empty()))
        std::abort();  // our writer and reader disagree
    return 0;
}
