// tabulo-cli: index a folder tree from the command line and end.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "engine/Engine.h"
#include "HashTicker.h"
#include "TerminalHost.h"
#include "commands/Startup.h"
#include "commands/Watch.h"
#include "common/FolderAccess.h"
#include "common/Memory.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "search/SearchIndex.h"
#include "watch/FolderWatch.h"
#include "themes/Themes.h"
#include "commands/ThemeCommands.h"

namespace {

using tabulo::CommandLine;
using tabulo::Engine;
using tabulo::StartMode;
using tabulo::TerminalHost;

// The watch in progress, for the signal handler; the flag tells the run to stop.
std::atomic<bool> stopWatching{false};
tabulo::FolderWatch* activeWatch = nullptr;

extern "C" void onStopSignal(int) {
    stopWatching = true;
    if (activeWatch) activeWatch->interrupt();
}

// --search: the written index alone, no walk. 0 when something matched, 1 when nothing did,
// 2 when there is no index to read.
int search(const CommandLine& command) {
    const std::string folder = command.target;
    tabulo::Descriptor top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    tabulo::Descriptor index(top ? ::openat(top.get(), std::string(tabulo::kSearchFolder).c_str(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                 : -1);
    auto read = [&index](const std::string& name) -> std::optional<std::string> {
        std::error_code ec;
        auto text = tabulo::readRegularFileAt(index.get(), name, ec, 1 << 24);
        if (!text || !text->starts_with(tabulo::kSearchMark)) return std::nullopt;
        return text;
    };
    if (!index || !read(std::string(tabulo::kSearchManifest))) {
        std::fprintf(stderr, "tabulo-cli: no search index in `%s`; a run with the search index on "
                             "writes one there.\n", folder.c_str());
        return 2;
    }
    auto hits = tabulo::SearchIndex(read, command.query);
    for (const tabulo::SearchHit& hit : hits) {
        const tabulo::SearchRecord& r = hit.record;
        std::string path = (r.folder.empty() ? "" : r.folder + "/") + r.name + (r.isFolder ? "/" : "");
        // The bytes of the path, as find prints them, so that scripts can use it.
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc('\n', stdout);
    }
    return hits.empty() ? 1 : 0;
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "tabulo-cli: %s\n%sRun `tabulo-cli --help` for every option.\n",
                 why.c_str(), tabulo::UsageText().c_str());
    return 2;
}

// Times a run and counts its errors, for the line that ends it.
class RunSummary {
  public:
    explicit RunSummary(const Engine& engine)
        : start_(std::chrono::steady_clock::now()), errorsBefore_(engine.errorCount()) {}
    std::string line(Engine& engine) const {
        return tabulo::SummaryLine(engine.run(), engine.errorCount() - errorsBefore_,
                                   std::chrono::steady_clock::now() - start_);
    }

  private:
    std::chrono::steady_clock::time_point start_;
    unsigned errorsBefore_;
};

// A theme that is not there: the one error is said; what there is follows.
int unknownTheme(Engine& engine, TerminalHost& host, const std::string& name) {
    std::vector<std::string> themes;
    std::string list;
    for (const std::string& theme : engine.themeList()) {
        if (!tabulo::isFile(tabulo::ThemePath(theme))) continue;
        list += (themes.empty() ? "" : ", ") + theme;
        themes.push_back(theme);
    }
    std::string text = themes.empty() ? "There are no themes yet; --save-theme NAME saves one."
                                      : "The themes there are: " + list + ".";
    if (auto near = tabulo::ClosestName(name, themes)) text = "Did you mean `" + *near + "`? " + text;
    host.error(text);
    return 2;
}

// Start-up for a task that indexes nothing: the options as the named or default theme leaves
// them. The exit status when that failed.
std::optional<int> startWithoutRun(Engine& engine, TerminalHost& host, const std::string& line) {
    auto outcome = tabulo::Form_Activate(engine, line, StartMode::Tool, false);
    if (outcome.themeMissing) return unknownTheme(engine, host, outcome.theme);
    if (engine.errorCount() != 0) return 1;
    return std::nullopt;
}

std::optional<int> folderMissing(Engine& engine, const std::string& folder) {
    auto missing = tabulo::MissingFolderMessage(folder);
    if (!missing) return std::nullopt;
    engine.error(*missing);
    return 2;
}

int listThemes(Engine& engine) {
    tabulo::Form_Activate(engine, "", StartMode::Tool, false);
    for (const auto& name : engine.themeList()) std::printf("%s\n", name.c_str());
    return 0;
}

int saveTheme(Engine& engine, TerminalHost& host, const CommandLine& command) {
    if (auto failed = startWithoutRun(engine, host, command.line)) return *failed;
    engine.options().setText(tabulo::opt("cmbSheme"), command.target);
    engine.options().setEditedMark("ok");  // saved without a question
    cmdSave_Click(engine);
    return engine.errorCount() != 0 ? 1 : 0;
}

int writeScripts(Engine& engine, TerminalHost& host, const CommandLine& command) {
    if (auto failed = startWithoutRun(engine, host, command.line)) return *failed;
    if (auto failed = folderMissing(engine, command.target)) return *failed;
    if (!tabulo::PrepareScriptFolder(engine, command.target)) return 1;
    engine.cmdMakeScript_Click();
    return engine.errorCount() != 0 ? 1 : 0;
}

// --audit: the walk of a run with nothing written; the report on stdout. 0 when nothing
// serious was found, 3 when something was, 1 when a folder could not be read.
int audit(Engine& engine, TerminalHost& host, const CommandLine& command) {
    if (auto failed = startWithoutRun(engine, host, command.line)) return *failed;
    if (auto failed = folderMissing(engine, command.target)) return *failed;
    auto report = engine.Audit(command.target);
    if (!report) return 1;
    const std::string text = command.json ? tabulo::AuditJson(*report) : tabulo::AuditText(*report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return tabulo::AuditExitStatus(*report);
}

// s3://BUCKET[/PREFIX]: the bucket's pages, written back into it.
int bucket(Engine& engine, TerminalHost& host, const CommandLine& command) {
    if (auto failed = startWithoutRun(engine, host, command.line)) return *failed;
    const int status = engine.RunBucket(command.target, command.endpoint, command.dryRun, command.inventory);
    engine.finishPendingEvents();
    return status;
}

int watch(Engine& engine, TerminalHost& host, const CommandLine& command) {
    if (auto failed = startWithoutRun(engine, host, command.line)) return *failed;
    if (auto failed = folderMissing(engine, command.target)) return *failed;
    auto real = tabulo::realPath(command.target);
    if (!real || !tabulo::DirExists(*real)) {
        engine.error("Error: The `" + command.target + "/` directory not found or empty.");
        return 1;
    }
    // Each batch is a run of its own, and says so in a summary of its own.
    engine.indexRunner = [&host, walk = engine.indexRunner](Engine& e) {
        RunSummary summary(e);
        walk(e);
        host.summary(summary.line(e));
    };
    tabulo::HashTicker ticker(engine.run().bytesHashed, host);
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
        engine.error("Error: cannot watch `" + *real + "`: " + e.what());
        return 1;
    }
}

int indexFolder(Engine& engine, TerminalHost& host, const CommandLine& command) {
    RunSummary summary(engine);
    tabulo::StartOutcome outcome;
    {
        tabulo::HashTicker ticker(engine.run().bytesHashed, host);
        outcome = tabulo::Form_Activate(engine, command.line, StartMode::Tool);
    }
    if (outcome.themeMissing) return unknownTheme(engine, host, outcome.theme);
    if (outcome.noFolder) return usageError("no folder on the command line");
    if (outcome.folderMissing) return 2;
    if (!outcome.started) return 1;
    // A Cancel ends the run early: what it was meant to write is not all there.
    bool cancelled = engine.run().replaceCancelled || engine.statusLine() == "Cancelled";
    bool ok = engine.statusLine() == "Done" && !engine.runSawError();
    // Icons may still be coming; failed icons are reported but leave the run a success.
    engine.finishPendingEvents();
    host.summary(summary.line(engine));
    return ok && !cancelled ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");  // NOLINT(concurrency-mt-unsafe): no other thread runs yet
    // A reader that went away (| head) must not end the run half-way; lines it would have
    // read are dropped.
    std::signal(SIGPIPE, SIG_IGN);
    tabulo::raiseDescriptorLimit();
    tabulo::keepFreedMemoryForReuse();
    bool shippedThemesThere = false;
    auto isTheme = [&shippedThemesThere](const std::string& name) {
        if (!std::exchange(shippedThemesThere, true)) tabulo::InstallShippedThemes();
        return tabulo::IsValidThemeName(name) && tabulo::isFile(tabulo::ThemePath(name));
    };
    CommandLine command = tabulo::ParseCommandLine({argv + 1, argv + argc}, isTheme);
    if (!command.mistake.empty()) return usageError(command.mistake);
    if (command.task == CommandLine::Task::Help) {
        std::fputs(tabulo::HelpText().c_str(), stdout);
        return 0;
    }
    if (command.task == CommandLine::Task::Version) {
        std::puts("tabulo-cli " TABULO_VERSION);
        return 0;
    }
    if (command.task == CommandLine::Task::Search) return search(command);

    // Status lines for a log or a pipe are gathered; a terminal shows each as it comes.
    std::optional<std::chrono::milliseconds> batch;
    if (::isatty(STDERR_FILENO) == 0) batch = std::chrono::milliseconds(200);
    TerminalHost host(command.answer, ::isatty(STDIN_FILENO) != 0, stdin, stderr,
                      command.verbosity, batch);
    Engine engine(host);
    if (command.jobs > 0) engine.setJobs(command.jobs);
    switch (command.task) {
        case CommandLine::Task::ListThemes:
            return listThemes(engine);
        case CommandLine::Task::SaveTheme:
            return saveTheme(engine, host, command);
        case CommandLine::Task::Scripts:
            return writeScripts(engine, host, command);
        case CommandLine::Task::Watch:
            return watch(engine, host, command);
        case CommandLine::Task::Audit:
            return audit(engine, host, command);
        case CommandLine::Task::Bucket:
            return bucket(engine, host, command);
        default:
            return indexFolder(engine, host, command);
    }
}
