#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "Host.h"

namespace tabulo {

// The host of the command line: status lines to stderr, questions on the terminal when there
// is one, else the preset answer.
class TerminalHost : public Host {
  public:
    TerminalHost(Answer presetAnswer, bool interactive, std::FILE* in, std::FILE* err)
        : preset_(presetAnswer), interactive_(interactive), in_(in), err_(err) {}

    void status(const std::string& text) override;
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
    Answer preset_;
    bool interactive_;
    std::FILE* in_;
    std::FILE* err_;
};

}  // namespace tabulo
