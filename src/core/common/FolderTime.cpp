#include "common/FolderTime.h"

#include <fcntl.h>

#include <array>
#include <mutex>
#include <unordered_map>

namespace tabulo {

namespace {

struct Kept {
    timespec before{};    // the folder's time when the first keeper came
    timespec expected{};  // its time after our latest change
    bool foreign = false;  // someone else changed it meanwhile: its time stays
    bool unseen = true;    // its time is taken just before our first change
    int keepers = 0;
};

// Folders are spread over stripes, so writers into different folders seldom wait for each
// other; a change is one system call, made while its stripe is held.
struct Stripe {
    std::mutex mutex;
    std::unordered_map<FolderId, Kept, FolderIdHash> folders;
};

std::array<Stripe, 32>& stripes() {
    static std::array<Stripe, 32> all;
    return all;
}

Stripe& stripeOf(const FolderId& id) {
    return stripes()[FolderIdHash()(id) % stripes().size()];
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The times given back lately, for a watch to tell them from changes by others; bounded, as
// nobody may ever ask about them.
struct GivenBack {
    static constexpr std::size_t kMax = 4096;
    std::mutex mutex;
    std::unordered_map<FolderId, timespec, FolderIdHash> times;
};

GivenBack& givenBack() {
    static GivenBack all;
    return all;
}

void noteGivenBack(const FolderId& id, const timespec& time) {
    GivenBack& g = givenBack();
    std::lock_guard lock(g.mutex);
    if (g.times.size() >= GivenBack::kMax) g.times.clear();
    g.times[id] = time;
}

}  // namespace

KeptFolderTime::KeptFolderTime(int folder) : folder_(folder) {
    struct stat st;
    if (::fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) return;
    id_ = {st.st_dev, st.st_ino};
    active_ = true;
    Stripe& stripe = stripeOf(id_);
    std::lock_guard lock(stripe.mutex);
    Kept& kept = stripe.folders[id_];
    ++kept.keepers;
}

KeptFolderTime::~KeptFolderTime() {
    if (!active_) return;
    Stripe& stripe = stripeOf(id_);
    std::lock_guard lock(stripe.mutex);
    auto it = stripe.folders.find(id_);
    if (it == stripe.folders.end() || --it->second.keepers > 0) return;
    Kept kept = it->second;
    stripe.folders.erase(it);
    struct stat st;
    if (kept.foreign || kept.unseen || sameTime(kept.before, kept.expected) ||
        ::fstat(folder_, &st) != 0 ||
        !sameTime(st.st_mtim, kept.expected))
        return;
    // Best effort: only the folder's owner (or root) may set its time.
    const timespec times[2] = {{0, UTIME_OMIT}, kept.before};
    noteGivenBack(id_, kept.before);
    (void)::futimens(folder_, times);
}

bool wasGivenBackItsTime(const FolderId& id, const timespec& time) {
    GivenBack& g = givenBack();
    std::lock_guard lock(g.mutex);
    auto it = g.times.find(id);
    if (it == g.times.end() || !sameTime(it->second, time)) return false;
    g.times.erase(it);
    return true;
}

KeptFolderTime::Ours::Ours(KeptFolderTime& keeper) : keeper_(keeper) {
    if (!keeper_.active_) return;
    Stripe& stripe = stripeOf(keeper_.id_);
    stripe.mutex.lock();
    struct stat st;
    Kept& kept = stripe.folders[keeper_.id_];
    // Looked at while no other writer of ours can put a time back.
    const bool seen = ::fstat(keeper_.folder_, &st) == 0;
    if (seen && kept.unseen) {
        kept.before = kept.expected = st.st_mtim;
        kept.unseen = false;
    } else if (!seen || !sameTime(st.st_mtim, kept.expected)) {
        kept.foreign = true;
    }
}

KeptFolderTime::Ours::~Ours() {
    if (!keeper_.active_) return;
    Stripe& stripe = stripeOf(keeper_.id_);
    struct stat st;
    Kept& kept = stripe.folders[keeper_.id_];
    if (::fstat(keeper_.folder_, &st) == 0)
        kept.expected = st.st_mtim;
    else
        kept.foreign = true;
    stripe.mutex.unlock();
}

}  // namespace tabulo
