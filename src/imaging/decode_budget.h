#pragma once
// The memory that decoding pictures may use at once, shared by every thread
// that decodes.
//
// A decode reserves what it will need (the compressed file, the decoded
// pixels, the decoder's own working memory) before allocating it, and
// waits while other decodes hold the budget, so several threads never
// multiply the peak; a decode that needs more than the whole budget is
// refused at once. Requests are served in arrival order, so a large one is
// not starved by a stream of small ones.
//
// A reservation that must grow and cannot do so at once gives back what it
// holds and waits for the whole amount, so no thread ever waits while
// holding part of the budget and two growing decodes cannot block each
// other. (While it waits, the compressed bytes it has already read are the
// only memory outside the accounts.)
//
// The budget also keeps the pixel buffers of finished decodes for the next
// one: a fresh buffer costs a page fault per page on its first writing,
// which for a photograph is a good share of its decoding time. Kept buffers
// count against the budget too and are given back to the system whenever a
// reservation needs their room.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tw {

class DecodeBudget {
public:
    explicit DecodeBudget(std::uint64_t capacityBytes);
    ~DecodeBudget();
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    class Reservation;

    std::uint64_t capacity() const noexcept { return capacity_; }
    // Bytes held by reservations now, and the most they ever held at once.
    std::uint64_t reserved() const;
    std::uint64_t peakReserved() const;
    // Bytes of buffers kept for later decodes.
    std::uint64_t keptBytes() const;
    // Requests waiting for their turn or for room.
    std::size_t waiting() const;

    // Waits until bytes can be held, then holds them. Throws tw::Error
    // ("... needs N MB of memory, more than the M MB set aside for decoding
    // pictures", what naming the request) when bytes exceed the capacity.
    Reservation reserve(std::uint64_t bytes, const std::string& what = "Decoding the picture");

    // Gives every kept buffer back to the system.
    void releaseKeptBuffers();

    // Throws the refusal reserve would throw for bytes, if any.
    void checkFits(std::uint64_t bytes, const std::string& what) const;

private:
    struct Block {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t size = 0;
    };

    // Waits for the turn of a request of bytes and takes them; with
    // bufferBytes > 0 also hands out a buffer of at least that size (a kept
    // one when one fits closely, its whole size counted).
    std::uint64_t acquire(std::uint64_t bytes, std::size_t bufferBytes, Block& buffer);
    void giveBack(std::uint64_t bytes, Block buffer) noexcept;

    const std::uint64_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t reserved_ = 0;
    std::uint64_t peak_ = 0;
    std::uint64_t kept_ = 0;
    std::uint64_t nextTicket_ = 0;  // handed to each request in arrival order
    std::uint64_t serving_ = 0;     // the request whose turn it is
    std::vector<Block> keptBlocks_;
};

// What one decode holds of a budget; given back when destroyed.
class DecodeBudget::Reservation {
public:
    Reservation() = default;
    ~Reservation();
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    // Bytes held, including the whole size of the buffer.
    std::uint64_t bytes() const noexcept { return bytes_; }
    DecodeBudget* budget() const noexcept { return budget_; }

    // Makes the reservation hold `bytes` plus a buffer of at least
    // bufferBytes (none for 0): at once when the budget has room, otherwise
    // by giving everything back and waiting for the whole amount. A buffer
    // held before is given back first; the new one's content is
    // unspecified. Throws like DecodeBudget::reserve, holding nothing.
    void resize(std::uint64_t bytes, std::size_t bufferBytes = 0, const std::string& what = "Decoding the picture");

    // Holds only `bytes` from now on (at least the buffer's size), keeping
    // the buffer and its content: for memory the decode no longer uses.
    void shrinkTo(std::uint64_t bytes) noexcept;

    std::uint8_t* buffer() const noexcept { return buffer_.data.get(); }
    std::size_t bufferSize() const noexcept { return buffer_.size; }

    // Gives everything back.
    void release() noexcept;

private:
    friend class DecodeBudget;
    DecodeBudget* budget_ = nullptr;
    std::uint64_t bytes_ = 0;
    Block buffer_;
};

// How refusals name a picture: "A picture of W x H pixels".
std::string pictureOfSize(int width, int height);

// The budget every decode uses unless told otherwise: half of the memory
// available when it is first used, at least kMinDecodeBudget
// (kUnknownMemoryDecodeBudget when the system does not say).
constexpr std::uint64_t kMinDecodeBudget = std::uint64_t{256} << 20;
constexpr std::uint64_t kUnknownMemoryDecodeBudget = std::uint64_t{4} << 30;
DecodeBudget& sharedDecodeBudget();
std::uint64_t defaultDecodeBudget(std::uint64_t availableBytes);

} // namespace tw
