#pragma once
#include <cstdint>

namespace tw {

struct MemoryStatus {
    std::uint64_t totalPhysical = 0;     // installed physical memory, bytes
    std::uint64_t availablePhysical = 0; // available physical memory, bytes
};

// Queries the operating system (sysinfo on Linux). Zeros when unknown.
MemoryStatus queryMemoryStatus();

} // namespace tw
