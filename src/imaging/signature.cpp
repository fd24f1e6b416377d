#include "imaging/signature.h"

#include "imaging/resample.h"

#include <stdexcept>

namespace tw {

std::uint8_t signatureLuma(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    // Extended precision on purpose: a grey of 63 comes out as 62.99999...
    // and truncates to 62, exactly as the stored signatures expect.
    const long double sum = 0.299L * red + 0.587L * green + 0.114L * blue;
    return static_cast<std::uint8_t>(sum);
}

ColorSignature computeSignature(const Picture& picture)
{
    Picture reduced;
    stretchTo(picture, reduced, kSignatureSide, kSignatureSide);
    return signatureOfReduction(reduced);
}

ColorSignature signatureOfReduction(const Picture& reduced)
{
    constexpr int kHalf = kSignatureSide / 2;
    if (reduced.width() != kSignatureSide || reduced.height() != kSignatureSide)
        throw std::invalid_argument("a signature needs a picture reduced to 32 x 32");
    ColorSignature sig;
    const int origins[4][2] = {{0, 0}, {kHalf, 0}, {0, kHalf}, {kHalf, kHalf}};
    for (int q = 0; q < 4; ++q) {
        unsigned sb = 0, sg = 0, sr = 0;
        for (int y = origins[q][1]; y < origins[q][1] + kHalf; ++y) {
            const std::uint8_t* p = reduced.row(y) + origins[q][0] * 3;
            for (int x = 0; x < kHalf; ++x, p += 3) {
                sb += p[0];
                sg += p[1];
                sr += p[2];
            }
        }
        SignatureColor& c = sig.c[q];
        c.blue = static_cast<std::uint8_t>(sb / (kHalf * kHalf));
        c.green = static_cast<std::uint8_t>(sg / (kHalf * kHalf));
        c.red = static_cast<std::uint8_t>(sr / (kHalf * kHalf));
        c.luma = signatureLuma(c.red, c.green, c.blue);
    }
    auto meanOf = [&](std::uint8_t SignatureColor::*field) {
        unsigned s = 0;
        for (int q = 0; q < 4; ++q)
            s += sig.c[q].*field;
        return static_cast<std::uint8_t>(s >> 2);
    };
    SignatureColor& m = sig.c[Mean];
    m.blue = meanOf(&SignatureColor::blue);
    m.green = meanOf(&SignatureColor::green);
    m.red = meanOf(&SignatureColor::red);
    m.luma = meanOf(&SignatureColor::luma);
    return sig;
}

} // namespace tw
