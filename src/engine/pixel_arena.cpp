#include "engine/pixel_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

namespace tw {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kBlockAlign = 64;

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

std::size_t systemPage()
{
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

} // namespace

PixelArena::Chunk PixelArena::mapChunk(std::size_t bytes)
{
    const std::size_t size = roundUp(bytes, kHugePage);
    if (size < bytes || size > SIZE_MAX - kHugePage)
        throw std::bad_alloc();
    // Map a huge page more than needed, so that the chunk can start on a
    // huge-page boundary, then give the ends back.
    const std::size_t mapped = size + kHugePage;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    auto* start = static_cast<std::uint8_t*>(raw);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    auto* base = start + (roundUp(address, kHugePage) - address);
    if (base > start)
        ::munmap(start, static_cast<std::size_t>(base - start));
    if (std::uint8_t* end = base + size; end < start + mapped)
        ::munmap(end, static_cast<std::size_t>(start + mapped - end));
    // Advice only: without huge pages the chunk still works, page by page.
    ::madvise(base, size, MADV_HUGEPAGE);
    return Chunk{base, size, 0, 0};
}

void PixelArena::unmapChunk(Chunk& chunk) noexcept
{
    if (chunk.base)
        ::munmap(chunk.base, chunk.size);
    chunk = Chunk{};
}

PixelArena::~PixelArena()
{
    for (Chunk& c : chunks_)
        unmapChunk(c);
}

PixelArena::Block PixelArena::allocate(std::size_t bytes)
{
    if (bytes == 0)
        return Block{};
    const std::size_t size = roundUp(bytes, kBlockAlign);
    if (size < bytes)
        throw std::bad_alloc();
    if (chunks_.empty() || !chunks_.back().base || chunks_.back().size - chunks_.back().used < size) {
        chunks_.reserve(chunks_.size() + 1);
        chunks_.push_back(mapChunk(size > kChunkBytes ? size : kChunkBytes));
    }
    Chunk& c = chunks_.back();
    Block b{c.base + c.used, bytes, chunks_.size() - 1};
    c.used += size;
    ++c.live;
    return b;
}

void PixelArena::free(const Block& block) noexcept
{
    if (!block.data || block.chunk >= chunks_.size())
        return;
    Chunk& c = chunks_[block.chunk];
    if (!c.base)
        return;
    if (--c.live == 0) {
        unmapChunk(c);
        return;
    }
    // The pages that lie wholly inside the block belong to nobody else.
    static const std::size_t page = systemPage();
    const auto from = roundUp(reinterpret_cast<std::uintptr_t>(block.data), page);
    const auto to = (reinterpret_cast<std::uintptr_t>(block.data) + block.size) / page * page;
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

std::size_t PixelArena::mappedBytes() const noexcept
{
    std::size_t n = 0;
    for (const Chunk& c : chunks_)
        n += c.base ? c.size : 0;
    return n;
}

} // namespace tw
