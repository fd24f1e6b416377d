#include "platform/files.h"

#include "platform/errors.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tw {

std::string messageWithFullStop(const std::string& text)
{
    if (!text.empty() && text.back() == '.')
        return text;
    return text + ".";
}

std::string escapeControlCharacters(const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto hex = [&out](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        switch (c) {
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7f) {
            hex(c);
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            // A C1 control written in UTF-8: some terminals obey it too.
            hex(c);
            hex(next);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
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
private:
    int fd_;
};

// What a file that is not a regular file is, for the refusal.
std::string notRegularReason(mode_t mode)
{
    const char* kind = S_ISFIFO(mode) ? "a named pipe"
                       : S_ISCHR(mode) ? "a character device"
                       : S_ISBLK(mode) ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "not a file";
    return std::string("Not a regular file (") + kind + ")";
}

[[noreturn]] void refuseKind(const std::string& path, mode_t mode)
{
    if (S_ISDIR(mode))
        throw Error(cannotOpenMessage(path, EISDIR));
    throw Error("Cannot open file \"" + path + "\". " + notRegularReason(mode));
}

} // namespace

Bytes readWholeFile(const std::string& path, std::size_t maxBytes)
{
    return readWholeFile(path, maxBytes, ReadProgress());
}

Bytes readWholeFile(const std::string& path, std::size_t maxBytes, const ReadProgress& progress)
{
    // The kind is looked at before opening: opening a named pipe waits for
    // a writer, and opening some devices does something by itself.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw Error(cannotOpenMessage(path, errno));
    if (!S_ISREG(st.st_mode))
        refuseKind(path, st.st_mode);
    // Non-blocking and checked again on the descriptor, in case the name was
    // replaced between the two looks.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        throw Error(cannotOpenMessage(path, errno));
    if (::fstat(fd.get(), &st) != 0)
        throw Error(cannotOpenMessage(path, errno));
    if (!S_ISREG(st.st_mode))
        refuseKind(path, st.st_mode);
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        throw Error("File \"" + path + "\" is too large");
    Bytes bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    // Files whose size says nothing (those of /proc) are still read to their
    // end, within maxBytes.
    std::uint8_t buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error("Stream read error", path);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            throw Error("File \"" + path + "\" is too large");
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (progress)
            progress(bytes.size(), static_cast<std::uint64_t>(st.st_size));
    }
    return bytes;
}

namespace {

// --- Temporaries removed when a signal ends the process -------------------
//
// A save's named temporary is listed here while it exists. The handler may
// run at any moment on any thread, so it only reads lock-free atomics and
// fixed buffers and calls unlink and raise, which are async-signal-safe.

constexpr int kSignalSlots = 32;

enum SlotState : int { kSlotFree = 0, kSlotFilling = 1, kSlotListed = 2 };

struct SignalSlot {
    std::atomic<int> state{kSlotFree};
    pid_t owner = 0;  // a forked child must not remove its parent's files
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

SignalSlot signalSlots[kSignalSlots];
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removeTemporariesAndDie(int sig)
{
    const int savedErrno = errno;
    const pid_t self = ::getpid();
    for (SignalSlot& slot : signalSlots)
        if (slot.state.load(std::memory_order_acquire) == kSlotListed && slot.owner == self)
            ::unlink(slot.path);
    // The handler was reset on entry (SA_RESETHAND) and the signal is
    // blocked while it runs: raised again, it ends the process as it would
    // have without us once the handler returns.
    ::raise(sig);
    errno = savedErrno;
}

// Installs the handler for each of the signals still at its default; a
// program that handles or ignores one keeps its own choice. Looked at on
// every save, so a disposition set back to the default later is covered.
void installSignalCleanup() noexcept
{
    for (int sig : kCleanedSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0)
            continue;
        if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(sig, &action, nullptr);
    }
}

// The slot now listing path, or -1 when every slot is taken (the save then
// goes on without that protection).
int listTemporary(const std::string& path) noexcept
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSignalSlots; ++i) {
        int expected = kSlotFree;
        if (signalSlots[i].state.compare_exchange_strong(expected, kSlotFilling, std::memory_order_acquire)) {
            std::memcpy(signalSlots[i].path, path.c_str(), path.size() + 1);
            signalSlots[i].owner = ::getpid();
            signalSlots[i].state.store(kSlotListed, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unlistTemporary(int& slot) noexcept
{
    if (slot >= 0)
        signalSlots[slot].state.store(kSlotFree, std::memory_order_release);
    slot = -1;
}

// --- Names and folders -----------------------------------------------------

std::atomic<bool> unnamedTemporariesAllowed{true};

// Follows symbolic links from path to the file they lead to (which need not
// exist). Relative link texts count from the link's own folder.
std::string followLinks(const std::string& path, int& errnoValue)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> buffer(PATH_MAX + 1);
        ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) {
            errnoValue = errno;
            return {};
        }
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        if (!link.empty() && link.front() == kPathSeparator) {
            current = link;
        } else {
            auto slash = current.find_last_of(kPathSeparator);
            current = slash == std::string::npos ? link : current.substr(0, slash + 1) + link;
        }
    }
    errnoValue = ELOOP;
    return {};
}

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of(kPathSeparator);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string(1, kPathSeparator) : path.substr(0, slash);
}

