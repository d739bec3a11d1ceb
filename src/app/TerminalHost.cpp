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

void TerminalHost::writeLine(const std::string& text) {
    // One write per line, flushed whatever buffer the stream has: nothing waits in memory for
    // a crash to lose.
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fflush(err_);
    lastLine_ = std::chrono::steady_clock::now();
}

void TerminalHost::status(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ != Verbosity::Quiet) writeLine(text);
}

void TerminalHost::error(const std::string& text) {
    std::lock_guard lock(mutex_);
    writeLine(text);
}

void TerminalHost::detail(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Verbose) writeLine(text);
}

void TerminalHost::summary(const std::string& text) {
    std::lock_guard lock(mutex_);
    writeLine(text);
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
