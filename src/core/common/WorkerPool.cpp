#include "common/WorkerPool.h"

#include "common/Faults.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <memory>
#include <system_error>

namespace tabulo {

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < threads; ++i) {
        try {
            if (injectedFault(Fault::Thread))
                throw std::system_error(EAGAIN, std::generic_category(), "thread");
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;  // the system has no more threads to give: the run does with fewer
        }
    }
}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    for (auto& t : threads_) {
        if (t.joinable()) t.join();
    }
}

void WorkerPool::add(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_ || jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

namespace {

// Parts of one forEach, taken by whoever comes first; the batch outlives late helpers.
struct Batch {
    explicit Batch(std::size_t n) : count(n) {}
    const std::size_t count;
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::mutex mutex;
    std::condition_variable finished;
    std::exception_ptr error;
    const std::function<void(std::size_t)>* task = nullptr;

    void runParts() {
        for (;;) {
            std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            std::exception_ptr failed;
            try {
                (*task)(i);
            } catch (...) {
                failed = std::current_exception();
            }
            std::lock_guard lock(mutex);
            if (failed && !error) error = failed;
            if (++done == count) finished.notify_all();
        }
    }
};

}  // namespace

void WorkerPool::forEach(std::size_t count, const std::function<void(std::size_t)>& task) {
    if (count == 0) return;
    auto batch = std::make_shared<Batch>(count);
    batch->task = &task;
    std::size_t helpers = std::min(count - 1, threads_.size());
    if (helpers > 0) {
        std::lock_guard lock(mutex_);
        // Ahead of the queue: the caller waits for these parts, not for what was queued before.
        for (std::size_t i = 0; i < helpers && !stop_; ++i)
            jobs_.push_front([batch] { batch->runParts(); });
    }
    wake_.notify_all();
    batch->runParts();
    std::unique_lock lock(batch->mutex);
    batch->finished.wait(lock, [&] { return batch->done == count; });
    if (batch->error) std::rethrow_exception(batch->error);
}

}  // namespace tabulo
