#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "icons/IconStore.h"

namespace tabulo {

class Host;
class Options;
class StatusSink;

// The icon file an HTTP answer carries: the body of a "200" answer when it is a GIF picture,
// byte for byte; nothing otherwise.
std::optional<std::string> IconFromAnswer(std::string_view answer);

// Fetches the icons the pages need and the www root lacks, one at a time over one TCP socket,
// with HTTP/1.0, directly or through a proxy. Socket events run on the caller's thread while
// its owner lets pending events run.
class IconDownloader {
  public:
    // `options` gives the templates, the proxy and the www root, and takes the all-in-one folder
    // as the www root; `host` runs its events while a fetch waits and shows a failure; `status`
    // takes every line, a failure as an error; `neededIcons` is read at each start.
    IconDownloader(Options& options, Host& host, StatusSink& status,
                   const std::vector<std::string>& neededIcons);
    ~IconDownloader();

    // Starts the fetches; returns once the last one has started.
    void cmdDlIcons_Click();
    // Where the next fetches store their icons, until set again: an index run's icon folder.
    // Without one, fetches store below the www root, opened when they start.
    void setStore(IconStore* store);
    // Runs the socket events that are ready, without waiting.
    void poll();
    // Runs socket events until the last fetch has ended.
    void finish();

    const std::string& socketState() const;
    const std::string& remoteHost() const;
    const std::string& remotePath() const;

    // A connection must open within `connect`; a response may stay silent for `silence`; an
    // icon, from its connection to the end of its answer, may take `whole`.
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds silence,
                     std::chrono::milliseconds whole);

    static constexpr std::size_t kMaxResponse = std::size_t{1024} * 1024;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tabulo
