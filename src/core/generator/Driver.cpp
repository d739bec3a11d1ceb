#include "generator/Driver.h"

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "generator/ModernPage.h"
#include "generator/ListingHelpers.h"
#include "generator/PageRenderer.h"

namespace tabulo {

namespace {

using Reach = FolderEntry::Reach;

// Pages longer than this are not held in memory while they wait for their turn; the walk's
// own thread renders them straight into their file.
constexpr std::size_t kRowsRenderedAhead = 4000;

std::string reason(const std::system_error& e) {
    return e.code().message();
}

// Whether a resolved folder inside the selected one is walked under its own path anyway:
// every folder below is, except hidden ones and what lies below them.
bool walkedUnderOwnPath(const std::string& real, const std::string& realTop) {
    if (!isInside(real, realTop)) return false;
    for (const std::string& part : split(std::string_view(real).substr(realTop.size()), '/')) {
        if (part.starts_with('.')) return false;
    }
    return true;
}

// One folder's work: read on any thread, its page rendered ahead when it can be.
struct FolderWork {
    std::string path;
    PagePlace place;
    FolderListing listing;
    std::string readError;        // the folder could not be read
    FolderId id;                  // from the parent's listing
    std::int64_t listedTime = 0;  // the folder's time when its parent was read
    // Made in its turn only: a linked subfolder, whose reach the walk's order decides and whose
    // row shows another folder's time; or the output folder of flat pages.
    bool inTurn = false;
    bool rendered = false;  // `page` holds the page, or the section of the all-in-one file
    explicit FolderWork(Unmappable policy) : page(policy) {}
    TextBuffer page;
    std::optional<std::string> json;  // the JSON listing, made with a page rendered ahead
    std::optional<std::pair<std::string, std::string>> sums;  // MD5SUMS, SHA256SUMS, likewise
    PageResult result;
    // Written ahead of its turn, with this outcome, or this error.
    bool written = false;
    WriteOutcome outcome = WriteOutcome::Written;
    std::string writeError;
};

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.inode) * 31 + id.device);
    }
};

// Threads that run jobs in the order they came.
class Workers {
  public:
    explicit Workers(int count) {
        for (int i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
    }
    ~Workers() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }
    void add(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::vector<std::thread> threads_;
    std::deque<std::function<void()>> jobs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

}  // namespace

// The checksum files of a folder: MD5SUMS and SHA256SUMS.
static std::pair<std::string, std::string> sumsOf(const FolderListing& listing) {
    std::vector<std::pair<std::string, std::string>> md5, sha;
    for (std::size_t i = 0; i < listing.files.size() && i < listing.digests.size(); ++i) {
        if (!listing.digests[i]) continue;
        md5.emplace_back(listing.files[i].name, listing.digests[i]->md5);
        sha.emplace_back(listing.files[i].name, listing.digests[i]->sha256);
    }
    return {SumsFileText(md5), SumsFileText(sha)};
}

struct PageWalk::Impl {
    Impl(const RunSettings& settings, RunHooks hooks)
        : s(settings), h(std::move(hooks)), window(static_cast<std::size_t>(2 * h.jobs)) {
        if (h.jobs > 1) workers = std::make_unique<Workers>(h.jobs);
        // With no one to ask and no Cancel to come, a page in its own folder needs nothing of
        // the pages before it: the thread that made it writes it.
        writesAhead = workers && !s.allInOne &&
                      (s.o.on(opt("chkReplaceOlda")) ||
                       (h.standingAnswer && *h.standingAnswer != Answer::Cancel));
        outputFolder = normalFolder(s.outputFolder);
    }

