#include "news/NewsRecord.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/PercentEncoding.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"
#include "state/PageState.h"

namespace tabulo {

namespace {

constexpr std::string_view kMagic = "TBNEWS1 ";
// A record is read whole; past this it is taken for damaged, and the next run starts anew.
constexpr std::size_t kMaxRecord = std::size_t{1} << 30;

// Names are bytes: the three that would break a line of the record are written as %XX.
constexpr ByteSet kRecordBytes = ByteSet::range(0, 0xFF).without("%\n\r");

std::string escaped(std::string_view name) {
    return percentEncode(name, kRecordBytes);
}

template <typename Number>
bool field(std::string_view& line, Number& value) {
    const auto space = line.find(' ');
    if (space == std::string_view::npos) return false;
    auto [end, ec] = std::from_chars(line.data(), line.data() + space, value);
    if (ec != std::errc() || end != line.data() + space) return false;
    line.remove_prefix(space + 1);
    return true;
}

bool isBelow(const std::string& folder, const std::string& tree) {
    if (tree.empty()) return !folder.empty();
    return folder.size() > tree.size() && folder.starts_with(tree) && folder[tree.size()] == '/';
}

bool isAtOrBelow(const std::string& folder, const std::string& tree) {
    return folder == tree || isBelow(folder, tree);
}

}  // namespace

NewsRecord::NewsRecord(NewsRecord&& other) noexcept
    : folders_(std::move(other.folders_)),
      lastRun_(other.lastRun_),
      now_(other.now_),
      changed_(other.changed_) {}

NewsRecord& NewsRecord::operator=(NewsRecord&& other) noexcept {
    folders_ = std::move(other.folders_);
    lastRun_ = other.lastRun_;
    now_ = other.now_;
    changed_ = other.changed_;
    return *this;
}

NewsRecord NewsRecord::load(const std::string& path) {
    NewsRecord record;
    std::error_code ec;
    auto text = readRegularFile(path, ec, kMaxRecord);
    if (!text || !text->starts_with(kMagic)) return record;
    std::string_view rest = *text;
    std::map<std::string, std::vector<NewsFile>> folders;
    std::int64_t lastRun = 0;
    std::vector<NewsFile>* files = nullptr;
    bool first = true;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) return record;  // cut short: damaged
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (first) {
            line.remove_prefix(kMagic.size());
            auto [p, e] = std::from_chars(line.data(), line.data() + line.size(), lastRun);
            if (e != std::errc() || p != line.data() + line.size()) return record;
            first = false;
            continue;
        }
        if (line.starts_with("D ")) {
            auto folder = percentDecode(line.substr(2));
            if (!folder) return record;
            files = &folders[*folder];
            continue;
        }
        NewsFile file;
        if (!files || !field(line, file.seen) || !field(line, file.size) || !field(line, file.mtime))
            return record;
        auto name = percentDecode(line);
        if (!name || name->empty()) return record;
        file.name = std::move(*name);
        files->push_back(std::move(file));
    }
    for (auto& [folder, list] : folders)
        std::sort(list.begin(), list.end(), [](const NewsFile& a, const NewsFile& b) { return a.name < b.name; });
    record.folders_ = std::move(folders);
    record.lastRun_ = lastRun;
    return record;
}

