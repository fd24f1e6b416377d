#include "library/cell_pic_lib.h"

#include "platform/errors.h"
#include "platform/prompts.h"

#include <algorithm>
#include <utility>

namespace tw {

namespace {

// Image list files are plain text; anything beyond this is not one, and
// reading it whole would only exhaust memory.
constexpr std::size_t kMaxListFileBytes = std::size_t{256} << 20;

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithNoCase(const std::string& name, const std::string& suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::size_t start = name.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (lowerAscii(name[start + i]) != lowerAscii(suffix[i]))
            return false;
    return true;
}

// Alphabetical without regard to case; names equal but for case fall back
// to byte order so the list is the same on every run and file system.
bool lessNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool isDefaultFolderPicture(const DirEntry& e)
{
    // The folder is scanned with the patterns "*.bmp" and "*.jpg": ".jpeg"
    // and other picture types are deliberately not taken.
    return e.isRegularFile && !e.isHidden && (endsWithNoCase(e.name, ".bmp") || endsWithNoCase(e.name, ".jpg"));
}

} // namespace

Bytes encodeListText(const std::vector<std::string>& entries)
{
    std::size_t total = 0;
    for (const auto& e : entries)
        total += e.size() + 2;
    Bytes out;
    out.reserve(total);
    for (const auto& e : entries) {
        out.insert(out.end(), e.begin(), e.end());
        out.push_back('\r');
        out.push_back('\n');
    }
    return out;
}

std::vector<std::string> parseListText(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> entries;
    std::size_t i = 0;
    while (i < size && data[i] != 0) {
        const std::size_t start = i;
        while (i < size && data[i] != 0 && data[i] != '\r' && data[i] != '\n')
            ++i;
        entries.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
        if (i < size && data[i] == '\r')
            ++i;
        if (i < size && data[i] == '\n')
            ++i;
    }
    return entries;
}

void CellPicLib::notify()
{
    if (onCountChanged)
        onCountChanged(entries_.size());
}

void CellPicLib::append(const std::string& path)
{
    entries_.push_back(path);
}

std::size_t CellPicLib::appendPaths(const std::vector<std::string>& paths, std::size_t limit,
                                    const std::string& message, Prompts& prompts)
{
    std::size_t added = 0;
    for (const auto& path : paths) {
        // ">=" rather than "==": a list that already went past the limit by
        // another route must not grow further through this command.
        if (entries_.size() >= limit) {
            prompts.showMessage(message, "Caution");
            break;
        }
        entries_.push_back(path);
        ++added;
    }
    notify();
    return added;
}

void CellPicLib::deleteSelected(std::ptrdiff_t index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < entries_.size())
        entries_.erase(entries_.begin() + index);
    notify();
}

void CellPicLib::deleteAll()
{
    entries_.clear();
    notify();
}

void CellPicLib::replaceAll(std::vector<std::string> entries)
{
    entries_ = std::move(entries);
    notify();
}

void CellPicLib::readListFile(const std::string& path)
{
    const Bytes bytes = readWholeFile(path, kMaxListFileBytes);
    std::vector<std::string> entries = parseListText(bytes.data(), bytes.size());
    entries_.swap(entries);
    notify();
}

void CellPicLib::writeListFile(const std::string& path) const
{
    writeFileAtomic(path, encodeListText(entries_));
}

void CellPicLib::writeDefaultList() const
{
    const std::string path = defaultListWritePath();
    ensureFolderOf(path);
    writeListFile(path);
}

void CellPicLib::loadDefaultList()
{
    const std::string listPath = defaultListReadPath();
    if (fileExists(listPath))
        readListFile(listPath);
    else
        rebuildDefaultList();
}

void CellPicLib::rebuildDefaultList()
{
    const std::string folder = defaultPictureFolder();
    std::vector<std::string> names;
    if (directoryExists(folder)) {
        for (const DirEntry& e : listDirectory(folder))
            if (isDefaultFolderPicture(e))
                names.push_back(e.name);
        std::sort(names.begin(), names.end(), lessNoCase);
    }
    std::vector<std::string> entries;
    entries.reserve(names.size());
    for (const auto& name : names)
        entries.push_back(joinPath(folder, name));
    entries_.swap(entries);
    notify();
    // Written in every case: with no picture folder the default list becomes
    // an empty file, so the next start does not scan again.
    writeDefaultList();
}

bool CellPicLib::setAsDefault(Prompts& prompts)
{
    if (prompts.confirm(kSetAsDefaultMessage, "Caution") != Confirmation::Ok)
        return false;
    writeDefaultList();
    return true;
}

} // namespace tw