    const RunSettings& s;
    RunHooks h;
    std::size_t window;
    std::unique_ptr<Workers> workers;
    // Folders entered through a link: resolved path -> the link's path, so that no folder is
    // walked twice.
    std::unordered_map<std::string, std::string> linkedFolders;
    std::unique_ptr<TextFile> allInOne;
    bool allInOneGivenUp = false;
    std::string lastTitle;
    bool writesAhead = false;
    std::string outputFolder;
    int foldersDone = 0, foldersFound = 1;  // the top folder is found from the start
    bool stopped = false;                   // asked to stop: no further folder is begun
    std::uint64_t bytesShown = 0;
    std::chrono::steady_clock::time_point lastHashLine = std::chrono::steady_clock::now();
    // Times of folders before a page was written into them ahead of its turn: a linked row
    // made in its turn shows the time the folder had then.
    std::mutex timesMutex;
    std::unordered_map<FolderId, std::int64_t, FolderIdHash> timesBefore;

    // Any thread.
    std::unique_ptr<FolderWork> read(const std::string& path, FolderId id) const;
    void classifyLinks(FolderWork& w) const;
    void hashFiles(FolderWork& w) const;
    void writeSums(FolderWork& w) const;
    void writeBeside(const std::string& path, const std::string& bytes) const;
    void makeAhead(FolderWork& w);
    WriteOutcome writeOwnFile(FolderWork& w, bool sweepHere,
                              const std::function<bool(const std::string&)>& mayReplace,
                              double serverTotalBefore);

    // The walk's own thread.
    std::future<std::unique_ptr<FolderWork>> start(const std::string& path, const FolderEntry& sub);
    void walk(const std::string& folder, const std::vector<FolderEntry>& subfolders,
              std::vector<FolderId>& ancestors);
    bool visit(FolderWork& w);
    void resolveLinks(FolderWork& w);
    void writePage(FolderWork& w, bool sweepHere);
    bool writeSection(FolderWork& w);
    void keepLinkedTimes(FolderWork& w);
    bool question(const std::string& target);
    void done(FolderWork& w);
    void advance();
    bool topPage(std::unique_ptr<FolderWork> w);
    void refreshFolders(FolderWork& w) const;
};

std::unique_ptr<FolderWork> PageWalk::Impl::read(const std::string& path, FolderId id) const {
    auto w = std::make_unique<FolderWork>(s.pagePolicy);
    w->path = path;
    w->id = id;
    try {
        w->listing = readFolder(path, s.listingRules());
    } catch (const std::system_error& e) {
        w->readError = reason(e);
        return w;
    }
    w->place = PlaceOf(s, path);
    if (s.hashes && s.hashCache) hashFiles(*w);
    classifyLinks(*w);
    // Flat pages land in the output folder while the walk goes on: its own listing must be the
    // one of its turn.
    if (s.allInOneFolder && normalFolder(path) == outputFolder) w->inTurn = true;
    return w;
}

// The checksums of the files the page shows, on the thread that read the folder; the cache
// spares the unchanged ones. The checksum files themselves have none: they change with them.
void PageWalk::Impl::hashFiles(FolderWork& w) const {
    auto& files = w.listing.files;
    w.listing.digests.assign(files.size(), std::nullopt);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& name = files[i].name;
        if (files[i].excluded || name == kMd5SumsName || name == kSha256SumsName) continue;
        w.listing.digests[i] = s.hashCache->digestOf(joinPath(w.path, name), [this](std::uint64_t n) {
            if (s.bytesHashed) *s.bytesHashed += n;
        });
    }
}

// A file that goes with a page (checksums, JSON listing): replaced without a question, as it
// is ours, and only when its bytes changed.
void PageWalk::Impl::writeBeside(const std::string& path, const std::string& bytes) const {
    WriteRules rules{s.tree, true};
    rules.keepUnchanged = true;
    rules.sweep = false;
    TextFile file(path, Unmappable::KeepUtf8, rules);
    file.writeRaw(bytes);
    file.commit();
}

// Beside the files, whatever the output mode, so `md5sum -c` runs where they are.
void PageWalk::Impl::writeSums(FolderWork& w) const {
    if (!s.hashes) return;
    auto [md5, sha] = w.sums ? *w.sums : sumsOf(w.listing);
    writeBeside(joinPath(w.path, kMd5SumsName), md5);
    writeBeside(joinPath(w.path, kSha256SumsName), sha);
}

