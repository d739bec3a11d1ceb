#include "state/PageState.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "common/Descriptor.h"
#include "common/Fingerprint.h"
#include "common/Paths.h"
#include "common/TextFile.h"

namespace tabulo {

namespace {

// The file: a header, the records sorted by key, then the icon lists they point into (each
// type followed by a NUL). Written in the machine's own byte order: a file from another kind
// of machine fails its check and is only a missing one.
constexpr char kMagic[8] = {'T', 'B', 'P', 'A', 'G', 'E', 'S', '2'};

struct Header {
    char magic[8];
    std::uint64_t runPrint, count, blobSize, check;
};

template <typename T>
T readAt(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint64_t bodyCheck(std::string_view body) {
    return Fingerprint().bytes(body).value();
}

}  // namespace

struct PageState::Record {
    std::uint64_t key, input, output;
    double total;
    std::uint32_t iconsAt, iconsSize;
    std::uint64_t files, sums;
};

PageState::PageState(std::string file, std::uint64_t runPrint)
    : file_(std::move(file)), runPrint_(runPrint) {
    Descriptor fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size < static_cast<off_t>(sizeof(Header)))
        return;
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (map == MAP_FAILED) return;
    const auto* bytes = static_cast<const unsigned char*>(map);
    auto header = readAt<Header>(bytes);
    const std::size_t body = size - sizeof(Header);
    bool good = std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.runPrint == runPrint_ &&
                header.count <= body / sizeof(Record) &&
                header.count * sizeof(Record) + header.blobSize == body &&
                bodyCheck({reinterpret_cast<const char*>(bytes) + sizeof(Header), body}) == header.check;
    const unsigned char* records = bytes + sizeof(Header);
    for (std::uint64_t i = 0; good && i < header.count; ++i) {
        auto r = readAt<Record>(records + i * sizeof(Record));
        good = std::uint64_t{r.iconsAt} + r.iconsSize <= header.blobSize &&
               (i == 0 || readAt<Record>(records + (i - 1) * sizeof(Record)).key < r.key);
    }
    if (!good) {
        ::munmap(map, size);
        return;
    }
    map_ = bytes;
    mapSize_ = size;
    count_ = header.count;
    blob_ = {reinterpret_cast<const char*>(records + count_ * sizeof(Record)), header.blobSize};
    seen_ = std::make_unique<std::atomic<std::uint64_t>[]>((count_ + 63) / 64);
}

PageState::~PageState() {
    if (map_) ::munmap(const_cast<unsigned char*>(map_), mapSize_);
}

PageState::Record PageState::record(std::size_t i) const {
    static_assert(sizeof(Record) == 56, "records are written as they lie in memory: no padding");
    return readAt<Record>(map_ + sizeof(Header) + i * sizeof(Record));
}

std::optional<std::size_t> PageState::indexOf(std::uint64_t key) const {
    std::size_t lo = 0, hi = count_;
    // Keys are hashes, spread evenly: a first guess from the key's value narrows the search to
    // a few records around it, each of which may be a cache miss.
    if (count_ > 64) {
        const auto guess = static_cast<std::size_t>(((key >> 32) * count_) >> 32);
        const std::size_t reach = 8 + count_ / 1024;
        const std::size_t from = guess > reach ? guess - reach : 0, to = std::min(count_, guess + reach);
        if (record(from).key <= key && (to == count_ || key <= record(to - 1).key)) {
            lo = from;
            hi = to;
        }
    }
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (record(mid).key < key) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == count_ || record(lo).key != key) return std::nullopt;
    return lo;
}

std::vector<std::string> PageState::iconsOf(const Record& r) const {
    std::vector<std::string> icons;
    std::string_view list = blob_.substr(r.iconsAt, r.iconsSize);
    for (std::size_t end; (end = list.find('\0')) != std::string_view::npos; list.remove_prefix(end + 1))
        icons.emplace_back(list.substr(0, end));
    return icons;
}

