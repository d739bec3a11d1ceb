// The floor Tabulo's speed is held against: the least work that writes the same pages, with
// the same durability, into a tree. It is no part of the product and renders nothing: it takes
// the bytes of the pages a run of tabulo-cli left in the tree.
//
//   tabulo_bench_floor [--rerun] [--threads N] TREE
//
// Untimed: it walks TREE once and reads every page Tabulo writes (index.html, its numbered
// pages, index.json, the data files index.rows-N.js and everything in .tabulo-search/) into
// memory; without --rerun it then deletes them and syncs, so the tree is as before a fresh run.
// Timed: N threads (2 by default) share the folders and, for each, read every entry (readdir
// and fstatat, as a generator must see sizes and times), then for each of the folder's pages
// write its bytes into an exclusive temporary file there and rename that over the page. One
// syncfs at the end, when anything was written. With --rerun the pages are still there: each is
// read and compared, and written as above only when it differs.
//
// Prints "WALL USER SYS" in seconds (CPU of the timed part, all threads) on standard output and
// what it did on standard error. Afterwards the tree holds the same pages as before.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct Page {
    std::string name;
    std::string bytes;
};

// Pages by their folder's path below the tree ("" for the tree itself).
using Pages = std::unordered_map<std::string, std::vector<Page>>;

constexpr const char* kPagePatterns[] = {"index.html", "index-[0-9]*.html", "index.json",
                                         "index.rows-[0-9]*.js"};
constexpr const char* kSearchFolder = ".tabulo-search";

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "tabulo_bench_floor: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::string below(const std::string& folder, const char* name) {
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

bool isPage(const std::string& folder, const char* name) {
    auto slash = folder.rfind('/');
    std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
    if (last == kSearchFolder) return true;
    for (const char* pattern : kPagePatterns)
        if (::fnmatch(pattern, name, 0) == 0) return true;
    return false;
}

// Opens a folder below the tree; a path from the tree's descriptor keeps every thread's walk
// independent of the others' descriptors.
int openFolder(int tree, const std::string& folder) {
    int fd = ::openat(tree, folder.empty() ? "." : folder.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) die(folder);
    return fd;
}

bool readWhole(int dir, const char* name, std::string& out) {
    int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        die(name);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) die(name);
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) die(name);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    ::close(fd);
    return true;
}

// The untimed part: every page into memory, and its folders' list for the deletion.
void loadPages(int tree, const std::string& folder, Pages& pages) {
    int fd = openFolder(tree, folder);
    DIR* dir = ::fdopendir(fd);
    if (!dir) die(folder);
    std::vector<std::string> subfolders;
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) die(below(folder, name));
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(below(folder, name));
        } else if (S_ISREG(st.st_mode) && isPage(folder, name)) {
            Page page{name, {}};
            if (readWhole(fd, name, page.bytes)) pages[folder].push_back(std::move(page));
        }
    }
    ::closedir(dir);
    for (const auto& sub : subfolders) loadPages(tree, sub, pages);
}

void deletePages(int tree, const Pages& pages) {
    for (const auto& [folder, list] : pages) {
        int fd = openFolder(tree, folder);
        for (const auto& page : list)
            if (::unlinkat(fd, page.name.c_str(), 0) != 0) die(below(folder, page.name.c_str()));
        ::close(fd);
    }
}

struct Counts {
    std::uint64_t folders = 0, entries = 0, written = 0, unchanged = 0, bytes = 0;
};

