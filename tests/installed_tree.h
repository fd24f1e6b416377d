#pragma once
// A program folder laid out as an installed program sees it: <prefix>/bin
// holds the executable, <prefix>/share/tilewright the shipped files, and
// the user's data folder is redirected through XDG_DATA_HOME. Everything is
// restored when the object goes.
#include "platform/files.h"
#include "platform/program_files.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace tw::test {

// Sets or removes an environment variable for the object's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

class InstalledTree {
public:
    explicit InstalledTree(const std::filesystem::path& root)
        : prefix(root / "prefix"), bin(prefix / "bin"),
          data(std::filesystem::path(installedDataFolderFor(bin.string()))), xdgHome(root / "xdg-data"),
          userData(xdgHome / "tilewright"), xdg_("XDG_DATA_HOME", xdgHome.c_str())
    {
        std::filesystem::create_directories(bin);
        std::filesystem::create_directories(data);
        setProgramFolderForTesting(bin.string());
    }
    ~InstalledTree() { setProgramFolderForTesting(""); }
    InstalledTree(const InstalledTree&) = delete;
    InstalledTree& operator=(const InstalledTree&) = delete;

    std::filesystem::path prefix, bin, data, xdgHome, userData;

private:
    ScopedEnv xdg_;
};

} // namespace tw::test