// Six characters for a temporary's name; collisions are retried.
std::string randomSuffix()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
        seed = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    seed += counter.fetch_add(1) * 0xBF58476D1CE4E5B9u;
    std::string s(6, 'A');
    for (char& c : s) {
        c = kAlphabet[seed % (sizeof kAlphabet - 1)];
        seed /= sizeof kAlphabet - 1;
    }
    return s;
}

std::string temporaryName(const std::string& folder)
{
    return joinPath(folder, ".tw-" + randomSuffix());
}

constexpr int kNameAttempts = 100;

// Creates a named temporary in folder with 0666 less the umask; the name
// goes to name. Returns the descriptor or -1 with errno set.
int createNamedTemporary(const std::string& folder, std::string& name)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = temporaryName(folder);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// An unnamed file in folder, or -1 when the file system or the system
// cannot give one that can later be linked in.
int createUnnamedTemporary(const std::string& folder, int& errnoValue)
{
#ifdef O_TMPFILE
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        errnoValue = errno;
        return -1;
    }
    // Linking it in later goes through /proc; without /proc it cannot be
    // given a name, so a named temporary is used instead.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    struct stat st {};
    if (::stat(self.c_str(), &st) != 0) {
        ::close(fd);
        errnoValue = EOPNOTSUPP;
        return -1;
    }
    return fd;
#else
    (void)folder;
    errnoValue = EOPNOTSUPP;
    return -1;
#endif
}

bool isPermissionError(int e) { return e == EACCES || e == EPERM; }

// Failures of O_TMPFILE that only mean "not here": a named temporary may
// still work.
bool unnamedUnsupported(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL || e == ENOSYS; }

void syncFolder(const std::string& folder) noexcept
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void setUnnamedTemporariesForTesting(bool allowed)
{
    unnamedTemporariesAllowed = allowed;
}

AtomicOutputFile::AtomicOutputFile(const std::string& path) : path_(path)
{
    installSignalCleanup();
    int err = 0;
    target_ = followLinks(path, err);
    if (target_.empty())
        throw Error(cannotCreateMessage(path, err == 0 ? ENOENT : err));
    const std::string folder = folderOf(target_);

    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        throw Error(cannotCreateMessage(path, EISDIR));
    // A file its owner made read-only is not replaced behind their back,
    // just as opening it for writing would fail.
    if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
        throw Error(cannotCreateMessage(path, errno));

    int fd = -1;
    int createErr = EOPNOTSUPP;
    if (unnamedTemporariesAllowed)
        fd = createUnnamedTemporary(folder, createErr);
    if (fd >= 0) {
        mode_ = Mode::Unnamed;
    } else if (unnamedUnsupported(createErr)) {
        std::string name;
        fd = createNamedTemporary(folder, name);
        if (fd >= 0) {
            mode_ = Mode::Named;
            temp_ = name;
            signalSlot_ = listTemporary(temp_);
        } else {
            createErr = errno;
        }
    }

    if (fd < 0) {
        // The in-place write of a plain "create or truncate": only for an
        // existing regular file in a folder that refuses new entries.
        if (!isPermissionError(createErr) || !exists || !S_ISREG(existing.st_mode))
            throw Error(cannotCreateMessage(path, createErr));
        fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            throw Error(cannotCreateMessage(path, createErr));
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || ::ftruncate(fd, 0) != 0) {
            const int e = errno == 0 ? EINVAL : errno;
            ::close(fd);
            throw Error(cannotCreateMessage(path, e));
        }
        fd_ = fd;
        mode_ = Mode::InPlace;
        return;
    }
    fd_ = fd;

    if (exists) {
        // The replacement takes the old file's place with its owner, group
        // and permission bits. Changing the owner needs privileges and the
        // group needs membership; what the system refuses stays ours.
        // fchown may clear set-id bits, so the mode comes after it.
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0)
            (void)::fchown(fd_, static_cast<uid_t>(-1), existing.st_gid);
        ::fchmod(fd_, existing.st_mode & 07777);
    }
}

