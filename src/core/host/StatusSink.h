#pragma once

#include <string>
#include <utility>

namespace tabulo {

// Where an operation reports: lines for the status line, errors flagged as such, so that
// whether something failed never depends on the words of a message.
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void status(std::string text) = 0;
    virtual void error(std::string text) = 0;
    // A step only worth seeing when every step is wanted.
    virtual void detail(std::string text) { status(std::move(text)); }
};

}  // namespace tabulo
