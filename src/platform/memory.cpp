#include "platform/memory.h"

#include <sys/sysinfo.h>

namespace tw {

MemoryStatus queryMemoryStatus()
{
    MemoryStatus status;
    struct sysinfo info {};
    if (::sysinfo(&info) == 0) {
        status.totalPhysical = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
        status.availablePhysical =
            (static_cast<std::uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
    }
    return status;
}

} // namespace tw
