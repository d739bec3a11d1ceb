#include "walk/Driver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <climits>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "checksums/FileHashes.h"
#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/ErrorText.h"
#include "common/FileSystemFlush.h"
#include "common/Fingerprint.h"
#include "common/FolderAccess.h"
#include "common/FolderTime.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "common/WorkerPool.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/JsonListing.h"
#include "pages/ModernPage.h"
#include "pages/PageParts.h"
#include "pages/PagePrint.h"
#include "pages/Pages.h"
#include "pages/WhatsNew.h"
#include "news/NewsRecord.h"
#include "run/TreeTotals.h"
#include "search/SearchIndex.h"
#include "state/PageState.h"

namespace tabulo {

namespace {

using Reach = FolderEntry::Reach;

// Pages longer than this are not held in memory while they wait for their turn; the walk's
// own thread renders them straight into their file.
constexpr std::size_t kRowsRenderedAhead = 4000;

// How far the workers may read ahead of the walk into the folders below, for each folder
// the walk itself reads ahead: the walk takes folders in the tree's order, so the workers
// are kept busy only by going well ahead of it.
constexpr std::size_t kBelowAhead = 128;
// At most about this many rows wait in folders read or made ahead of the walk, as listings or
// rendered pages (some 5 to 15 MB): a modern page waits for the totals of its tree with its
// rows, and pages that may be asked about wait rendered for their turn.
constexpr std::size_t kRowsHeldAhead = 50'000;

// Nobody saw a question: a changed page left as it was is said.
std::string keptLine(const std::string& target) {
    return "Keeping `" + toUtf8(target) + "` as it was: the answer is No.";
}

std::string parentOf(const std::string& folder) {
    auto slash = folder.rfind('/');
    return slash == std::string::npos ? "" : slash == 0 ? "/" : folder.substr(0, slash);
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

struct ReadAhead;

// Reads of subfolders begun by the thread that read their parent, by their place in its
// listing; the walk takes them over when it gets there. Those it never takes are settled:
// none of them may write a page after the walk is past it.
class BelowReads {
  public:
    BelowReads() = default;
    BelowReads(BelowReads&&) = default;
    BelowReads& operator=(BelowReads&&) = delete;
    BelowReads(const BelowReads&) = delete;
    BelowReads& operator=(const BelowReads&) = delete;
    ~BelowReads();

    // The read of the subfolder at `place` in the listing, if one was begun; the walk now
    // holds it.
    std::shared_ptr<ReadAhead> take(std::size_t place);

    std::vector<std::shared_ptr<ReadAhead>> jobs;
    std::atomic<int>* begun = nullptr;  // reads begun this way that no walk holds yet
};

// One folder's work: read on any thread, its page rendered ahead when it can be.
struct FolderWork {
    std::string path;
    SharedFolder folder;  // opened from its parent's descriptor when the walk reached it
    PagePlace place;
    FolderListing listing;
    std::string readError;           // the folder could not be read
    std::vector<std::string> notes;  // what reading it has to say, said in its turn
    FolderId id;                     // from the parent's listing
    std::int64_t listedTime = 0;     // the folder's time when its parent was read
    // Made in its turn only: a linked subfolder, whose reach the walk's order decides and whose
    // row shows another folder's time; or the output folder of flat pages.
    bool inTurn = false;
    bool rendered = false;  // `page` holds the page, or the section of the all-in-one file
    explicit FolderWork(Unmappable policy) : page(policy) {}
    TextBuffer page;
    std::optional<std::string> json;  // the JSON listing, made with a page rendered ahead
    std::optional<std::pair<std::string, std::string>> sums;  // MD5SUMS, SHA256SUMS
    std::vector<std::string> ownExtras;  // numbered pages and data files found of ours
    std::int64_t sumsTime = 0;  // the time a changed checksum file gets: its row shows it
    // What its files are made of, taken before a page made ahead drops its rows; and whether
    // they stand as an earlier run wrote them from the same (nothing to make or write).
    std::optional<std::uint64_t> input;
    bool kept = false;
    // Its checksums are those of the last run (its checksum files are as that run left them),
    // and are looked up only when its page is made.
    bool digestsLater = false;
    FolderTotals listed;        // what its page lists, kept when a page made ahead drops it
    PageResult result;
    // Written ahead of its turn, with this outcome, or this error.
    bool written = false;
    WriteOutcome outcome = WriteOutcome::Written;
    std::string writeError;
    BelowReads below;
    // Rows it holds as a subfolder read ahead, counted in `*heldIn` until the walk takes it.
    std::size_t heldRows = 0;
    std::atomic<std::size_t>* heldIn = nullptr;
    void release() {
        if (heldIn) heldIn->fetch_sub(heldRows, std::memory_order_relaxed);
        heldIn = nullptr;
    }
    ~FolderWork() { release(); }
    FolderWork(const FolderWork&) = delete;
    FolderWork& operator=(const FolderWork&) = delete;
};

// The checksum files of a folder: MD5SUMS and SHA256SUMS.
std::pair<std::string, std::string> sumsOf(const FolderListing& listing) {
    std::vector<std::pair<std::string, std::string>> md5, sha;
    for (std::size_t i = 0; i < listing.files.size() && i < listing.digests.size(); ++i) {
        if (!listing.digests[i]) continue;
        md5.emplace_back(listing.files[i].name, listing.digests[i]->md5);
        sha.emplace_back(listing.files[i].name, listing.digests[i]->sha256);
    }
    return {SumsFileText(md5), SumsFileText(sha)};
}

// A folder read on whichever thread comes to it first: a worker, or the walk itself when it
// needs the folder before any worker began it. A folder the walk would wait for costs no
// hand-off between threads, which for the many small folders of a tree is most of their cost.
struct ReadAhead {
    std::atomic<bool> begun{false};
    std::packaged_task<std::unique_ptr<FolderWork>()> task;
    std::future<std::unique_ptr<FolderWork>> result;

    explicit ReadAhead(std::packaged_task<std::unique_ptr<FolderWork>()> t)
        : task(std::move(t)), result(task.get_future()) {}
    // Runs the read unless another thread has begun it; false when one has.
    bool run() {
        if (begun.exchange(true)) return false;
        task();
        return true;
    }
    std::unique_ptr<FolderWork> get() {
        run();
        return result.get();
    }
    // Makes sure the read is not begun any more, and waits for it when it was.
    void settle() {
        if (begun.exchange(true)) result.wait();
    }
};

BelowReads::~BelowReads() {
    for (auto& job : jobs) {
        if (!job) continue;
        job->settle();
        begun->fetch_sub(1, std::memory_order_relaxed);
    }
}

std::shared_ptr<ReadAhead> BelowReads::take(std::size_t place) {
    if (place >= jobs.size() || !jobs[place]) return nullptr;
    begun->fetch_sub(1, std::memory_order_relaxed);
    return std::move(jobs[place]);
}

}  // namespace

struct PageWalk::Impl {
    Impl(const RunSettings& settings, RunHooks hooks)
        : s(settings),
          h(std::move(hooks)),
          window(static_cast<std::size_t>(2 * h.jobs)),
          totals(s.treeTotals ? *s.treeTotals : ownTotals),
          searchNames(h.searchNames ? *h.searchNames : ownSearchNames) {
        if (h.jobs > 1) {
            workers = std::make_unique<WorkerPool>(h.jobs);
            if (workers->size() == 0) workers.reset();  // no thread to be had: one does it all
        }
        rules = s.listingRules();
        rules.pool = workers.get();
        if (!s.allInOne) {
            rules.maybeOwn = [htm = s.o.text(opt("txtIndexHtm"))](std::string_view name) {
                return ExtraFileKind(htm, name) != ExtraFile::None;
            };
        }
        // With no one to ask and no Cancel to come, a page in its own folder needs nothing of
        // the pages before it: the thread that made it writes it.
        writesAhead = workers && !s.allInOne &&
                      (s.o.on(opt("chkReplaceOlda")) ||
                       (h.standingAnswer && *h.standingAnswer != Answer::Cancel));
    }
    // The threads stop first: nothing they use may go before them.
    ~Impl() { cancel(); }

