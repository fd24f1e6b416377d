#pragma once
// What the core needs to ask or tell the user, without knowing about windows.
// The desktop program implements it with message boxes; tests script it; the
// command-line program prints messages and answers confirmations with yes.
#include <string>

namespace tw {

enum class Confirmation { Ok, Cancel };

class Prompts {
public:
    virtual ~Prompts() = default;
    // A modal message with one OK button.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // A modal message with OK and Cancel.
    virtual Confirmation confirm(const std::string& text, const std::string& caption) = 0;
};

} // namespace tw
