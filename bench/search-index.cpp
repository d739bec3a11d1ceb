// The site search index of generated trees of 100,000 to 10,000,000 names, built in memory:
// its size beside the names' own bytes, its files, how long it takes to build, and for a few
// hundred queries drawn from the names how many files each reads, shards among them. Prints
// figures only; nothing here passes or fails.
//   build/bin/tabulo_search_bench [NAMES ...] [--queries N] [--full-upto N]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "common/Encoding.h"
#include "common/WorkerPool.h"
#include "search/SearchIndex.h"

namespace {

using tabulo::SearchEntry;
using tabulo::SearchTree;
using Files = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

// A fixed sequence of numbers (splitmix64), the same with every compiler and library, so that
// every run measures the same tree.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 … n - 1.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    // [0, 1).
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    bool chance(double p) { return unit() < p; }
    template <typename T>
    const T& pick(const std::vector<T>& from) { return from[below(from.size())]; }

  private:
    std::uint64_t state_;
};

// Words as people put them in names, in several scripts.
const std::vector<std::string> kWords = {
    "report", "holiday", "photo", "invoice", "draft", "final", "notes", "backup", "scan",
    "track", "meeting", "budget", "summer", "winter", "family", "project", "readme", "slides",
    "thesis", "chapter", "episode", "season", "album", "live", "remix", "demo", "scan", "copy",
    "old", "new", "v2", "export", "screenshot", "recording", "interview", "paper", "data",
    "results", "figure", "table", "appendix", "minutes", "agenda", "contract", "receipt",
    "statement", "letter", "manual", "guide", "setup", "release", "build", "source", "test",
    "café", "résumé", "Übersicht", "naïve", "smörgåsbord", "Straße", "año", "crème brûlée",
    "façade", "Größe", "Ärger", "élève", "São Paulo", "Kraków", "Ørsted", "Łódź",
    "Ελλάδα", "θάλασσα", "φωτογραφία", "Αθήνα", "έγγραφο",
    "отчёт", "Москва", "фото", "документ", "лето", "Київ",
    "東京", "写真", "報告書", "旅行", "会議", "資料", "大阪", "北京", "上海",
    "しゃしん", "ファイル", "사진", "서울", "문서", "تقرير", "صورة", "שלום", "מסמך",
    "हिंदी", "ไทย", "🎵", "📷"};
const std::vector<std::string> kExtensions = {
    "pdf", "jpg", "JPG", "jpeg", "png", "gif", "txt", "md", "mp3", "flac", "ogg", "mkv", "mp4",
    "avi", "docx", "xlsx", "pptx", "odt", "csv", "json", "xml", "zip", "tar.gz", "7z", "iso",
    "html", "css", "js", "py", "cpp", "h", "rs", "go", "sh", "log", "bak", "svg", "epub"};
const std::vector<std::string> kSeparators = {" ", " ", " ", "-", "_", ".", " - ", ", "};
const std::vector<std::string> kCameras = {"IMG_", "DSC", "DSCN", "P", "VID_", "Scan ", "Screenshot "};
constexpr std::string_view kConsonants = "bcdfghjklmnprstvwz";
constexpr std::string_view kVowels = "aeiouy";

// A made-up word: most words of real names are in no list.
std::string madeUpWord(Random& r) {
    std::string w;
    const std::size_t syllables = 1 + r.below(4);
    for (std::size_t s = 0; s < syllables; ++s) {
        w += kConsonants[r.below(kConsonants.size())];
        w += kVowels[r.below(kVowels.size())];
        if (r.chance(0.3)) w += kConsonants[r.below(kConsonants.size())];
    }
    if (r.chance(0.2)) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    return w;
}

// A run of Han, Cyrillic or Greek letters from a few hundred of each.
std::string foreignRun(Random& r) {
    std::string w;
    const std::size_t letters = 1 + r.below(5);
    const std::size_t script = r.below(3);
    for (std::size_t i = 0; i < letters; ++i) {
        char32_t cp = script == 0   ? static_cast<char32_t>(0x4E00 + r.below(600))
                      : script == 1 ? static_cast<char32_t>(0x430 + r.below(32))
                                    : static_cast<char32_t>(0x3B1 + r.below(25));
        tabulo::appendUtf8(w, cp);
    }
    return w;
}

