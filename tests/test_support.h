#pragma once
// Helpers shared by the test programs: scratch folders and picture checks.
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tw::test {

// A fresh, empty folder under the build tree for one test. The running
// test's own name is part of the path, because CTest runs the cases of one
// suite in parallel processes and they must not clear each other's files.
inline std::filesystem::path scratchDir(const std::string& name)
{
    std::string owner = "no-test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        owner = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : owner)
            if (c == '/' || c == '\\')
                c = '_';
    }
    std::filesystem::path dir = std::filesystem::path(TILEWRIGHT_TEST_SCRATCH) / owner / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::filesystem::path testData(const std::string& relative)
{
    return std::filesystem::path(TILEWRIGHT_TEST_DATA) / relative;
}

// Compares two pictures pixel by pixel; on mismatch reports the first
// differing pixel with both values.
inline ::testing::AssertionResult samePicture(const Picture& a, const Picture& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return ::testing::AssertionFailure()
               << "sizes differ: " << a.width() << "x" << a.height() << " vs " << b.width() << "x" << b.height();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            Bgr p = a.pixel(x, y), q = b.pixel(x, y);
            if (!(p == q))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") differs: bgr(" << int(p.b) << "," << int(p.g) << ","
                       << int(p.r) << ") vs bgr(" << int(q.b) << "," << int(q.g) << "," << int(q.r) << ")";
        }
    return ::testing::AssertionSuccess();
}

inline Picture solidPicture(int w, int h, Bgr c)
{
    Picture p(w, h);
    p.fill(c);
    return p;
}

} // namespace tw::test
