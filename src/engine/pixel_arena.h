#pragma once
// Memory for pixels kept across stages, taken from the system in large
// chunks that ask for huge pages. Each fresh page of ordinary memory costs
// a fault when first written; a library of full-size photographs kept
// between two stages runs to hundreds of thousands of them, which costs as
// much as decoding the photographs again. Huge pages cut that by a factor
// of 512. Memory of freed blocks goes back to the system at once (whole
// pages inside the block), and a chunk whose blocks are all freed is
// unmapped.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

class PixelArena {
public:
    struct Block {
        std::uint8_t* data = nullptr;
        std::size_t size = 0;
        std::size_t chunk = 0;  // which chunk holds it
    };

    PixelArena() = default;
    ~PixelArena();
    PixelArena(const PixelArena&) = delete;
    PixelArena& operator=(const PixelArena&) = delete;

    // A block of bytes (uninitialised, 64-byte aligned); size 0 gives an
    // empty block. Throws std::bad_alloc when the system refuses memory.
    Block allocate(std::size_t bytes);
    // Gives a block back; an empty block is ignored.
    void free(const Block& block) noexcept;

    // Bytes currently mapped for chunks (for tests and diagnostics).
    std::size_t mappedBytes() const noexcept;

    // The size of the chunks blocks are packed into; a larger block gets a
    // chunk of its own.
    static constexpr std::size_t kChunkBytes = std::size_t{64} << 20;

private:
    struct Chunk {
        std::uint8_t* base = nullptr;  // null once unmapped
        std::size_t size = 0;
        std::size_t used = 0;
        std::size_t live = 0;  // blocks not yet freed
    };
    static Chunk mapChunk(std::size_t bytes);
    static void unmapChunk(Chunk& chunk) noexcept;

    std::vector<Chunk> chunks_;
};

} // namespace tw
