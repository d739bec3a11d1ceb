#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "run/TreeTotals.h"
#include "search/SearchIndex.h"
#include "host/Host.h"
#include "host/StatusSink.h"

namespace tabulo::test {

// A host that records what the engine says and answers questions from a script.
class ScriptedHost : public Host {
  public:
    void status(const std::string& text) override { statusLines.push_back(text); }
    // Every line is in the status lines, as the window shows it; errors and details also apart.
    void error(const std::string& text) override {
        statusLines.push_back(text);
        errorLines.push_back(text);
    }
    void detail(const std::string& text) override {
        statusLines.push_back(text);
        detailLines.push_back(text);
    }
    Answer ask(const std::string& text, const std::string& title, Buttons) override {
        questions.push_back(title + ": " + text);
        if (answers.empty()) return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void processEvents() override { ++eventPumps; }
    void progress(int done, int found) override { progressReports.emplace_back(done, found); }
    void openInShell(const std::string& target, const std::string& folder) override {
        opened.push_back(target + " in " + folder);
    }
    std::optional<std::string> chooseFolder(const std::string& start) override {
        chooserStarts.push_back(start);
        return chosenFolder;
    }
    std::optional<std::uint32_t> chooseColor(std::uint32_t initial) override {
        offeredColor = initial;
        return chosenColor;
    }
    std::optional<Font> chooseFont(const Font& initial) override {
        offeredFont = initial;
        return chosenFont;
    }

    bool sawError() const;

    std::vector<std::string> statusLines;
    std::vector<std::string> errorLines;
    std::vector<std::string> detailLines;
    std::vector<std::string> questions;
    std::deque<Answer> answers;
    std::vector<std::string> opened;
    std::vector<std::string> chooserStarts;
    std::optional<std::string> chosenFolder;
    std::optional<std::uint32_t> chosenColor;
    std::optional<Font> chosenFont;
    Font offeredFont;
    std::uint32_t offeredColor = 0;
    int eventPumps = 0;
    std::vector<std::pair<int, int>> progressReports;
};

// A status sink that keeps every line, and the errors apart as well.
struct RecordingSink : StatusSink {
    void status(std::string text) override { lines.push_back(std::move(text)); }
    void error(std::string text) override {
        lines.push_back(text);
        errors.push_back(std::move(text));
    }

    std::vector<std::string> lines;
    std::vector<std::string> errors;
};

// A temporary folder per test with TABULO_HOME pointed into it: `root` is its "site" folder,
// the home folder lies beside it.
class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates a file (and its folders) below the temporary folder; returns its full path.
    std::string writeFile(const std::string& relative, const std::string& content = "");
    std::string makeFolder(const std::string& relative);
    std::string path(const std::string& relative) const { return root + "/" + relative; }
    std::string home() const;
    // Sets the modification time of a file or folder (seconds since 1970, UTC).
    void setTime(const std::string& relative, std::time_t when);

    std::string root;
};

// A temporary folder and an engine on a scripted host with a fixed date.
class EngineTest : public FolderTest {
  protected:
    void SetUp() override;

    void set(std::string_view name, std::string_view value);  // by name, stored form
    void select(std::string_view name, int index = -1);

    // Indexes `relative` (empty: the temporary folder itself) as "Go!" does.
    void go(const std::string& relative = "");

    ScriptedHost host;
    Engine engine{host};

    // Runs as a watch does, keeping what a watch keeps from run to run: a whole run, then
    // batches that write the folders `changed` (relative, "" the top) and those above them.
    TreeTotals keptTotals;
    SearchNames keptNames;
    void watchRun();
    void watchBatch(const std::set<std::string>& changed);
};

std::string readFile(const std::string& path);
// Expected text written with "\n" line ends, turned into the CR LF files the program writes.
std::string crlf(std::string_view text);

}  // namespace tabulo::test
