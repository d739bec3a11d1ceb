#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audit/Audit.h"
#include "host/Host.h"
#include "host/StatusSink.h"
#include "colours/ColourEditor.h"
#include "run/IndexRun.h"
#include "run/RunSummary.h"
#include "options/Options.h"
#include "options/Panel.h"
#include "preview/Preview.h"

namespace tabulo {

class Descriptor;
class HashCache;
class TreeTotals;
class SearchNames;
struct RunSettings;

// An index run that asks nothing (the daemon and the watching command line): `folder` alone
// or with its tree. A watch names the folders that changed in `only` (each alone, or with its
// tree when marked), found again from `pinned`, the watched folder opened when the watch
// began, so that a folder swapped for a link meanwhile is never entered; it keeps its digest
// cache in `hashCache` and the totals of its folders in `treeTotals` from run to run, and has
// the pages that show a folder the run wrote into written again (`settle`).
struct UnattendedRun {
    std::string folder;
    bool recursive = true;
    std::vector<std::pair<std::string, bool>> only;
    const Descriptor* pinned = nullptr;
    HashCache* hashCache = nullptr;
    bool settle = false;
    TreeTotals* treeTotals = nullptr;
    SearchNames* searchNames = nullptr;  // the names of the search index, kept likewise
};

// What the main window owns: the options, the run state, the status line and the current
// folder. Every operation reaches the outside only through the host.
class PanelRules;
class IconDownloader;

class Engine : public StatusSink {
  public:
    explicit Engine(Host& host);
    ~Engine();

    // The option set: read it, or change it through its own setters, which tell the rules.
    Options& options() { return options_; }
    const Options& options() const { return options_; }
    // The host as every operation reaches it: during an unattended run it opens no dialog.
    Host& host() { return guard_; }
    const Panel& panel() const { return panel_; }
    // The www-root field is locked (disabled, its lock button hidden) or free.
    void lockWwwRootField(bool locked);
    void showWwwRootLock(bool shown);
    // The theme row after choosing entry `index` of the theme list, or typing in it: what the
    // load button says, and which buttons are there.
    void showChosenTheme(int index);
    void showTypedThemeName(const std::string& loadCaption);

    const std::string& statusLine() const { return status_; }
    void setStatus(std::string text);
    // The status sink of the subsystems: a plain line, or an error of the run.
    void status(std::string text) override { setStatus(std::move(text)); }
    void error(std::string text) override;
    void detail(std::string text) override;
    // Whether a status message with "Error" came since the last index run began; the icon
    // downloader's messages do not count, as they come from outside.
    bool runSawError() const { return errors_ > errorsBeforeRun_; }
    // Errors reported since the engine was made: a tool compares before and after a step.
    unsigned errorCount() const { return errors_; }
    void setNetworkStatus(std::string text);

    // Lets pending events run: socket events first, then the host's own.
    void letEventsRun();
    // Waits for the last icon fetch to end (a tool that is about to exit).
    void finishPendingEvents();
    // Runs the socket events that are ready, for a window's own event loop.
    void pollNetwork();
    const IconDownloader& downloader() const { return *downloader_; }
    void setIconTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds silence,
                         std::chrono::milliseconds whole);

    // The folder whose page is written (the folder list's path).
    const std::string& currentFolder() const { return currentFolder_; }
    // Kept in one spelling: "/srv/www/" and "/srv/www" are the same folder.
    void setCurrentFolder(std::string_view path);

    const IndexRun& run() const { return run_; }
    // The www root's depth that the server scripts are written for, before any run.
    void setRunRootDepth(int depth) { run_.rootDepth = depth; }
    const NeededIconList& neededIcons() const { return neededIcons_; }
    void AddNeededIcon(const std::string& name) { neededIcons_.add(name); }

    // Today's date for the about line; replaceable so pages can be compared byte for byte.
    std::function<std::tm()> today;
    // What "Go!" runs: the index run; tests and fuzzing put a recorder here, so a start-up
    // under test never walks a real tree.
    std::function<void(Engine&)> indexRunner;