// A linked subfolder is entered only when it leads inside the tree, to a folder that no other
// path of this run walks; otherwise pages would land outside the site, or one folder would get
// two pages with up links from different places. Which of two links to one folder comes first
// is the walk's to say (resolveLinks).
void PageWalk::Impl::classifyLinks(FolderWork& w) const {
    std::optional<std::string> realHere;
    for (FolderEntry& sub : w.listing.folders) {
        if (!sub.link) continue;
        w.inTurn = true;
        auto real = realPath(joinPath(w.path, sub.name));
        if (!realHere) realHere = realPath(w.path).value_or(w.path);
        if (!real || !isInside(*real, s.tree)) {
            sub.reach = Reach::Outside;
        } else if (isInside(*realHere, *real)) {
            sub.reach = Reach::LeadsBack;
        } else if (s.recursive && walkedUnderOwnPath(*real, s.realTop)) {
            sub.reach = Reach::Elsewhere;
        }
    }
}

void PageWalk::Impl::resolveLinks(FolderWork& w) {
    if (!s.recursive) return;
    for (FolderEntry& sub : w.listing.folders) {
        if (!sub.link || sub.reach != Reach::Walk) continue;
        std::string path = joinPath(w.path, sub.name);
        auto real = realPath(path);
        if (!real) continue;
        auto [it, fresh] = linkedFolders.emplace(*real, path);
        if (!fresh && it->second != path) sub.reach = Reach::Elsewhere;
    }
}

// Pages that need nothing of the walk's order are made by the thread that read them: written,
// when no question can stop the run, else rendered to wait for their turn.
void PageWalk::Impl::makeAhead(FolderWork& w) {
    if (w.inTurn || NeedsServerTotal(s, w.place)) return;
    if (writesAhead) {
        {
            std::lock_guard lock(timesMutex);
            timesBefore.emplace(w.id, w.listedTime);
        }
        bool yes = s.o.on(opt("chkReplaceOlda")) || h.standingAnswer == Answer::Yes;
        try {
            w.outcome = writeOwnFile(
                w, false, [yes](const std::string&) { return yes; }, 0);
        } catch (const std::system_error& e) {
            w.writeError = reason(e);
        }
        w.written = true;
    } else {
        if (w.listing.files.size() > kRowsRenderedAhead) return;
        w.result = RenderPage(s, w.place, w.listing, !s.allInOneFile, 0, w.page);
        if (s.o.on(opt("chkJsonListing"))) w.json = JsonListingOf(s, w.listing);
        if (s.hashes) w.sums = sumsOf(w.listing);
        w.rendered = true;
    }
    w.listing.files.clear();
    w.listing.files.shrink_to_fit();
}

// The rows of linked folders show the times those folders had in this folder's turn, also
// when their own pages were written ahead of it.
void PageWalk::Impl::keepLinkedTimes(FolderWork& w) {
    std::lock_guard lock(timesMutex);
    if (timesBefore.empty()) return;
    for (FolderEntry& sub : w.listing.folders) {
        if (!sub.link) continue;
        auto it = timesBefore.find({sub.device, sub.inode});
        if (it != timesBefore.end()) sub.mtime = it->second;
    }
}

std::future<std::unique_ptr<FolderWork>> PageWalk::Impl::start(const std::string& path,
                                                               const FolderEntry& sub) {
    FolderId id{sub.device, sub.inode};
    std::int64_t time = sub.mtime;
    auto task =
        std::make_shared<std::packaged_task<std::unique_ptr<FolderWork>()>>([this, path, id, time] {
            auto w = read(path, id);
            w->listedTime = time;
            makeAhead(*w);
            return w;
        });
    auto result = task->get_future();
    workers->add([task] { (*task)(); });
    return result;
}

bool PageWalk::Impl::question(const std::string& target) {
    if (!h.standingAnswer) {
        Answer a =
            h.host.ask("Overwrite '" + toUtf8(target) + "' ?", "Tabulo", Buttons::YesNoAllCancel);
        // "Yes to all" and "No to all" answer the rest of the run's questions too.
        if (a == Answer::YesToAll) h.standingAnswer = Answer::Yes;
        if (a == Answer::NoToAll) h.standingAnswer = Answer::No;
        if (a == Answer::Cancel) h.state.replaceCancelled = true;
        return a == Answer::Yes || a == Answer::YesToAll;
    }
    if (*h.standingAnswer == Answer::Cancel) h.state.replaceCancelled = true;
    return *h.standingAnswer == Answer::Yes;
}

