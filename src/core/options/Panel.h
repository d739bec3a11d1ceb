#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Listeners.h"

namespace tabulo {

// What the window shows beside the option values: which controls are enabled and visible,
// a few captions the rules set, and the height of the options area. The window applies it.
class Panel {
  public:
    // Layout marks, in twips from the top of the client area.
    static constexpr int kLineBase = 4080;
    static constexpr int kLineBottom = 6720;

    using Listener = std::function<void(const std::string& control)>;

    bool enabled(std::string_view control) const;
    bool visible(std::string_view control) const;
    // A control the product gives no effect, or that only shows another's state: disabled
    // whatever the rules say, with the reason to show beside it.
    void hold(std::string_view control, std::string reason);
    const std::string& heldReason(std::string_view control) const;
    void setEnabled(std::string_view control, bool on);
    void setVisible(std::string_view control, bool on);

    // Captions and colours of controls that are no options (cmdLoad and the like); empty
    // when never set.
    const std::string& caption(std::string_view control) const;
    void setCaption(std::string_view control, std::string text);

    // The client height the window gives itself: the options tabs show below kLineBase.
    int clientHeight() const { return clientHeight_; }
    void setClientHeight(int twips);

    // Where the colour mixer stands (twips from the top).
    int mixerTop() const { return mixerTop_; }
    void setMixerTop(int twips);

    // Every control whose state was ever set, for a window that applies them all at once.
    std::vector<std::string> controls() const;

    // Watching is no change: a read-only view can be watched.
    int subscribe(Listener listener) const;
    void unsubscribe(int token) const;

  private:
    void changed(const std::string& control);

    std::unordered_map<std::string, bool> disabled_;  // only those that differ from the default
    std::unordered_map<std::string, bool> hidden_;
    std::unordered_map<std::string, std::string> captions_;
    std::unordered_map<std::string, std::string> held_;
    int clientHeight_ = kLineBase;
    int mixerTop_ = kLineBottom + 100;
    mutable ListenerList<const std::string&> listeners_;
};

}  // namespace tabulo
