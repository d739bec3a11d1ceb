#include "TerminalHost.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>

#include "run/IndexRun.h"
#include "run/RunSummary.h"

extern char** environ;

namespace tabulo {

namespace {

// Held lines are written when this many bytes wait, however young they are.
constexpr std::size_t kHeldMost = std::size_t{64} * 1024;

}  // namespace

TerminalHost::TerminalHost(Answer presetAnswer, bool interactive, std::FILE* in, std::FILE* err,
                           Verbosity verbosity, std::optional<std::chrono::milliseconds> batch)
    : preset_(presetAnswer), interactive_(interactive), in_(in), err_(err), verbosity_(verbosity),
      batch_(batch) {
    if (batch_) flusher_ = std::thread([this] { flushWhenDue(); });
}

TerminalHost::~TerminalHost() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    flush();
}

void TerminalHost::flush() {
    std::lock_guard lock(mutex_);
    writeHeld();
}

void TerminalHost::writeHeld() {
    if (held_.empty()) return;
    std::fwrite(held_.data(), 1, held_.size(), err_);
    std::fflush(err_);
    held_.clear();
}

void TerminalHost::flushWhenDue() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, *batch_);
        if (!held_.empty() && std::chrono::steady_clock::now() - heldSince_ >= *batch_) writeHeld();
    }
}

void TerminalHost::writeLine(const std::string& text) {
    lastLine_ = std::chrono::steady_clock::now();
    if (held_.empty()) heldSince_ = lastLine_;
    held_ += text;
    held_ += '\n';
    // Unbatched, one write per line, flushed whatever buffer the stream has: nothing waits in
    // memory for a crash to lose.
    if (!batch_ || held_.size() >= kHeldMost) writeHeld();
}

void TerminalHost::status(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ != Verbosity::Quiet) writeLine(text);
}

void TerminalHost::error(const std::string& text) {
    std::lock_guard lock(mutex_);
    writeLine(text);
    writeHeld();
}

void TerminalHost::detail(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Verbose) writeLine(text);
}

void TerminalHost::summary(const std::string& text) {
    std::lock_guard lock(mutex_);
    writeLine(text);
    writeHeld();
}

bool TerminalHost::statusWhenIdle(const std::string& text,
                                  std::chrono::steady_clock::duration idle) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Quiet || asking_ ||
        std::chrono::steady_clock::now() - lastLine_ < idle)
        return false;
    writeLine(text);
    return true;
}

Answer TerminalHost::ask(const std::string& text, const std::string& title, Buttons buttons) {
    if (buttons == Buttons::Ok) {
        std::lock_guard lock(mutex_);
        writeLine(title + ": " + text);
        writeHeld();
        return Answer::Yes;
    }
    bool cancel = buttons == Buttons::YesNoCancel || buttons == Buttons::YesNoAllCancel;
    bool all = buttons == Buttons::YesNoAllCancel;
    if (!interactive_) return !cancel && preset_ == Answer::Cancel ? Answer::No : preset_;
    // No progress line may land in the middle of the question.
    struct Asking {
        TerminalHost& host;
        explicit Asking(TerminalHost& h) : host(h) { set(true); }
        ~Asking() { set(false); }
        void set(bool on) {
            std::lock_guard lock(host.mutex_);
            host.asking_ = on;
        }
    } asking{*this};
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            writeHeld();
            std::fprintf(err_, "%s: %s [y]es/[n]o%s%s ", title.c_str(), text.c_str(),
                         all ? "/yes to [a]ll/n[o] to all" : "", cancel ? "/[c]ancel" : "");
            std::fflush(err_);
        }
        char line[64];
        if (!std::fgets(line, sizeof line, in_)) return cancel ? Answer::Cancel : Answer::No;
        switch (std::tolower(static_cast<unsigned char>(line[0]))) {
            case 'y':
                return Answer::Yes;
            case 'n':
                return Answer::No;
            case 'a':
                if (all) return Answer::YesToAll;
                break;
            case 'o':
                if (all) return Answer::NoToAll;
                break;
            case 'c':
                if (cancel) return Answer::Cancel;
                break;
        }
    }
}

void TerminalHost::openInShell(const std::string& target, const std::string& workingFolder) {
    // Detached from our output; a desktop without an opener stays silent.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    (void)workingFolder;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ) == 0) {
        int status;
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

std::string SummaryLine(const IndexRun& run, unsigned errors,
                        std::chrono::steady_clock::duration took) {
    auto count = CountedText;
    // Tenths of a second with a point, whatever the locale's decimal sign.
    auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 100;
    return "Summary: " + count(run.pagesWritten, "page written", "pages written") + ", " +
           std::to_string(run.pagesUnchanged) + " unchanged, " +
           std::to_string(run.pagesDeclined) + " kept, " +
           count(run.foldersSkipped, "folder skipped", "folders skipped") + ", " +
           count(errors, "error", "errors") + " in " + std::to_string(tenths / 10) + "." +
           std::to_string(tenths % 10) + " s.";
}

}  // namespace tabulo
