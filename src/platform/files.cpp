#include "platform/files.h"

#include "platform/errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

std::string messageWithFullStop(const std::string& text)
{
    if (!text.empty() && text.back() == '.')
        return text;
    return text + ".";
}

std::string cannotOpenMessage(const std::string& path, int errnoValue)
{
    return "Cannot open file \"" + path + "\". " + std::strerror(errnoValue);
}

std::string cannotCreateMessage(const std::string& path, int errnoValue)
{
    return "Cannot create file \"" + path + "\". " + std::strerror(errnoValue);
}

namespace {

// Closes a POSIX descriptor on scope exit.
class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    int get() const noexcept { return fd_; }
    int release() noexcept { int f = fd_; fd_ = -1; return f; }
private:
    int fd_;
};

} // namespace

Bytes readWholeFile(const std::string& path, std::size_t maxBytes)
{
    return readWholeFile(path, maxBytes, ReadProgress());
}

Bytes readWholeFile(const std::string& path, std::size_t maxBytes, const ReadProgress& progress)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw Error(cannotOpenMessage(path, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw Error(cannotOpenMessage(path, errno));
    if (S_ISDIR(st.st_mode))
        throw Error(cannotOpenMessage(path, EISDIR));
    Bytes bytes;
    if (S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
            throw Error("File \"" + path + "\" is too large");
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    std::uint8_t buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error("Stream read error");
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            throw Error("File \"" + path + "\" is too large");
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (progress && S_ISREG(st.st_mode))
            progress(bytes.size(), static_cast<std::uint64_t>(st.st_size));
    }
    return bytes;
}

void writeFileAtomic(const std::string& path, const void* data, std::size_t size)
{
    // The temporary sits beside the target so the final rename stays on one
    // file system and is atomic.
    std::string temp = path + ".tw-tmp-XXXXXX";
    std::vector<char> templ(temp.begin(), temp.end());
    templ.push_back('\0');
    int raw = ::mkstemp(templ.data());
    if (raw < 0)
        throw Error(cannotCreateMessage(path, errno));
    Fd fd(raw);
    const std::string tempPath(templ.data());
    auto failWith = [&](int err) {
        ::unlink(tempPath.c_str());
        throw Error(cannotCreateMessage(path, err));
    };
    // mkstemp creates 0600; give the file the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.get(), 0666 & ~mask);

    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd.get(), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failWith(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        failWith(errno);
    if (::close(fd.release()) != 0)
        failWith(errno);
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        failWith(errno);
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == kPathSeparator)
        return folder + name;
    return folder + kPathSeparator + name;
}

std::string fileNamePart(const std::string& path)
{
    auto pos = path.find_last_of(kPathSeparator);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string extensionPart(const std::string& path)
{
    std::string name = fileNamePart(path);
    auto pos = name.find_last_of('.');
    return pos == std::string::npos ? std::string() : name.substr(pos + 1);
}

std::vector<DirEntry> listDirectory(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        throw Error(cannotOpenMessage(folder, errno));
    std::vector<DirEntry> entries;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        DirEntry entry;
        entry.name = name;
        entry.isHidden = name[0] == '.';
        struct stat st {};
        if (::stat(joinPath(folder, name).c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.isRegularFile = S_ISREG(st.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

namespace {
std::mutex programFolderMutex;
std::string programFolderOverride;
} // namespace

void setProgramFolderForTesting(const std::string& folder)
{
    std::lock_guard lock(programFolderMutex);
    programFolderOverride = folder;
}

std::string programFolder()
{
    {
        std::lock_guard lock(programFolderMutex);
        if (!programFolderOverride.empty())
            return programFolderOverride;
    }
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return ".";
    std::string exe(buffer.data(), static_cast<std::size_t>(n));
    auto pos = exe.find_last_of(kPathSeparator);
    return pos == std::string::npos ? std::string(".") : exe.substr(0, pos == 0 ? 1 : pos);
}

} // namespace tw
