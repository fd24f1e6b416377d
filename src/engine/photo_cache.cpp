#include "engine/photo_cache.h"

#include "platform/memory.h"

#include <algorithm>
#include <cstring>

namespace tw {

PreparedPhotoKey PreparedPhotoKey::of(std::size_t index, const std::string& path, const tmosaicproject& s)
{
    return PreparedPhotoKey{index, path, s.cropCell != 0, s.monoCell != 0, s.cellWidth, s.cellHeight};
}

std::uint64_t PreparedPhotoCache::usedBytes() const
{
    std::lock_guard lock(mutex_);
    return used_;
}

std::size_t PreparedPhotoCache::size() const
{
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void PreparedPhotoCache::eraseLocked(std::unordered_map<std::size_t, Entry>::iterator it) noexcept
{
    used_ -= it->second.bytes;
    arena_.free(it->second.pixels);
    entries_.erase(it);
}

std::unordered_map<std::size_t, PreparedPhotoCache::Entry>::iterator
PreparedPhotoCache::findLocked(const PreparedPhotoKey& key)
{
    auto it = entries_.find(key.index);
    if (it != entries_.end() && !(it->second.key == key)) {
        // Prepared for something else: of no use to anyone now.
        eraseLocked(it);
        return entries_.end();
    }
    return it;
}

bool PreparedPhotoCache::offer(const PreparedPhotoKey& key, const PictureView& photo)
{
    const std::uint64_t rowBytes = photo.empty() ? 0 : static_cast<std::uint64_t>(photo.width) * 3;
    const std::uint64_t bytes = rowBytes * static_cast<std::uint64_t>(photo.empty() ? 0 : photo.height);
    PixelArena::Block block;
    {
        std::lock_guard lock(mutex_);
        if (auto old = entries_.find(key.index); old != entries_.end())
            eraseLocked(old);
        if (bytes > budget_ - used_)
            return false;
        block = arena_.allocate(static_cast<std::size_t>(bytes));
        used_ += bytes;
    }
    // Several workers copy at once; the entry appears only when complete.
    for (int y = 0; bytes > 0 && y < photo.height; ++y)
        std::memcpy(block.data + rowBytes * static_cast<std::uint64_t>(y), photo.row(y),
                    static_cast<std::size_t>(rowBytes));
    std::lock_guard lock(mutex_);
    try {
        if (auto old = entries_.find(key.index); old != entries_.end())
            eraseLocked(old);
        entries_.try_emplace(key.index, Entry{key, block, photo.empty() ? 0 : photo.width,
                                              photo.empty() ? 0 : photo.height, nullptr, bytes});
    } catch (...) {
        used_ -= bytes;
        arena_.free(block);
        throw;
    }
    return true;
}

bool PreparedPhotoCache::offer(const PreparedPhotoKey& key, std::unique_ptr<const CompactTile> tile)
{
    if (!tile)
        return false;
    const std::uint64_t bytes = tile->byteSize();
    std::lock_guard lock(mutex_);
    if (auto old = entries_.find(key.index); old != entries_.end())
        eraseLocked(old);
    if (bytes > budget_ - used_)
        return false;
    entries_.try_emplace(key.index, Entry{key, PixelArena::Block{}, 0, 0, std::move(tile), bytes});
    used_ += bytes;
    return true;
}

std::unique_ptr<const CompactTile> PreparedPhotoCache::takeCompact(const PreparedPhotoKey& key)
{
    std::lock_guard lock(mutex_);
    auto it = findLocked(key);
    if (it == entries_.end() || !it->second.compact)
        return nullptr;
    std::unique_ptr<const CompactTile> tile = std::move(it->second.compact);
    used_ -= it->second.bytes;
    entries_.erase(it);
    return tile;
}

bool PreparedPhotoCache::take(const PreparedPhotoKey& key, Picture& out)
{
    Entry entry;
    {
        std::lock_guard lock(mutex_);
        auto it = findLocked(key);
        if (it == entries_.end() || it->second.compact)
            return false;
        entry = std::move(it->second);
        used_ -= entry.bytes;
        entries_.erase(it);
    }
    // The block is out of the table, so nobody else reads or frees it.
    struct GiveBack {
        PreparedPhotoCache& cache;
        const PixelArena::Block& block;
        ~GiveBack()
        {
            std::lock_guard lock(cache.mutex_);
            cache.arena_.free(block);
        }
    } giveBack{*this, entry.pixels};
    Picture photo;
    photo.resizeUninitialized(entry.width, entry.height);
    if (entry.pixels.size > 0)
        std::memcpy(photo.data(), entry.pixels.data, entry.pixels.size);
    out.swap(photo);
    return true;
}

bool PreparedPhotoCache::holds(const PreparedPhotoKey& key) const
{
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key.index);
    return it != entries_.end() && it->second.key == key;
}

void PreparedPhotoCache::release(std::size_t index)
{
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(index); it != entries_.end())
        eraseLocked(it);
}

void PreparedPhotoCache::keepOnly(const std::vector<char>& wanted)
{
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = it;
        ++next;
        if (it->first >= wanted.size() || !wanted[it->first])
            eraseLocked(it);
        it = next;
    }
}

std::uint64_t photoCacheBudget(const EngineOptions& options)
{
    if (options.photoCacheBytes)
        return *options.photoCacheBytes;
    return photoCacheBudget(options, queryMemoryStatus());
}

std::uint64_t photoCacheBudget(const EngineOptions& options, const MemoryStatus& memory)
{
    if (options.photoCacheBytes)
        return *options.photoCacheBytes;
    return std::min(memory.availablePhysical / 4, kDefaultPhotoCacheCap);
}

} // namespace tw