std::string number(Random& r) {
    switch (r.below(5)) {
        case 0: return std::to_string(1990 + r.below(36));
        case 1: {
            char date[16];
            std::snprintf(date, sizeof date, "%04zu-%02zu-%02zu", 1995 + r.below(31), 1 + r.below(12),
                          1 + r.below(28));
            return date;
        }
        case 2: {
            char padded[16];
            std::snprintf(padded, sizeof padded, "%03zu", r.below(1000));
            return padded;
        }
        case 3: return std::to_string(r.below(100000));
        default: return std::to_string(1 + r.below(30));
    }
}

// At most `limit` bytes of `s`, cut where a character starts.
void clip(std::string& s, std::size_t limit) {
    if (s.size() <= limit) return;
    std::size_t at = limit;
    while (at > 0 && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) --at;
    s.resize(at);
}

// What a folder's names have in common: a few words, a camera's prefix, an extension or
// three, as a folder of holiday photos or of a project's papers has. With `mixed` every name
// is drawn from everything instead: each block then holds most trigrams, the worst case for
// the shards.
struct Theme {
    std::vector<std::string> words;
    std::vector<std::string> extensions;
    std::string camera;
    std::string separator;
    std::size_t counter = 0;
    bool mixed = false;
};

std::string anyWord(Random& r) {
    const std::size_t kind = r.below(10);
    return kind < 4 ? r.pick(kWords) : kind < 7 ? madeUpWord(r) : kind < 8 ? foreignRun(r) : number(r);
}

Theme makeTheme(Random& r, bool mixed) {
    Theme t;
    t.mixed = mixed;
    const std::size_t words = 2 + r.below(5);
    for (std::size_t i = 0; i < words; ++i) t.words.push_back(r.below(10) < 8 ? anyWord(r) : foreignRun(r));
    const std::size_t extensions = 1 + r.below(3);
    for (std::size_t i = 0; i < extensions; ++i) t.extensions.push_back(r.pick(kExtensions));
    if (r.chance(0.2)) t.camera = r.pick(kCameras);
    t.separator = r.pick(kSeparators);
    t.counter = r.below(9000);
    return t;
}

// A name of 3 to 60 bytes: a camera's, or words, numbers and separators, with an extension
// for a file.
std::string makeName(Random& r, bool folder, Theme& theme) {
    std::string name;
    if (theme.mixed) {
        if (!folder && r.chance(0.15)) {
            name = r.pick(kCameras) + std::to_string(1000 + r.below(9000));
        } else {
            const std::size_t parts = 1 + r.below(folder ? 3 : 5);
            for (std::size_t p = 0; p < parts; ++p) name += (p ? r.pick(kSeparators) : "") + anyWord(r);
        }
    } else if (!folder && !theme.camera.empty() && r.chance(0.9)) {
        name = theme.camera + std::to_string(1000 + theme.counter++ % 9000);
    } else {
        // The folder's words mostly, now and then one of anywhere, and a number often.
        const std::size_t parts = 1 + r.below(folder ? 2 : 3);
        for (std::size_t p = 0; p < parts; ++p) {
            const std::string word = r.chance(0.15) ? anyWord(r) : r.pick(theme.words);
            name += (p ? (r.chance(0.7) ? theme.separator : r.pick(kSeparators)) : "") + word;
        }
        if (r.chance(0.6)) name += theme.separator + (r.chance(0.5) ? std::to_string(theme.counter++) : number(r));
    }
    const std::string ext = folder || r.chance(0.05) ? ""
                            : theme.mixed               ? "." + r.pick(kExtensions)
                                                        : "." + r.pick(theme.extensions);
    clip(name, 60 - ext.size());
    while (name.size() + ext.size() < 3) name += std::to_string(r.below(10));
    return name + ext;
}

