#include "common/Faults.h"

#ifdef TABULO_FAULT_INJECTION

#include <array>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <string_view>

namespace tabulo {

namespace {

constexpr std::array<std::string_view, 7> kNames = {"write",   "rename", "syncfs", "mkdir",
                                                    "openat2", "memory", "thread"};

struct Plan {
    std::array<std::atomic<long>, kNames.size()> failAt{};  // 0: never
    std::array<std::atomic<long>, kNames.size()> seen{};
};

Plan& plan() {
    static Plan p;
    return p;
}

void readPlan() {
    Plan& p = plan();
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        p.failAt[i] = 0;
        p.seen[i] = 0;
    }
    const char* env = std::getenv("TABULO_FAULTS");
    std::string_view rest = env ? env : "";
    while (!rest.empty()) {
        std::string_view item = rest.substr(0, rest.find(','));
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
        std::string_view name = item.substr(0, item.find(':'));
        long n = 1;
        if (item.size() > name.size()) {
            std::string_view digits = item.substr(name.size() + 1);
            std::from_chars(digits.data(), digits.data() + digits.size(), n);
        }
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            if (kNames[i] == name) p.failAt[i] = n;
        }
    }
}

std::once_flag loaded;

}  // namespace

bool injectedFault(Fault fault) {
    std::call_once(loaded, readPlan);
    auto i = static_cast<std::size_t>(fault);
    Plan& p = plan();
    long at = p.failAt[i].load(std::memory_order_relaxed);
    if (at <= 0) return false;
    if (fault == Fault::Openat2) return true;
    return p.seen[i].fetch_add(1, std::memory_order_relaxed) + 1 == at;
}

void resetInjectedFaults() {
    std::call_once(loaded, [] {});
    readPlan();
}

}  // namespace tabulo

#else

namespace tabulo {

bool injectedFault(Fault) {
    return false;
}
void resetInjectedFaults() {}

}  // namespace tabulo

#endif
