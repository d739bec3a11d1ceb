#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tabulo {

// Threads that run jobs in the order they came. As many are started as the system gives, up
// to the number asked; with none, size() is 0 and the caller does the work itself. The pool
// is stopped and joined before it goes: jobs not yet begun are dropped, those running end.
class WorkerPool {
  public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(threads_.size()); }
    void add(std::function<void()> job);
    // Drops the jobs not yet begun and waits for those running; add() does nothing after.
    void stop();

    // Runs task(0) … task(count - 1) on the calling thread and on idle workers, and returns when
    // all have run. The caller takes part, so a job of this pool may call it too without
    // waiting for itself. The first exception of a task is thrown again here.
    void forEach(std::size_t count, const std::function<void(std::size_t)>& task);

  private:
    void work();

    std::vector<std::thread> threads_;
    std::deque<std::function<void()>> jobs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

}  // namespace tabulo