void PageWalk::Impl::advance() {
    ++foldersDone;
    if (h.progress) h.progress(foldersDone, foldersFound);
    if (!s.bytesHashed) return;
    // Long runs that read file content say how far they are, about once a second.
    auto now = std::chrono::steady_clock::now();
    std::uint64_t bytes = *s.bytesHashed;
    if (bytes != bytesShown && now - lastHashLine >= std::chrono::seconds(1)) {
        bytesShown = bytes;
        lastHashLine = now;
        h.sink.status("Hashed " + std::to_string(bytes / (1024 * 1024)) + " MB so far");
        if (h.hashed) h.hashed(bytes);
    }
}

void PageWalk::Impl::done(FolderWork& w) {
    h.state.serverTotal += w.result.total;
    for (const std::string& type : w.result.icons) h.icons.add(type);
    h.sink.status("Done generating index for : `" + toUtf8(w.path) + "`");
}

// One page in its own file: in its folder, or with a flat name in the output folder. A page
// whose bytes equal the file there is neither asked about nor written. `mayReplace` answers
// the question about a page that is there.
WriteOutcome PageWalk::Impl::writeOwnFile(FolderWork& w, bool sweepHere,
                                          const std::function<bool(const std::string&)>& mayReplace,
                                          double serverTotalBefore) {
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    const std::string target = joinPath(w.path, htm);
    bool ask = !s.o.on(opt("chkReplaceOlda")) && isPresent(w.listing, w.path, htm, false);
    WriteRules rules{s.tree, true};
    rules.keepUnchanged = true;
    rules.sweep = sweepHere;
    std::string out = target;
    if (s.allInOneFolder) {
        out = joinPath(s.outputFolder, FlatPageName(s.o, w.place.relativePath));
        // The question is about the folder's own page, whatever the flat file holds.
        if (ask && !mayReplace(target)) return WriteOutcome::Declined;
    } else {
        removeStaleTemporaries(w.path, w.listing.leftovers);
        if (ask) rules.mayReplace = [&mayReplace, &target] { return mayReplace(target); };
    }
    TextFile file(out, s.pagePolicy, rules);
    if (w.rendered) {
        file.writeRaw(w.page.bytes());
    } else {
        w.result = RenderPage(s, w.place, w.listing, true, serverTotalBefore, file);
    }
    WriteOutcome outcome = file.commit();
    if (outcome != WriteOutcome::Declined) writeSums(w);
    if (outcome != WriteOutcome::Declined && s.o.on(opt("chkJsonListing")))
        writeBeside(JsonNameFor(out), w.json ? *w.json : JsonListingOf(s, w.listing));
    return outcome;
}

// One section of the all-in-one file, which is opened with the first section written.
bool PageWalk::Impl::writeSection(FolderWork& w) {
    if (allInOneGivenUp) return false;
    const std::string target = joinPath(w.path, s.o.text(opt("txtIndexHtm")));
    if (!s.o.on(opt("chkReplaceOlda")) &&
        isPresent(w.listing, w.path, s.o.text(opt("txtIndexHtm")), false) && !question(target)) {
        return false;
    }
    try {
        if (!allInOne) {
            WriteRules rules{s.tree, true};
            rules.keepUnchanged = true;
            allInOne =
                std::make_unique<TextFile>(joinPath(s.outputFolder, s.o.text(opt("txtIndexHtm"))),
                                           s.pagePolicy, rules);
        }
        if (!h.state.allInOneHeadWritten) {
            RenderHead(s, w.place, *allInOne);
            h.state.allInOneHeadWritten = true;
        }
        if (w.rendered) {
            allInOne->writeRaw(w.page.bytes());
        } else {
            w.result = RenderPage(s, w.place, w.listing, false, h.state.serverTotal, *allInOne);
        }
    } catch (...) {
        // A half-built all-in-one page never replaces a good one; later sections are dropped.
        allInOne.reset();
        allInOneGivenUp = true;
        throw;
    }
    writeSums(w);
    return true;
}

