#pragma once
// The cell picture library: an ordered list of picture paths. The position
// of a path, from 0, is its library index. Entries are 8-bit text kept
// exactly as stored; duplicates and empty entries are allowed.
#include "platform/files.h"
#include "platform/program_files.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tw {

class Prompts;

// Limits of the two adding commands of the Load Image Files window.
constexpr std::size_t kSelectedFilesLimit = 65535;
constexpr std::size_t kLoadAllLimit = 1000;
inline const std::string kSelectedFilesLimitMessage = "You can only load 65535 pictures in this version";
inline const std::string kLoadAllLimitMessage = "You already loaded max count pictures ";  // trailing blank

inline const std::string kSetAsDefaultMessage = "This action will overwrite existed default image list";

// The image list file text: every entry followed by CR LF.
Bytes encodeListText(const std::vector<std::string>& entries);
// Splits at CR, LF or CR LF (LF CR ends two lines); a zero byte or the end
// of the data ends the text; a final line without a line end still counts.
std::vector<std::string> parseListText(const std::uint8_t* data, std::size_t size);

class CellPicLib {
public:
    std::size_t count() const { return entries_.size(); }
    const std::string& entry(std::size_t i) const { return entries_[i]; }
    const std::vector<std::string>& entries() const { return entries_; }

    // Called with the new count after every change (the manager window's
    // "Total File Count" label).
    std::function<void(std::size_t)> onCountChanged;

    void append(const std::string& path);  // no count notification (callers batch)
    // For each path: if the list already holds limit entries, show message
    // (caption "Caution") and stop; else append. Then notify the count.
    // Returns how many were appended.
    std::size_t appendPaths(const std::vector<std::string>& paths, std::size_t limit, const std::string& message,
                            Prompts& prompts);
    // Removes entry index (later entries move down); nothing for an index
    // out of range.
    void deleteSelected(std::ptrdiff_t index);
    void deleteAll();
    // Replaces the whole list (opening a project file).
    void replaceAll(std::vector<std::string> entries);

    // Replaces the list with the entries of an image list file; the list is
    // cleared only after the file was read, so a failure changes nothing.
    void readListFile(const std::string& path);
    // Writes the list as an image list file (atomically).
    void writeListFile(const std::string& path) const;

    // The default list's files are named in platform/program_files.h:
    // defaultListReadPath(), defaultListWritePath(), defaultPictureFolder().

    // Program start: read the default list, or rebuild it when missing.
    void loadDefaultList();
    // "Restore Default": the .bmp and .jpg files (any letter case, hidden
    // files excluded) directly in the default picture folder, sorted without
    // regard to case; then the list is written to the default list file.
    void rebuildDefaultList();
    // "Set as Default": asks; on OK writes the default list file. Returns
    // whether it was written.
    bool setAsDefault(Prompts& prompts);
    // Writes the list as the default list file (creating the user's data
    // folder of an installed program when needed).
    void writeDefaultList() const;

private:
    void notify();
    std::vector<std::string> entries_;
};

} // namespace tw
