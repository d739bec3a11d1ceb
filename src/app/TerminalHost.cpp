#include "TerminalHost.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>

#include "common/Text.h"

extern char** environ;

namespace tabulo {

void TerminalHost::status(const std::string& text) {
    std::fprintf(err_, "%s\n", text.c_str());
    // Someone watching a terminal sees each line at once; a file or a pipe gets them in blocks.
    if (::isatty(::fileno(err_))) std::fflush(err_);
}

Answer TerminalHost::ask(const std::string& text, const std::string& title, Buttons buttons) {
    if (buttons == Buttons::Ok) {
        std::fprintf(err_, "%s: %s\n", title.c_str(), text.c_str());
        return Answer::Yes;
    }
    bool cancel = buttons == Buttons::YesNoCancel || buttons == Buttons::YesNoAllCancel;
    bool all = buttons == Buttons::YesNoAllCancel;
    if (!interactive_) return !cancel && preset_ == Answer::Cancel ? Answer::No : preset_;
    for (;;) {
        std::fprintf(err_, "%s: %s [y]es/[n]o%s%s ", title.c_str(), text.c_str(),
                     all ? "/yes to [a]ll/n[o] to all" : "", cancel ? "/[c]ancel" : "");
        std::fflush(err_);
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

}  // namespace tabulo
