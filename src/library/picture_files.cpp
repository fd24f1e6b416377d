#include "library/picture_files.h"

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace tw {

namespace {

// An open folder listing, closed when it goes out of scope.
class DirHandle {
public:
    explicit DirHandle(const std::string& path) noexcept : dir_(::opendir(path.c_str())) {}
    DirHandle(DirHandle&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
    DirHandle& operator=(DirHandle&& other) noexcept
    {
        if (this != &other) {
            close();
            dir_ = std::exchange(other.dir_, nullptr);
        }
        return *this;
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    ~DirHandle() { close(); }

    explicit operator bool() const noexcept { return dir_ != nullptr; }
    int fd() const noexcept { return ::dirfd(dir_); }
    // The next entry, or nullptr at the end; a read error ends the listing
    // with what was read so far.
    const dirent* next() noexcept { return ::readdir(dir_); }

private:
    void close() noexcept
    {
        if (dir_)
            ::closedir(dir_);
        dir_ = nullptr;
    }
    DIR* dir_;
};

enum class EntryKind { Folder, File, Other };

struct Entry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

struct FolderId {
    dev_t device;
    ino_t inode;
    friend auto operator<=>(const FolderId&, const FolderId&) = default;
};

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

EntryKind kindOf(const DirHandle& dir, const dirent& e)
{
    // The entry type saves a status call where the file system gives it;
    // links and unknown types are looked at through the link.
    switch (e.d_type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_REG:
        return EntryKind::File;
    case DT_LNK:
    case DT_UNKNOWN:
        break;
    default:
        return EntryKind::Other;
    }
    struct stat st {};
    if (::fstatat(dir.fd(), e.d_name, &st, 0) != 0)
        // A link to nothing names a missing file, as any other missing
        // library file: listed, and skipped by the check for bad pictures.
        return ::fstatat(dir.fd(), e.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? EntryKind::File : EntryKind::Other;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Folder;
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    return EntryKind::Other;
}

// Reads one folder whole, so that no listing stays open while its
// subfolders are read (a deep tree would otherwise run out of handles).
// Keeps only what the listing can use: picture files, and subfolders when
// recursing. False when the folder cannot be read or was listed already.
bool readFolder(const std::string& folder, bool recursive, std::set<FolderId>& listed, std::vector<Entry>& entries)
{
    DirHandle dir(folder);
    if (!dir)
        return false;
    struct stat self {};
    if (::fstat(dir.fd(), &self) != 0 || !listed.insert(FolderId{self.st_dev, self.st_ino}).second)
        return false;
    while (const dirent* e = dir.next()) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const bool picture = isListedPictureName(name);
        if (!picture && !recursive)
            continue;
        const EntryKind kind = kindOf(dir, *e);
        if ((kind == EntryKind::File && picture) || (kind == EntryKind::Folder && recursive))
            entries.push_back(Entry{name, kind});
    }
    return true;
}

} // namespace

bool isListedPictureName(const std::string& name)
{
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || name.size() - dot != 4)
        return false;
    std::string extension;
    for (std::size_t i = dot; i < name.size(); ++i)
        extension += upperAscii(name[i]);
    return extension == ".JPG" || extension == ".BMP";
}

void listPictureFiles(const std::string& folder, std::vector<std::string>& list, bool recursive)
{
    // Depth first with a stack of its own rather than by calling itself, so
    // a deep tree cannot exhaust the call stack.
    struct Level {
        std::string folder;
        std::vector<Entry> entries;
        std::size_t next = 0;
    };
    std::vector<Level> stack;
    std::set<FolderId> listed;
    auto enter = [&](const std::string& path) {
        Level level{path, {}, 0};
        if (readFolder(path, recursive, listed, level.entries))
            stack.push_back(std::move(level));
    };
    enter(folder);
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Entry& entry = top.entries[top.next++];
        const std::string path = joinPath(top.folder, entry.name);
        if (entry.kind == EntryKind::File)
            list.push_back(path);
        else
            enter(path);  // only folders when recursing are kept
    }
}

} // namespace tw
