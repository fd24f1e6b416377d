#pragma once
// Library photographs as the library stage prepared them (decoded, cropped
// to the cell aspect, grey), kept for the rendering stage of the same
// creation so that each photograph is decoded once: either the picture
// itself or, where every cell is drawn whole, just the compact drawing data
// of its cells (CompactTile). Memory is bounded by a byte budget; a
// photograph that does not fit is simply decoded again when its cells are
// drawn.
#include "engine/cell_tiles.h"
#include "engine/options.h"
#include "engine/pixel_arena.h"
#include "engine/project.h"
#include "imaging/picture.h"
#include "platform/memory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tw {

// Everything that shaped a prepared photograph. An entry is only handed out
// for an identical key, so a photograph prepared for other settings, another
// path or another library position is never drawn.
struct PreparedPhotoKey {
    std::size_t index = 0;  // library position
    std::string path;
    bool crop = false;
    bool mono = false;
    std::int32_t cellWidth = 0;
    std::int32_t cellHeight = 0;

    static PreparedPhotoKey of(std::size_t index, const std::string& path, const tmosaicproject& settings);
    friend bool operator==(const PreparedPhotoKey&, const PreparedPhotoKey&) = default;
};

// Safe to use from several threads at once.
class PreparedPhotoCache {
public:
    explicit PreparedPhotoCache(std::uint64_t budgetBytes) : budget_(budgetBytes) {}

    PreparedPhotoCache(const PreparedPhotoCache&) = delete;
    PreparedPhotoCache& operator=(const PreparedPhotoCache&) = delete;

    std::uint64_t budget() const noexcept { return budget_; }
    std::uint64_t usedBytes() const;
    std::size_t size() const;

    // Keeps a copy of the photograph when its pixels fit in what is left
    // of the budget (an older entry at the same library position is
    // dropped first). Returns whether it was kept. Throws std::bad_alloc,
    // keeping nothing, when the system refuses the memory.
    bool offer(const PreparedPhotoKey& key, const PictureView& photo);
    // The same for a photograph's compact drawing data (byteSize() bytes),
    // taken over when kept and destroyed otherwise.
    bool offer(const PreparedPhotoKey& key, std::unique_ptr<const CompactTile> tile);

    // Hands the photograph stored under exactly this key to out and forgets
    // it. Returns false, out unchanged, when there is none; an entry at the
    // same library position under another key is dropped. May be called by
    // several threads at once; the copying runs outside the lock.
    bool take(const PreparedPhotoKey& key, Picture& out);
    // The compact data stored under exactly this key, forgotten by the
    // cache; null when there is none. A picture stored under the key stays
    // (take it with take); an entry at the same position under another key
    // is dropped.
    std::unique_ptr<const CompactTile> takeCompact(const PreparedPhotoKey& key);

    // Whether a photograph is stored under exactly this key.
    bool holds(const PreparedPhotoKey& key) const;

    // Forgets the photograph at a library position, if any.
    void release(std::size_t index);
    // Forgets every photograph whose library position is not marked in
    // wanted (positions beyond its end are not wanted).
    void keepOnly(const std::vector<char>& wanted);

private:
    // Pixels live in the arena, not in Pictures: see pixel_arena.h. An
    // entry holds either pixels or a compact tile.
    struct Entry {
        PreparedPhotoKey key;
        PixelArena::Block pixels;
        int width = 0, height = 0;
        std::unique_ptr<const CompactTile> compact;
        std::uint64_t bytes = 0;  // what it counts against the budget
    };
    // Looks up the entry for key, dropping one prepared for something else.
    std::unordered_map<std::size_t, Entry>::iterator findLocked(const PreparedPhotoKey& key);
    void eraseLocked(std::unordered_map<std::size_t, Entry>::iterator it) noexcept;

    const std::uint64_t budget_;
    mutable std::mutex mutex_;
    std::uint64_t used_ = 0;
    std::unordered_map<std::size_t, Entry> entries_;
    PixelArena arena_;
};

// The budget a creation gives its cache: the options' value when set,
// otherwise a quarter of the available memory, at most kDefaultPhotoCacheCap
// (nothing when the available memory is unknown).
constexpr std::uint64_t kDefaultPhotoCacheCap = std::uint64_t{2} << 30;
std::uint64_t photoCacheBudget(const EngineOptions& options);
// The same for the memory status given.
std::uint64_t photoCacheBudget(const EngineOptions& options, const MemoryStatus& memory);

} // namespace tw
