#pragma once
// The memory a creation takes on top of what the program already holds (the
// project state, the main picture, the library list), for the check before
// it starts: the desktop program and tilewright-cli refuse a creation that
// would not fit instead of letting it take the system down half way.
//
// Throughout, a creation holds the grid picture and, since it draws aside
// while the project keeps what it shows, its own copies of the signature
// table and the cell grid. It holds most at one of four moments: decoding the library (the
// photographs being decoded, and the prepared photographs kept for the
// rendering stage), matching (the distance lists), rendering (the new
// mosaic, the kept photographs not yet drawn, the photographs being drawn)
// and, for tilewright-cli, writing the file. The estimate is the largest
// of them, each counted from the sizes the stages really allocate.
#include "engine/options.h"
#include "engine/project.h"
#include "platform/memory.h"

#include <cstddef>
#include <cstdint>

namespace tw {

struct CreationMemory {
    std::uint64_t mosaic = 0;           // the new mosaic picture
    std::uint64_t heldByOldMosaic = 0;  // an earlier mosaic the caller keeps until the new one is done
    std::uint64_t photoCache = 0;       // prepared photographs kept from the library stage for rendering
    std::uint64_t working = 0;          // the rest at the creation's fullest moment
    std::uint64_t total() const { return mosaic + heldByOldMosaic + photoCache + working; }
};

// The photographs the size of which the working memory is counted with: a
// camera picture of four megapixels. Libraries of larger ones take more
// while they are decoded, never more than a decode each per thread.
constexpr std::uint64_t kTypicalPhotographBytes = std::uint64_t{2304} * 1728 * 3;

// A whole creation (runCreation) of settings with a library of
// libraryCount photographs. The photograph cache is counted at the budget
// the creation will give it (creationPhotoCacheBudget), as far as the
// library can fill it. heldByOldMosaic: the bytes of the mosaic the
// project keeps showing until the new one is swapped in (runCreation draws
// aside, so the old mosaic is never reused for the new one); it is part of
// the peak, though not of what is still to be allocated.
CreationMemory creationMemory(const tmosaicproject& settings, std::size_t libraryCount, const EngineOptions& options,
                              const MemoryStatus& memory, std::uint64_t heldByOldMosaic);

// The rendering of an opened project (runOpenedProject): no library stage,
// no matching, no photograph cache.
CreationMemory renderingMemory(const tmosaicproject& settings, std::size_t libraryCount, const EngineOptions& options,
                               std::uint64_t heldByOldMosaic);

// The budget runCreation gives its photograph cache: photoCacheBudget, cut
// down so that the creation as a whole still fits in the available memory
// (the cache only saves decoding time; it never decides whether a mosaic
// can be made).
std::uint64_t creationPhotoCacheBudget(const tmosaicproject& settings, std::size_t libraryCount,
                                       const EngineOptions& options, const MemoryStatus& memory);

// The grid picture buildGrid makes (two pixels per cell each way), held by
// the creation from its start to its end.
std::uint64_t gridPictureBytes(const tmosaicproject& settings);

// Throws tw::Error, naming the mosaic's size and both amounts in MB, when
// what the creation still has to allocate (need.total() without the old
// mosaic, which a status measured now already counts as in use) exceeds the
// available memory (not checked when the system does not say). The refusal
// names the old mosaic's share, so the user sees where the memory went.
void checkCreationMemory(const tmosaicproject& settings, const CreationMemory& need, const MemoryStatus& memory);

} // namespace tw
