#include "Engine.h"

#include "generator/Driver.h"
#include "stylesheet/Stylesheet.h"

namespace tabulo {

namespace {

std::tm localToday() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

}  // namespace

Engine::Engine(Host& host) : today(localToday), host_(host) {}

Engine::~Engine() = default;

void Engine::setStatus(std::string text) {
    if (text == status_) return;
    status_ = std::move(text);
    host_.status(status_);
}

void Engine::cmdGo_Click() {
    RunIndex(*this);
}

void Engine::cmdWriteCss_Click() {
    WriteStylesheetFile(*this);
}

// Fetching missing icons arrives with the downloader; until then there is nothing to fetch.
void Engine::cmdDlIcons_Click() {}

void NeededIconList::add(const std::string& name) {
    if (known_.insert(name).second) names_.push_back(name);
}

}  // namespace tabulo