    // Threads that read folders and render pages during a run (1: the run's own alone).
    int jobs() const { return jobs_; }
    void setJobs(int jobs) { jobs_ = jobs < 1 ? 1 : jobs; }

    // The theme list: "default", "random", then the themes found and saved.
    const std::vector<std::string>& themeList() const { return themeList_; }
    void setThemeList(std::vector<std::string> list) { themeList_ = std::move(list); }
    // A saved theme joins the list once; a deleted one leaves it ("default" and "random" stay).
    void addTheme(const std::string& name);
    void removeTheme(const std::string& name);

    // While a theme's lines apply, rules that would fill paths from the folder list wait; they
    // run on the result (runWaitingRules), and ending the load drops what still waits.
    bool loadingTheme() const;
    void setLoadingTheme(bool loading);
    void runWaitingRules();

    // The schematic page and how often it was refreshed; the window redraws when it grows.
    const PreviewModel& preview() const { return preview_; }
    unsigned previewVersion() const { return previewVersion_; }
    const ColourEditor& colours() const { return colours_; }
    // The colour mixer's operations.
    void GenerateRandomScheme() { colours_.GenerateRandomScheme(); }
    void SelectColorSlot(int slot) { colours_.SelectColorSlot(slot); }
    void ParkMixer() { colours_.ParkMixer(); }
    void cmdBrowseColor_Click() { colours_.cmdBrowseColor_Click(); }
    void cmdBrowseFont_Click() { colours_.cmdBrowseFont_Click(); }
    void RefreshColorField(int slot) { colours_.RefreshColorField(slot); }
    void ShowLoadedColours() { colours_.ShowLoadedColours(); }
    // Where random colours come from; replaceable so tests can repeat a scheme.
    void setColourRandomSource(std::function<std::function<double()>()> source) {
        colours_.randomSource = std::move(source);
    }

    // An index run of `folder` that asks nothing: pages are replaced when their bytes changed,
    // nothing is opened when done and no dialog is shown; `recursive` false writes that
    // folder's page alone. The folder list is left where it was. For the daemon and the
    // watching command line.
    void RunUnattended(const std::string& folder, bool recursive) {
        UnattendedRun run;
        run.folder = folder;
        run.recursive = recursive;
        RunUnattended(run);
    }
    void RunUnattended(const UnattendedRun& run);
    bool unattended() const { return unattended_ != nullptr; }
    const UnattendedRun* unattendedRun() const { return unattended_; }
    // Asked before each folder of a run: true ends the walk there, pages written so far stay.
    std::function<bool()> stopRequested;

    // What publishing `folder` with the current options would make reachable. Writes nothing;
    // nothing, with the error said, when the folder cannot be read.
    std::optional<AuditReport> Audit(const std::string& folder);
    // The window's runs: before the first run on a tree, the audit's findings are shown and
    // the user chooses to index anyway or not.
    bool auditBeforeFirstRun = false;

    // The pages of a bucket's folders below `address` ("s3://BUCKET[/PREFIX]"), with the current
    // options, written back into the bucket; `endpoint` (else AWS_ENDPOINT_URL) says where the
    // store is; `inventory` (a manifest.json of an S3 Inventory), when given, lists the objects
    // instead of the store. The exit status of a run: 0 done, 1 an error said, 2 no bucket
    // address.
    int RunBucket(const std::string& address, const std::string& endpoint, bool dryRun,
                  const std::string& inventory = "");

    // Operations.
    void cmdGo_Click();
    // After a run started here (not an unattended one) that reached its end: what it did, and
    // its top page, which cmdOpenPage_Click opens. Nothing while another run goes or failed.
    const std::optional<RunReport>& lastRunReport() const { return lastReport_; }
    void cmdOpenPage_Click();
    void cmdWriteCss_Click();
    void cmdDlIcons_Click();
    void cmdPreView_Click();
    void cmdMakeScript_Click();
    void ToggleOptionsPanel();

