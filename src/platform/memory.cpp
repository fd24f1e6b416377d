#include "platform/memory.h"

#include <cstdio>
#include <cstring>
#include <sys/sysinfo.h>

namespace tw {

namespace {

// MemAvailable counts reclaimable page cache too, which sysinfo's freeram
// does not; on a machine that has been reading many photographs the cache
// is most of the memory. Returns 0 when the line is missing.
std::uint64_t memAvailableFromProc()
{
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f)
        return 0;
    char line[256];
    std::uint64_t kib = 0;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long value = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &value) == 1) {
            kib = value;
            break;
        }
    }
    std::fclose(f);
    return kib * 1024;
}

} // namespace

MemoryStatus queryMemoryStatus()
{
    MemoryStatus status;
    struct sysinfo info {};
    if (::sysinfo(&info) == 0) {
        status.totalPhysical = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
        status.availablePhysical =
            (static_cast<std::uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
    }
    if (std::uint64_t available = memAvailableFromProc(); available > 0)
        status.availablePhysical = available;
    return status;
}

} // namespace tw