void PageWalk::Impl::writePage(FolderWork& w, bool sweepHere) {
    bool written;
    if (s.allInOneFile) {
        written = writeSection(w);
    } else {
        auto ask = [this](const std::string& target) { return question(target); };
        written = writeOwnFile(w, sweepHere, ask, h.state.serverTotal) != WriteOutcome::Declined;
    }
    if (written) done(w);
}

// A folder below the top, in its turn: false when it could not be read (its subtree goes).
bool PageWalk::Impl::visit(FolderWork& w) {
    const std::string shown = toUtf8(w.path);
    if (w.inTurn && workers && w.readError.empty()) {
        // Read again in turn: linked folders may have had pages written meanwhile.
        auto again = read(w.path, w.id);
        w.listing = std::move(again->listing);
        w.readError = std::move(again->readError);
    }
    if (w.written) {
        std::lock_guard lock(timesMutex);
        timesBefore.erase(w.id);
    }
    if (!w.readError.empty()) {
        h.sink.error("Error reading folder `" + shown + "`: " + w.readError + "; skipped.");
        return false;
    }
    h.sink.status("Generating index for : `" + shown + "`");
    lastTitle = w.place.title;
    keepLinkedTimes(w);
    resolveLinks(w);
    if (h.state.replaceCancelled) return true;
    if (w.written) {
        if (!w.writeError.empty()) {
            h.sink.error("Error writing index for `" + shown + "`: " + w.writeError + ".");
        } else if (w.outcome != WriteOutcome::Declined) {
            done(w);
        }
        return true;
    }
    try {
        writePage(w, false);
    } catch (const std::system_error& e) {
        h.sink.error("Error writing index for `" + shown + "`: " + reason(e) + ".");
    }
    return true;
}

void PageWalk::Impl::walk(const std::string& folder, const std::vector<FolderEntry>& subfolders,
                          std::vector<FolderId>& ancestors) {
    if (h.state.startFolder.empty()) h.state.startFolder = folder;
    auto isAncestor = [&](const FolderEntry& sub) {
        FolderId id{sub.device, sub.inode};
        for (const FolderId& a : ancestors) {
            if (a == id) return true;
        }
        return false;
    };
    auto reachOf = [&](const FolderEntry& sub) {
        return isAncestor(sub) ? Reach::LeadsBack : sub.reach;
    };
    // The folders entered, read ahead a few at a time on the workers.
    std::vector<std::size_t> entered;
    for (std::size_t i = 0; i < subfolders.size(); ++i) {
        if (reachOf(subfolders[i]) == Reach::Walk) entered.push_back(i);
    }
    foldersFound += static_cast<int>(entered.size());
    std::deque<std::future<std::unique_ptr<FolderWork>>> ahead;
    std::size_t started = 0;
    auto topUp = [&] {
        while (workers && started < entered.size() && ahead.size() < window) {
            const FolderEntry& sub = subfolders[entered[started++]];
            ahead.push_back(start(joinPath(folder, sub.name), sub));
        }
    };
    topUp();
    for (const FolderEntry& sub : subfolders) {
        if (stopped || (h.stopRequested && h.stopRequested())) {
            stopped = true;
            // Folders read ahead use this walk's state: they finish before it goes.
            for (auto& f : ahead) f.wait();
            return;
        }
        std::string path = joinPath(folder, sub.name);
        if (Reach reach = reachOf(sub); reach != Reach::Walk) {
            static constexpr const char* kWhy[] = {
                "", "it leads back to a folder above it.",
                "it leads outside the folder being indexed.",
                "the folder it leads to is indexed under another path."};
            h.sink.status("Skipping `" + toUtf8(path) + "`: " + kWhy[static_cast<int>(reach)]);
            continue;
        }
        std::unique_ptr<FolderWork> w;
        if (workers) {
            w = ahead.front().get();
            ahead.pop_front();
            topUp();
        } else {
            w = read(path, {sub.device, sub.inode});
        }
        bool entered = visit(*w);
        advance();
        if (!entered) continue;
        std::vector<FolderEntry> below = std::move(w->listing.folders);
        w.reset();  // its page is written: nothing of it is needed for the subfolders
        ancestors.push_back({sub.device, sub.inode});
        walk(path, below, ancestors);
        ancestors.pop_back();
    }
    h.letEventsRun();
}

