#pragma once
// Helpers shared by the test programs: scratch folders and picture checks.
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// Runs body in a child process that cannot override file permissions (as
// root it becomes "nobody"), so read-only folders and files mean what they
// say. Returns what body reports: empty when all went well.
inline std::string runUnprivileged(const std::function<std::string()>& body)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string report;
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            report = "could not drop privileges";
        else
            report = body();
        (void)!::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        report += " (child did not exit normally)";
    return report;
}

// A scratch folder the unprivileged child may write into.
inline std::filesystem::path unprivilegedDir(const std::string& name)
{
    auto dir = scratchDir(name);
    if (::geteuid() == 0)
        (void)!::chown(dir.c_str(), 65534, 65534);
    return dir;
}

// Opens the named pipe path for writing without blocking until stop is set
// or a few seconds passed, then writes and closes: a reader stuck waiting on
// the pipe is released with data, so a reader that blocks fails its test
// instead of hanging it.
inline void feedPipeUntil(const std::string& path, const std::atomic<bool>& stop)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!stop && std::chrono::steady_clock::now() < deadline) {
        int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            (void)!::write(fd, "data", 4);
            ::close(fd);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace tw::test