    const RunSettings& s;
    RunHooks h;
    std::size_t window;
    ListingRules rules;
    // Folders entered through a link, by the folder they lead to, with the link's path: no
    // folder is walked twice.
    std::unordered_map<FolderId, std::string, FolderIdHash> linkedFolders;
    std::unique_ptr<TextFile> allInOne;
    bool allInOneGivenUp = false;
    std::string lastTitle;
    bool writesAhead = false;
    int foldersDone = 0, foldersFound = 1;  // the top folder is found from the start
    bool stopped = false;                   // asked to stop: no further folder is begun
    std::atomic<bool> cancelled{false};     // the run failed: jobs not begun do nothing
    std::uint64_t bytesShown = 0;
    std::chrono::steady_clock::time_point lastHashLine = std::chrono::steady_clock::now();
    // Times of folders before a page was written into them ahead of its turn: a linked row
    // made in its turn shows the time the folder had then.
    std::mutex timesMutex;
    std::unordered_map<FolderId, std::int64_t, FolderIdHash> timesBefore;
    // For settling: when each folder was read, and when a file was last written into each
    // folder, in files committed by the process.
    std::mutex writesMutex;
    std::unordered_map<std::string, std::uint64_t> readAt, changedAt;
    // The totals of the folders below, which the folder rows of modern pages show: the run's
    // own, or those a watch keeps from run to run.
    TreeTotals ownTotals;
    TreeTotals& totals;
    // The names for the search index, by folder (relative to the top): a folder read again
    // replaces its own. A watch keeps them from run to run.
    bool searching = false;
    SearchNames ownSearchNames;
    SearchNames& searchNames;
    // Subfolders begun by the threads that read their parents, not yet taken by the walk, and
    // the rows they hold meanwhile (listings, or pages rendered for their turn).
    std::atomic<int> belowBegun{0};
    std::atomic<std::size_t> belowRows{0};  // the rows they hold
    // Folders whose turn came while their pages could be made by any thread (modern pages,
    // which wait for the totals of their trees): made on the workers, and said done in the
    // walk's order. Any folder the walk itself says done comes after them.
    std::deque<std::pair<std::shared_ptr<ReadAhead>, std::size_t>> inTurn;  // and their rows
    std::size_t inTurnRows = 0;
    std::unique_ptr<WorkerPool> workers;  // last, so it goes first

    void cancel() {
        cancelled = true;
        if (workers) workers->stop();
    }

    // Any thread.
    // `measuring`: only for the totals, which need no texts and see every link as a
    // recursive walk does.
    std::unique_ptr<FolderWork> read(const std::string& path, const SharedFolder& folder,
                                     FolderId id, bool measuring = false);
    std::unique_ptr<FolderWork> readChild(const SharedFolder& parent, const std::string& path,
                                          const FolderEntry& sub, bool measuring = false);
    std::optional<std::string> readText(FolderWork& w, const std::string& name,
                                        std::size_t limit) const;
    void readOwnTexts(FolderWork& w) const;
    Reach linkReach(int folder, const std::string& path, const FolderEntry& sub,
                    std::optional<std::string>& realHere, bool recursiveView) const;
    void classifyLinks(FolderWork& w, bool recursiveView) const;
    bool ownIcons(const std::string& folder, const FolderEntry& sub) const;
    void addTotals(FolderWork& w, bool measureMissing);
    void noteSearchNames(const FolderWork& w);
    void writeSearchIndex();
    void writePageScript();
    void noteNews(const FolderWork& w) const;
    void writeNews();
    // Modern pages show what each subfolder's tree holds, so a folder's page is written after
    // its subfolders' (except in the all-in-one file, whose sections go top down): the walk
    // measures the tree as it writes it.
    bool totalsAfterTree() const { return s.modern && !s.allInOneFile; }
    bool awaitsTotals(const FolderWork& w) const;
    void sortOutOwnExtras(FolderWork& w) const;
    void hashFiles(FolderWork& w) const;
    void foreseeSums(FolderWork& w) const;
    void writeSums(FolderWork& w);
    void writeBeside(int folder, const std::string& name, const std::string& landsIn,
                     const std::string& bytes, std::optional<std::int64_t> time = std::nullopt);
    void writeExtras(FolderWork& w, const PageFiles* files,
                     const std::function<bool(const std::string&)>* mayReplace);
    void makeAhead(FolderWork& w);
    void make(FolderWork& w);
    std::optional<std::uint64_t> stateKey(const FolderWork& w) const;
    std::vector<std::string> outputsOf(std::vector<std::string> extras) const;
    bool keptAsWritten(FolderWork& w, double serverTotalBefore);
    bool digestsAsBefore(const FolderWork& w) const;
    std::uint64_t sumsPrint(const FolderWork& w) const;
    void digestsNow(FolderWork& w) const;
    void keepAsWritten(const FolderWork& w, std::vector<std::string> extras);
    WriteOutcome writeOwnFile(FolderWork& w, bool sweepHere,
                              const std::function<bool(const std::string&)>& mayReplace,
                              double serverTotalBefore);
    void noteRead(const std::string& folder);
    void noteTimeChange(const FolderWork& w);

