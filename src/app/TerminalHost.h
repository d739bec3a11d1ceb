#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "CommandLine.h"
#include "host/Host.h"

namespace tabulo {

struct IndexRun;

// The host of the command line: status lines to stderr, questions on the terminal when there
// is one, else the preset answer. Every line is written whole the moment it comes, so a log
// or a pipe follows the run and keeps what was said when the process dies. Lines may come
// from a second thread (the hashing progress); they never cut into one another.
//
// With `batch`, meant for output that no one reads as it comes (a file, a pipe), status lines
// are gathered and written at most `batch` after they were said: a run over many small
// folders says two lines for each, and one write per line would cost it a good part of its
// time. Errors, questions and the summary are written at once, with all said before them.
class TerminalHost : public Host {
  public:
    TerminalHost(Answer presetAnswer, bool interactive, std::FILE* in, std::FILE* err,
                 Verbosity verbosity = Verbosity::Normal,
                 std::optional<std::chrono::milliseconds> batch = std::nullopt);
    ~TerminalHost() override;
    TerminalHost(const TerminalHost&) = delete;
    TerminalHost& operator=(const TerminalHost&) = delete;

    // Writes the lines gathered so far.
    void flush();

    void status(const std::string& text) override;
    void error(const std::string& text) override;
    void detail(const std::string& text) override;
    // The line that ends a run, said however quiet the tool is.
    void summary(const std::string& text);
    // Says `text` as a status line when nothing was said for `idle` and no question waits for
    // its answer; true when it was said.
    bool statusWhenIdle(const std::string& text, std::chrono::steady_clock::duration idle);

    Answer ask(const std::string& text, const std::string& title, Buttons buttons) override;
    std::optional<Answer> standingAnswer() const override {
        return interactive_ ? std::nullopt : std::optional<Answer>(preset_);
    }
    void processEvents() override {}
    void openInShell(const std::string& target, const std::string& workingFolder) override;
    std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
    std::optional<std::uint32_t> chooseColor(std::uint32_t) override { return std::nullopt; }
    std::optional<Font> chooseFont(const Font&) override { return std::nullopt; }

  private:
    void writeLine(const std::string& text);  // with the lock held
    void writeHeld();                         // with the lock held
    void flushWhenDue();                      // the batch's own thread

    Answer preset_;
    bool interactive_;
    std::FILE* in_;
    std::FILE* err_;
    Verbosity verbosity_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point lastLine_ = std::chrono::steady_clock::now();
    bool asking_ = false;
    std::optional<std::chrono::milliseconds> batch_;
    std::string held_;  // lines said and not yet written
    std::chrono::steady_clock::time_point heldSince_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread flusher_;
};

// "Summary: 12 pages written, 30 unchanged, 0 kept, 1 folder skipped, 0 errors in 1.3 s."
std::string SummaryLine(const IndexRun& run, unsigned errors,
                        std::chrono::steady_clock::duration took);

}  // namespace tabulo