struct Tree {
    SearchTree folders;
    std::size_t names = 0;
    std::uint64_t nameBytes = 0;
    std::size_t deepest = 0;
};

// `count` names in folders a few levels deep, tens to thousands in each, some folders among
// them, as a site's tree is shaped. Each folder's names are distinct.
Tree makeTree(std::size_t count, std::uint64_t seed, bool mixed) {
    Random r(seed);
    Tree t;
    std::vector<std::pair<std::string, std::size_t>> open = {{"", 0}};  // path, depth
    std::size_t topFolders = 0;
    while (t.names < count) {
        if (open.empty()) {
            // The tree ran out of folders to fill: one more at the top.
            std::string name = "archive " + std::to_string(++topFolders);
            t.folders[""].push_back({name, true, 0, 1600000000});
            t.names++;
            t.nameBytes += name.size();
            open.push_back({name, 1});
            continue;
        }
        // Depth first, in a random order of the folders still to fill.
        std::swap(open[r.below(open.size())], open.back());
        auto [path, depth] = open.back();
        open.pop_back();
        t.deepest = std::max(t.deepest, depth);
        std::vector<SearchEntry>& entries = t.folders[path];
        std::unordered_set<std::string> taken;
        for (const SearchEntry& e : entries) taken.insert(e.name);
        // Files: 10 to 3,000, half of the folders under 75.
        const auto files = static_cast<std::size_t>(10.0 * std::pow(300.0, std::pow(r.unit(), 1.5)));
        const std::size_t subfolders = depth >= 6 ? 0 : r.below(depth < 2 ? 12 : 6);
        const std::int64_t era = 1300000000 + static_cast<std::int64_t>(r.below(400000000));
        Theme theme = makeTheme(r, mixed);
        Theme anyFolder;  // subfolders are named from everything
        anyFolder.mixed = true;
        auto add = [&](bool folder) {
            std::string name = makeName(r, folder, folder ? anyFolder : theme);
            for (int n = 2; !taken.insert(name).second; ++n) {
                std::string base = name;
                clip(base, 54);
                name = base + " (" + std::to_string(n) + ")";
            }
            const double size = folder ? 0 : std::floor(std::pow(10.0, r.unit() * 9.0));
            t.nameBytes += name.size();
            t.names++;
            entries.push_back({name, folder, size, era + static_cast<std::int64_t>(r.below(86400 * 400))});
            if (folder) open.push_back({path.empty() ? name : path + "/" + name, depth + 1});
        };
        for (std::size_t i = 0; i < subfolders && t.names < count; ++i) add(true);
        for (std::size_t i = 0; i < files && t.names < count; ++i) add(false);
    }
    return t;
}

// A part of `name` of `length` characters from a random start.
std::string pieceOf(Random& r, const std::string& name, std::size_t length) {
    std::vector<std::size_t> starts;  // where each character starts, and the end
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    starts.push_back(name.size());
    const std::size_t chars = starts.size() - 1;
    length = std::min(length, chars);
    const std::size_t from = r.below(chars - length + 1);
    return name.substr(starts[from], starts[from + length] - starts[from]);
}

// Queries as people type them: parts of names, 1 to 8 characters, and some of two parts with
// a "*" between.
std::vector<std::string> drawQueries(const Tree& t, std::size_t count, std::uint64_t seed) {
    Random r(seed);
    std::vector<const std::vector<SearchEntry>*> folders;
    for (const auto& [path, entries] : t.folders) {
        if (!entries.empty()) folders.push_back(&entries);
    }
    std::vector<std::string> queries;
    while (queries.size() < count) {
        const std::vector<SearchEntry>& entries = *folders[r.below(folders.size())];
        const std::string& name = entries[r.below(entries.size())].name;
        std::string q;
        if (queries.size() % 7 == 6) {
            const std::size_t cut = name.size() / 2;
            std::string head = pieceOf(r, name.substr(0, cut), 1 + r.below(4));
            std::string tail = pieceOf(r, name.substr(cut), 1 + r.below(4));
            q = head + "*" + tail;
        } else {
            q = pieceOf(r, name, 1 + r.below(8));
        }
        if (q.find_first_not_of(" *") != std::string::npos) queries.push_back(q);
    }
    return queries;
}

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