    // The walk's own thread.
    std::shared_ptr<ReadAhead> start(const SharedFolder& parent, const std::string& path,
                                     const FolderEntry& sub, bool measuring,
                                     std::vector<FolderId> ancestors, bool below = false);
    void beginBelow(FolderWork& w, std::vector<FolderId> ancestors);
    FolderTotals walk(const std::string& folder, const SharedFolder& open,
                      const std::vector<FolderEntry>& subfolders, std::vector<FolderId>& ancestors,
                      bool measuring = false, BelowReads begun = {});
    std::optional<FolderTotals> measureTree(FolderWork& w, std::vector<FolderId>& ancestors);
    bool visit(FolderWork& w);
    void finishTurns(std::size_t most = 0);
    void sayNotes(FolderWork& w);
    void resolveLinks(FolderWork& w, bool measuring = false);
    void writePage(FolderWork& w, bool sweepHere);
    bool writeSection(FolderWork& w);
    void keepLinkedTimes(FolderWork& w);
    bool question(const std::string& target);
    void done(FolderWork& w, std::optional<WriteOutcome> page);
    void advance();
    void sayHashed();
    bool topPage(std::unique_ptr<FolderWork> w, bool sweepHere);
    void refreshFolders(FolderWork& w);
    bool writeTree(const WalkTarget& target);
    void settle();
};

std::unique_ptr<FolderWork> PageWalk::Impl::read(const std::string& path,
                                                 const SharedFolder& folder, FolderId id,
                                                 bool measuring) {
    auto w = std::make_unique<FolderWork>(s.pagePolicy);
    w->path = path;
    w->id = id;
    w->folder = folder;
    if (!measuring) noteRead(path);
    try {
        w->listing = readFolder(folder->get(), path, rules);
        sortOutOwnExtras(*w);
        w->place = PlaceOf(s, path);
        if (!measuring) {
            readOwnTexts(*w);
            if (s.news) noteNews(*w);
            for (const auto& [name, why] : w->listing.withheld)
                w->notes.push_back("Leaving `" + toUtf8(joinPath(path, name)) + "` out of the page (" +
                                   why + ").");
        }
        // The checksum files count as the page lists them: as they will be.
        if (s.hashes && digestsAsBefore(*w)) {
            w->digestsLater = true;
        } else if (s.hashes) {
            if (s.hashCache) hashFiles(*w);
            foreseeSums(*w);
        }
        classifyLinks(*w, s.recursive || measuring);
        if (s.modern) w->listed = ListedFiles(w->listing);
        if (searching && !measuring) noteSearchNames(*w);
    } catch (const std::exception& e) {
        w->readError = reasonOf(e);
        // What was known of a folder that cannot be read now is not taken for gone.
        if (auto relative = relativeTo(path, s.top); s.news && relative) s.news->keepTree(std::string(*relative));
        return w;
    }
    // Flat pages land in the output folder while the walk goes on: its own listing must be the
    // one of its turn.
    if (s.allInOneFolder && normalFolder(path) == normalFolder(s.outputFolder)) w->inTurn = true;
    return w;
}

// A subfolder, opened from its parent's descriptor: never through a link that leads out of
// the tree, and only when it is still the folder the parent's listing saw.
std::unique_ptr<FolderWork> PageWalk::Impl::readChild(const SharedFolder& parent,
                                                      const std::string& path,
                                                      const FolderEntry& sub, bool measuring) {
    FolderId id{sub.device, sub.inode};
    std::unique_ptr<FolderWork> w;
    try {
        // Deeper than any path the system takes: the walk stops there, as it always did.
        if (path.size() >= PATH_MAX) throw std::system_error(ENAMETOOLONG, std::generic_category());
        Descriptor open = openSubfolder(parent->get(), sub.name, sub.link, id);
        if (sub.link && !isBeneath(open.get(), s.treeId))
            throw placeError(WriteError::OutsideTree, path);
        w = read(path, share(std::move(open)), id, measuring);
    } catch (const std::exception& e) {
        w = std::make_unique<FolderWork>(s.pagePolicy);
        w->path = path;
        w->id = id;
        w->readError = reasonOf(e);
    }
    w->listedTime = sub.mtime;
    return w;
}

// A file of the folder that its page shows; one above its size limit is skipped and said.
std::optional<std::string> PageWalk::Impl::readText(FolderWork& w, const std::string& name,
                                                    std::size_t limit) const {
    std::error_code ec;
    auto text = readRegularFileAt(w.folder->get(), name, ec, limit);
    if (ec == std::errc::file_too_large) {
        w.notes.push_back("Skipping `" + toUtf8(joinPath(w.path, name)) + "`: it is larger than " +
                          sizeLimitText(limit) + ".");
    }
    return text;
}

// Files named like the numbered pages and data files of a long page are rows of no page when
// they are ours: each is replaced, or removed once it is no longer needed. A user's file of
// such a name is listed like any other.
void PageWalk::Impl::sortOutOwnExtras(FolderWork& w) const {
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    const int fd = w.folder->get();
    for (std::string& name : w.listing.maybeOwn) {
        if (IsOwnExtraFile(fd, htm, name)) {
            // The pages' script and the "what's new" files are no rows, and no files of this
            // folder's page to remove.
            const ExtraFile kind = ExtraFileKind(htm, name);
            if (kind == ExtraFile::NumberedPage || kind == ExtraFile::ListingData)
                w.ownExtras.push_back(std::move(name));
            continue;
        }
        struct stat st;
        if (::fstatat(fd, name.c_str(), &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
        placeFile(w.listing, {std::move(name), static_cast<double>(st.st_size), st.st_mtime},
                  rules);
    }
    w.listing.maybeOwn.clear();
}

void PageWalk::Impl::readOwnTexts(FolderWork& w) const {
    const std::string& desc = s.o.text(opt("txtCapDesc"));
    if (s.o.on(opt("chkCaptureDesc")) && isPresent(w.listing, desc, true))
        w.listing.description = readText(w, desc, kMaxDescription);
    if (!s.modern) return;
    if (const FileEntry* readme = ReadmeOf(w.listing)) {
        if (auto text = readText(w, readme->name, kMaxReadme))
            w.listing.readme.emplace(readme->name, std::move(*text));
    }
}

// The checksums of the files the page shows, on the thread that read the folder; the cache
// spares the unchanged ones. The checksum files themselves have none: they change with them.
void PageWalk::Impl::hashFiles(FolderWork& w) const {
    auto& files = w.listing.files;
    w.listing.digests.assign(files.size(), std::nullopt);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& name = files[i].name;
        if (files[i].excluded || name == kMd5SumsName || name == kSha256SumsName) continue;
        w.listing.digests[i] = s.hashCache->digestOf(w.folder->get(), name, [this](std::uint64_t n) {
            if (s.bytesHashed) *s.bytesHashed += n;
        });
    }
}

// The checksum files are written after the page that lists them: the page shows them as they
// will be, and a changed one gets the time its row shows, so the next run finds them as
// listed.
void PageWalk::Impl::foreseeSums(FolderWork& w) const {
    w.sums = sumsOf(w.listing);
    w.sumsTime = static_cast<std::int64_t>(std::time(nullptr));
    for (const std::string* bytes : {&w.sums->first, &w.sums->second}) {
        const std::string& name = bytes == &w.sums->first ? kMd5SumsName : kSha256SumsName;
        std::error_code ec;
        if (readRegularFileAt(w.folder->get(), name, ec, bytes->size() + 1) == *bytes) continue;
        placeFile(w.listing, {name, static_cast<double>(bytes->size()), w.sumsTime}, rules);
    }
}

void PageWalk::Impl::noteRead(const std::string& folder) {
    if (!h.settle) return;
    std::uint64_t now = filesCommitted();
    std::lock_guard lock(writesMutex);
    readAt[folder] = now;
}

// A folder keeps its time under the run's own files, unless that time cannot be set (a
// folder of another owner): then the page that shows it is settled.
void PageWalk::Impl::noteTimeChange(const FolderWork& w) {
    if (!h.settle || s.allInOne) return;
    struct stat st;
    if (::fstat(w.folder->get(), &st) == 0 && st.st_mtime == w.listedTime) return;
    std::uint64_t now = filesCommitted();
    std::lock_guard lock(writesMutex);
    changedAt[w.path] = now;
}

// A file that goes with a page (checksums, JSON listing): replaced without a question, as it
// is ours, and only when its bytes changed.
void PageWalk::Impl::writeBeside(int folder, const std::string& name, const std::string& landsIn,
                                 const std::string& bytes, std::optional<std::int64_t> time) {
    WriteRules writeRules{s.treeId, true};
    writeRules.keepUnchanged = true;
    writeRules.sweep = false;
    writeRules.time = time;
    TextFile file(folder, name, joinPath(landsIn, name), Unmappable::KeepUtf8, writeRules);
    file.writeRaw(bytes);
    file.commit();
}

// Beside the files, whatever the output mode, so `md5sum -c` runs where they are.
void PageWalk::Impl::writeSums(FolderWork& w) {
    if (!w.sums) return;
    writeBeside(w.folder->get(), kMd5SumsName, w.path, w.sums->first, w.sumsTime);
    writeBeside(w.folder->get(), kSha256SumsName, w.path, w.sums->second, w.sumsTime);
}

// A linked subfolder is entered only when it leads inside the tree, to a folder that no other
// path of this run walks; otherwise pages would land outside the site, or one folder would get
// two pages with up links from different places. Which of two links to one folder comes first
// is the walk's to say (resolveLinks).
Reach PageWalk::Impl::linkReach(int folder, const std::string& path, const FolderEntry& sub,
                                std::optional<std::string>& realHere, bool recursiveView) const {
    Descriptor target(::openat(folder, sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::optional<std::string> real;
    if (target && isBeneath(target.get(), s.treeId)) real = pathOfFolder(target.get());
    if (!realHere) realHere = pathOfFolder(folder).value_or(path);
    if (!real) return Reach::Outside;
    if (isInside(*realHere, *real)) return Reach::LeadsBack;
    if (recursiveView && walkedUnderOwnPath(*real, s.realTop)) return Reach::Elsewhere;
    return Reach::Walk;
}

void PageWalk::Impl::classifyLinks(FolderWork& w, bool recursiveView) const {
    std::optional<std::string> realHere;
    for (FolderEntry& sub : w.listing.folders) {
        if (!sub.link) continue;
        w.inTurn = true;
        sub.reach = linkReach(w.folder->get(), w.path, sub, realHere, recursiveView);
    }
}

void PageWalk::Impl::resolveLinks(FolderWork& w, bool measuring) {
    if (!s.recursive && !measuring) return;
    for (FolderEntry& sub : w.listing.folders) {
        if (!sub.link || sub.reach != Reach::Walk) continue;
        std::string path = joinPath(w.path, sub.name);
        auto [it, fresh] = linkedFolders.emplace(FolderId{sub.device, sub.inode}, path);
        if (!fresh && it->second != path) sub.reach = Reach::Elsewhere;
    }
}

// Pages that need nothing of the walk's order are made by the thread that read them: written,
// when no question can stop the run, else rendered to wait for their turn.
void PageWalk::Impl::makeAhead(FolderWork& w) {
    if (w.inTurn || !w.readError.empty() || NeedsServerTotal(s, w.place) || awaitsTotals(w))
        return;
    make(w);
}

void PageWalk::Impl::make(FolderWork& w) {
    addTotals(w, false);
    if (writesAhead) {
        {
            std::lock_guard lock(timesMutex);
            timesBefore.emplace(w.id, w.listedTime);
        }
        bool yes = s.o.on(opt("chkReplaceOlda")) || h.standingAnswer == Answer::Yes;
        auto answer = [yes, &w](const std::string& target) {
            if (!yes) w.notes.push_back(keptLine(target));  // said in the folder's turn
            return yes;
        };
        try {
            w.outcome = writeOwnFile(w, false, answer, 0);
        } catch (const std::exception& e) {
            w.writeError = reasonOf(e);
        }
        w.written = true;
    } else {
        if (w.listing.files.size() > kRowsRenderedAhead) return;
        if (MayHaveNumberedPages(s, w.place, w.listing)) return;
        if (keptAsWritten(w, 0)) return;
        digestsNow(w);
        w.result = RenderPage(s, w.place, w.listing, !s.allInOneFile, 0, w.page);
        if (s.o.on(opt("chkJsonListing"))) w.json = JsonListingOf(s, w.place, w.listing);
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

// `ancestors`: the folders from the top down to the parent, which the subfolder's own
// subfolders must not lead back to.
std::shared_ptr<ReadAhead> PageWalk::Impl::start(const SharedFolder& parent,
                                                  const std::string& path, const FolderEntry& sub,
                                                  bool measuring, std::vector<FolderId> ancestors,
                                                  bool below) {
    auto job = std::make_shared<ReadAhead>(std::packaged_task<std::unique_ptr<FolderWork>()>(
        [this, parent, path, sub, measuring, below, ancestors = std::move(ancestors)]() mutable {
            auto w = readChild(parent, path, sub, measuring);
            // Nothing is written for a run that has failed meanwhile.
            if (!cancelled && !measuring) {
                const std::size_t rows = w->listing.files.size();
                makeAhead(*w);
                // Written, it holds no rows; else its listing or its rendered page.
                if (below && rows > 0 && !w->written) {
                    w->heldRows = rows;
                    w->heldIn = &belowRows;
                    belowRows.fetch_add(w->heldRows, std::memory_order_relaxed);
                }
                beginBelow(*w, std::move(ancestors));
            }
            return w;
        }));
    // Whichever comes first runs it: a worker, or the walk when it needs the folder.
    workers->add([job] { job->run(); });
    return job;
}

// The subfolders of a folder just read are begun at once, before the walk gets to them: in a
// deep, narrow tree the walk has few siblings to read ahead, and would otherwise wait for
// each folder in turn. Only those it surely enters: no link (its reach is the walk's to say
// in its turn), no folder above, not the icons.
void PageWalk::Impl::beginBelow(FolderWork& w, std::vector<FolderId> ancestors) {
    if (!w.readError.empty() || w.inTurn || !workers) return;
    ancestors.push_back(w.id);
    const int most = static_cast<int>(kBelowAhead * window);
    std::size_t begun = 0;
    for (std::size_t i = 0; i < w.listing.folders.size() && begun < window && !cancelled; ++i) {
        const FolderEntry& sub = w.listing.folders[i];
        FolderId id{sub.device, sub.inode};
        if (sub.link || sub.reach != Reach::Walk || ownIcons(w.path, sub) ||
            std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end())
            continue;
        if (belowRows.load(std::memory_order_relaxed) >= kRowsHeldAhead) return;
        if (belowBegun.fetch_add(1, std::memory_order_relaxed) >= most) {
            belowBegun.fetch_sub(1, std::memory_order_relaxed);
            return;
        }
        if (w.below.jobs.empty()) {
            w.below.jobs.resize(w.listing.folders.size());
            w.below.begun = &belowBegun;
        }
        w.below.jobs[i] = start(w.folder, joinPath(w.path, sub.name), sub, false, ancestors, true);
        ++begun;
    }
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
    if (*h.standingAnswer == Answer::No) h.sink.status(keptLine(target));
    return *h.standingAnswer == Answer::Yes;
}

void PageWalk::Impl::advance() {
    ++foldersDone;
    if (h.progress) h.progress(foldersDone, foldersFound);
    sayHashed();
}

void PageWalk::Impl::sayHashed() {
    if (!s.bytesHashed) return;
    // Long runs that read file content say how far they are, about once a second.
    auto now = std::chrono::steady_clock::now();
    std::uint64_t bytes = *s.bytesHashed;
    if (bytes != bytesShown && now - lastHashLine >= std::chrono::seconds(1)) {
        bytesShown = bytes;
        lastHashLine = now;
        h.sink.status("Hashed " + std::to_string(bytes / 1024 / 1024) + " MB so far");
        if (h.hashed) h.hashed(bytes);
    }
}

// `page`: how the folder's own file went; a section of the all-in-one file has none (that
// file is counted once, when it is put in place).
void PageWalk::Impl::done(FolderWork& w, std::optional<WriteOutcome> page) {
    if (page) ++(*page == WriteOutcome::Written ? h.state.pagesWritten : h.state.pagesUnchanged);
    if (w.kept) ++h.state.pagesPassedOver;
    h.state.serverTotal += w.result.total;
    for (const std::string& type : w.result.icons) h.icons.add(type);
    h.sink.status("Done generating index for : `" + toUtf8(w.path) + "`");
}

// A folder's place in the state kept between runs: its path below the top.
std::optional<std::uint64_t> PageWalk::Impl::stateKey(const FolderWork& w) const {
    if (!s.pageState) return std::nullopt;
    auto relative = relativeTo(w.path, s.top);
    if (!relative) return std::nullopt;
    return Fingerprint().bytes(*relative).value();
}

// The files a folder's page comes with: the page, its JSON listing, and its numbered pages and
// data files (`extras`). The checksum files are looked at on their own (sumsPrint).
std::vector<std::string> PageWalk::Impl::outputsOf(std::vector<std::string> extras) const {
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    std::vector<std::string> names{htm};
    if (s.o.on(opt("chkJsonListing"))) names.push_back(JsonNameFor(htm));
    std::sort(extras.begin(), extras.end());
    names.insert(names.end(), extras.begin(), extras.end());
    return names;
}

// Whether the folder's files stand as an earlier run wrote them from what they would be made
// of now: then the page is neither made nor read back, and counts as it did then.
bool PageWalk::Impl::keptAsWritten(FolderWork& w, double serverTotalBefore) {
    auto key = stateKey(w);
    if (!key) return false;
    if (!w.input) w.input = PageInputPrint(s, w.place, w.listing, serverTotalBefore);
    auto page = s.pageState->find(*key, *w.input);
    if (!page || OutputPrint(w.folder->get(), outputsOf(w.ownExtras)) != page->output)
        return false;
    if (s.hashes && !w.digestsLater && sumsPrint(w) != page->sums) return false;
    w.result = {page->total, std::move(page->icons)};
    w.kept = true;
    return true;
}

// The folder's files as this run left them, for the next run to pass over.
void PageWalk::Impl::keepAsWritten(const FolderWork& w, std::vector<std::string> extras) {
    auto key = stateKey(w);
    if (!key || !w.input) return;
    PageState::Page page{*w.input, OutputPrint(w.folder->get(), outputsOf(std::move(extras))),
                         w.result.total, w.result.icons};
    if (s.hashes) page.sums = sumsPrint(w);
    if (s.hashes && FileDetailsNeeded(s)) {
        // Its checksums stand for its files only once those are settled, as in the digest cache.
        const std::int64_t settled = static_cast<std::int64_t>(std::time(nullptr)) - kSettledSeconds;
        for (const FileEntry& file : w.listing.files) {
            const bool own = file.name == kMd5SumsName || file.name == kSha256SumsName;
            if (!file.excluded && !own && file.mtime >= settled) return;
        }
        page.files = w.listing.filesPrint;
    }
    s.pageState->keep(*key, std::move(page));
}

// Whether the folder's files are those the last run took checksums of, and its checksum files
// as that run left them: then the checksums need no looking up until its page is made.
bool PageWalk::Impl::digestsAsBefore(const FolderWork& w) const {
    auto key = stateKey(w);
    if (!key || !FileDetailsNeeded(s)) return false;
    auto page = s.pageState->find(*key);
    return page && page->files != 0 && page->files == w.listing.filesPrint &&
           page->sums == sumsPrint(w);
}

std::uint64_t PageWalk::Impl::sumsPrint(const FolderWork& w) const {
    return OutputPrint(w.folder->get(), {kMd5SumsName, kSha256SumsName});
}

// The checksums put off by digestsAsBefore, before the page is made: its checksum files stand
// as they will be.
void PageWalk::Impl::digestsNow(FolderWork& w) const {
    if (!w.digestsLater) return;
    w.digestsLater = false;
    if (s.hashCache) hashFiles(w);
    w.sums = sumsOf(w.listing);
    w.sumsTime = static_cast<std::int64_t>(std::time(nullptr));
}

// One page in its own file: in its folder, or with a flat name in the output folder. A page
// whose bytes equal the file there is neither asked about nor written. `mayReplace` answers
// the question about a page that is there.
WriteOutcome PageWalk::Impl::writeOwnFile(FolderWork& w, bool sweepHere,
                                          const std::function<bool(const std::string&)>& mayReplace,
                                          double serverTotalBefore) {
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    const std::string target = joinPath(w.path, htm);
    bool ask = !s.o.on(opt("chkReplaceOlda")) && isPresent(w.listing, htm, false);
    WriteRules writeRules{s.treeId, true};
    writeRules.keepUnchanged = true;
    writeRules.sweep = sweepHere;
    int folder = w.folder->get();
    std::string name = htm, landsIn = w.path;
    if (s.allInOneFolder) {
        folder = s.outputFolderFd->get();
        name = FlatPageName(s.o, w.place.relativePath);
        landsIn = s.outputFolder;
    } else {
        removeStaleTemporaries(folder, w.listing.leftovers);
    }
    if (w.kept || (!w.rendered && keptAsWritten(w, serverTotalBefore))) return WriteOutcome::Unchanged;
    digestsNow(w);
    // The question is about the folder's own page, in every mode; it is asked only when a
    // file would change, so a run over an unchanged tree asks nothing.
    if (ask) writeRules.mayReplace = [&mayReplace, &target] { return mayReplace(target); };
    std::optional<PageFiles> files;
    if (!w.rendered) {
        files.emplace(s, w.place, w.listing);
        // A user's file in the place of a numbered page or data file is no row either: it is
        // asked about and replaced like the page.
        std::unordered_set<std::string> extras;
        for (std::size_t i = 0; i < files->extraCount(); ++i) extras.insert(files->extraName(i));
        bool taken = false;
        for (FileEntry& file : w.listing.files) {
            if (!file.excluded && extras.count(file.name)) file.excluded = taken = true;
        }
        if (taken) files.emplace(s, w.place, w.listing);
    }
    WriteOutcome outcome;
    {
        TextFile file(folder, name, joinPath(landsIn, name), s.pagePolicy, writeRules);
        if (w.rendered) {
            file.writeRaw(w.page.bytes());
        } else {
            w.result = files->render(true, serverTotalBefore, file);
        }
        outcome = file.commit();
    }
    if (outcome == WriteOutcome::Declined) return outcome;
    if (!s.allInOne)
        writeExtras(w, files ? &*files : nullptr,
                    s.o.on(opt("chkReplaceOlda")) ? nullptr : &mayReplace);
    writeSums(w);
    if (s.o.on(opt("chkJsonListing")))
        writeBeside(folder, JsonNameFor(name), landsIn, w.json ? *w.json : JsonListingOf(s, w.place, w.listing));
    noteTimeChange(w);
    std::vector<std::string> extras;
    for (std::size_t i = 0; files && i < files->extraCount(); ++i) extras.push_back(files->extraName(i));
    keepAsWritten(w, std::move(extras));
    return outcome;
}

// The numbered pages and data files of a long page, each written only when it changed; those
// of ours no longer needed go. A user's file in the place of one is replaced only as the page
// would be, after the question.
void PageWalk::Impl::writeExtras(FolderWork& w, const PageFiles* files,
                                 const std::function<bool(const std::string&)>* mayReplace) {
    const int folder = w.folder->get();
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    std::unordered_set<std::string> ours(w.ownExtras.begin(), w.ownExtras.end()), needed;
    for (std::size_t i = 0; files && i < files->extraCount(); ++i) {
        const std::string name = files->extraName(i), target = joinPath(w.path, name);
        needed.insert(name);
        WriteRules extraRules{s.treeId, true};
        extraRules.keepUnchanged = true;
        extraRules.sweep = false;
        if (mayReplace && !ours.count(name))
            extraRules.mayReplace = [mayReplace, &target] { return (*mayReplace)(target); };
        TextFile file(folder, name, target, Unmappable::KeepUtf8, extraRules);
        files->renderExtra(i, file);
        file.commit();
    }
    for (const std::string& name : w.ownExtras) {
        // Looked at again just before: only a file that still says it is ours goes.
        if (needed.count(name) || !IsOwnExtraFile(folder, htm, name)) continue;
        changeKeepingTime(folder, [&] { return ::unlinkat(folder, name.c_str(), 0); });
    }
}

// One section of the all-in-one file, which is opened with the first section written.
bool PageWalk::Impl::writeSection(FolderWork& w) {
    if (allInOneGivenUp) return false;
    const std::string& htm = s.o.text(opt("txtIndexHtm"));
    try {
        if (!allInOne) {
            WriteRules writeRules{s.treeId, true};
            writeRules.keepUnchanged = true;
            // One question, about the one file the sections replace, once it would change.
            if (!s.o.on(opt("chkReplaceOlda"))) {
                writeRules.mayReplace = [this, target = joinPath(s.outputFolder, htm)] {
                    return question(target);
                };
            }
            allInOne = std::make_unique<TextFile>(s.outputFolderFd->get(), htm,
                                                  joinPath(s.outputFolder, htm), s.pagePolicy,
                                                  writeRules);
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
    std::optional<WriteOutcome> page;
    bool written;
    if (s.allInOneFile) {
        written = writeSection(w);
    } else {
        auto ask = [this](const std::string& target) { return question(target); };
        page = writeOwnFile(w, sweepHere, ask, h.state.serverTotal);
        written = page != WriteOutcome::Declined;
    }
    if (!written) {
        ++h.state.pagesDeclined;
        return;
    }
    done(w, page);
}

void PageWalk::Impl::sayNotes(FolderWork& w) {
    for (std::string& note : w.notes) h.sink.status(std::move(note));
    w.notes.clear();
}

// A folder below the top, in its turn: false when it could not be read (its subtree goes).
bool PageWalk::Impl::visit(FolderWork& w) {
    const std::string shown = toUtf8(w.path);
    if (w.inTurn && workers && w.readError.empty()) {
        // Read again in turn: linked folders may have had pages written meanwhile.
        auto again = read(w.path, w.folder, w.id);
        w.listing = std::move(again->listing);
        w.sums = std::move(again->sums);
        w.sumsTime = again->sumsTime;
        w.digestsLater = again->digestsLater;
        w.ownExtras = std::move(again->ownExtras);
        w.readError = std::move(again->readError);
        w.notes = std::move(again->notes);
    }
    if (w.written) {
        std::lock_guard lock(timesMutex);
        timesBefore.erase(w.id);
    }
    if (!w.readError.empty()) {
        h.sink.error("Error reading folder `" + shown + "`: " + w.readError + "; skipped.");
        ++h.state.foldersSkipped;
        return false;
    }
    h.sink.status("Generating index for : `" + shown + "`");
    sayNotes(w);
    lastTitle = w.place.title;
    keepLinkedTimes(w);
    resolveLinks(w);
    addTotals(w, false);
    if (h.state.replaceCancelled) return true;
    if (w.written) {
        if (!w.writeError.empty()) {
            h.sink.error("Error writing index for `" + shown + "`: " + w.writeError + ".");
        } else if (w.outcome != WriteOutcome::Declined) {
            done(w, w.outcome);
        } else {
            ++h.state.pagesDeclined;
        }
        return true;
    }
    try {
        writePage(w, false);
    } catch (const std::exception& e) {
        h.sink.error("Error writing index for `" + shown + "`: " + reasonOf(e) + ".");
    }
    return true;
}

// Says the turns of the folders made on the workers that are done, in order, and waits while
// more than `most` are still being made: 0 before the walk's own next turn, which comes after
// them; a few while the walk goes on, each of which holds its folder's rows.
void PageWalk::Impl::finishTurns(std::size_t most) {
    while (!inTurn.empty()) {
        auto& [job, rows] = inTurn.front();
        if (inTurn.size() <= most && inTurnRows <= kRowsHeldAhead &&
            job->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        std::unique_ptr<FolderWork> w = job->get();
        inTurnRows -= rows;
        inTurn.pop_front();
        visit(*w);
        advance();
    }
}

// Measuring, the walk reads the folders it would enter and writes nothing: it keeps the totals
// of each and returns what they hold together.
FolderTotals PageWalk::Impl::walk(const std::string& folder, const SharedFolder& open,
                                  const std::vector<FolderEntry>& subfolders,
                                  std::vector<FolderId>& ancestors, bool measuring,
                                  BelowReads begun) {
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
        if (reachOf(subfolders[i]) == Reach::Walk && !ownIcons(folder, subfolders[i]))
            entered.push_back(i);
    }
    if (!measuring) foldersFound += static_cast<int>(entered.size());
    std::deque<std::shared_ptr<ReadAhead>> ahead;
    // Folders read ahead use this walk's state: they finish before it goes, however it ends;
    // when it ends by an exception, those not begun are dropped and write nothing.
    struct WaitForAhead {
        Impl& impl;
        std::deque<std::shared_ptr<ReadAhead>>& ahead;
        int failing = std::uncaught_exceptions();
        ~WaitForAhead() {
            if (std::uncaught_exceptions() > failing) impl.cancel();
            for (auto& job : ahead) job->settle();
        }
    } waitForAhead{*this, ahead};
    std::size_t started = 0;
    auto topUp = [&] {
        while (workers && started < entered.size() && ahead.size() < window) {
            const std::size_t place = entered[started++];
            const FolderEntry& sub = subfolders[place];
            auto job = begun.take(place);
            ahead.push_back(job ? std::move(job)
                                : start(open, joinPath(folder, sub.name), sub, measuring, ancestors));
        }
    };
    topUp();
    FolderTotals sum;
    for (const FolderEntry& sub : subfolders) {
        if (stopped || (h.stopRequested && h.stopRequested())) {
            stopped = true;
            return sum;
        }
        if (ownIcons(folder, sub)) continue;
        std::string path = joinPath(folder, sub.name);
        if (Reach reach = reachOf(sub); reach != Reach::Walk) {
            if (measuring) continue;
            finishTurns();
            static constexpr const char* kWhy[] = {
                "", "it leads back to a folder above it.",
                "it leads outside the folder being indexed.",
                "the folder it leads to is indexed under another path."};
            h.sink.status("Skipping `" + toUtf8(path) + "`: " + kWhy[static_cast<int>(reach)]);
            ++h.state.foldersSkipped;
            continue;
        }
        std::unique_ptr<FolderWork> w;
        if (workers) {
            auto job = std::move(ahead.front());
            ahead.pop_front();
            w = job->get();
            w->release();  // the walk holds it now
            topUp();
        } else {
            w = readChild(open, path, sub, measuring);
        }
        FolderTotals tree;
        if (!measuring && totalsAfterTree()) {
            if (!w->readError.empty()) {
                finishTurns();
                visit(*w);  // says so
                advance();
                continue;
            }
            resolveLinks(*w);  // which linked subfolders are walked here
            const std::vector<FolderEntry> below = w->listing.folders;
            ancestors.push_back({sub.device, sub.inode});
            tree = w->listed;
            tree += walk(path, w->folder, below, ancestors, false, std::move(w->below));
            ancestors.pop_back();
            if (stopped) return sum;  // no page with a part of its totals
            totals.set(path, tree);
            sum += tree;
            if (writesAhead && !w->inTurn && !NeedsServerTotal(s, w->place)) {
                const bool made = w->written;  // ahead of its turn: nothing left to do
                const std::size_t rows = w->listing.files.size();
                auto job = std::make_shared<ReadAhead>(
                    std::packaged_task<std::unique_ptr<FolderWork>()>(
                        [this, w = std::move(w)]() mutable {
                            if (!cancelled && !w->written) make(*w);
                            return std::move(w);
                        }));
                inTurn.emplace_back(job, rows);
                inTurnRows += rows;
                if (made)
                    job->run();
                else
                    workers->add([job] { job->run(); });
                finishTurns(kBelowAhead / 2);
                continue;
            }
            finishTurns();
            visit(*w);
            advance();
            continue;
        }
        if (measuring) {
            if (!w->readError.empty()) continue;  // the walk skips it, and says so in its turn
            resolveLinks(*w, true);
            tree = ListedFiles(w->listing);
            sayHashed();  // a first run over a tree hashes its files while it measures it
        } else {
            finishTurns();
            bool wasEntered = visit(*w);
            advance();
            if (!wasEntered) continue;
        }
        std::vector<FolderEntry> below = std::move(w->listing.folders);
        SharedFolder here = w->folder;
        BelowReads pending = std::move(w->below);
        w.reset();  // its page is written: nothing of it is needed for the subfolders
        ancestors.push_back({sub.device, sub.inode});
        tree += walk(path, here, below, ancestors, measuring, std::move(pending));
        ancestors.pop_back();
        if (measuring && !stopped) totals.set(path, tree);
        sum += tree;
    }
    h.letEventsRun();
    return sum;
}

// What the tree of the read folder `w` holds, measured as the walk will find it; every folder
// of it keeps its totals. Nothing when the run was stopped meanwhile.
std::optional<FolderTotals> PageWalk::Impl::measureTree(FolderWork& w,
                                                        std::vector<FolderId>& ancestors) {
    FolderTotals tree = ListedFiles(w.listing);
    tree += walk(w.path, w.folder, w.listing.folders, ancestors, true);
    if (stopped) return std::nullopt;
    totals.set(w.path, tree);
    return tree;
}

// The rows the folder's page lists, for the search index.
void PageWalk::Impl::noteSearchNames(const FolderWork& w) {
    auto relative = relativeTo(w.path, s.top);
    if (!relative) return;
    std::vector<SearchEntry> names;
    names.reserve(w.listing.folders.size() + w.listing.files.size());
    for (const FolderEntry& sub : w.listing.folders) {
        if (!IsHiddenFolderRow(s, w.place, w.listing, sub.name)) names.push_back({sub.name, true, 0, sub.mtime});
    }
    for (const FileEntry& file : w.listing.files) {
        if (!file.excluded) names.push_back({file.name, false, file.size, file.mtime});
    }
    searchNames.set(std::string(*relative), std::move(names));
}

// The search index in its folder in the top folder: files whose bytes changed are written,
// those of ours no longer part of it removed.
// The script of modern pages, in the top folder: each run puts it there as this program
// writes it, also when every page stands as it was.
void PageWalk::Impl::writePageScript() {
    const std::string name = PageScriptName(s.o.text(opt("txtIndexHtm")));
    try {
        writeBeside(s.topFolder->get(), name, s.top, PageScriptFile());
    } catch (const std::exception& e) {
        h.sink.error("Error writing `" + toUtf8(joinPath(s.top, name)) + "`: " + reasonOf(e) + ".");
    }
}

// The files a folder's page lists, for the record of what is new; the run's own files are news
// to no one.
void PageWalk::Impl::noteNews(const FolderWork& w) const {
    auto relative = relativeTo(w.path, s.top);
    if (!relative) return;
    const std::string& page = s.o.text(opt("txtIndexHtm"));
    const std::string json = JsonNameFor(page);
    std::vector<NewsFile> files;
    for (const FileEntry& file : w.listing.files) {
        if (file.excluded || file.name == page || file.name == json || file.name == kMd5SumsName ||
            file.name == kSha256SumsName)
            continue;
        files.push_back({file.name, file.size, file.mtime, 0});
    }
    s.news->see(std::string(*relative), std::move(files));
}

// The "what's new" page and its feed in the top folder, from the record the walk brought up to
// date; a user's own file of either name stays as it is.
void PageWalk::Impl::writeNews() {
    NewsRecord& news = *s.news;
    news.finish();
    const int days = WhatsNewDays(s.o);
    std::size_t total = 0;
    const std::vector<NewsItem> rows =
        news.since(news.now() - std::int64_t{days} * 86400, kWhatsNewRows, &total);
    const std::vector<NewsItem> entries(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(
                                                                      std::min(rows.size(), kFeedEntries)));
    const int top = s.topFolder->get();
    const std::string& page = s.o.text(opt("txtIndexHtm"));
    const std::pair<std::string, std::string> files[] = {
        {std::string(kWhatsNewName), WhatsNewPage(s, rows, total, days)},
        {std::string(kFeedName), AtomFeed(s, entries, days, news.latest())}};
    for (const auto& [name, bytes] : files) {
        if (IsUsersExtraFile(top, page, name)) {
            h.sink.status("Leaving `" + toUtf8(joinPath(s.top, name)) + "` as it is: it is not one of ours.");
            continue;
        }
        try {
            writeBeside(top, name, s.top, bytes);
        } catch (const std::exception& e) {
            h.sink.error("Error writing `" + toUtf8(joinPath(s.top, name)) + "`: " + reasonOf(e) + ".");
        }
    }
}

void PageWalk::Impl::writeSearchIndex() {
    const std::string name(kSearchFolder), shown = toUtf8(joinPath(s.top, name));
    const int top = s.topFolder->get();
    try {
        // Pages that search this site beside their own label its results with its folder's name.
        const SearchSite site{SiteName(s),
                              FolderPageEnding(s)};
        const std::string print =
            searchNames.read([&](const SearchTree& tree) { return SearchFingerprint(tree, site); });
        changeKeepingTime(top, [&] { return ::mkdirat(top, name.c_str(), 0755); });
        Descriptor dir(::openat(top, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dir) {
            h.sink.error("Error writing the search index in `" + shown + "`: it is not a folder.");
            return;
        }
        // The same names as the index was made of, and its files all there: nothing to do.
        auto read = [&dir](const std::string& file) -> std::optional<std::string> {
            std::error_code ec;
            return readRegularFileAt(dir.get(), file, ec, std::size_t{1} << 24);
        };
        auto exists = [&dir](const std::string& file) {
            struct stat st;
            return ::fstatat(dir.get(), file.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISREG(st.st_mode);
        };
        // The script the pages load, as this program writes it, also beside an index that stands.
        const std::string script = std::string(kSearchMark) + SearchScriptFile();
        writeBeside(dir.get(), std::string(kSearchScriptName), joinPath(s.top, name), script);
        if (SearchIndexIsCurrent(read, exists, print)) return;
        ParallelFor forEach;
        if (workers) forEach = [this](std::size_t n, const std::function<void(std::size_t)>& task) { workers->forEach(n, task); };
        auto files =
            searchNames.read([&](const SearchTree& tree) { return BuildSearchIndex(tree, print, site, forEach); });
        if (!h.searchNames) ownSearchNames.clear();  // a run's own names are done with
        for (const auto& [file, bytes] : files) writeBeside(dir.get(), file, joinPath(s.top, name), bytes);
        std::vector<std::string> stale;
        if (DIR* list = ::fdopendir(::fcntl(dir.get(), F_DUPFD_CLOEXEC, 0))) {
            while (dirent* d = ::readdir(list)) {
                std::string entry = d->d_name;
                if (entry[0] != '.' && !files.count(entry) && entry != kSearchScriptName)
                    stale.push_back(entry);
            }
            ::closedir(list);
        }
        for (const std::string& entry : stale) {
            // Only a file that says it is part of an index goes.
            if (readFileStartAt(dir.get(), entry, kSearchMark.size()) != kSearchMark) continue;
            changeKeepingTime(dir.get(), [&] { return ::unlinkat(dir.get(), entry.c_str(), 0); });
        }
    } catch (const std::exception& e) {
        h.sink.error("Error writing the search index in `" + shown + "`: " + reasonOf(e) + ".");
    }
}

bool PageWalk::Impl::awaitsTotals(const FolderWork& w) const {
    if (!totalsAfterTree()) return false;
    return std::any_of(w.listing.folders.begin(), w.listing.folders.end(),
                       [&](const FolderEntry& sub) {
                           return sub.reach == Reach::Walk && !ownIcons(w.path, sub);
                       });
}

bool PageWalk::Impl::ownIcons(const std::string& folder, const FolderEntry& sub) const {
    // The icons the run keeps are its own output, like its pages: no page goes there.
    return !s.iconFolder.empty() && normalFolder(joinPath(folder, sub.name)) == s.iconFolder;
}

// The totals of the folders the walk enters, on their rows: as measured before the pages.
// A folder written without its tree measures those that were not (`measureMissing`), as a
// recursive walk would see them, links weighed against the folders walked by their own paths.
void PageWalk::Impl::addTotals(FolderWork& w, bool measureMissing) {
    if (!s.modern) return;
    std::optional<std::string> realHere;
    for (FolderEntry& sub : w.listing.folders) {
        if (sub.reach != Reach::Walk || ownIcons(w.path, sub)) continue;
        std::string path = joinPath(w.path, sub.name);
        sub.totals = totals.find(path);
        if (sub.totals || !measureMissing || stopped) continue;
        if (sub.link && linkReach(w.folder->get(), w.path, sub, realHere, true) != Reach::Walk)
            continue;
        auto below = readChild(w.folder, path, sub, true);
        if (!below->readError.empty()) continue;
        resolveLinks(*below, true);
        std::vector<FolderId> ancestors{w.id, below->id};
        sub.totals = measureTree(*below, ancestors);
    }
}

// The top folder's page, from its work; false when it failed.
bool PageWalk::Impl::topPage(std::unique_ptr<FolderWork> w, bool sweepHere) {
    const std::string shown = toUtf8(w->path);
    if (!w->readError.empty()) {
        h.sink.error("Error reading folder `" + shown + "`: " + w->readError + ".");
        return false;
    }
    h.sink.status("Generating index for : `" + shown + "`");
    sayNotes(*w);
    lastTitle = w->place.title;
    resolveLinks(*w);
    struct Advance {
        Impl& impl;
        ~Advance() { impl.advance(); }
    } counted{*this};
    if (h.state.replaceCancelled) return true;
    try {
        writePage(*w, sweepHere);
    } catch (const std::exception& e) {
        h.sink.error("Error writing index for `" + shown + "`: " + reasonOf(e) + ".");
        return false;
    }
    return true;
}

// The pages written below have changed the times of the top folder's subfolders, which its
// page, written last, shows: those are looked up again, the rest of the listing stands.
void PageWalk::Impl::refreshFolders(FolderWork& w) {
    noteRead(w.path);
    auto& folders = w.listing.folders;
    std::erase_if(folders, [&](FolderEntry& sub) {
        struct stat st;
        if (::fstatat(w.folder->get(), sub.name.c_str(), &st, 0) != 0) return true;
        sub.mtime = st.st_mtime;
        return false;
    });
}

// One folder's page and, when recursive, its tree's: the top page last (in the all-in-one
// file, first). The top page of an output folder of flat pages is the last written there: it
// sweeps that folder.
bool PageWalk::Impl::writeTree(const WalkTarget& target) {
    std::unique_ptr<FolderWork> top;
    try {
        top = read(target.path, target.folder, idOf(target.folder->get()));
    } catch (const std::exception& e) {
        h.sink.error("Error reading folder `" + toUtf8(target.path) + "`: " + reasonOf(e) + ".");
        return false;
    }
    auto stoppedBefore = [&] {
        h.sink.status("Stopped before the page of `" + toUtf8(target.path) + "`");
        return false;
    };
    // What is kept of the folders for the search index and the record of what is new: a tree
    // read again replaces all of its own; a folder read alone drops the subfolders that went.
    if (auto relative = relativeTo(target.path, s.top);
        (searching || s.news) && relative && top->readError.empty()) {
        const std::string folder(*relative);
        std::vector<std::string> names;
        if (!target.recursive)
            for (const FolderEntry& sub : top->listing.folders) names.push_back(sub.name);
        if (searching) {
            if (target.recursive) searchNames.forgetBelow(folder);
            else searchNames.keepOnly(folder, names);
        }
        if (s.news) {
            if (target.recursive) s.news->walksTree(folder);
            else s.news->keepOnly(folder, std::move(names));
        }
    }
    if (!target.recursive) {
        if (s.modern && top->readError.empty()) {
            // Written alone, as a watch writes a changed folder: the totals of its subfolders
            // are those kept from the runs before, its own are made anew for the folders above.
            addTotals(*top, true);
            if (stopped) return stoppedBefore();
            FolderTotals tree = ListedFiles(top->listing);
            std::vector<std::string> names;
            for (const FolderEntry& sub : top->listing.folders) {
                names.push_back(sub.name);
                if (sub.totals) tree += *sub.totals;
            }
            totals.keepOnly(target.path, std::move(names));
            totals.set(target.path, tree);
        }
        return topPage(std::move(top), s.allInOneFolder);
    }
    if (!top->readError.empty()) {
        h.sink.error("Error reading folder `" + toUtf8(target.path) + "`: " + top->readError + ".");
        return false;
    }
    resolveLinks(*top);
    std::vector<FolderId> ancestors{top->id};
    if (s.modern) {
        totals.forgetBelow(target.path);
        // The sections of the all-in-one file go top down, and each shows the totals of the
        // trees below it: those are measured first.
        if (!totalsAfterTree()) {
            if (!measureTree(*top, ancestors)) return stoppedBefore();
            addTotals(*top, false);
        }
    }
    SharedFolder open = top->folder;
    if (s.allInOneFile) {
        std::vector<FolderEntry> below = top->listing.folders;
        if (!topPage(std::move(top), false)) return false;
        walk(target.path, open, below, ancestors);
        finishTurns();
        return true;
    }
    FolderTotals below = walk(target.path, open, top->listing.folders, ancestors);
    finishTurns();
    if (stopped) return stoppedBefore();
    refreshFolders(*top);
    if (totalsAfterTree()) {
        FolderTotals tree = ListedFiles(top->listing);
        tree += below;
        totals.set(target.path, tree);
        addTotals(*top, false);
    }
    return topPage(std::move(top), s.allInOneFolder);
}

// Pages read before a run wrote into one of their folders show that folder's old time: they
// are written again, deepest first, until none is left (each round goes one level up).
void PageWalk::Impl::settle() {
    if (!h.settle || s.allInOne) return;
    const std::string top = normalFolder(s.top);
    for (int round = 0; round < 4096 && !stopped; ++round) {
        std::vector<std::string> stale;
        {
            std::lock_guard lock(writesMutex);
            for (const auto& [folder, at] : changedAt) {
                std::string parent = parentOf(folder);
                if (folder == top || parent.empty() || !isInside(parent, top)) continue;
                auto seen = readAt.find(parent);
                if (seen == readAt.end() || at > seen->second) stale.push_back(parent);
            }
        }
        if (stale.empty()) return;
        std::sort(stale.begin(), stale.end(), [](const std::string& a, const std::string& b) {
            int da = CountPathSeparators(a), db = CountPathSeparators(b);
            return da != db ? da > db : a < b;
        });
        stale.erase(std::unique(stale.begin(), stale.end()), stale.end());
        for (const std::string& folder : stale) {
            if (h.stopRequested && h.stopRequested()) {
                stopped = true;
                return;
            }
            ++foldersFound;
            try {
                // Inside the top: `stale` holds only such folders.
                SharedFolder open = share(openBeneath(s.topFolder->get(), *relativeTo(folder, top), true));
                auto w = read(folder, open, idOf(open->get()));
                if (w->readError.empty()) {
                    resolveLinks(*w);  // first: a link walked by another path shows no totals
                    addTotals(*w, !s.recursive);
                }
                topPage(std::move(w), false);
            } catch (const std::exception& e) {
                // Gone or moved since: the watch that asked for it hears of it next.
                noteRead(folder);
                h.sink.status("Skipping `" + toUtf8(folder) + "`: " + reasonOf(e) + ".");
            }
        }
    }
}

PageWalk::PageWalk(const RunSettings& settings, RunHooks hooks)
    : impl_(std::make_unique<Impl>(settings, std::move(hooks))) {}

PageWalk::~PageWalk() = default;

bool PageWalk::writePages() {
    return writePages({{impl_->s.top, impl_->s.topFolder, impl_->s.recursive}});
}

bool PageWalk::writePages(const std::vector<WalkTarget>& targets) {
    Impl& d = *impl_;
    d.h.state.startFolder.clear();
    bool ok = true;
    // A walk of the whole tree writes the search index of the top folder; so does a watch,
    // which keeps the names of the folders it does not read again.
    d.searching = SearchesSite(d.s) && !targets.empty() &&
                  ((d.s.recursive && targets.front().recursive) || d.h.searchNames);
    try {
        // Before the walk: the top folder's page lists it as ours, not as a file.
        if (!d.s.footerAfterScript.empty()) d.writePageScript();
        for (const WalkTarget& target : targets) {
            bool first = &target == &targets.front();
            if (d.stopped || (!first && d.h.stopRequested && d.h.stopRequested())) {
                d.stopped = true;
                return false;
            }
            ok = d.writeTree(target) && ok;
        }
        if (d.searching && !d.stopped) d.writeSearchIndex();
        if (d.s.news && !d.stopped) d.writeNews();
        d.settle();
    } catch (const std::exception& e) {
        // Nothing of a failed run goes on behind its back.
        d.cancel();
        d.h.sink.error("Error: the run stopped: " + reasonOf(e) + ".");
        return false;
    }
    return ok && !d.stopped;
}

void PageWalk::finishAllInOne() {
    Impl& d = *impl_;
    // No section was written in this run: a footer alone would only spoil the existing page.
    if (!d.allInOne) return;
    try {
        d.allInOne->write(d.s.footer);
        WriteOutcome outcome = d.allInOne->commit();
        ++(outcome == WriteOutcome::Written     ? d.h.state.pagesWritten
           : outcome == WriteOutcome::Unchanged ? d.h.state.pagesUnchanged
                                                : d.h.state.pagesDeclined);
    } catch (const std::system_error& e) {
        d.h.sink.error("Error writing index `" + toUtf8(d.allInOne->path()) + "`: " + reasonOf(e) +
                       ".");
    }
    d.allInOne.reset();
}

const std::string& PageWalk::lastTitle() const {
    return impl_->lastTitle;
}

}  // namespace tabulo
