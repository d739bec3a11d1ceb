#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "Host.h"
#include "generator/IndexRun.h"
#include "options/Options.h"

namespace tabulo {

// What the main window owns: the options, the run state, the status line and the current
// folder. Every operation reaches the outside only through the host.
class Engine {
  public:
    explicit Engine(Host& host);
    ~Engine();

    Options& options() { return options_; }
    const Options& options() const { return options_; }
    Host& host() { return host_; }

    const std::string& statusLine() const { return status_; }
    void setStatus(std::string text);

    // The folder whose page is written (the folder list's path).
    const std::string& currentFolder() const { return currentFolder_; }
    void setCurrentFolder(std::string path) { currentFolder_ = std::move(path); }

    IndexRun& run() { return run_; }
    NeededIconList& neededIcons() { return neededIcons_; }
    void AddNeededIcon(const std::string& name) { neededIcons_.add(name); }

    // Today's date for the about line; replaceable so pages can be compared byte for byte.
    std::function<std::tm()> today;

    // The all-in-one page of the running index, open across its sections.
    std::unique_ptr<TextFile>& allInOneFile() { return allInOne_; }

    // Operations.
    void cmdGo_Click();
    void cmdWriteCss_Click();
    void cmdDlIcons_Click();

  private:
    Host& host_;
    Options options_;
    IndexRun run_;
    NeededIconList neededIcons_;
    std::string status_;
    std::string currentFolder_;
    std::unique_ptr<TextFile> allInOne_;
};

}  // namespace tabulo
