#pragma once
// Fingerprints of file contents for the analysis cache: XXH3's 128-bit hash
// names a photograph by what it holds, and its 64-bit hash checks that a
// stored value comes back as it was written.
#include <cstddef>
#include <cstdint>

namespace tw {

struct ContentHash {
    std::uint64_t low = 0, high = 0;
    friend bool operator==(const ContentHash&, const ContentHash&) = default;
};

ContentHash contentHash(const void* data, std::size_t size);
std::uint64_t checksum64(const void* data, std::size_t size);

} // namespace tw
