#include "engine/job_pool.h"

#include <algorithm>

namespace tw {

unsigned resolveThreadCount(unsigned requested)
{
    if (requested > 0)
        return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

JobPool::JobPool(std::size_t count, unsigned threads, std::size_t lookAhead, Job job)
    : count_(count), lookAhead_(lookAhead), job_(std::move(job)), done_(count, 0), errors_(count)
{
    if (count == 0)
        return;
    const std::size_t n = std::min<std::size_t>(std::max(threads, 1u), count);
    workers_.reserve(n);
    try {
        for (std::size_t i = 0; i < n; ++i)
            workers_.emplace_back([this] { work(); });
    } catch (...) {
        stopAndJoin();
        throw;
    }
}

JobPool::~JobPool() { stopAndJoin(); }

void JobPool::stopAndJoin() noexcept
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    claimable_.notify_all();
    for (std::thread& t : workers_)
        if (t.joinable())
            t.join();
}

bool JobPool::stopping() const
{
    std::lock_guard lock(mutex_);
    return stop_;
}

void JobPool::work()
{
    for (;;) {
        std::size_t i = 0;
        {
            std::unique_lock lock(mutex_);
            claimable_.wait(lock, [this] {
                return stop_ || next_ >= count_ || lookAhead_ == 0 || next_ < released_ + lookAhead_;
            });
            if (stop_ || next_ >= count_)
                return;
            i = next_++;
        }
        std::exception_ptr error;
        try {
            job_(i);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            done_[i] = 1;
            errors_[i] = error;
        }
        finished_.notify_all();
    }
}

void JobPool::wait(std::size_t i)
{
    std::unique_lock lock(mutex_);
    if (lookAhead_ > 0 && i >= released_ + lookAhead_) {
        // Waiting for a job beyond the window would never end: widen it.
        released_ = i + 1 - lookAhead_;
        claimable_.notify_all();
    }
    finished_.wait(lock, [&] { return done_[i] != 0; });
    if (errors_[i])
        std::rethrow_exception(errors_[i]);
}

void JobPool::wait(std::size_t i, std::chrono::milliseconds period, const std::function<void()>& meanwhile)
{
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (lookAhead_ > 0 && i >= released_ + lookAhead_) {
                released_ = i + 1 - lookAhead_;
                claimable_.notify_all();
            }
            if (done_[i] != 0) {
                if (errors_[i])
                    std::rethrow_exception(errors_[i]);
                return;
            }
        }
        meanwhile();
        std::unique_lock lock(mutex_);
        finished_.wait_for(lock, period, [&] { return done_[i] != 0; });
        if (done_[i] != 0) {
            if (errors_[i])
                std::rethrow_exception(errors_[i]);
            return;
        }
    }
}

void JobPool::release(std::size_t i)
{
    {
        std::lock_guard lock(mutex_);
        released_ = std::max(released_, i + 1);
    }
    claimable_.notify_all();
}

} // namespace tw
