#include "engine/Engine.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include "rules/PanelRules.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/Descriptor.h"
#include "common/FileSystemFlush.h"
#include "common/FolderAccess.h"
#include "common/Text.h"
#include "bucket/BucketDigests.h"
#include "bucketwalk/BucketStore.h"
#include "bucketwalk/BucketWalk.h"
#include "inventory/Inventory.h"
#include "news/NewsRecord.h"
#include "pages/ModernPage.h"
#include "pages/PagePrint.h"
#include "pages/Pages.h"
#include "walk/Driver.h"
#include "checksums/FileHashes.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "icons/IconDownloader.h"
#include "icons/IconOptions.h"
#include "icons/LocalIcons.h"
#include "scripts/ServerScripts.h"
#include "shell/Shell.h"
#include "state/PageState.h"
#include "stylesheet/Stylesheet.h"

namespace tabulo {

namespace {

// The folder at `path` when it lies in the run's tree (its resolved path below the tree's),
// opened from the tree's descriptor without following any link.
Descriptor openInTree(const RunSettings& s, int tree, const std::string& path) {
    auto real = realPath(path);
    if (!real) throw std::system_error(errno, std::generic_category(), path);
    auto relative = relativeTo(*real, s.tree);
    if (!relative) throw placeError(WriteError::OutsideTree, path);
    return openBeneath(tree, *relative, false);
}

// The folders a watch asked for, found again below the watched folder through descriptors:
// one swapped for a link meanwhile is never entered; one that is gone has nothing to show.
std::vector<WalkTarget> watchTargets(Engine& engine, const RunSettings& s, const UnattendedRun& job) {
    std::vector<WalkTarget> targets;
    for (const auto& [folder, recursive] : job.only) {
        std::string path = normalFolder(folder);
        try {
            auto relative = relativeTo(path, s.top);
            if (!relative) throw placeError(WriteError::OutsideTree, path);
            targets.push_back({path, share(openBeneath(s.topFolder->get(), *relative, false)), recursive});
        } catch (const std::system_error& e) {
            if (e.code() == std::errc::no_such_file_or_directory) continue;
            engine.error("Error reading folder `" + toUtf8(path) + "`: " + e.code().message() +
                         "; skipped.");
        }
    }
    return targets;
}

}  // namespace

// The icons the pages need, below the site's root when it lies in the tree: the shipped set
// first; the service only for what it lacks, and only a real one; a type left without a
// picture gets the "unknown" one, so no page shows a broken icon.
void Engine::StoreIcons(Engine& engine, const RunSettings& settings, int tree) {
    const OptionValues& snap = settings.o;
    SharedFolder root = settings.topFolder;
    if (normalFolder(settings.siteRoot) != normalFolder(settings.top)) {
        try {
            root = share(openInTree(settings, tree, settings.siteRoot));
        } catch (const std::system_error& e) {
            engine.status("Skipping the icons in `" + toUtf8(settings.siteRoot) + "`: " +
                          e.code().message() + ".");
            return;
        }
    }
    const std::string shipped = ShippedDataFolder();
    LocalIcons icons(snap, root, settings.siteRoot, settings.treeId,
                     shipped.empty() ? "" : shipped + "/icons", engine);
    auto missing = icons.copyShipped(engine.neededIcons_.names());
    if (!missing.empty() && snap.on(opt("chkIconsDownloaded")) &&
        IsRealIconService(snap.text(opt("txtIcohrefDl"))) &&
        !contains(snap.text(opt("lblWWWroot")), "?")) {
        struct Store {
            IconDownloader& downloader;
            ~Store() { downloader.setStore(nullptr); }
        } store{*engine.downloader_};
        engine.downloader_->setStore(&icons);
        engine.cmdDlIcons_Click();
        engine.finishPendingEvents();
    }
    icons.fillMissing(missing);
}

// One index run of the current folder: the pages, then the stylesheet, the icons, the
// all-in-one footer and the view, as "Go!" does. Every folder of the run is opened from the
// tree's descriptor, never through a link leading out of it.
void Engine::RunIndex(Engine& engine) {
    Options& o = engine.options();
    IndexRun& run = engine.run_;
    run.replaceCancelled = false;
    run.allInOneHeadWritten = false;
    run.serverTotal = 0;
    run.pagesWritten = run.pagesUnchanged = run.pagesPassedOver = run.pagesDeclined = run.foldersSkipped = 0;
    run.topPage.clear();
    run.topPageFolder.clear();
    if (WantsIconFiles(o)) {
        engine.AddNeededIcon("dir");
        engine.AddNeededIcon("unknown");
    }
    const UnattendedRun* job = engine.unattendedRun();
    const std::string top = engine.currentFolder();
    run.rootDepth = WwwRootDepth(o, top);
    // An empty output folder means the selected one, so nothing lands at the file-system root.
    bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    if (allInOne && isBlank(o.text(opt("lblAllInOneFolder"))))
        o.setText(opt("lblAllInOneFolder"), top);

    // The run reads a copy of the options: what the window changes meanwhile waits.
    RunSettings settings(o.snapshot(), top, engine.today());
    SetPageEnds(settings);
    if (job) {
        settings.recursive = job->recursive;
        settings.treeTotals = job->treeTotals;
    }
    auto realTop = realPath(top);
    if (!realTop) {
        engine.error("Error reading folder `" + toUtf8(top) +
                     "`: " + std::generic_category().message(errno) + ".");
        return;
    }
    settings.realTop = *realTop;
    const std::string wwwRoot = normalFolder(o.text(opt("txtWWWroot")));
    auto realWww = wwwRoot.empty() ? std::nullopt : realPath(wwwRoot);
    settings.tree = realWww && isInside(settings.realTop, *realWww) ? *realWww : settings.realTop;
    Descriptor tree;
    try {
        tree = openResolvedFolder(settings.tree);
        settings.treeId = idOf(tree.get());
        if (job && job->pinned) {
            Descriptor pinned = duplicate(job->pinned->get());
            if (!isBeneath(pinned.get(), settings.treeId))
                throw placeError(WriteError::OutsideTree, top);
            settings.topFolder = share(std::move(pinned));
        } else {
            settings.topFolder = share(openInTree(settings, tree.get(), top));
        }
    } catch (const std::system_error& e) {
        engine.error("Error reading folder `" + toUtf8(top) + "`: " + e.code().message() + ".");
        return;
    }
    if (allInOne) {
        try {
            settings.outputFolderFd = share(openInTree(settings, tree.get(), settings.outputFolder));
        } catch (const std::system_error& e) {
            engine.error("Error writing index `" +
                         toUtf8(joinPath(settings.outputFolder, o.text(opt("txtIndexHtm")))) +
                         "`: " + e.code().message() + ".");
            return;
        }
    }
    // A user's file under the name of the pages' script stays theirs: each page then carries
    // the script.
    if (!settings.footerAfterScript.empty()) {
        const std::string& page = o.text(opt("txtIndexHtm"));
        const std::string name = PageScriptName(page);
        if (IsUsersExtraFile(settings.topFolder->get(), page, name)) {
            settings.footerBeforeScript.clear();
            settings.footerAfterScript.clear();
        }
    }
    if (!job && engine.auditBeforeFirstRun && !engine.passesFirstAudit(settings)) {
        run.replaceCancelled = true;
        return engine.setStatus("Cancelled");
    }
    // The page keeps the colours chosen; the run says which of them are hard to read.
    if (settings.modern) {
        if (std::string note = ModernContrastNote(settings.o); !note.empty()) engine.status(note);
    }
    std::vector<WalkTarget> targets;
    if (job && !job->only.empty() && !allInOne) {
        targets = watchTargets(engine, settings, *job);
        if (targets.empty()) return engine.setStatus("Done");
    }

    // Pages are not flushed one by one, which would triple the run's time; the file system
    // is flushed on the side while the run goes on, and once more at its end, also when the
    // run fails: what it wrote is on disk, or the run says it is not.
    FileSystemFlush flush(tree.get());
    auto finishFlush = [&] {
        if (auto ec = flush.finish())
            engine.error("Error putting the pages of `" + toUtf8(settings.tree) +
                         "` on disk: " + ec.message() + ".");
    };
    // Checksums come from the cache of earlier runs where the files did not change; the cache
    // is saved once the pages are done.
    std::optional<HashCache> ownCache;
    run.bytesHashed = 0;
    if (settings.hashes) {
        HashCache* cache = job && job->hashCache ? job->hashCache : &ownCache.emplace();
        if (!cache->loadNote().empty()) engine.status(cache->loadNote());
        settings.hashCache = cache;
        settings.bytesHashed = &run.bytesHashed;
    }
    // Folders that stand as the last run left them are passed over.
    std::optional<PageState> pageState;
    if (!allInOne) {
        pageState.emplace(PageStateFile(settings.realTop), RunPrint(settings));
        settings.pageState = &*pageState;
    }
    // What the pages listed before, for the "what's new" page and its feed.
    std::optional<NewsRecord> news;
    if (!allInOne && o.on(opt("chkWhatsNew"))) {
        news.emplace(NewsRecord::load(NewsRecordFile(settings.realTop)));
        news->setNow(static_cast<std::int64_t>(std::time(nullptr)));
        settings.news = &*news;
    }
    // Nobody is asked during an unattended run: a page is replaced only when it changed.
    auto answer = engine.host().standingAnswer();
    PageWalk walk(settings,
                  {engine, engine.host(), [&engine] { engine.letEventsRun(); },
                   engine.neededIcons_, run, engine.jobs(), answer,
                   [&engine](int done, int found) { engine.host().progress(done, found); },
                   engine.stopRequested,
                   [&engine](std::uint64_t bytes) { engine.host().hashed(bytes); },
                   job && job->settle, job ? job->searchNames : nullptr});
    bool pagesDone = targets.empty() ? walk.writePages() : walk.writePages(targets);
    // Once the pages are on disk; it lies outside the tree, which needs no flush for it.
    auto saveState = [&] {
        if (news) {
            try {
                news->save(NewsRecordFile(settings.realTop));
            } catch (const std::system_error& e) {
                engine.error("Error saving what is new in the pages: " + e.code().message() + ".");
            }
        }
        if (!pageState) return;
        try {
            // Folders not seen by a whole walk are gone: their state goes with them.
            pageState->save(pagesDone && targets.empty() && settings.recursive);
        } catch (const std::system_error& e) {
            engine.error("Error saving the state of the pages: " + e.code().message() + ".");
        }
    };
    if (settings.hashCache) {
        try {
            settings.hashCache->save();
        } catch (const std::system_error& e) {
            engine.error("Error saving the checksum cache: " + e.code().message() + ".");
        }
    }
    if (!walk.lastTitle().empty()) o.setText(opt("txtTitle"), walk.lastTitle());
    if (!pagesDone) {  // a half-built all-in-one page never replaces a good one
        finishFlush();
        return saveState();
    }

    // What follows the pages reads the run's copy of the options too.
    const OptionValues& snap = settings.o;
    if (snap.on(opt("chkCss")) && snap.selected(opt("optCssNew")) &&
        (CountPathSeparators(top) <= run.rootDepth || allInOne)) {
        const SharedFolder& folder = allInOne ? settings.outputFolderFd : settings.topFolder;
        WriteStylesheetFile(snap,
                            {folder->get(), allInOne ? settings.outputFolder : top,
                             settings.treeId, engine.unattended()},
                            engine.host(), engine);
    }
    engine.AddNeededIcon("end_");
    if (snap.on(opt("chkIcons")) && snap.selected(opt("optIconsLocal")))
        StoreIcons(engine, settings, tree.get());
    if (settings.allInOneFile) walk.finishAllInOne();
    finishFlush();
    saveState();
    run.topPageFolder = allInOne ? settings.outputFolder : top;
    run.topPage = joinPath(run.topPageFolder, snap.text(opt("txtIndexHtm")));
    if (snap.on(opt("chkView")) && !engine.unattended())
        engine.host().openInShell(run.topPage, run.topPageFolder);
    engine.setStatus(std::string(RunEndText(run)));
}

namespace {

std::tm localToday() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

}  // namespace

Engine::Engine(Host& host)
    : today(localToday),
      indexRunner(RunIndex),
      host_(host) {
    rules_ = std::make_unique<PanelRules>(RuleTargets{options_, panel_, colours_,
                                                      [this] { return currentFolder_; },
                                                      [this] { cmdPreView_Click(); }});
    jobs_ = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Made here, once the icon list it keeps a reference to exists.
    downloader_ =
        std::make_unique<IconDownloader>(options_, guard_, networkStatus_, neededIcons_.names());
    // The folder list starts where the program was started.
    std::error_code ec;
    currentFolder_ = std::filesystem::current_path(ec).string();
    rules_->applyStates();
    preview_ = ComputePreview(options_);
}

Engine::~Engine() = default;

void Engine::show(std::string text, void (Host::*say)(const std::string&)) {
    if (text == status_) return;
    status_ = std::move(text);
    (host_.*say)(status_);
}

void Engine::setStatus(std::string text) {
    show(std::move(text), &Host::status);
}

void Engine::error(std::string text) {
    show(std::move(text), &Host::error);
    ++errors_;
}

void Engine::detail(std::string text) {
    show(std::move(text), &Host::detail);
}

void Engine::setNetworkStatus(std::string text) {
    setStatus(std::move(text));
}

void Engine::setCurrentFolder(std::string_view path) {
    currentFolder_ = normalFolder(path);
}

void Engine::letEventsRun() {
    downloader_->poll();
    host_.processEvents();
}

void Engine::pollNetwork() {
    downloader_->poll();
}

void Engine::finishPendingEvents() {
    downloader_->finish();
}

void Engine::RunUnattended(const UnattendedRun& job) {
    // The folder list and the run mode come back however the run ends.
    struct Restore {
        Engine& e;
        std::string folder;
        ~Restore() {
            e.unattended_ = nullptr;
            e.currentFolder_ = folder;
        }
    } restore{*this, currentFolder_};
    unattended_ = &job;
    currentFolder_ = normalFolder(job.folder);
    cmdGo_Click();
}

Answer Engine::UnattendedGuard::ask(const std::string& text, const std::string& title,
                                    Buttons buttons) {
    // Nobody is there to click: what a message says is in the status line already.
    if (engine_.unattended()) return Answer::Yes;
    return engine_.host_.ask(text, title, buttons);
}

std::optional<Answer> Engine::UnattendedGuard::standingAnswer() const {
    return engine_.unattended() ? std::optional<Answer>(Answer::Yes)
                                : engine_.host_.standingAnswer();
}

void Engine::UnattendedGuard::openInShell(const std::string& target, const std::string& folder) {
    if (!engine_.unattended()) engine_.host_.openInShell(target, folder);
}

std::optional<AuditReport> Engine::Audit(const std::string& folder) {
    RunSettings settings(options_.snapshot(), folder, today());
    auto real = realPath(folder);
    if (!real) {
        error("Error reading folder `" + toUtf8(folder) + "`: " +
              std::generic_category().message(errno) + ".");
        return std::nullopt;
    }
    try {
        Descriptor top = openResolvedFolder(*real);
        return AuditTree(settings, top.get(), *real);
    } catch (const std::system_error& e) {
        error("Error reading folder `" + toUtf8(folder) + "`: " + e.code().message() + ".");
        return std::nullopt;
    }
}

bool Engine::passesFirstAudit(const RunSettings& settings) {
    const std::string& tree = settings.realTop;
    // A tree indexed before, by this window or an earlier run, was shown its findings then.
    if (std::find(auditedTrees_.begin(), auditedTrees_.end(), tree) != auditedTrees_.end() ||
        isFile(PageStateFile(tree)))
        return true;
    status("Looking for what should not be published in `" + toUtf8(tree) + "`...");
    AuditReport report = AuditTree(settings, settings.topFolder->get(), tree);
    if (!report.findings.empty()) {
        const std::size_t serious = report.serious();
        std::string text = serious > 0
            ? CountedText(static_cast<long long>(serious), "thing", "things") +
                  " in this folder should not be on the web: the pages or the web server would "
                  "hand them out."
            : "Some things in this folder may not be meant for the web.";
        if (host().warn(text, AuditText(report), "Before publishing", "Index anyway") != Answer::Yes)
            return false;
    }
    auditedTrees_.push_back(tree);
    return true;
}

int Engine::RunBucket(const std::string& address, const std::string& endpoint, bool dryRun,
                      const std::string& inventory) {
    auto parsed = ParseBucketAddress(address);
    if (!parsed) {
        error("Error: `" + toUtf8(address) + "` is no bucket address: s3://BUCKET[/PREFIX], the bucket's "
              "name in lower-case letters, digits, dots and hyphens.");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    try {
        BucketPlace place = BucketPlaceFor(parsed->first, parsed->second, endpoint, [](const char* name) {
            // NOLINTNEXTLINE(concurrency-mt-unsafe): read before the run starts any thread
            const char* value = std::getenv(name);
            return value ? std::optional<std::string>(value) : std::nullopt;
        });
        OptionValues values = options_.snapshot();
        if (values.on(opt("chkAllInOneFolder"))) {
            error("Error: the all-in-one folder does not write into buckets; choose a theme without it "
                  "(the all-in-one file does).");
            return 1;
        }
        // Parts that need files of their own beside the tree are not made in buckets.
        for (const auto& [option, part] : {std::pair{opt("chkSearchIndex"), "the site search"},
                                           std::pair{opt("chkWhatsNew"), "the what's new page"}}) {
            if (!values.on(option)) continue;
            values.turnOff(option);
            status("Leaving " + std::string(part) + " out of the bucket's pages.");
        }
        // The site's root is the top of the prefix: the folders the window names are of this disk.
        values.clearText(opt("txtWWWroot"));
        values.clearText(opt("lblAllInOneFolder"));
        RunSettings settings(std::move(values), BucketTopPath(place), today());
        settings.slashesInNames = true;
        // The ETags give the MD5s; a SHA-256 would mean reading every object.
        settings.sha256Sums = false;
        SetPageEnds(settings);
        S3Client client(place);
        // As for a folder's files: a user's object where a page goes is asked about, unless the
        // options replace whatever is there.
        std::optional<Answer> standing;
        auto mayReplace = [this, &standing](const std::string& object) {
            if (!standing) {
                const Answer a = host().ask("Overwrite '" + object + "' ?", "Tabulo", Buttons::YesNoAllCancel);
                if (a == Answer::YesToAll) standing = Answer::Yes;
                // Cancel ends the questions: nothing more is replaced.
                if (a == Answer::NoToAll || a == Answer::Cancel) standing = Answer::No;
                return a == Answer::Yes || a == Answer::YesToAll;
            }
            return *standing == Answer::Yes;
        };
        // The walk's jobs are the connections that put the pages side by side.
        BucketStore store(client, *this, dryRun,
                          settings.o.on(opt("chkReplaceOlda")) ? std::function<bool(const std::string&)>() : mayReplace,
                          jobs_);
        std::unique_ptr<ObjectSource> source;
        if (inventory.empty()) {
            source = std::make_unique<ListingSource>(place, [this](const std::string& text) { status(text); });
        } else {
            source = std::make_unique<InventorySource>(inventory, place, std::filesystem::temp_directory_path().string(),
                                                       [this](const std::string& text) { status(text); });
        }
        BucketDigests digests(settings.hashes ? applicationFolder() + "/bucket-hash-cache" : "");
        BucketWalkParts parts{place, ShippedDataFolder(), nullptr};
        if (settings.hashes) {
            parts.digests = [&](const std::string& key, const BucketObject& object) {
                return digests.digestOf(client, key, object);
            };
        }
        const BucketRunCounts counts = WriteBucketPages(settings, *source, store, *this, parts);
        try {
            if (!dryRun) digests.save();
        } catch (const std::system_error& e) {
            status("Could not keep the checksums read: " + std::string(e.what()));
        }
        BucketCounts requests = source->counts();
        requests += client.counts();
        requests += store.counts();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        char took[32];
        std::snprintf(took, sizeof took, "%.1f", seconds);
        status("Summary: " + CountedText(static_cast<long long>(counts.written), "file written", "files written") +
               ", " + std::to_string(counts.unchanged) + " unchanged, " +
               (counts.kept > 0 ? std::to_string(counts.kept) + " kept, " : "") +
               CountedText(static_cast<long long>(counts.errors), "error", "errors") + "; " +
               CountedText(static_cast<long long>(requests.lists), "list", "lists") + ", " +
               CountedText(static_cast<long long>(requests.puts), "put", "puts") + ", " +
               CountedText(static_cast<long long>(requests.gets), "get", "gets") + ", " +
               (requests.heads > 0 ? CountedText(static_cast<long long>(requests.heads), "head", "heads") + ", " : "") +
               CountedText(static_cast<long long>(requests.retries), "retry", "retries") + " in " + took + " s.");
        return counts.errors > 0 ? 1 : 0;
    } catch (const BucketError& e) {
        error("Error: " + std::string(e.what()));
        return 1;
    }
}

void Engine::cmdGo_Click() {
    errorsBeforeRun_ = errors_;
    lastReport_.reset();
    indexRunner(*this);
    if (unattended() || run_.topPage.empty()) return;
    lastReport_ = RunReport{RunSummaryText(run_, errors_ - errorsBeforeRun_), run_.topPage,
                            run_.topPageFolder};
}

void Engine::cmdOpenPage_Click() {
    if (lastReport_) guard_.openInShell(lastReport_->page, lastReport_->folder);
}

void Engine::cmdWriteCss_Click() {
    bool allInOne = options_.on(opt("chkAllInOneFile")) || options_.on(opt("chkAllInOneFolder"));
    std::string folder = allInOne ? options_.text(opt("lblAllInOneFolder")) : currentFolder_;
    WriteStylesheetFile(options_, folder, guard_, *this);
}

void Engine::cmdMakeScript_Click() {
    WriteServerScripts(options_, currentFolder_, run_.rootDepth, today(), *this);
}

// Every refresh counts as an edit; start-up and theme loads reset the mark afterwards.
void Engine::cmdPreView_Click() {
    options_.setEditedMark("*");
    preview_ = ComputePreview(options_);
    ++previewVersion_;
}

void Engine::lockWwwRootField(bool locked) {
    panel_.setEnabled("txtWWWroot", !locked);
    showWwwRootLock(!locked);
}

void Engine::showWwwRootLock(bool shown) {
    panel_.setVisible("cmdLockWWWRoot", shown);
}

void Engine::showChosenTheme(int index) {
    panel_.setVisible("cmdRandom", index == 1);
    if (index != 1 && index >= 0 && static_cast<std::size_t>(index) < themeList_.size())
        panel_.setCaption("cmdLoad", themeList_[static_cast<std::size_t>(index)] + ".color");
    panel_.setEnabled("CmdDelete", index >= 2);
}

void Engine::showTypedThemeName(const std::string& loadCaption) {
    // Nothing typed: nothing to save, and the load button greys.
    panel_.setEnabled("cmdSave", !loadCaption.empty());
    if (!loadCaption.empty()) panel_.setCaption("cmdLoad", loadCaption);
    panel_.setCaption("cmdLoad.BackColor", loadCaption.empty() ? "grey" : "buttontext");
}

void Engine::addTheme(const std::string& name) {
    if (std::find(themeList_.begin(), themeList_.end(), name) == themeList_.end())
        themeList_.push_back(name);
}

void Engine::removeTheme(const std::string& name) {
    auto it = std::find(themeList_.begin() + 2, themeList_.end(), name);
    if (it != themeList_.end()) themeList_.erase(it);
}

void Engine::setIconTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds silence,
                             std::chrono::milliseconds whole) {
    downloader_->setTimeouts(connect, silence, whole);
}

bool Engine::loadingTheme() const {
    return rules_->loadingTheme();
}

void Engine::setLoadingTheme(bool loading) {
    rules_->setLoadingTheme(loading);
}

void Engine::runWaitingRules() {
    rules_->runWaitingRules();
}

void Engine::ToggleOptionsPanel() {
    OptionId caption = opt("lblOptions");
    if (options_.text(caption) != "Options >") {
        options_.setText(caption, "Options >");
        panel_.setClientHeight(Panel::kLineBase);
    } else {
        options_.setText(caption, "Options <");
        panel_.setClientHeight(Panel::kLineBottom);
    }
}

void Engine::cmdBrowseMoreWWW_Click() {
    options_.setEditedMark("*");
    auto chosen = host_.chooseFolder(currentFolder_);
    if (chosen && !chosen->empty() && *chosen != "?")
        options_.appendList(opt("lstDeamonMore"), *chosen);
}

void Engine::cmdRemoveMoreWWW_Click(int selected) {
    options_.setEditedMark("*");
    auto entries = options_.list(opt("lstDeamonMore"));
    if (selected < 0 || static_cast<std::size_t>(selected) >= entries.size()) return;
    entries.erase(entries.begin() + selected);
    options_.setList(opt("lstDeamonMore"), std::move(entries));
}

void Engine::cmdBrowseDesc_Click() {
    options_.setEditedMark("*");
}

void Engine::cmdBrowseIconPath_Click() {
    ChooseLocalIconFolder(options_, host_);
}

void Engine::cmdBrowseAllInOneFolder_Click() {
    ChooseAllInOneFolder(options_, host_, currentFolder_);
}

void Engine::cmdOpen_Click() {
    host_.openInShell(currentFolder_, currentFolder_);
}

void Engine::lblUpdate_Click(const std::string& programFolder) {
    host_.openInShell(std::string(kHomeSite), programFolder);
}

void Engine::txtAboutLink_DblClick() {
    options_.setEditedMark("*");
    host_.openInShell(options_.text(opt("txtAboutLink")), "/");
}

void Engine::cmdDlIcons_Click() {
    downloader_->cmdDlIcons_Click();
}

void NeededIconList::add(const std::string& name) {
    if (known_.insert(name).second) names_.push_back(name);
}

}  // namespace tabulo
