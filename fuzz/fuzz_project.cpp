// Fuzz target: the project file reader. A project file is at least 13 MB,
// nearly all of it the fixed-size table and grid, which are copied whole and
// never interpreted. The inputs (and the seed corpus) are therefore the
// interesting head of a file: record length, settings record, main picture
// block and library list block. The reader takes a file in its order, so
// the head alone goes through every check and decoding up to the test that
// the table and grid are present. One input in 64 (by its size) is also
// read followed by a zero table and grid, as a whole file; doing that for
// every input would spend nearly all the time copying 13 MB.
#include "platform/errors.h"
#include "platform/memory.h"
#include "workspace/project_file.h"

#include <cstddef>
#include <cstdint>
#include <sanitizer/asan_interface.h>

namespace {

constexpr std::size_t kTailBytes = tw::kTableBytes + tw::kGridBytes;

void parse(const tw::Bytes& file)
{
    try {
        tw::ProjectFileContentsPtr contents = tw::parseProjectFile(file);
    } catch (const tw::Error&) {
    }
}

} // namespace

// The reader refuses a record whose mosaic exceeds the available memory. The
// program is linked with tw::queryMemoryStatus wrapped to give fixed figures
// (8 GiB available), so the input alone decides, and no input pays for
// reading /proc/meminfo.
// (The wrapper's symbol is the mangled name with __wrap_ before it.)
tw::MemoryStatus fixedMemoryStatus() __asm__("__wrap__ZN2tw17queryMemoryStatusEv");
tw::MemoryStatus fixedMemoryStatus()
{
    return tw::MemoryStatus{std::uint64_t{16} << 30, std::uint64_t{8} << 30};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh buffer of the exact size, so AddressSanitizer sees any read
    // past the end.
    parse(tw::Bytes(data, data + size));
    if (size % 64 != 0)
        return 0;
    // The whole file reuses one buffer: a fresh 13 MB each time would cost
    // more than everything else together. What lies beyond its end is
    // poisoned by hand instead.
    static tw::Bytes whole;
    ASAN_UNPOISON_MEMORY_REGION(whole.data(), whole.capacity());
    whole.assign(data, data + size);
    whole.resize(size + kTailBytes);  // the new bytes are zero
    ASAN_POISON_MEMORY_REGION(whole.data() + whole.size(), whole.capacity() - whole.size());
    parse(whole);
    return 0;
}
