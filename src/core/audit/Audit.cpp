#include "audit/Audit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <system_error>

#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/ErrorText.h"
#include "common/FolderAccess.h"
#include "listing/ListingHelpers.h"
#include "listing/Wildcard.h"
#include "pages/JsonListing.h"
#include "run/RunSettings.h"
#include "run/RunSummary.h"

namespace tabulo {

namespace {

constexpr std::size_t kLargest = 10;

// The entries of an open folder, read through a descriptor of their own.
class Entries {
  public:
    explicit Entries(int folder) {
        Descriptor own = reopenFolder(folder);
        if (!own) throw std::system_error(errno, std::generic_category());
        dir_ = ::fdopendir(own.get());
        if (!dir_) throw std::system_error(errno, std::generic_category());
        own.release();
    }
    ~Entries() { ::closedir(dir_); }
    Entries(const Entries&) = delete;
    Entries& operator=(const Entries&) = delete;

    // The next name, or nothing at the end; "." and ".." are skipped.
    std::optional<std::string> next() {
        for (;;) {
            errno = 0;
            const dirent* d = ::readdir(dir_);
            if (!d) {
                if (errno != 0) throw std::system_error(errno, std::generic_category());
                return std::nullopt;
            }
            std::string name = d->d_name;
            if (name != "." && name != "..") return name;
        }
    }

  private:
    DIR* dir_ = nullptr;
};

class Walk {
  public:
    Walk(const RunSettings& s, int top, const std::string& topPath, AuditReport& report)
        : s_(s), report_(report), topId_(idOf(top)) {
        topReal_ = pathOfFolder(top).value_or(topPath);
        upload_ = s.o.text(opt("txtUploadDirectory"));
        withhold_ = s.o.on(opt("chkLeaveOutSecrets"));
        excludes_ = s.o.on(opt("chkExcludeExts"));
    }

    void folder(int fd, const std::string& below, const std::string& name, bool listed,
                bool upload) {
        ++report_.folders;
        struct stat self;
        if (::fstat(fd, &self) == 0 && (self.st_mode & S_IWOTH) != 0) {
            add(Exposure::WorldWritable, "anyone on the machine may put files in it",
                below.empty() ? "./" : below, 0,
                listed ? AuditFinding::Shown::Listed : AuditFinding::Shown::Hidden);
        }
        std::vector<std::string> names;
        try {
            Entries entries(fd);
            while (auto entry = entries.next()) names.push_back(std::move(*entry));
        } catch (const std::exception& e) {
            report_.unread.push_back((below.empty() ? "./" : below) + ": " + reasonOf(e));
            return;
        }
        std::sort(names.begin(), names.end());
        for (const std::string& entry : names) this->entry(fd, below, name, entry, listed, upload);
    }

  private:
    void entry(int fd, const std::string& below, const std::string& folderName,
               const std::string& name, bool listed, bool upload) {
        struct stat st;
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;  // gone
        const std::string path = below + name;
        const bool hidden = name.front() == '.';
        const auto shown = listed && !hidden ? AuditFinding::Shown::Listed : AuditFinding::Shown::Hidden;
        if (S_ISLNK(st.st_mode)) {
            if (auto target = leadsOut(fd, name))
                add(Exposure::LinkOut, "a web server that follows links hands out what it leads to",
                    path, 0, shown, *target);
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            if (auto rule = VersionControlFolder(name)) {
                add(rule->kind, rule->what, path + "/", 0, shown);
                return;  // its insides are the repository's, not the site's
            }
            Descriptor sub;
            try {
                sub = openSubfolder(fd, name, false, {st.st_dev, st.st_ino});
            } catch (const std::exception& e) {
                report_.unread.push_back(path + "/: " + reasonOf(e));
                return;
            }
            // A run enters the folders below only when it is recursive, and never hidden ones.
            folder(sub.get(), path + "/", name, listed && !hidden && s_.recursive,
                   upload || name == upload_);
            return;
        }
        if (!S_ISREG(st.st_mode)) return;  // pipes and devices are served by no one
        const double size = static_cast<double>(st.st_size);
        const bool rowFor = listed && !hidden && s_.filter.matches(name) &&
                            !(excludes_ && IsExcluded(s_.o, name));
        std::optional<ExposureRule> secret = SecretFile(fd, name, folderName);
        const bool leftOut = secret && withhold_ && rowFor;
        ++report_.files;
        report_.bytes += size;
        if (rowFor && !leftOut) {
            ++report_.listedFiles;
            report_.listedBytes += size;
        }
        noteSize(path, size);
        const auto fileShown = leftOut ? AuditFinding::Shown::LeftOut
                               : rowFor ? AuditFinding::Shown::Listed
                                        : AuditFinding::Shown::Hidden;
        if (secret) add(secret->kind, secret->what, path, size, fileShown);
        if (auto rule = Leftover(name); rule && !secret) add(rule->kind, rule->what, path, size, fileShown);
        if (upload) {
            if (auto rule = RunnableUpload(name, st.st_mode))
                add(rule->kind, rule->what, path, size, fileShown);
        }
    }