AtomicOutputFile::AtomicOutputFile(AtomicOutputFile&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)), temp_(std::move(other.temp_)),
      fd_(std::exchange(other.fd_, -1)), signalSlot_(std::exchange(other.signalSlot_, -1)),
      mode_(std::exchange(other.mode_, Mode::Closed))
{
}

AtomicOutputFile::~AtomicOutputFile()
{
    discard();
}

void AtomicOutputFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    unlistTemporary(signalSlot_);
    mode_ = Mode::Closed;
}

void AtomicOutputFile::fail(int errnoValue)
{
    discard();
    throw Error(cannotCreateMessage(path_, errnoValue));
}

void AtomicOutputFile::write(const void* data, std::size_t size)
{
    if (mode_ == Mode::Closed)
        throw Error(cannotCreateMessage(path_, EBADF));
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicOutputFile::commit()
{
    if (mode_ == Mode::Closed)
        throw Error(cannotCreateMessage(path_, EBADF));
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    const std::string folder = folderOf(target_);

    if (mode_ == Mode::Unnamed) {
        // An unnamed file can only get a new name; the name then replaces the
        // target in one rename.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0;; ++attempt) {
            std::string name = temporaryName(folder);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temp_ = name;
                signalSlot_ = listTemporary(temp_);
                break;
            }
            if (errno != EEXIST || attempt + 1 >= kNameAttempts)
                fail(errno);
        }
    }

    if (::close(std::exchange(fd_, -1)) != 0)
        fail(errno);
    if (mode_ != Mode::InPlace) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            fail(errno);
        temp_.clear();
        unlistTemporary(signalSlot_);
        syncFolder(folder);
    }
    mode_ = Mode::Closed;
}

void writeFileAtomic(const std::string& path, const void* data, std::size_t size)
{
    AtomicOutputFile file(path);
    file.write(data, size);
    file.commit();
}

void checkCanCreateFile(const std::string& path)
{
    auto refuse = [&](int e) { throw Error(cannotCreateMessage(path, e)); };
    if (path.empty())
        refuse(ENOENT);
    if (path.size() >= PATH_MAX)
        refuse(ENAMETOOLONG);
    int err = 0;
    const std::string target = followLinks(path, err);
    if (target.empty())
        refuse(err == 0 ? ENOENT : err);
    const std::string folder = folderOf(target);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        refuse(errno);
    if (!S_ISDIR(st.st_mode))
        refuse(ENOTDIR);
    errno = 0;
    long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = NAME_MAX;
    if (fileNamePart(target).size() > static_cast<std::size_t>(nameMax))
        refuse(ENAMETOOLONG);
    if (target.size() >= PATH_MAX)
        refuse(ENAMETOOLONG);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        refuse(EISDIR);
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        refuse(errno);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return;
    // A folder that takes no new file still lets an existing one be
    // written in place.
    const int folderErr = errno;
    if (!(isPermissionError(folderErr) && exists && S_ISREG(existing.st_mode)))
        refuse(folderErr);
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    const bool hasA = ::stat(a.c_str(), &sa) == 0;
    const bool hasB = ::stat(b.c_str(), &sb) == 0;
    if (hasA && hasB)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (hasA != hasB)
        return false;
    int err = 0;
    const std::string ta = followLinks(a, err), tb = followLinks(b, err);
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(ta.empty() ? a : ta), ea);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(tb.empty() ? b : tb), eb);
    return !ea && !eb && ca == cb;
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool pathExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
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

void writeFileAtomicStreamed(const std::string& path, const std::function<void(const FileChunkWriter& write)>& produce)
{
    // An uncommitted file removes its temporary when produce throws.
    AtomicOutputFile file(path);
    produce([&file](const std::uint8_t* data, std::size_t size) { file.write(data, size); });
    file.commit();
}

} // namespace tw
