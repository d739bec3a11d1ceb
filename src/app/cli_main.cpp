// tabulo-cli: index a folder tree from the command line and end.
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "Engine.h"
#include "TerminalHost.h"
#include "app/Startup.h"
#include "app/Watch.h"
#include "common/FolderAccess.h"
#include "common/Paths.h"
#include "generator/FolderWatch.h"
#include "common/Text.h"

namespace {

constexpr const char* kUsage =
    "usage: tabulo-cli [--answer=yes|no|cancel] [--jobs N] FOLDER [-view] [-noquit] [-sheme "
    "THEME]\n"
    "       tabulo-cli --themes\n"
    "       tabulo-cli --save-theme NAME [-sheme THEME]\n"
    "       tabulo-cli --scripts FOLDER [-sheme THEME]\n"
    "       tabulo-cli --watch FOLDER [-sheme THEME]\n"
    "Writes an index page into FOLDER and every folder below it.\n"
    "  --answer=A       answer to overwrite questions when stdin is no terminal (default: no)\n"
    "  --jobs N         threads that read folders and render pages (default: the cores)\n"
    "  --themes         list the themes\n"
    "  --save-theme N   save the options after start-up as theme N, index nothing\n"
    "  --scripts F      write the index and upload scripts into folder F, index nothing\n"
    "  --watch F        index folder F, then keep its pages current until SIGINT or SIGTERM\n"
    "  -view            open the written page when done\n"
    "  -sheme THEME     index with that theme (the name comes last)\n"
    "Themes live in $TABULO_HOME, else $XDG_CONFIG_HOME/tabulo, else ~/.config/tabulo.\n";

// The watch in progress, for the signal handler; the flag tells the run to stop.
std::atomic<bool> stopWatching{false};
tabulo::FolderWatch* activeWatch = nullptr;

extern "C" void onStopSignal(int) {
    stopWatching = true;
    if (activeWatch) activeWatch->interrupt();
}

int usageError(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "tabulo-cli: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // A reader that went away (| head) must not end the run half-way; lines it would have
    // read are dropped.
    std::signal(SIGPIPE, SIG_IGN);
    tabulo::raiseDescriptorLimit();
    tabulo::Answer answer = tabulo::Answer::No;
    int jobs = 0;  // the number of cores
    bool listThemes = false;
    std::string saveAs, scriptsFolder, watchFolder;
    bool save = false, scripts = false, watch = false;
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!arg.starts_with("--")) break;
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("tabulo-cli 42");
            return 0;
        } else if (arg == "--answer=yes") {
            answer = tabulo::Answer::Yes;
        } else if (arg == "--answer=no") {
            answer = tabulo::Answer::No;
        } else if (arg == "--answer=cancel") {
            answer = tabulo::Answer::Cancel;
        } else if (arg == "--jobs" || arg.starts_with("--jobs=")) {
            std::string_view n = arg == "--jobs" ? (i + 1 < argc ? argv[++i] : "") : arg.substr(7);
            int value = 0;
            auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), value);
            if (ec != std::errc() || end != n.data() + n.size() || value < 1 || value > 256)
                return usageError("--jobs takes a number from 1 to 256");
            jobs = value;
        } else if (arg == "--themes") {
            listThemes = true;
        } else if (arg == "--save-theme" && i + 1 < argc) {
            save = true;
            saveAs = argv[++i];
        } else if (arg == "--scripts" && i + 1 < argc) {
            scripts = true;
            scriptsFolder = argv[++i];
        } else if (arg == "--watch" && i + 1 < argc) {
            watch = true;
            watchFolder = argv[++i];
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }
    // Status lines to a file or a pipe go out in blocks, not one write each; a watch tells of
    // each change as it happens.
    static char errBuffer[1 << 16];
    if (!watch && !::isatty(STDERR_FILENO))
        std::setvbuf(stderr, errBuffer, _IOFBF, sizeof errBuffer);
    std::string line;
    for (; i < argc; ++i) line += (i > 1 && !line.empty() ? " " : "") + std::string(argv[i]);

    tabulo::TerminalHost host(answer, ::isatty(STDIN_FILENO) != 0, stdin, stderr);
    tabulo::Engine engine(host);
    if (jobs > 0) engine.setJobs(jobs);
    using tabulo::StartMode;

    if (listThemes) {
        if (!line.empty() || save) return usageError("--themes takes nothing else");
        tabulo::Form_Activate(engine, "", StartMode::Tool, false);
        for (const auto& name : engine.themeList()) std::printf("%s\n", name.c_str());
        return 0;
    }
    if (save) {
        if (!line.empty() && !line.starts_with("-sheme "))
            return usageError("--save-theme takes only -sheme THEME");
        tabulo::Form_Activate(engine, line, StartMode::Tool, false);
        if (engine.errorCount() != 0) return 1;
        engine.options().setText(tabulo::opt("cmbSheme"), saveAs);
        engine.options().setEditedMark("ok");  // saved without a question
        engine.cmdSave_Click();
        return engine.errorCount() != 0 ? 1 : 0;
    }
    if (scripts) {
        if (!line.empty() && !line.starts_with("-sheme "))
            return usageError("--scripts takes only -sheme THEME");
        tabulo::Form_Activate(engine, line, StartMode::Tool, false);
        if (engine.errorCount() != 0) return 1;
        if (!tabulo::PrepareScriptFolder(engine, scriptsFolder)) return 1;
        engine.cmdMakeScript_Click();
        return engine.errorCount() != 0 ? 1 : 0;
    }
    if (watch) {
        if (!line.empty() && !line.starts_with("-sheme "))
            return usageError("--watch takes only -sheme THEME");
        tabulo::Form_Activate(engine, line, StartMode::Tool, false);
        if (engine.errorCount() != 0) return 1;
        auto real = tabulo::realPath(watchFolder);
        if (!real || !tabulo::DirExists(*real)) {
            std::fprintf(stderr, "Error: The `%s` directory not found.\n", watchFolder.c_str());
            return 1;
        }
        try {
            tabulo::FolderWatch folderWatch(*real);
            activeWatch = &folderWatch;
            struct sigaction action {};
            action.sa_handler = onStopSignal;
            ::sigemptyset(&action.sa_mask);
            ::sigaction(SIGINT, &action, nullptr);
            ::sigaction(SIGTERM, &action, nullptr);
            int status = tabulo::WatchAndIndex(engine, *real, folderWatch, stopWatching);
            activeWatch = nullptr;
            engine.finishPendingEvents();
            return status;
        } catch (const std::system_error& e) {
            std::fprintf(stderr, "Error: cannot watch `%s`: %s\n", real->c_str(), e.what());
            return 1;
        }
    }
    if (line.empty()) return usageError("");
    auto outcome = tabulo::Form_Activate(engine, line, StartMode::Tool);
    if (outcome.noFolder) return usageError("no folder on the command line");
    bool ok = outcome.started && engine.statusLine() == "Done" && !engine.runSawError();
    // Icons may still be coming; failed icons are reported but leave the run a success.
    engine.finishPendingEvents();
    return ok ? 0 : 1;
}