long peakKb() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_maxrss;
}

std::size_t availableKb() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::size_t kb = 0;
    while (info >> key >> kb) {
        if (key == "MemAvailable:") return kb;
        info.ignore(256, '\n');
    }
    return 0;
}

bool isShard(const std::string& file) { return file.rfind("t-", 0) == 0; }
bool isBlock(const std::string& file) { return file.rfind("b-", 0) == 0; }

template <typename T>
T medianOf(std::vector<T> xs) {
    if (xs.empty()) return T{};
    std::sort(xs.begin(), xs.end());
    return xs[(xs.size() - 1) / 2];
}
template <typename T>
T maxOf(const std::vector<T>& xs) {
    return xs.empty() ? T{} : *std::max_element(xs.begin(), xs.end());
}

// What a page's script reads for the first page of results, and what --search reads for all.
struct QueryFigures {
    std::size_t shards = 0;         // shard files read
    std::size_t shardBytes = 0;     // the largest of them
    std::size_t allFiles = 0;       // files SearchIndex reads for every match (shards and blocks)
    std::size_t pageFiles = 0;      // the shards and the blocks until 50 results or none left
    std::size_t pageBlockBytes = 0; // the bytes of those blocks
    std::size_t firstHits = 0;      // results on the first page (at most 50 and a block's worth)
    std::optional<std::size_t> allHits;
    double allSeconds = 0;
};

constexpr std::size_t kPage = 50;  // results a page shows first

// With `full`, also the blocks a page reads and every match; else only what the shards name.
QueryFigures runQuery(const Files& files, const std::string& query, bool full) {
    QueryFigures q;
    auto find = [&](const std::string& name) -> std::optional<std::string> {
        auto it = files.find(name);
        if (it == files.end()) return std::nullopt;
        return it->second;
    };
    // The blocks that may hold a match, in order, without reading them: the shards alone.
    std::vector<std::string> candidates;
    std::string shardName;
    auto shardsOnly = [&](const std::string& name) -> std::optional<std::string> {
        if (isBlock(name)) {
            candidates.push_back(name);
            return std::nullopt;
        }
        if (isShard(name)) {
            ++q.shards;
            shardName = name;
            auto it = files.find(name);
            if (it != files.end()) q.shardBytes = std::max(q.shardBytes, it->second.size());
        }
        return find(name);
    };
    tabulo::SearchIndex(shardsOnly, query, &q.allFiles);
    // A page's script reads the blocks in order until it has a page of results: each block
    // alone, counting what it gives.
    q.pageFiles = q.shards;
    for (const std::string& block : full ? candidates : std::vector<std::string>{}) {
        auto oneBlock = [&](const std::string& name) -> std::optional<std::string> {
            if (isBlock(name) && name != block) return std::nullopt;
            return find(name);
        };
        q.firstHits += tabulo::SearchIndex(oneBlock, query).size();
        ++q.pageFiles;
        q.pageBlockBytes += files.at(block).size();
        if (q.firstHits >= kPage) break;
    }
    if (full) {
        std::size_t read = 0;
        const auto t0 = Clock::now();
        q.allHits = tabulo::SearchIndex(find, query, &read).size();
        q.allSeconds = seconds(t0);
        if (read != q.allFiles)
            std::printf("  note: \"%s\" read %zu files in full, %zu counted from its shard\n", query.c_str(), read,
                        q.allFiles);
    }
    return q;
}

struct Settings {
    std::size_t queries = 200;
    std::size_t fullUpTo = 1000000;
    bool mixed = false;
};