    // Where the link `name` leads when that is outside the tree; nothing when it stays inside
    // or leads nowhere.
    std::optional<std::string> leadsOut(int fd, const std::string& name) const {
        Descriptor target(::openat(fd, name.c_str(), O_PATH | O_CLOEXEC));
        if (!target) return std::nullopt;  // nothing there: a web server serves nothing
        struct stat st;
        if (::fstat(target.get(), &st) != 0) return std::nullopt;
        if (S_ISDIR(st.st_mode)) {
            if (isBeneath(target.get(), topId_)) return std::nullopt;
            return pathOfFolder(target.get()).value_or(linkText(fd, name));
        }
        std::optional<std::string> real = pathOfFolder(target.get());
        if (!real) return linkText(fd, name);
        if (real->starts_with(topReal_ + "/")) return std::nullopt;
        return real;
    }

    static std::string linkText(int fd, const std::string& name) {
        char buf[PATH_MAX];
        ssize_t n = ::readlinkat(fd, name.c_str(), buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string("?");
    }

    void noteSize(const std::string& path, double size) {
        auto& largest = report_.largest;
        if (largest.size() == kLargest && size <= largest.back().second) return;
        auto at = std::upper_bound(largest.begin(), largest.end(), size,
                                   [](double s, const auto& entry) { return s > entry.second; });
        largest.insert(at, {path, size});
        if (largest.size() > kLargest) largest.pop_back();
    }

    void add(Exposure kind, std::string what, std::string path, double size,
             AuditFinding::Shown shown, std::string target = "") {
        report_.findings.push_back(
            {kind, std::move(what), std::move(path), size, shown, std::move(target)});
    }

    const RunSettings& s_;
    AuditReport& report_;
    FolderId topId_;
    std::string topReal_;
    std::string upload_;
    bool withhold_ = false;
    bool excludes_ = false;
};

// "12.3 MB": sizes for people, in powers of 1024 as the pages show them.
std::string sizeText(double bytes) {
    static constexpr std::array<const char*, 6> kUnits = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < kUnits.size()) bytes /= 1024, ++unit;
    char buf[64];
    if (unit == 0) std::snprintf(buf, sizeof buf, "%.0f %s", bytes, kUnits[unit]);
    else std::snprintf(buf, sizeof buf, "%.1f %s", bytes, kUnits[unit]);
    return buf;
}

// A name for a terminal: control characters would move the cursor or hide what follows.
std::string printable(std::string_view bytes) {
    std::string out;
    for (char c : toUtf8(bytes)) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string_view shownText(AuditFinding::Shown shown) {
    switch (shown) {
        case AuditFinding::Shown::Listed: return "listed on the pages";
        case AuditFinding::Shown::Hidden: return "not on the pages, still served by the web server";
        case AuditFinding::Shown::LeftOut: return "left out of the pages, still served by the web server";
    }
    return "";
}

std::string_view shownWord(AuditFinding::Shown shown) {
    switch (shown) {
        case AuditFinding::Shown::Listed: return "listed";
        case AuditFinding::Shown::Hidden: return "hidden";
        case AuditFinding::Shown::LeftOut: return "left out";
    }
    return "";
}

std::string count(std::uint64_t n, const char* one, const char* many) {
    return CountedText(static_cast<long long>(n), one, many);
}

}  // namespace

std::size_t AuditReport::serious() const {
    return static_cast<std::size_t>(std::count_if(
        findings.begin(), findings.end(), [](const AuditFinding& f) { return IsSerious(f.kind); }));
}

AuditReport AuditTree(const RunSettings& s, int top, const std::string& topPath) {
    AuditReport report;
    report.top = topPath;
    Walk walk(s, top, topPath, report);
    walk.folder(top, "", "", true, false);
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const AuditFinding& a, const AuditFinding& b) {
                         if (a.kind != b.kind) return a.kind < b.kind;
                         return a.path < b.path;
                     });
    return report;
}

