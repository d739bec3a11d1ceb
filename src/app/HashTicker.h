#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tabulo {

class TerminalHost;

// While checksums are read, says how far they are ("Hashed 900 MB so far") whenever nothing
// else was said for most of a second: the walk speaks between folders, and one big file can
// keep it silent for minutes. Reads the run's byte counter from a thread of its own
// and stops when it goes out of scope.
class HashTicker {
  public:
    HashTicker(const std::atomic<std::uint64_t>& bytes, TerminalHost& host);
    ~HashTicker();
    HashTicker(const HashTicker&) = delete;
    HashTicker& operator=(const HashTicker&) = delete;

  private:
    void tick();

    const std::atomic<std::uint64_t>& bytes_;
    TerminalHost& host_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace tabulo