void report(std::size_t count, const Settings& set, tabulo::WorkerPool& pool) {
    const std::size_t queryCount = set.queries, fullUpTo = set.fullUpTo;
    std::printf("\n== %zu names%s ==\n", count, set.mixed ? ", mixed" : "");
    // About 0.7 KB a name at the peak (the tree, the index's files and its postings at once),
    // measured at a million; with a margin.
    const std::size_t needKb = count / 1024 * 900;
    const std::size_t haveKb = availableKb();
    if (haveKb && needKb > haveKb) {
        std::printf("skipped: would need about %.1f GB of memory, %.1f GB available\n", static_cast<double>(needKb) / 1048576.0,
                    static_cast<double>(haveKb) / 1048576.0);
        return;
    }
    auto t0 = Clock::now();
    auto tree = std::make_unique<Tree>(makeTree(count, 20240611u + count, set.mixed));
    const double made = seconds(t0);
    std::size_t namesOver60 = 0;
    for (const auto& [path, entries] : tree->folders) {
        for (const SearchEntry& e : entries) namesOver60 += e.name.size() > 60 ? 1 : 0;
    }
    std::printf("tree: %zu folders, %.1f MB of names (%.1f bytes a name), %zu levels deep; made in %.1f s%s\n",
                tree->folders.size(), static_cast<double>(tree->nameBytes) / 1e6,
                static_cast<double>(tree->nameBytes) / static_cast<double>(tree->names), tree->deepest, made,
                namesOver60 ? " (some names over 60 bytes!)" : "");
    const std::vector<std::string> queries = drawQueries(*tree, queryCount, 7u + count);

    t0 = Clock::now();
    Files files = tabulo::BuildSearchIndex(tree->folders, "bench", {},
                                           [&](std::size_t n, const std::function<void(std::size_t)>& task) {
                                               pool.forEach(n, task);
                                           });
    const double built = seconds(t0);
    const std::uint64_t nameBytes = tree->nameBytes;
    tree.reset();  // the queries need the index alone

    std::uint64_t total = 0;
    std::size_t blocks = 0, shards = 0, largestBlock = 0, largestShard = 0, shardsOver256 = 0;
    for (const auto& [name, bytes] : files) {
        total += bytes.size();
        if (isBlock(name)) ++blocks, largestBlock = std::max(largestBlock, bytes.size());
        if (isShard(name)) {
            ++shards;
            largestShard = std::max(largestShard, bytes.size());
            shardsOver256 += bytes.size() > 256 * 1024 ? 1 : 0;
        }
    }
    const std::size_t manifest = files.at(std::string(tabulo::kSearchManifest)).size();
    const double perName = (static_cast<double>(total) - static_cast<double>(nameBytes)) / static_cast<double>(count);
    std::printf("index: %.1f MB in %zu files (%zu blocks, %zu shards, manifest %.1f KB)\n",
                static_cast<double>(total) / 1e6, files.size(), blocks, shards, static_cast<double>(manifest) / 1024.0);
    std::printf("bytes per name beyond the name's own: %.1f (goal <= 30)\n", perName);
    std::printf("largest block %.1f KB, largest shard %.1f KB (goal <= 256; %zu over)\n",
                static_cast<double>(largestBlock) / 1024.0, static_cast<double>(largestShard) / 1024.0, shardsOver256);
    std::printf("built in %.2f s on %d threads (%.2f us a name)\n", built, pool.size() + 1,
                built * 1e6 / static_cast<double>(count));

    const bool full = count <= fullUpTo;
    std::vector<std::size_t> allFiles, pageFiles, shardsRead, shardBytes, pageBlockBytes, firstHits;
    std::vector<double> allSeconds;
    std::size_t noHits = 0, withShard = 0;
    t0 = Clock::now();
    for (const std::string& query : queries) {
        QueryFigures q = runQuery(files, query, full);
        allFiles.push_back(q.allFiles);
        pageFiles.push_back(q.pageFiles);
        shardsRead.push_back(q.shards);
        shardBytes.push_back(q.shardBytes);
        pageBlockBytes.push_back(q.pageBlockBytes);
        firstHits.push_back(q.firstHits);
        if (q.shards) ++withShard;
        if (q.firstHits == 0) ++noHits;
        if (full) allSeconds.push_back(q.allSeconds);
    }
    const double asked = seconds(t0);
    std::printf("%zu queries (parts of names of 1 to 8 characters, one in 7 two parts with \"*\"): %zu read a "
                "shard; %.1f s in all\n",
                queries.size(), withShard, asked);
    std::printf("  shards read per query: max %zu (goal <= 2)\n", maxOf(shardsRead));
    std::printf("  largest shard read: %.1f KB (goal <= 256)\n", static_cast<double>(maxOf(shardBytes)) / 1024.0);
    std::printf("  files read for every match, as --search reads (the shards and the blocks they name): median %zu, "
                "max %zu, of %zu blocks\n",
                medianOf(allFiles), maxOf(allFiles), blocks);
    if (!full) {
        std::printf("  the blocks themselves were not searched above %zu names (--full-upto)\n", fullUpTo);
        std::printf("peak memory of this program so far: %.0f MB\n", static_cast<double>(peakKb()) / 1024.0);
        return;
    }
    std::printf("  files read for the first %zu results, as a page reads (the shards, then blocks in order): "
                "median %zu, max %zu; their blocks' bytes median %.0f KB, max %.0f KB; %zu queries found nothing\n",
                kPage, medianOf(pageFiles), maxOf(pageFiles), static_cast<double>(medianOf(pageBlockBytes)) / 1024.0,
                static_cast<double>(maxOf(pageBlockBytes)) / 1024.0, noHits);
    std::printf("  every match in C++ (one SearchIndex call, as --search): median %.1f ms, max %.1f ms\n",
                medianOf(allSeconds) * 1e3, maxOf(allSeconds) * 1e3);
    // The queries reading the most, to see what costs.
    std::vector<std::size_t> order(queries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return pageFiles[x] > pageFiles[y]; });
    const std::size_t shown = std::min<std::size_t>(5, order.size());
    std::printf("  reading the most for a first page:");
    for (std::size_t i = 0; i < shown; ++i)
        std::printf(" \"%s\" %zu files (%zu results)%s", queries[order[i]].c_str(), pageFiles[order[i]],
                    firstHits[order[i]], i + 1 < shown ? ";" : "\n");
    std::printf("peak memory of this program so far: %.0f MB\n", static_cast<double>(peakKb()) / 1024.0);
}