std::string AuditText(const AuditReport& r) {
    std::string out = "Audit of " + printable(r.top) + ": what publishing it would make reachable\n";
    for (bool serious : {true, false}) {
        std::size_t n = 0;
        for (const AuditFinding& f : r.findings) n += IsSerious(f.kind) == serious;
        if (n == 0) continue;
        out += "\n" + std::string(serious ? "Serious: " : "Warnings: ") + count(n, "finding", "findings") + "\n";
        for (std::size_t i = 0; i < r.findings.size();) {
            const Exposure kind = r.findings[i].kind;
            std::size_t end = i;
            while (end < r.findings.size() && r.findings[end].kind == kind) ++end;
            if (IsSerious(kind) == serious) {
                out += "  " + std::string(ExposureWord(kind)) + " (" + std::to_string(end - i) + ")\n";
                for (std::size_t k = i; k < end; ++k) {
                    const AuditFinding& f = r.findings[k];
                    out += "    " + printable(f.path);
                    if (!f.target.empty()) out += " -> " + printable(f.target);
                    out += ": " + f.what + " (" + std::string(shownText(f.shown)) + ")\n";
                }
            }
            i = end;
        }
    }
    if (r.findings.empty()) out += "\nNothing found that should not be public.\n";
    out += "\nPublic: " + count(r.files, "file", "files") + ", " + sizeText(r.bytes) + ", in " +
           count(r.folders, "folder", "folders") + "; the pages list " +
           count(r.listedFiles, "file", "files") + " (" + sizeText(r.listedBytes) + ")";
    if (r.files > r.listedFiles)
        out += ", the web server serves the other " + std::to_string(r.files - r.listedFiles) +
               " to anyone who knows or guesses their names";
    out += ".\n";
    if (!r.largest.empty()) {
        out += "Largest:\n";
        for (const auto& [path, size] : r.largest) out += "  " + sizeText(size) + "  " + printable(path) + "\n";
    }
    for (const std::string& unread : r.unread) out += "Not read: " + printable(unread) + "\n";
    const std::size_t serious = r.serious();
    if (serious > 0)
        out += "\n" + count(serious, "serious finding", "serious findings") +
               ": move them out of the tree before publishing it.\n";
    return out;
}

std::string AuditJson(const AuditReport& r) {
    std::string out = "{\"top\":" + JsonString(r.top) + ",\"serious\":" + std::to_string(r.serious());
    out += ",\"findings\":[";
    for (std::size_t i = 0; i < r.findings.size(); ++i) {
        const AuditFinding& f = r.findings[i];
        out += i ? ",{" : "{";
        out += "\"kind\":" + JsonString(ExposureWord(f.kind));
        out += ",\"serious\":" + std::string(IsSerious(f.kind) ? "true" : "false");
        out += ",\"what\":" + JsonString(f.what) + ",\"path\":" + JsonString(f.path);
        out += ",\"shown\":" + JsonString(shownWord(f.shown));
        if (!f.path.ends_with('/') && f.target.empty()) {
            char size[32];
            std::snprintf(size, sizeof size, "%.0f", f.size);
            out += ",\"size\":" + std::string(size);
        }
        if (!f.target.empty()) out += ",\"target\":" + JsonString(f.target);
        out += "}";
    }
    out += "],\"groups\":{";
    std::map<Exposure, std::size_t> groups;
    for (const AuditFinding& f : r.findings) ++groups[f.kind];
    bool first = true;
    for (const auto& [kind, n] : groups) {
        out += (first ? "" : ",") + JsonString(ExposureWord(kind)) + ":" + std::to_string(n);
        first = false;
    }
    char totals[256];
    std::snprintf(totals, sizeof totals,
                  "},\"folders\":%llu,\"files\":%llu,\"bytes\":%.0f,\"listedFiles\":%llu,"
                  "\"listedBytes\":%.0f,\"largest\":[",
                  static_cast<unsigned long long>(r.folders), static_cast<unsigned long long>(r.files),
                  r.bytes, static_cast<unsigned long long>(r.listedFiles), r.listedBytes);
    out += totals;
    for (std::size_t i = 0; i < r.largest.size(); ++i) {
        char size[32];
        std::snprintf(size, sizeof size, "%.0f", r.largest[i].second);
        out += std::string(i ? "," : "") + "{\"path\":" + JsonString(r.largest[i].first) +
               ",\"size\":" + size + "}";
    }
    out += "],\"unread\":[";
    for (std::size_t i = 0; i < r.unread.size(); ++i)
        out += std::string(i ? "," : "") + JsonString(r.unread[i]);
    out += "]}\n";
    return out;
}

int AuditExitStatus(const AuditReport& report) {
    if (report.serious() > 0) return 3;
    return report.unread.empty() ? 0 : 1;
}

}  // namespace tabulo
