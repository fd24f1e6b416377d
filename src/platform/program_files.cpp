#include "platform/program_files.h"

#include "platform/errors.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The way from the executable's folder to the installed data folder, as the
// build's install layout has it (bin -> share/tilewright by default).
#ifndef TILEWRIGHT_DATA_FROM_BIN
#define TILEWRIGHT_DATA_FROM_BIN "../share/tilewright"
#endif

namespace tw {

namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    // No home at all: a relative folder is better than writing beside the root.
    return ".";
}

std::string parentFolder(const std::string& path)
{
    const auto pos = path.find_last_of(kPathSeparator);
    if (pos == std::string::npos)
        return {};
    return pos == 0 ? std::string(1, kPathSeparator) : path.substr(0, pos);
}

} // namespace

std::string installedDataFolderFor(const std::string& programFolder)
{
    // The program folder comes resolved from /proc/self/exe, so dropping
    // "bin/.." by text is safe, and the paths shown in lists stay plain.
    std::string folder =
        (std::filesystem::path(programFolder) / TILEWRIGHT_DATA_FROM_BIN).lexically_normal().string();
    if (folder.size() > 1 && folder.back() == kPathSeparator)
        folder.pop_back();
    return folder;
}

bool runsInstalled() { return directoryExists(installedDataFolderFor(programFolder())); }

std::string programDataFolder()
{
    const std::string folder = programFolder();
    const std::string installed = installedDataFolderFor(folder);
    return directoryExists(installed) ? installed : folder;
}

std::string defaultPictureFolder() { return joinPath(programDataFolder(), kDefaultPictureFolderName); }

std::string helpDocumentPath() { return joinPath(programDataFolder(), kHelpDocumentName); }

namespace {
// A base directory variable counts only when it is absolute; otherwise the
// usual folder below the home folder.
std::string xdgFolder(const char* variable, const char* homeRelative)
{
    if (const char* xdg = std::getenv(variable); xdg && xdg[0] == kPathSeparator)
        return joinPath(xdg, "tilewright");
    return joinPath(homeFolder(), homeRelative);
}
} // namespace

std::string userDataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share/tilewright"); }

std::string userCacheFolder() { return xdgFolder("XDG_CACHE_HOME", ".cache/tilewright"); }

std::string defaultListWritePath()
{
    if (runsInstalled())
        return joinPath(userDataFolder(), kDefaultListName);
    return joinPath(programFolder(), kDefaultListName);
}

std::string defaultListReadPath()
{
    if (!runsInstalled())
        return joinPath(programFolder(), kDefaultListName);
    const std::string own = joinPath(userDataFolder(), kDefaultListName);
    if (fileExists(own))
        return own;
    return joinPath(programDataFolder(), kDefaultListName);
}

void ensureFolderOf(const std::string& path)
{
    const std::string folder = parentFolder(path);
    if (folder.empty() || directoryExists(folder))
        return;
    // Parents first; each step either exists already or is made now.
    std::string::size_type pos = folder[0] == kPathSeparator ? 1 : 0;
    for (;;) {
        pos = folder.find(kPathSeparator, pos);
        const std::string step = folder.substr(0, pos);
        if (!step.empty() && !directoryExists(step) && ::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST)
            throw Error(cannotCreateMessage(path, errno));
        if (pos == std::string::npos)
            break;
        ++pos;
    }
    if (!directoryExists(folder))
        throw Error(cannotCreateMessage(path, ENOTDIR));
}

} // namespace tw
