#pragma once
// File-system services of the core: whole-file reads with a size bound,
// atomic writes, the program folder and folder listings. Every failure throws
// tw::Error with a message that names the file and the system's reason.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

using Bytes = std::vector<std::uint8_t>;

// Reads the whole file. Only regular files are read: the kind of file is
// checked before it is opened, and again on the opened descriptor, so a
// named pipe, a device or a socket is refused at once instead of blocking
// or streaming without end. Fails with
//   Cannot open file "<path>". <reason>
// when the file cannot be opened or is not a regular file, and with
// "Stream read error" (the error's file naming path) when reading fails
// midway. A file larger than maxBytes fails with a message naming it.
Bytes readWholeFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);
// The same, calling progress(bytes read, file size) after every piece read
// from a regular file (a long read can then move a gauge and let window
// messages run).
using ReadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
Bytes readWholeFile(const std::string& path, std::size_t maxBytes, const ReadProgress& progress);

// A file being saved: written through a temporary file beside the target
// and put in the target's place by commit(), so either the new file is
// complete or the old one (if any) is untouched.
//  - A symbolic link as the target is followed: the file it leads to is
//    replaced and the link stays.
//  - A replaced file keeps its permission bits (and its owner and group
//    where the system allows); a new file gets 0666 less the umask, which
//    is never changed.
//  - The temporary is unnamed where the file system allows it, so even
//    kill -9 leaves nothing behind (it is named only for the moment of the
//    final rename); otherwise it has a short hidden name ".tw-XXXXXX",
//    removed on every failure, when the object is destroyed uncommitted,
//    and when the process is ended by SIGINT, SIGTERM or SIGHUP whose
//    handling was left at the default.
//  - Only when no temporary can be made beside the target for lack of
//    permission (a writable file in a read-only folder) is the existing
//    target truncated and written in place; a failure then can leave it
//    incomplete, as with any plain write.
// Every failure throws tw::Error with
//   Cannot create file "<path>". <reason>
// naming the path as given. Move-only; the destructor never throws.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(const std::string& path);
    AtomicOutputFile(AtomicOutputFile&& other) noexcept;
    AtomicOutputFile& operator=(AtomicOutputFile&&) = delete;
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
    ~AtomicOutputFile();

    // Appends bytes. After a failure the file is discarded and every later
    // call fails.
    void write(const void* data, std::size_t size);
    void write(const Bytes& bytes) { write(bytes.data(), bytes.size()); }
    // Makes the written bytes the file at path. Once only.
    void commit();

    const std::string& path() const noexcept { return path_; }
    bool writesInPlace() const noexcept { return mode_ == Mode::InPlace; }

private:
    enum class Mode { Unnamed, Named, InPlace, Closed };
    [[noreturn]] void fail(int errnoValue);
    void discard() noexcept;

    std::string path_;    // as given, for messages
    std::string target_;  // the file actually replaced (links followed)
    std::string temp_;    // the temporary's name while it has one
    int fd_ = -1;
    int signalSlot_ = -1;
    Mode mode_ = Mode::Closed;
};

// Writes bytes to path through an AtomicOutputFile.
void writeFileAtomic(const std::string& path, const void* data, std::size_t size);
inline void writeFileAtomic(const std::string& path, const Bytes& bytes)
{
    writeFileAtomic(path, bytes.data(), bytes.size());
}

// Throws the error a save to path would give for a reason that can be
// known without writing: a folder that is missing, not a folder or not
// writable (unless the file itself can be written in place), a name longer
// than the file system allows, a folder in the file's place. Writes
// nothing.
void checkCanCreateFile(const std::string& path);

// Whether a and b name the same file: the same file on disk when both
// exist, otherwise the same absolute path once links are followed.
bool sameFile(const std::string& a, const std::string& b);

// Forces named temporaries (the fallback of file systems without unnamed
// ones), so tests can watch the temporary's life.
void setUnnamedTemporariesForTesting(bool allowed);

// The messages above, for callers that detect the failure themselves.
std::string cannotOpenMessage(const std::string& path, int errnoValue);
std::string cannotCreateMessage(const std::string& path, int errnoValue);

bool fileExists(const std::string& path);      // a regular file (or link to one)
bool pathExists(const std::string& path);      // anything at all, links followed
bool directoryExists(const std::string& path);

// The platform's path separator, and path + separator + name.
constexpr char kPathSeparator = '/';
std::string joinPath(const std::string& folder, const std::string& name);
// The text after the last separator (the whole text when there is none).
std::string fileNamePart(const std::string& path);
// The text after the last '.' of the file name part, without the dot;
// empty when the name has no dot.
std::string extensionPart(const std::string& path);

struct DirEntry {
    std::string name;       // file name only
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isHidden = false;  // name starts with '.'
};
// Entries directly in folder (no "." and ".."), in the order the system gives.
// Fails with tw::Error naming the folder when it cannot be read.
std::vector<DirEntry> listDirectory(const std::string& folder);

// The folder that holds the running executable (no trailing separator).
// Tests may override it for the process with setProgramFolderForTesting.
std::string programFolder();
void setProgramFolderForTesting(const std::string& folder);

// writeFileAtomic for a file made a piece at a time: produce calls write
// with each piece in order. The temporary file and the final rename are
// those of writeFileAtomic; when a write fails (the same message) or
// produce throws, the temporary file is removed, the target is untouched
// and the exception propagates.
using FileChunkWriter = std::function<void(const std::uint8_t* data, std::size_t size)>;
void writeFileAtomicStreamed(const std::string& path, const std::function<void(const FileChunkWriter& write)>& produce);

} // namespace tw