int usage(std::FILE* to) {
    std::fprintf(to, "usage: tabulo_search_bench [NAMES ...] [--queries N] [--full-upto N] [--mixed]\n"
                     "  NAMES       sizes of the generated trees (default: 100000 1000000 10000000)\n"
                     "  --queries   queries per tree (default: 200)\n"
                     "  --full-upto search the blocks too (first page and every match) up to this many\n"
                     "              names; above, only the shards (default: 1000000)\n"
                     "  --mixed     every name drawn from all words, not from its folder's few\n");
    return to == stdout ? 0 : 2;
}

std::optional<std::size_t> wholeNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    return static_cast<std::size_t>(std::strtoull(std::string(text).c_str(), nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    Settings set;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") return usage(stdout);
        if (arg == "--mixed") {
            set.mixed = true;
            continue;
        }
        if ((arg == "--queries" || arg == "--full-upto") && i + 1 < argc) {
            auto n = wholeNumber(argv[++i]);
            if (!n) return usage(stderr);
            (arg == "--queries" ? set.queries : set.fullUpTo) = *n;
            continue;
        }
        auto n = wholeNumber(arg);
        if (!n || *n == 0) return usage(stderr);
        sizes.push_back(*n);
    }
    if (sizes.empty()) sizes = {100000, 1000000, 10000000};
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, also into a file
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // The caller takes part in forEach: one worker fewer than the cores.
    tabulo::WorkerPool pool(static_cast<int>(cores) - 1);
    std::printf("search index benchmark: %u cores; names of 3 to 60 bytes in folders a few levels deep "
                "(fixed seed)\n",
                cores);
    for (std::size_t count : sizes) {
        report(count, set, pool);
    }
    return 0;
}