    void cmdBrowseMoreWWW_Click();
    void cmdRemoveMoreWWW_Click(int selected);
    void cmdBrowseDesc_Click();
    void cmdBrowseIconPath_Click();
    void cmdBrowseAllInOneFolder_Click();
    // Shell requests: the current folder, the product's site, the site owner's page.
    void cmdOpen_Click();
    void lblUpdate_Click(const std::string& programFolder);
    void txtAboutLink_DblClick();

  private:
    // One index run of the current folder, as "Go!" does; the icons its pages need.
    static void RunIndex(Engine& engine);
    static void StoreIcons(Engine& engine, const RunSettings& settings, int tree);
    // Whether the run of `settings` may go on, after the audit of a tree never indexed before.
    bool passesFirstAudit(const RunSettings& settings);
    std::vector<std::string> auditedTrees_;

    // Forwards to the real host, except that during an unattended run a question is answered
    // without a dialog: a message goes to the status line, a question gets "Yes", as the
    // run replaces what changed.
    class UnattendedGuard : public Host {
      public:
        explicit UnattendedGuard(Engine& engine) : engine_(engine) {}
        void status(const std::string& text) override { engine_.host_.status(text); }
        void error(const std::string& text) override { engine_.host_.error(text); }
        void detail(const std::string& text) override { engine_.host_.detail(text); }
        Answer ask(const std::string& text, const std::string& title, Buttons buttons) override;
        Answer warn(const std::string& text, const std::string& details, const std::string& title,
                    const std::string& proceed) override {
            // Nobody is there to be warned during an unattended run.
            if (engine_.unattended()) return Answer::Cancel;
            return engine_.host_.warn(text, details, title, proceed);
        }
        std::optional<Answer> standingAnswer() const override;
        void processEvents() override { engine_.host_.processEvents(); }
        void progress(int done, int found) override { engine_.host_.progress(done, found); }
        void hashed(std::uint64_t bytes) override { engine_.host_.hashed(bytes); }
        void openInShell(const std::string& target, const std::string& folder) override;
        std::optional<std::string> chooseFolder(const std::string& start) override {
            return engine_.host_.chooseFolder(start);
        }
        std::optional<std::uint32_t> chooseColor(std::uint32_t initial) override {
            return engine_.host_.chooseColor(initial);
        }
        std::optional<Font> chooseFont(const Font& initial) override {
            return engine_.host_.chooseFont(initial);
        }

      private:
        Engine& engine_;
    };

    // The icon downloader's lines: shown like any other, but as they come from outside they
    // never count as errors of the run.
    class NetworkStatus : public StatusSink {
      public:
        explicit NetworkStatus(Engine& engine) : engine_(engine) {}
        void status(std::string text) override { engine_.setNetworkStatus(std::move(text)); }
        void error(std::string text) override { engine_.show(std::move(text), &Host::error); }

      private:
        Engine& engine_;
    };

    // A new status line, passed to the host as the kind of line `say` names.
    void show(std::string text, void (Host::*say)(const std::string&));

    Host& host_;
    UnattendedGuard guard_{*this};
    Options options_;
    Panel panel_;
    std::unique_ptr<PanelRules> rules_;
    NetworkStatus networkStatus_{*this};
    std::unique_ptr<IconDownloader> downloader_;
    std::vector<std::string> themeList_{"default", "random"};
    unsigned previewVersion_ = 0;
    PreviewModel preview_;
    ColourEditor colours_{options_, panel_, guard_, [this] { cmdPreView_Click(); }};
    unsigned errors_ = 0, errorsBeforeRun_ = 0;
    IndexRun run_;
    std::optional<RunReport> lastReport_;
    NeededIconList neededIcons_;
    std::string status_;
    std::string currentFolder_;
    int jobs_ = 1;
    const UnattendedRun* unattended_ = nullptr;  // set while an unattended run goes
};

}  // namespace tabulo