void NewsRecord::save(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (!changed_ && lastRun_ != 0) return;
    std::string bytes(kMagic);
    bytes += std::to_string(now_) + "\n";
    char numbers[96];
    for (const auto& [folder, files] : folders_) {
        if (files.empty()) continue;
        bytes += "D " + escaped(folder) + "\n";
        for (const NewsFile& f : files) {
            std::snprintf(numbers, sizeof numbers, "%lld %.0f %lld ", static_cast<long long>(f.seen),
                          f.size, static_cast<long long>(f.mtime));
            bytes += numbers + escaped(f.name) + "\n";
        }
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    TextFile out(path, Unmappable::KeepUtf8);
    out.writeRaw(bytes);
    out.commit();
    changed_ = false;
    lastRun_ = now_;
}

void NewsRecord::see(const std::string& folder, std::vector<NewsFile> files) {
    std::sort(files.begin(), files.end(), [](const NewsFile& a, const NewsFile& b) { return a.name < b.name; });
    std::lock_guard lock(mutex_);
    seen_.insert(folder);
    auto& old = folders_[folder];
    for (NewsFile& file : files) {
        auto at = std::lower_bound(old.begin(), old.end(), file.name,
                                   [](const NewsFile& f, const std::string& name) { return f.name < name; });
        if (at != old.end() && at->name == file.name && at->size == file.size && at->mtime == file.mtime) {
            file.seen = at->seen;
            continue;
        }
        // The first run knows no earlier state: each file came when its time says.
        if (lastRun_ == 0) file.seen = file.mtime;
        else file.seen = file.mtime > lastRun_ ? std::min(file.mtime, now_) : now_;
        changed_ = true;
    }
    if (old.size() != files.size()) changed_ = true;
    old = std::move(files);
}

void NewsRecord::keepTree(const std::string& folder) {
    std::lock_guard lock(mutex_);
    kept_.insert(folder);
}

void NewsRecord::walksTree(const std::string& folder) {
    std::lock_guard lock(mutex_);
    walked_.insert(folder);
}

void NewsRecord::keepOnly(const std::string& folder, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::lock_guard lock(mutex_);
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (!isBelow(it->first, folder)) {
            ++it;
            continue;
        }
        const std::string_view rest = std::string_view(it->first).substr(folder.empty() ? 0 : folder.size() + 1);
        const std::string name(rest.substr(0, rest.find('/')));
        if (std::binary_search(names.begin(), names.end(), name)) {
            ++it;
        } else {
            it = folders_.erase(it);
            changed_ = true;
        }
    }
}

void NewsRecord::finish() {
    std::lock_guard lock(mutex_);
    for (auto it = folders_.begin(); it != folders_.end();) {
        const std::string& folder = it->first;
        const bool walked = std::any_of(walked_.begin(), walked_.end(),
                                        [&](const std::string& t) { return isAtOrBelow(folder, t); });
        const bool kept = std::any_of(kept_.begin(), kept_.end(),
                                      [&](const std::string& t) { return isAtOrBelow(folder, t); });
        if (walked && !kept && !seen_.count(folder)) {
            it = folders_.erase(it);
            changed_ = true;
        } else {
            ++it;
        }
    }
    seen_.clear();
    kept_.clear();
    walked_.clear();
}

std::vector<NewsItem> NewsRecord::since(std::int64_t since, std::size_t limit, std::size_t* total) const {
    std::vector<NewsItem> items;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [folder, files] : folders_)
            for (const NewsFile& f : files)
                if (f.seen >= since) items.push_back({folder, f});
    }
    if (total) *total = items.size();
    auto newer = [](const NewsItem& a, const NewsItem& b) {
        if (a.file.seen != b.file.seen) return a.file.seen > b.file.seen;
        if (a.folder != b.folder) return a.folder < b.folder;
        return a.file.name < b.file.name;
    };
    if (items.size() > limit) {
        std::partial_sort(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(limit), items.end(), newer);
        items.resize(limit);
    } else {
        std::sort(items.begin(), items.end(), newer);
    }
    return items;
}

std::int64_t NewsRecord::latest() const {
    std::lock_guard lock(mutex_);
    std::int64_t latest = 0;
    for (const auto& [folder, files] : folders_)
        for (const NewsFile& f : files) latest = std::max(latest, f.seen);
    return latest;
}

bool NewsRecord::changed() const {
    std::lock_guard lock(mutex_);
    return changed_;
}

std::string NewsRecordFile(const std::string& realTop) {
    return PageStateFile(realTop) + ".news";
}

}  // namespace tabulo
