#include "imaging/decode_budget.h"

#include "platform/errors.h"
#include "platform/memory.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace tw {

namespace {

// Kept buffers: at most this many, and one is reused only for a request it
// exceeds by at most a quarter, so a small photograph does not pin a large
// buffer's worth of the budget.
constexpr std::size_t kMaxKeptBlocks = 8;

bool fitsClosely(std::size_t blockSize, std::size_t wanted)
{
    return blockSize >= wanted && blockSize - wanted <= wanted / 4;
}

std::uint64_t megabytes(std::uint64_t bytes) { return (bytes + 1048575) / 1048576; }

} // namespace

DecodeBudget::DecodeBudget(std::uint64_t capacityBytes) : capacity_(capacityBytes) {}

DecodeBudget::~DecodeBudget() = default;

std::uint64_t DecodeBudget::reserved() const
{
    std::lock_guard lock(mutex_);
    return reserved_;
}

std::uint64_t DecodeBudget::peakReserved() const
{
    std::lock_guard lock(mutex_);
    return peak_;
}

std::uint64_t DecodeBudget::keptBytes() const
{
    std::lock_guard lock(mutex_);
    return kept_;
}

std::size_t DecodeBudget::waiting() const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(nextTicket_ - serving_);
}

void DecodeBudget::checkFits(std::uint64_t bytes, const std::string& what) const
{
    if (bytes > capacity_)
        throw Error(what + " needs " + std::to_string(megabytes(bytes)) + " MB of memory, more than the " +
                    std::to_string(capacity_ / 1048576) + " MB set aside for decoding pictures");
}

std::uint64_t DecodeBudget::acquire(std::uint64_t bytes, std::size_t bufferBytes, Block& buffer)
{
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    // The smallest kept buffer that fits closely, if any; its whole size counts.
    auto pick = [&]() -> std::vector<Block>::iterator {
        auto best = keptBlocks_.end();
        if (bufferBytes == 0)
            return best;
        for (auto it = keptBlocks_.begin(); it != keptBlocks_.end(); ++it)
            if (fitsClosely(it->size, bufferBytes) && (best == keptBlocks_.end() || it->size < best->size))
                best = it;
        return best;
    };
    auto needed = [&](std::vector<Block>::iterator reuse) {
        return bytes + (reuse != keptBlocks_.end() ? reuse->size : bufferBytes);
    };
    turn_.wait(lock, [&] { return serving_ == ticket && reserved_ + needed(pick()) <= capacity_; });
    auto reuse = pick();
    const std::uint64_t total = needed(reuse);
    if (reuse != keptBlocks_.end()) {
        buffer = std::move(*reuse);
        kept_ -= buffer.size;
        keptBlocks_.erase(reuse);
    }
    // Kept buffers make room for what is held now.
    while (!keptBlocks_.empty() && reserved_ + total + kept_ > capacity_) {
        kept_ -= keptBlocks_.back().size;
        keptBlocks_.pop_back();
    }
    reserved_ += total;
    peak_ = std::max(peak_, reserved_);
    ++serving_;
    lock.unlock();
    turn_.notify_all();
    if (bufferBytes > 0 && !buffer.data) {
        // Outside the lock: other decodes go on while this one allocates.
        buffer.data.reset(new (std::nothrow) std::uint8_t[bufferBytes]);
        if (!buffer.data) {
            giveBack(total, Block{});
            throw std::bad_alloc();
        }
        buffer.size = bufferBytes;
    }
    return total;
}

void DecodeBudget::giveBack(std::uint64_t bytes, Block buffer) noexcept
{
    {
        std::lock_guard lock(mutex_);
        reserved_ -= bytes;
        if (buffer.data) {
            const bool room = keptBlocks_.size() < kMaxKeptBlocks && reserved_ + kept_ + buffer.size <= capacity_;
            if (room) {
                kept_ += buffer.size;
                try {
                    keptBlocks_.push_back(std::move(buffer));
                } catch (...) {
                    kept_ -= buffer.size;  // not kept: freed below
                }
            }
        }
    }
    turn_.notify_all();
}

DecodeBudget::Reservation DecodeBudget::reserve(std::uint64_t bytes, const std::string& what)
{
    Reservation r;
    r.budget_ = this;
    r.resize(bytes, 0, what);
    return r;
}

void DecodeBudget::releaseKeptBuffers()
{
    std::vector<Block> gone;
    {
        std::lock_guard lock(mutex_);
        gone.swap(keptBlocks_);
        kept_ = 0;
    }
    turn_.notify_all();
}

DecodeBudget::Reservation::~Reservation() { release(); }

DecodeBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(other.budget_), bytes_(other.bytes_), buffer_(std::move(other.buffer_))
{
    other.bytes_ = 0;
    other.buffer_.size = 0;
}

DecodeBudget::Reservation& DecodeBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        release();
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        buffer_ = std::move(other.buffer_);
        other.bytes_ = 0;
        other.buffer_.size = 0;
    }
    return *this;
}

void DecodeBudget::Reservation::release() noexcept
{
    if (budget_ && (bytes_ > 0 || buffer_.data))
        budget_->giveBack(bytes_, std::move(buffer_));
    bytes_ = 0;
    buffer_ = Block{};
}

void DecodeBudget::Reservation::shrinkTo(std::uint64_t bytes) noexcept
{
    bytes = std::max<std::uint64_t>(bytes, buffer_.size);
    if (!budget_ || bytes >= bytes_)
        return;
    {
        std::lock_guard lock(budget_->mutex_);
        budget_->reserved_ -= bytes_ - bytes;
    }
    bytes_ = bytes;
    budget_->turn_.notify_all();
}

void DecodeBudget::Reservation::resize(std::uint64_t bytes, std::size_t bufferBytes, const std::string& what)
{
    if (!budget_)
        throw std::logic_error("a decode reservation without a budget");
    DecodeBudget& b = *budget_;
    const std::uint64_t wanted = bytes + bufferBytes;
    if (wanted < bytes)
        b.checkFits(UINT64_MAX, what);
    b.checkFits(wanted, what);
    // Without a buffer to change, growing in place is possible when the
    // budget has room and nobody waits.
    if (bufferBytes == 0 && !buffer_.data) {
        std::unique_lock lock(b.mutex_);
        if (bytes <= bytes_) {
            b.reserved_ -= bytes_ - bytes;
            bytes_ = bytes;
            lock.unlock();
            b.turn_.notify_all();
            return;
        }
        const std::uint64_t more = bytes - bytes_;
        if (b.serving_ == b.nextTicket_ && b.reserved_ + more <= b.capacity_) {
            // Room for it without waiting; kept buffers yield if need be.
            while (!b.keptBlocks_.empty() && b.reserved_ + more + b.kept_ > b.capacity_) {
                b.kept_ -= b.keptBlocks_.back().size;
                b.keptBlocks_.pop_back();
            }
            b.reserved_ += more;
            b.peak_ = std::max(b.peak_, b.reserved_);
            bytes_ = bytes;
            return;
        }
    }
    release();
    budget_ = &b;
    bytes_ = b.acquire(bytes, bufferBytes, buffer_);
}

std::string pictureOfSize(int width, int height)
{
    return "A picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::uint64_t defaultDecodeBudget(std::uint64_t availableBytes)
{
    if (availableBytes == 0)
        return kUnknownMemoryDecodeBudget;
    return std::max(availableBytes / 2, kMinDecodeBudget);
}

DecodeBudget& sharedDecodeBudget()
{
    static DecodeBudget budget(defaultDecodeBudget(queryMemoryStatus().availablePhysical));
    return budget;
}

} // namespace tw
