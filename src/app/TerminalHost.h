#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "CommandLine.h"
#include "host/Host.h"

namespace tabulo {

struct IndexRun;

// The host of the command line: status lines to stderr, questions on the terminal when there
// is one, else the preset answer. Every line is written whole the moment it comes, so a log
// or a pipe follows the run and keeps what was said when the process dies. Lines may come
// from a second thread (the hashing progress); they never cut into one another.
class TerminalHost : public Host {
  public:
    TerminalHost(Answer presetAnswer, bool interactive, std::FILE* in, std::FILE* err,
                 Verbosity verbosity = Verbosity::Normal)
        : preset_(presetAnswer), interactive_(interactive), in_(in), err_(err),
          verbosity_(verbosity) {}

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

    Answer preset_;
    bool interactive_;
    std::FILE* in_;
    std::FILE* err_;
    Verbosity verbosity_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point lastLine_ = std::chrono::steady_clock::now();
    bool asking_ = false;
};

// "Summary: 12 pages written, 30 unchanged, 0 kept, 1 folder skipped, 0 errors in 1.3 s."
std::string SummaryLine(const IndexRun& run, unsigned errors,
                        std::chrono::steady_clock::duration took);

}  // namespace tabulo
