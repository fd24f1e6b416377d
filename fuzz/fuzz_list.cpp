// Fuzz target: the image list reader. Any bytes give a list; writing that
// list and reading it back must give the same list.
#include "library/cell_pic_lib.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> entries = tw::parseListText(data, size);
    std::size_t textBytes = 0;
    for (const std::string& e : entries) {
        if (e.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            std::abort();  // an entry holds a line end or the end mark
        textBytes += e.size();
    }
    if (textBytes > size)
        std::abort();
    const tw::Bytes written = tw::encodeListText(entries);
    if (tw::parseListText(written.data(), written.size()) != entries)
        std::abort();  // the list does not survive a save and a reread
    return 0;
}
