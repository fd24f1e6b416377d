#include "cache/content_hash.h"

// Header-only use: the hash is inlined here and the programs need no
// xxHash library at run time.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace tw {

ContentHash contentHash(const void* data, std::size_t size)
{
    const XXH128_hash_t h = XXH3_128bits(data, size);
    return ContentHash{h.low64, h.high64};
}

std::uint64_t checksum64(const void* data, std::size_t size) { return XXH3_64bits(data, size); }

} // namespace tw
