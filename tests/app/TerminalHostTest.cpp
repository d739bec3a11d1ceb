#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "HashTicker.h"
#include "TerminalHost.h"
#include "common/Text.h"
#include "run/IndexRun.h"

namespace tabulo::test {
namespace {

using namespace std::chrono_literals;

// A terminal host writing into a file of its own, read back as text.
class TerminalHostTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (err_) std::fclose(err_);
    }
    TerminalHost& host(Verbosity verbosity,
                       std::optional<std::chrono::milliseconds> batch = std::nullopt) {
        std::FILE* old = err_;
        err_ = std::tmpfile();
        host_.reset();
        host_.emplace(Answer::No, false, stdin, err_, verbosity, batch);
        if (old) std::fclose(old);
        return *host_;
    }
    std::string written() {
        std::fflush(err_);
        std::string text;
        std::rewind(err_);
        for (int c; (c = std::fgetc(err_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

    std::FILE* err_ = nullptr;
    std::optional<TerminalHost> host_;
};

TEST_F(TerminalHostTest, EachVerbosityShowsItsKindsOfLine) {
    struct Case {
        Verbosity verbosity;
        std::string shown;
    };
    const Case cases[] = {
        {Verbosity::Quiet, "error\nsummary\nTabulo: message\n"},
        {Verbosity::Normal, "status\nerror\nsummary\nTabulo: message\n"},
        {Verbosity::Verbose, "status\nerror\ndetail\nsummary\nTabulo: message\n"},
    };
    for (const Case& c : cases) {
        TerminalHost& h = host(c.verbosity);
        h.status("status");
        h.error("error");
        h.detail("detail");
        h.summary("summary");
        h.ask("message", "Tabulo", Buttons::Ok);  // a message box is never held back
        EXPECT_EQ(written(), c.shown);
    }
}

TEST_F(TerminalHostTest, ProgressWaitsForSilence) {
    TerminalHost& h = host(Verbosity::Normal);
    h.status("line");
    EXPECT_FALSE(h.statusWhenIdle("too soon", 1h));
    EXPECT_TRUE(h.statusWhenIdle("after a while", 0s));
    EXPECT_EQ(written(), "line\nafter a while\n");
    TerminalHost& quiet = host(Verbosity::Quiet);
    EXPECT_FALSE(quiet.statusWhenIdle("progress", 0s));
    EXPECT_EQ(written(), "");
}

TEST_F(TerminalHostTest, TheTickerSpeaksOnlyWhileBytesAreRead) {
    TerminalHost& h = host(Verbosity::Normal);
    std::atomic<std::uint64_t> bytes{0};
    {
        HashTicker ticker(bytes, h);
        std::this_thread::sleep_for(1500ms);  // nothing read: nothing said
        EXPECT_EQ(written(), "");
        for (int i = 0; i < 200 && !contains(written(), "\n"); ++i) {
            bytes += 3 * 1024 * 1024;
            std::this_thread::sleep_for(50ms);
        }
    }
    std::string said = written();
    EXPECT_TRUE(said.starts_with("Hashed ")) << said;
    EXPECT_TRUE(said.ends_with(" MB so far\n")) << said;
    // Stopped with its scope.
    bytes += 100 * 1024 * 1024;
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(written(), said);
}

TEST_F(TerminalHostTest, BatchedLinesKeepTheirOrderAndAreAllWritten) {
    // Held for an hour: only what must be seen at once writes them, with all said before.
    TerminalHost& h = host(Verbosity::Normal, 1h);
    h.status("one");
    h.detail("not shown");
    h.status("two");
    EXPECT_EQ(written(), "");
    h.error("three");
    EXPECT_EQ(written(), "one\ntwo\nthree\n");
    h.status("four");
    h.summary("five");
    EXPECT_EQ(written(), "one\ntwo\nthree\nfour\nfive\n");
    h.status("six");
    h.ask("seven", "Tabulo", Buttons::Ok);
    h.status("eight");
    h.flush();
    EXPECT_EQ(written(), "one\ntwo\nthree\nfour\nfive\nsix\nTabulo: seven\neight\n");

    // Many lines are written before they are old, whole; the rest when the host goes.
    host(Verbosity::Normal, 1h);
    const std::string line(99, 'x');
    for (int i = 0; i < 2000; ++i) host_->status(line);
    std::string early = written();
    EXPECT_GT(early.size(), 0u);
    EXPECT_LT(early.size(), 2000u * 100);
    EXPECT_EQ(early.size() % 100, 0u);
    host_.reset();
    EXPECT_EQ(written().size(), 2000u * 100);

    // Lines nobody follows up are written once they are old.
    TerminalHost& soon = host(Verbosity::Normal, 20ms);
    soon.status("alone");
    for (int i = 0; i < 500 && written().empty(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(written(), "alone\n");
}

TEST(SummaryLineTest, CountsInWordsAndTenthsOfASecond) {
    IndexRun run;
    EXPECT_EQ(SummaryLine(run, 0, 0ms),
              "Summary: 0 pages written, 0 unchanged, 0 kept, 0 folders skipped, 0 errors in 0.0 s.");
    run.pagesWritten = 1;
    run.pagesUnchanged = 1;
    run.pagesDeclined = 1;
    run.foldersSkipped = 1;
    EXPECT_EQ(SummaryLine(run, 1, 1299ms),
              "Summary: 1 page written, 1 unchanged, 1 kept, 1 folder skipped, 1 error in 1.2 s.");
    run.pagesWritten = 12;
    run.pagesUnchanged = 30;
    run.foldersSkipped = 2;
    EXPECT_EQ(SummaryLine(run, 3, 3725s + 40ms),
              "Summary: 12 pages written, 30 unchanged, 1 kept, 2 folders skipped, 3 errors in "
              "3725.0 s.");
}

}  // namespace
}  // namespace tabulo::test
