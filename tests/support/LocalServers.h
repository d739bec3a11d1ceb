#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tabulo::test {

// A free TCP port on 127.0.0.1 (bound once, then released).
int freeLoopbackPort();

// A server program started for the tests; it is stopped when this goes away.
class Daemon {
  public:
    Daemon(std::vector<std::string> argv, int port);
    ~Daemon();
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A tiny TCP peer on 127.0.0.1 for what real servers will not do. Each accepted connection
// gets the received request (up to its blank line) and the socket to answer on.
class ScriptedPeer {
  public:
    using Behaviour = std::function<void(int fd, const std::string& request)>;
    explicit ScriptedPeer(Behaviour behaviour);
    ~ScriptedPeer();
    int port() const { return port_; }
    std::vector<std::string> requests();

  private:
    int listenFd_ = -1;
    int port_ = 0;
    Behaviour behaviour_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// Writes all of `bytes` to a socket, ignoring a peer that went away.
void sendAll(int fd, const std::string& bytes);

}  // namespace tabulo::test
