#include "setup/mosaic_size.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tw {

namespace {

std::string printfDouble(const char* format, int precision, double value)
{
    char small[64];
    int n = std::snprintf(small, sizeof small, format, precision, value);
    if (n < 0)
        return std::string();
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, precision, value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

// Drops trailing zeros of the fraction and a then trailing point.
void trimFraction(std::string& s)
{
    if (s.find('.') == std::string::npos)
        return;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
}

void setSeparator(std::string& s, char decimalSeparator)
{
    for (char& c : s)
        if (c == '.')
            c = decimalSeparator;
}

// The size fields are 32-bit in the record; products wrap as they do there
// instead of overflowing (typed values may be anything until the field loses
// the focus).
std::int32_t mul32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

double hundredthsPerDpi(std::int32_t pixels, std::int32_t factor, std::int32_t dpi)
{
    if (dpi <= 0)
        return 0.0;
    return static_cast<double>(mul32(pixels, factor) / dpi) * 0.01;
}

} // namespace

std::string formatGeneral(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    std::string s;
    const double magnitude = std::fabs(value);
    if (value == 0.0) {
        s = "0";
    } else if (magnitude >= 1e-5 && magnitude < 1e-4) {
        // The general form stays fixed down to 0.00001, where printf's %g
        // already switches to an exponent: 15 significant digits are 19
        // decimals here.
        s = printfDouble("%.*f", 19, value);
        trimFraction(s);
    } else {
        // %.15g drops trailing zeros itself.
        s = printfDouble("%.*g", 15, value);
        const auto e = s.find('e');
        if (e != std::string::npos) {
            // Exponent written as "E" and the exponent without "+" or
            // leading zeros: 1E20, 1.5E-6.
            const int exponent = std::atoi(s.c_str() + e + 1);
            s = s.substr(0, e) + "E" + std::to_string(exponent);
        }
    }
    if (s == "-0")
        s = "0";
    setSeparator(s, decimalSeparator);
    return s;
}

std::string formatFixed2(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    // Round half away from zero on the exact binary value: print it with more
    // digits than any finite double needs to decide the third decimal (a
    // double that is not exactly a tie differs from one by far more than
    // 1e-40 at the magnitudes where two decimals matter), then round the
    // decimal text by hand. printf alone would round exact ties to even.
    const bool negative = std::signbit(value);
    std::string digits = printfDouble("%.*f", 40, std::fabs(value));
    const auto point = digits.find('.');
    std::string intPart = digits.substr(0, point);
    std::string frac = digits.substr(point + 1);
    std::string kept = intPart + frac.substr(0, 2);  // all digits, two decimals
    if (frac[2] >= '5') {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0) {
            if (kept[static_cast<std::size_t>(i)] == '9') {
                kept[static_cast<std::size_t>(i)] = '0';
                --i;
            } else {
                ++kept[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0)
            kept.insert(kept.begin(), '1');
    }
    std::string s = kept.substr(0, kept.size() - 2) + '.' + kept.substr(kept.size() - 2);
    const bool allZero = kept.find_first_not_of('0') == std::string::npos;
    if (negative && !allZero)
        s.insert(s.begin(), '-');
    setSeparator(s, decimalSeparator);
    return s;
}

SizeTexts computeMosaicSize(MosaicProject& project, const SizeFields& fields, const MemoryStatus& memory,
                            char decimalSeparator)
{
    tmosaicproject& r = project.settings;
    r.cropMain = fields.cropMain ? 1 : 0;
    r.cellsX = fields.cellsX;
    r.cellsY = fields.cellsY;
    r.cellWidth = fields.cellWidth;
    r.cellHeight = fields.cellHeight;
    r.dpi = fields.dpi;

    r.mosaicWidth = mul32(r.cellsX, r.cellWidth);
    r.mosaicHeight = mul32(r.cellsY, r.cellHeight);

    // A resolution of 0 (or a typed negative one) can be on screen while the
    // user types; it yields zeros rather than a division by it.
    r.widthInch = hundredthsPerDpi(r.mosaicWidth, 100, r.dpi);
    r.heightInch = hundredthsPerDpi(r.mosaicHeight, 100, r.dpi);
    r.widthCm = hundredthsPerDpi(r.mosaicWidth, 254, r.dpi);
    r.heightCm = hundredthsPerDpi(r.mosaicHeight, 254, r.dpi);

    SizeTexts t;
    t.widthInch = formatGeneral(r.widthInch, decimalSeparator) + " Inch";
    t.heightInch = formatGeneral(r.heightInch, decimalSeparator) + " Inch";
    t.widthCm = formatGeneral(r.widthCm, decimalSeparator) + " CM";
    t.heightCm = formatGeneral(r.heightCm, decimalSeparator) + " CM";
    t.widthPixels = std::to_string(r.mosaicWidth) + " Pixels";
    t.heightPixels = std::to_string(r.mosaicHeight) + " Pixels";

    if (r.mosaicWidth > 0)
        t.mosaicAspect = "Aspect Ratio of final mosaic : " +
                         std::to_string(mul32(r.mosaicHeight, 100) / r.mosaicWidth) + " / 100";
    const Picture& main = project.MainImage;
    if (main.width() > 0 && main.height() > 0)
        t.mainAspect = "Aspect Ratio of main image : " + std::to_string(mul32(main.height(), 100) / main.width()) +
                       " / 100";

    project.physMemTotal = memory.totalPhysical;
    project.physMemAvail = memory.availablePhysical;
    t.memoryInstalled = "Your Computer has " +
                        formatFixed2(static_cast<double>(project.physMemTotal) / 1048576.0, decimalSeparator) +
                        "MB Memory Installed.  ";
    const double need = (r.mosaicWidth / 1024.0) * (r.mosaicHeight / 1024.0) * 3.0;
    t.memoryNeeded = "You need " + formatFixed2(need, decimalSeparator) + " MB memory to create this project.";
    return t;
}

} // namespace tw
