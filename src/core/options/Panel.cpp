#include "options/Panel.h"

namespace tabulo {

bool Panel::enabled(std::string_view control) const {
    if (held_.contains(std::string(control))) return false;
    auto it = disabled_.find(std::string(control));
    return it == disabled_.end() || !it->second;
}

bool Panel::visible(std::string_view control) const {
    auto it = hidden_.find(std::string(control));
    return it == hidden_.end() || !it->second;
}

void Panel::setEnabled(std::string_view control, bool on) {
    std::string name(control);
    if (enabled(name) == on) return;
    disabled_[name] = !on;
    changed(name);
}

void Panel::setVisible(std::string_view control, bool on) {
    std::string name(control);
    if (visible(name) == on) return;
    hidden_[name] = !on;
    changed(name);
}

void Panel::hold(std::string_view control, std::string reason) {
    std::string name(control);
    held_[name] = std::move(reason);
    changed(name);
}

const std::string& Panel::heldReason(std::string_view control) const {
    static const std::string none;
    auto it = held_.find(std::string(control));
    return it == held_.end() ? none : it->second;
}

const std::string& Panel::caption(std::string_view control) const {
    static const std::string none;
    auto it = captions_.find(std::string(control));
    return it == captions_.end() ? none : it->second;
}

void Panel::setCaption(std::string_view control, std::string text) {
    std::string name(control);
    auto& slot = captions_[name];
    if (slot == text) return;
    slot = std::move(text);
    changed(name);
}

void Panel::setClientHeight(int twips) {
    if (clientHeight_ == twips) return;
    clientHeight_ = twips;
    changed("frmMain");
}

void Panel::setMixerTop(int twips) {
    if (mixerTop_ == twips) return;
    mixerTop_ = twips;
    changed("rgbFrame");
}

std::vector<std::string> Panel::controls() const {
    std::vector<std::string> names;
    for (const auto& [name, state] : disabled_) names.push_back(name);
    for (const auto& [name, state] : hidden_) {
        if (!disabled_.contains(name)) names.push_back(name);
    }
    for (const auto& [name, reason] : held_) {
        if (!disabled_.contains(name) && !hidden_.contains(name)) names.push_back(name);
    }
    return names;
}

int Panel::subscribe(Listener listener) const {
    return listeners_.add(std::move(listener));
}

void Panel::unsubscribe(int token) const {
    listeners_.remove(token);
}

void Panel::changed(const std::string& control) {
    listeners_.notify(control);
}

}  // namespace tabulo
