#pragma once
// The one exception type of the core. Picture and file failures throw it with
// the exact text the user will see; the desktop program's top-level handler
// shows that text in a message box, the command-line program prints it.
#include <stdexcept>
#include <string>
#include <utility>

namespace tw {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, std::string file = {})
        : std::runtime_error(message), file_(std::move(file))
    {
    }

    // The file the failure concerns, for messages whose text does not name
    // it (a decoder's "JPEG error #41" says nothing of which picture). Empty
    // when the text names the file itself or no file is concerned.
    const std::string& file() const noexcept { return file_; }

private:
    std::string file_;
};

// Runs work; a tw::Error it throws that names no file is thrown again with
// path as its file. Other exceptions pass unchanged.
template <class Work>
decltype(auto) namingFile(const std::string& path, Work&& work)
{
    try {
        return std::forward<Work>(work)();
    } catch (const Error& e) {
        if (!e.file().empty())
            throw;
        throw Error(e.what(), path);
    }
}

// The message text shown for an error: the text itself, with a full stop
// added when it does not already end in one.
std::string messageWithFullStop(const std::string& text);

// text as it may be shown on a terminal or in a window: control characters
// (C0, DEL, and C1 written in UTF-8) become \n, \r, \t or \xNN, so a path
// taken from a file cannot move the cursor, clear the screen or break a
// line. Everything else, bytes that are not UTF-8 included, stays as is.
std::string escapeControlCharacters(const std::string& text);

} // namespace tw
