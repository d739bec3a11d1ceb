#include "HashTicker.h"

#include <string>
#include <system_error>

#include "TerminalHost.h"

namespace tabulo {

HashTicker::HashTicker(const std::atomic<std::uint64_t>& bytes, TerminalHost& host)
    : bytes_(bytes), host_(host) {
    try {
        thread_ = std::thread([this] { tick(); });
    } catch (const std::system_error&) {
        // Without a thread the walk's own lines between folders remain.
    }
}

HashTicker::~HashTicker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void HashTicker::tick() {
    using namespace std::chrono_literals;
    constexpr std::uint64_t kMiB = std::uint64_t{1024} * 1024;
    std::uint64_t seen = bytes_.load(), shown = ~std::uint64_t{0};
    // A look every 200 ms and 800 ms of silence: a line within a second of the last one.
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, 200ms, [this] { return stop_; })) {
        std::uint64_t now = bytes_.load();
        bool reading = now != seen;  // between runs and between files it stands still
        seen = now;
        if (reading && now / kMiB != shown &&
            host_.statusWhenIdle("Hashed " + std::to_string(now / kMiB) + " MB so far", 800ms))
            shown = now / kMiB;
    }
}

}  // namespace tabulo
