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

// Reads the whole file. Fails with
//   Cannot open file "<path>". <reason>
// when the file cannot be opened, and with "Stream read error" when reading
// fails midway. A file larger than maxBytes fails with a message naming it.
Bytes readWholeFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);
// The same, calling progress(bytes read, file size) after every piece read
// from a regular file (a long read can then move a gauge and let window
// messages run).
using ReadProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
Bytes readWholeFile(const std::string& path, std::size_t maxBytes, const ReadProgress& progress);

// Writes bytes to path through a temporary file in the same folder that is
// renamed over the target at the end: either the new file is complete or the
// old one (if any) is untouched. Fails with
//   Cannot create file "<path>". <reason>
void writeFileAtomic(const std::string& path, const void* data, std::size_t size);
inline void writeFileAtomic(const std::string& path, const Bytes& bytes)
{
    writeFileAtomic(path, bytes.data(), bytes.size());
}

// The messages above, for callers that detect the failure themselves.
std::string cannotOpenMessage(const std::string& path, int errnoValue);
std::string cannotCreateMessage(const std::string& path, int errnoValue);

bool fileExists(const std::string& path);      // a regular file (or link to one)
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

} // namespace tw
