#pragma once
// Worker threads for the creation stages. Jobs are numbered 0..count-1 and
// claimed strictly in that order; the calling thread waits for each job's
// completion in its own order and does everything that touches the project,
// the windows or the observer itself. A job stores its results in storage
// it owns by index; whatever it throws is kept and rethrown, unchanged, to
// the caller that waits for it.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tw {

// The number of worker threads an option value asks for: 0 = one per core.
unsigned resolveThreadCount(unsigned requested);

class JobPool {
public:
    using Job = std::function<void(std::size_t)>;

    // Starts min(threads, count) workers (at least one when count > 0). With
    // lookAhead > 0 a worker claims job i only while i < (first job not yet
    // released) + lookAhead, which bounds the results held at once.
    JobPool(std::size_t count, unsigned threads, std::size_t lookAhead, Job job);
    // Stops claiming new jobs and joins the workers (a running job finishes).
    ~JobPool();

    JobPool(const JobPool&) = delete;
    JobPool& operator=(const JobPool&) = delete;

    // Blocks until job i has run; rethrows what it threw.
    void wait(std::size_t i);
    // The same, calling meanwhile (not while holding the pool's lock) once
    // as soon as job i is seen unfinished and again after every period.
    void wait(std::size_t i, std::chrono::milliseconds period, const std::function<void()>& meanwhile);
    // The caller is done with the results of jobs 0..i.
    void release(std::size_t i);
    // True once the pool is being torn down; long jobs may stop early.
    bool stopping() const;

private:
    void work();
    void stopAndJoin() noexcept;

    const std::size_t count_;
    const std::size_t lookAhead_;
    const Job job_;

    mutable std::mutex mutex_;
    std::condition_variable claimable_;  // workers: a job may be claimed
    std::condition_variable finished_;   // caller: a job completed
    std::size_t next_ = 0;               // next job to claim
    std::size_t released_ = 0;           // jobs below this are released
    bool stop_ = false;
    std::vector<char> done_;
    std::vector<std::exception_ptr> errors_;
    std::vector<std::thread> workers_;
};

} // namespace tw