std::optional<PageState::Page> PageState::find(std::uint64_t key) const {
    auto at = indexOf(key);
    if (!at) return std::nullopt;
    seen_[*at / 64].fetch_or(std::uint64_t{1} << (*at % 64), std::memory_order_relaxed);
    return pageOf(record(*at));
}

std::optional<PageState::Page> PageState::find(std::uint64_t key, std::uint64_t input) const {
    auto page = find(key);
    if (!page || page->input != input) return std::nullopt;
    return page;
}

PageState::Page PageState::pageOf(const Record& r) const {
    return {r.input, r.output, r.total, iconsOf(r), r.files, r.sums};
}

void PageState::keep(std::uint64_t key, Page page) {
    std::lock_guard lock(mutex_);
    kept_.emplace_back(key, std::move(page));
}

void PageState::save(bool whole) {
    std::lock_guard lock(mutex_);
    // The last word on a folder counts: a page written twice in a run was written last so.
    std::stable_sort(kept_.begin(), kept_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Record> records;
    std::string blob;
    std::unordered_map<std::string, std::uint32_t> lists;
    auto add = [&](std::uint64_t key, const Page& page) {
        std::string list;
        for (const std::string& icon : page.icons) list += icon + '\0';
        auto [it, fresh] = lists.emplace(list, static_cast<std::uint32_t>(blob.size()));
        if (fresh) blob += list;
        records.push_back({key, page.input, page.output, page.total, it->second,
                           static_cast<std::uint32_t>(list.size()), page.files, page.sums});
    };
    bool changed = false;
    std::size_t i = 0, j = 0;
    while (i < count_ || j < kept_.size()) {
        const std::uint64_t oldKey = i < count_ ? record(i).key : 0;
        if (j < kept_.size() && (i == count_ || kept_[j].first <= oldKey)) {
            while (j + 1 < kept_.size() && kept_[j + 1].first == kept_[j].first) ++j;
            const auto& [key, page] = kept_[j++];
            if (i < count_ && key == oldKey) {
                const Record r = record(i);
                changed = changed || pageOf(r) != page;
                ++i;
            } else {
                changed = true;
            }
            add(key, page);
            continue;
        }
        const Record r = record(i);
        const bool seen = (seen_[i / 64].load(std::memory_order_relaxed) >> (i % 64)) & 1;
        ++i;
        if (whole && !seen) {
            changed = true;
            continue;
        }
        add(r.key, pageOf(r));
    }
    kept_.clear();
    if (!changed) return;
    std::string bytes(sizeof(Header), '\0');
    bytes.append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record));
    bytes += blob;
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.runPrint = runPrint_;
    header.count = records.size();
    header.blobSize = blob.size();
    header.check = bodyCheck(std::string_view(bytes).substr(sizeof(Header)));
    std::memcpy(bytes.data(), &header, sizeof header);
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path());
    TextFile out(file_, Unmappable::KeepUtf8);
    out.writeRaw(bytes);
    out.commit();
}

std::string PageStateFile(const std::string& realTop) {
    char name[17];
    std::snprintf(name, sizeof name, "%016llx",
                  static_cast<unsigned long long>(Fingerprint().bytes(realTop).value()));
    return applicationFolder() + "/page-state/" + name;
}

std::uint64_t OutputPrint(int folder, const std::vector<std::string>& names) {
    Fingerprint print;
    for (const std::string& name : names) {
        print.bytes(name);
        struct stat st;
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            print.word(~std::uint64_t{0});
            continue;
        }
        for (auto w : {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_mode),
                       std::uint64_t(st.st_size), std::uint64_t(st.st_mtim.tv_sec),
                       std::uint64_t(st.st_mtim.tv_nsec), std::uint64_t(st.st_ctim.tv_sec),
                       std::uint64_t(st.st_ctim.tv_nsec)})
            print.word(w);
    }
    return print.value();
}

}  // namespace tabulo