// The top folder's page, from its work when it was read already; false when it failed.
bool PageWalk::Impl::topPage(std::unique_ptr<FolderWork> w) {
    if (!w) w = read(s.top, {});
    const std::string shown = toUtf8(s.top);
    if (!w->readError.empty()) {
        h.sink.error("Error reading folder `" + shown + "`: " + w->readError + ".");
        return false;
    }
    h.sink.status("Generating index for : `" + shown + "`");
    lastTitle = w->place.title;
    resolveLinks(*w);
    struct Advance {
        Impl& impl;
        ~Advance() { impl.advance(); }
    } counted{*this};
    if (h.state.replaceCancelled) return true;
    try {
        // The top page is the last one written into an output folder: it sweeps it.
        writePage(*w, s.allInOneFolder);
    } catch (const std::system_error& e) {
        h.sink.error("Error writing index for `" + shown + "`: " + reason(e) + ".");
        return false;
    }
    return true;
}

// The pages written below have changed the times of the top folder's subfolders, which its
// page, written last, shows: those are looked up again, the rest of the listing stands.
void PageWalk::Impl::refreshFolders(FolderWork& w) const {
    auto& folders = w.listing.folders;
    std::erase_if(folders, [&](FolderEntry& sub) {
        struct stat st;
        if (::stat(joinPath(w.path, sub.name).c_str(), &st) != 0) return true;
        sub.mtime = st.st_mtime;
        return false;
    });
}

PageWalk::PageWalk(const RunSettings& settings, RunHooks hooks)
    : impl_(std::make_unique<Impl>(settings, std::move(hooks))) {}

PageWalk::~PageWalk() = default;

bool PageWalk::writePages() {
    Impl& d = *impl_;
    const RunSettings& s = d.s;
    d.h.state.startFolder.clear();
    if (!s.recursive) return d.topPage(nullptr);

    // The top folder is read once: in the all-in-one file its section comes first; elsewhere
    // its page comes last.
    std::unique_ptr<FolderWork> top = d.read(s.top, {});
    if (!top->readError.empty()) {
        d.h.sink.error("Error reading folder `" + toUtf8(s.top) + "`: " + top->readError + ".");
        return false;
    }
    d.resolveLinks(*top);
    std::vector<FolderId> ancestors;
    try {
        ancestors.push_back(folderIdOf(s.top));
    } catch (const std::system_error& e) {
        d.h.sink.error("Error reading folder `" + toUtf8(s.top) + "`: " + reason(e) + ".");
        return false;
    }
    if (s.allInOneFile) {
        std::vector<FolderEntry> below = top->listing.folders;
        if (!d.topPage(std::move(top))) return false;
        d.walk(s.top, below, ancestors);
        return true;
    }
    d.walk(s.top, top->listing.folders, ancestors);
    if (d.stopped) {
        d.h.sink.status("Stopped before the page of `" + toUtf8(s.top) + "`");
        return false;
    }
    d.refreshFolders(*top);
    return d.topPage(std::move(top));
}

void PageWalk::finishAllInOne() {
    Impl& d = *impl_;
    // No section was written in this run: a footer alone would only spoil the existing page.
    if (!d.allInOne) return;
    try {
        d.allInOne->write(d.s.footer);
        d.allInOne->commit();
    } catch (const std::system_error& e) {
        d.h.sink.error("Error writing index `" + toUtf8(d.allInOne->path()) + "`: " + reason(e) +
                       ".");
    }
    d.allInOne.reset();
}

const std::string& PageWalk::lastTitle() const {
    return impl_->lastTitle;
}

}  // namespace tabulo