// Folders still to walk, shared by the threads; a thread that finds none waits while another
// may still find more.
class Queue {
  public:
    void push(std::string folder) {
        {
            std::lock_guard lock(mutex_);
            folders_.push_back(std::move(folder));
        }
        wake_.notify_one();
    }
    // `finished`: the caller is done with the folder it took before.
    bool pop(std::string& folder, bool finished) {
        std::unique_lock lock(mutex_);
        if (finished) --busy_;
        wake_.wait(lock, [this] { return !folders_.empty() || busy_ == 0; });
        if (folders_.empty()) {
            wake_.notify_all();
            return false;
        }
        folder = std::move(folders_.back());
        folders_.pop_back();
        ++busy_;
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> folders_;
    int busy_ = 0;
};

void writePage(int dir, const Page& page, unsigned thread, std::uint64_t& serial, Counts& counts) {
    std::string temp;
    int fd = -1;
    while (fd < 0) {
        temp = ".floor-" + std::to_string(::getpid()) + "-" + std::to_string(thread) + "-" +
               std::to_string(serial++) + ".tmp";
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) die(temp);
    }
    std::size_t done = 0;
    while (done < page.bytes.size()) {
        ssize_t n = ::write(fd, page.bytes.data() + done, page.bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) die(temp);
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) die(temp);
    if (::renameat(dir, temp.c_str(), dir, page.name.c_str()) != 0) die(page.name);
    ++counts.written;
    counts.bytes += page.bytes.size();
}

void walk(int tree, const Pages& pages, bool rerun, Queue& queue, unsigned thread, Counts& counts) {
    std::string folder, old;
    std::uint64_t serial = 0;
    const std::vector<Page> none;
    for (bool finished = false; queue.pop(folder, finished); finished = true) {
        int fd = openFolder(tree, folder);
        DIR* dir = ::fdopendir(fd);
        if (!dir) die(folder);
        ++counts.folders;
        while (dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            struct stat st {};
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) die(below(folder, name));
            ++counts.entries;
            if (S_ISDIR(st.st_mode)) queue.push(below(folder, name));
        }
        auto found = pages.find(folder);
        for (const auto& page : found == pages.end() ? none : found->second) {
            if (rerun && readWhole(fd, page.name.c_str(), old) && old == page.bytes) {
                ++counts.unchanged;
                continue;
            }
            writePage(fd, page, thread, serial, counts);
        }
        ::closedir(dir);
    }
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double cpu() {
    rusage use {};
    ::getrusage(RUSAGE_SELF, &use);
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

double userCpu() {
    rusage use {};
    ::getrusage(RUSAGE_SELF, &use);
    return seconds(use.ru_utime);
}

double wall() {
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int usage() {
    std::fprintf(stderr, "usage: tabulo_bench_floor [--rerun] [--threads N] TREE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool rerun = false;
    unsigned threads = 2;
    const char* top = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rerun") {
            rerun = true;
        } else if (arg == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (threads == 0) return usage();
        } else if (!top && !arg.empty() && arg[0] != '-') {
            top = argv[i];
        } else {
            return usage();
        }
    }
    if (!top) return usage();
    int tree = ::open(top, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (tree < 0) die(top);

    Pages pages;
    loadPages(tree, "", pages);
    if (pages.empty()) {
        std::fprintf(stderr, "tabulo_bench_floor: no pages in %s: run tabulo-cli on it first\n", top);
        return 1;
    }
    if (!rerun) {
        deletePages(tree, pages);
        ::sync();
    }

    double wall0 = wall(), cpu0 = cpu(), user0 = userCpu();
    Queue queue;
    queue.push("");
    std::vector<Counts> counts(threads);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back(walk, tree, std::cref(pages), rerun, std::ref(queue), t, std::ref(counts[t]));
    for (auto& worker : workers) worker.join();
    Counts all;
    for (const auto& c : counts) {
        all.folders += c.folders;
        all.entries += c.entries;
        all.written += c.written;
        all.unchanged += c.unchanged;
        all.bytes += c.bytes;
    }
    if (all.written > 0 && ::syncfs(tree) != 0) die("syncfs");
    double wall1 = wall(), cpu1 = cpu(), user1 = userCpu();
    ::close(tree);

    std::printf("%.4f %.4f %.4f\n", wall1 - wall0, user1 - user0, (cpu1 - cpu0) - (user1 - user0));
    std::fprintf(stderr,
                 "floor: %llu folders, %llu entries, %llu pages written (%llu bytes), %llu unchanged, "
                 "%u threads\n",
                 static_cast<unsigned long long>(all.folders), static_cast<unsigned long long>(all.entries),
                 static_cast<unsigned long long>(all.written), static_cast<unsigned long long>(all.bytes),
                 static_cast<unsigned long long>(all.unchanged), threads);
    return 0;
}
