// Linked into every test program: the analysis cache of whatever the tests
// run (the command-line program in process or as a child, the desktop
// program's creations) lives in a folder of this process's own, made at
// start and removed at the end, never in the user's cache folder. Test
// programs run side by side under CTest, so the folder is per process.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class PrivateCacheHome {
public:
    PrivateCacheHome()
    {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "tilewright-test-cache-XXXXXX").string();
        if (ec)
            pattern = "/tmp/tilewright-test-cache-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();  // better no test run than one on the user's cache
        folder_ = pattern;
        ::setenv("XDG_CACHE_HOME", folder_.c_str(), 1);
    }
    ~PrivateCacheHome()
    {
        std::error_code ec;
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(folder_, ec);
    }

private:
    std::string folder_;
};

const PrivateCacheHome cacheHome;

} // namespace
