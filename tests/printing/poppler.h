#pragma once
// Reading written PDF files back as a viewer shows them, with poppler-utils
// (pdfinfo, pdftoppm): page count, page sizes and the pixels of a page.
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>

namespace tw::test {

inline std::string shellWord(const std::string& word)
{
    std::string q = "'";
    for (char c : word) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs a command and returns its standard output; empty on failure.
inline std::string commandOutput(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    if (::pclose(pipe) != 0)
        out.clear();
    return out;
}

struct PdfPageSize {
    double width = 0, height = 0;  // points
};

inline int pdfPageCount(const std::string& path)
{
    const std::string info = commandOutput("pdfinfo " + shellWord(path) + " 2>/dev/null");
    std::smatch m;
    if (!std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")))
        return -1;
    return std::stoi(m[1].str());
}

inline std::optional<PdfPageSize> pdfPageSize(const std::string& path, int page)
{
    const std::string p = std::to_string(page);
    const std::string info =
        commandOutput("pdfinfo -f " + p + " -l " + p + " " + shellWord(path) + " 2>/dev/null");
    std::smatch m;
    if (!std::regex_search(info, m, std::regex("Page\\s+" + p + " size:\\s+([0-9.]+) x ([0-9.]+) pts")))
        return std::nullopt;
    return PdfPageSize{std::stod(m[1].str()), std::stod(m[2].str())};
}

// One page rendered at dpi, the part from (x, y) of size w x h in rendered
// pixels, as a working picture. An empty picture when it cannot be read.
inline Picture renderPdfPage(const std::string& path, int page, int dpi, int x, int y, int w, int h)
{
    const std::string p = std::to_string(page);
    const std::string ppm = commandOutput("pdftoppm -r " + std::to_string(dpi) + " -f " + p + " -l " + p +
                                          " -x " + std::to_string(x) + " -y " + std::to_string(y) + " -W " +
                                          std::to_string(w) + " -H " + std::to_string(h) + " " + shellWord(path) +
                                          " 2>/dev/null");
    // P6, width, height, 255, one blank, then red, green, blue per pixel.
    std::smatch m;
    static const std::regex header("^P6\\s+(\\d+)\\s+(\\d+)\\s+255\\s");
    if (!std::regex_search(ppm, m, header))
        return Picture();
    const int width = std::stoi(m[1].str()), height = std::stoi(m[2].str());
    const std::size_t start = static_cast<std::size_t>(m.length(0));
    if (ppm.size() - start < static_cast<std::size_t>(width) * height * 3)
        return Picture();
    Picture picture(width, height);
    const auto* rgb = reinterpret_cast<const std::uint8_t*>(ppm.data() + start);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const std::uint8_t* q = rgb + (static_cast<std::size_t>(row) * width + col) * 3;
            picture.setPixel(col, row, Bgr{q[2], q[1], q[0]});
        }
    return picture;
}

// Compares a rendered tile with the picture's source rectangle enlarged or
// reduced by taking, for each destination dot, the pixel its position falls
// in. With a slack of one, a dot may show the pixel of a neighbouring dot
// instead (a device repeating pixels places their edges within a dot), but
// never a colour that is no pixel's: any smoothing fails. Reports the first
// difference with both values.
inline ::testing::AssertionResult showsTile(const Picture& rendered, const Picture& picture, const Rect& source,
                                            int width, int height, int slack = 0)
{
    if (rendered.width() < width || rendered.height() < height)
        return ::testing::AssertionFailure() << "rendered " << rendered.width() << "x" << rendered.height()
                                             << ", smaller than the tile " << width << "x" << height;
    auto sourceX = [&](int x) {
        x = std::clamp(x, 0, width - 1);
        return source.left + static_cast<int>(std::int64_t{x} * source.width() / width);
    };
    auto sourceY = [&](int y) {
        y = std::clamp(y, 0, height - 1);
        return source.top + static_cast<int>(std::int64_t{y} * source.height() / height);
    };
    for (int y = 0; y < height; ++y) {
        const int sy = sourceY(y);
        for (int x = 0; x < width; ++x) {
            const int sx = sourceX(x);
            const Bgr got = rendered.pixel(x, y), want = picture.pixel(sx, sy);
            bool near = got == want;
            for (int dy = -slack; dy <= slack && !near; ++dy)
                for (int dx = -slack; dx <= slack && !near; ++dx)
                    near = got == picture.pixel(sourceX(x + dx), sourceY(y + dy));
            if (!near)
                return ::testing::AssertionFailure()
                       << "dot (" << x << ", " << y << ") shows bgr(" << int(got.b) << "," << int(got.g) << ","
                       << int(got.r) << "), picture pixel (" << sx << ", " << sy << ") is bgr(" << int(want.b)
                       << "," << int(want.g) << "," << int(want.r) << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// A page rendered at dpi shows the tile (source rectangle onto width x
// height dots from the printable area's corner at originX, originY) with
// every dot a picture pixel, the one its position falls in. A viewer may
// round the tile's corner to a neighbouring dot and place a pixel's edge
// within a dot; a smoothed or misplaced tile fails.
inline ::testing::AssertionResult pageShowsTile(const std::string& path, int page, int dpi, int originX, int originY,
                                                const Picture& picture, const Rect& source, int width, int height)
{
    const Picture rendered = renderPdfPage(path, page, dpi, originX - 1, originY - 1, width + 10, height + 10);
    if (rendered.empty())
        return ::testing::AssertionFailure() << "page " << page << " of " << path << " could not be rendered";
    auto at = [&](int left, int top) {
        Picture part(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                part.setPixel(x, y, rendered.pixel(left + x, top + y));
        return part;
    };
    for (int top = 0; top <= 2; ++top)
        for (int left = 0; left <= 2; ++left)
            if (showsTile(at(left, top), picture, source, width, height, 1))
                return ::testing::AssertionSuccess();
    // Nothing beyond the tile either way; report the corner the layout gives.
    return showsTile(at(1, 1), picture, source, width, height, 1) << " (at the printable area's corner)";
}

} // namespace tw::test
