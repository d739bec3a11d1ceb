#pragma once

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace tabulo {

// Listeners of one kind of change; each can be removed again by its token.
template <typename... Args>
class ListenerList {
  public:
    using Listener = std::function<void(Args...)>;

    int add(Listener listener) {
        listeners_.emplace_back(next_, std::move(listener));
        return next_++;
    }

    void remove(int token) {
        std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
    }

    void notify(Args... args) const {
        // A copy, so a listener may add or remove listeners while being told.
        auto listeners = listeners_;
        for (auto& [token, listener] : listeners) listener(args...);
    }

  private:
    std::vector<std::pair<int, Listener>> listeners_;
    int next_ = 1;
};

}  // namespace tabulo
