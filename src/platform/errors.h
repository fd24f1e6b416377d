#pragma once
// The one exception type of the core. Picture and file failures throw it with
// the exact text the user will see; the desktop program's top-level handler
// shows that text in a message box, the command-line program prints it.
#include <stdexcept>
#include <string>

namespace tw {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// The message text shown for an error: the text itself, with a full stop
// added when it does not already end in one.
std::string messageWithFullStop(const std::string& text);

} // namespace tw
