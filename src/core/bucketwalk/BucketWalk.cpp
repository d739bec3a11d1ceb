#include "bucketwalk/BucketWalk.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <system_error>
#include <unordered_map>

#include "bucket/BucketTree.h"
#include "bucketwalk/BucketStore.h"
#include "common/Encoding.h"
#include "common/ReadFile.h"
#include "common/Text.h"
#include "common/TextOut.h"
#include "exposure/Exposure.h"
#include "icons/LocalIcons.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/JsonListing.h"
#include "pages/ModernPage.h"
#include "pages/Pages.h"

namespace tabulo {

namespace {

// What a folder's tree holds, kept from its closing until the folder above takes it.
struct Measured {
    FolderTotals totals;
    std::int64_t newest = 0;
};

class Walk {
  public:
    Walk(const RunSettings& s, PageStore& store, StatusSink& sink, const BucketWalkParts& parts)
        : s_(s), store_(store), sink_(sink), parts_(parts), page_(s.o.text(opt("txtIndexHtm"))),
          charset_(s.pagePolicy == Unmappable::KeepUtf8 ? "utf-8" : "windows-1252") {}

    BucketRunCounts run(ObjectSource& source) {
        const BucketPlace& place = parts_.place;
        sink_.status("Listing `s3://" + place.bucket + "/" + toUtf8(place.prefix) + "`");
        FolderAssembler folders(place.prefix, [this](const std::string& path, BucketFolder& contents) {
            closeFolder(path, contents);
        });
        source.feed([&folders](BucketObject o) { folders.add(std::move(o)); });
        folders.finish();
        if (s_.allInOneFile) writeAllInOne();
        // The pages' script, which every modern page loads from the top.
        if (!s_.footerAfterScript.empty())
            put(PageScriptName(page_), PageScriptFile(), "text/javascript; charset=utf-8",
                etagOf(topOwn_, PageScriptName(page_)));
        putIcons();
        for (const std::string& failure : store_.finish()) {
            --counts_.written;
            ++counts_.errors;
            sink_.error("Error writing `" + failure);
        }
        return counts_;
    }

  private:
    // The names a run writes beside its pages: no rows, whoever wrote them.
    bool isOwn(const std::string& name) const {
        return name == page_ || name == JsonNameFor(page_) || name == kMd5SumsName ||
               name == kSha256SumsName || ExtraFileKind(page_, name) != ExtraFile::None;
    }

    bool shown(const std::string& name) const {
        if (isOwn(name) || name.front() == '.' || !s_.filter.matches(name)) return false;
        // Only the names tell here: a bucket's objects are not read for their first bytes.
        return !(s_.o.on(opt("chkLeaveOutSecrets")) && SecretByName(name, ""));
    }

    std::string pathOf(const std::string& folder) const {
        std::string path = s_.top + "/" + folder;
        if (path.ends_with('/')) path.pop_back();
        return path;
    }

    bool inIconFolder(const std::string& folder) const {
        const std::string path = pathOf(folder);
        return !s_.iconFolder.empty() && (path == s_.iconFolder || path.starts_with(s_.iconFolder + "/"));
    }

    // Our files in a folder, by name.
    using Own = std::unordered_map<std::string, BucketObject>;

    static std::optional<std::string> etagOf(const Own& own, const std::string& name) {
        auto it = own.find(name);
        return it == own.end() ? std::nullopt : std::optional<std::string>(it->second.etag);
    }

    // A folder all of whose objects were seen, those below it done: its pages.
    void closeFolder(const std::string& folder, BucketFolder& contents) {
        Measured measured;
        Own own;
        for (const BucketObject& file : contents.files) {
            if (isOwn(file.key)) {
                own[file.key] = file;
                continue;  // written after the rows that show the time
            }
            measured.newest = std::max(measured.newest, file.mtime);
            if (!shown(file.key)) continue;
            measured.totals.bytes += file.size;
            ++measured.totals.files;
        }
        std::vector<std::pair<std::string, Measured>> below;
        for (const std::string& name : contents.folders) {
            auto it = measured_.find(folder + name + "/");
            if (it == measured_.end()) continue;
            measured.totals += it->second.totals;
            measured.newest = std::max(measured.newest, it->second.newest);
            below.emplace_back(name, it->second);
            measured_.erase(it);
        }
        measured_[folder] = measured;
        if (folder.empty()) topOwn_ = own;
        // The icons' folder is the run's output: no page in it, as on disk.
        if (inIconFolder(folder)) {
            for (const BucketObject& file : contents.files) iconsThere_.insert(folder + file.key);
            return;
        }
        const std::string shownPath = BucketAddress(parts_.place, parts_.place.prefix + folder);
        writeFolder(folder, contents, below, own, shownPath);
    }

    FolderListing listingOf(const BucketFolder& contents, const std::vector<std::pair<std::string, Measured>>& below) const {
        FolderListing listing;
        for (const auto& [name, measured] : below) {
            if (name.front() == '.') continue;
            FolderEntry entry{name, measured.newest};
            if (s_.modern && !s_.allInOneFile) entry.totals = measured.totals;
            listing.folders.push_back(std::move(entry));
        }
        for (const BucketObject& file : contents.files) {
            if (!shown(file.key)) continue;
            FileEntry entry{file.key, file.size, file.mtime};
            entry.excluded = s_.o.on(opt("chkExcludeExts")) && IsExcluded(s_.o, file.key);
            listing.files.push_back(std::move(entry));
        }
        return listing;
    }

    // The checksum column's digests, and MD5SUMS as a row of its own: the bytes it will hold.
    std::optional<std::string> addDigests(const std::string& folder, const BucketFolder& contents,
                                          FolderListing& listing, const Own& own) {
        if (!s_.hashes || !parts_.digests) return std::nullopt;
        std::unordered_map<std::string, const BucketObject*> byName;
        for (const BucketObject& file : contents.files) byName[file.key] = &file;
        std::vector<std::pair<std::string, std::string>> sums;
        listing.digests.assign(listing.files.size(), std::nullopt);
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            const FileEntry& file = listing.files[i];
            if (file.excluded) continue;
            listing.digests[i] = parts_.digests(parts_.place.prefix + folder + file.name, *byName.at(file.name));
            if (listing.digests[i]) sums.emplace_back(file.name, listing.digests[i]->md5);
        }
        std::string bytes = SumsFileText(sums);
        // Its row shows it as it will be: as listed when it holds these bytes, else as put now.
        FileEntry row{kMd5SumsName, static_cast<double>(bytes.size()), static_cast<std::int64_t>(std::time(nullptr))};
        if (auto it = own.find(kMd5SumsName); it != own.end() && it->second.etag == Md5Hex(bytes))
            row.mtime = it->second.mtime;
        listing.files.push_back(std::move(row));
        listing.digests.emplace_back(std::nullopt);
        return bytes;
    }

    void writeFolder(const std::string& folder, const BucketFolder& contents,
                     const std::vector<std::pair<std::string, Measured>>& below, const Own& own,
                     const std::string& shownPath) {
        sink_.status("Generating index for : `" + shownPath + "`");
        FolderListing listing = listingOf(contents, below);
        try {
            const std::optional<std::string> sums = addDigests(folder, contents, listing, own);
            SortListing(listing);
            const PagePlace place = PlaceOf(s_, pathOf(folder));
            if (s_.allInOneFile) {
                // A section of the one file, made once every folder is known.
                if (sums) put(folder + kMd5SumsName, *sums, "text/plain; charset=utf-8", etagOf(own, kMd5SumsName));
                sections_.emplace(folder, Section{std::move(listing), place});
                return;
            }
            PageFiles files(s_, place, listing);
            // The top page's total is that of the whole bucket below the prefix.
            const double before =
                folder.empty() ? measured_[""].totals.bytes - ListedFiles(listing).bytes : 0;
            TextBuffer out(s_.pagePolicy);
            const PageResult result = files.render(true, before, out);
            icons_.insert(result.icons.begin(), result.icons.end());
            put(folder + page_, out.bytes(), "text/html; charset=" + charset_, etagOf(own, page_));
            for (std::size_t i = 0; i < files.extraCount(); ++i) {
                TextBuffer extra(s_.pagePolicy);
                files.renderExtra(i, extra);
                const bool data = files.extraKind(i) == ExtraFile::ListingData;
                put(folder + files.extraName(i), extra.bytes(),
                    data ? "text/javascript; charset=utf-8" : "text/html; charset=" + charset_,
                    etagOf(own, files.extraName(i)));
            }
            if (s_.o.on(opt("chkJsonListing")))
                put(folder + JsonNameFor(page_), JsonListingOf(s_, place, listing), "application/json",
                    etagOf(own, JsonNameFor(page_)));
            if (sums) put(folder + kMd5SumsName, *sums, "text/plain; charset=utf-8", etagOf(own, kMd5SumsName));
            sink_.status("Done generating index for : `" + shownPath + "`");
        } catch (const BucketError& e) {
            ++counts_.errors;
            sink_.error("Error writing the page of `" + shownPath + "`: " + e.what());
        }
    }

    // The all-in-one file at the top: a section for each folder, each folder before those in
    // it, as a walk of the folders meets them.
    void writeAllInOne() {
        if (sections_.empty()) return;
        TextBuffer out(s_.pagePolicy);
        RenderHead(s_, sections_.at("").place, out);
        double total = 0;
        std::vector<std::string> next{""};
        while (!next.empty()) {
            const std::string folder = std::move(next.back());
            next.pop_back();
            auto it = sections_.find(folder);
            if (it == sections_.end()) continue;
            const PageResult result = RenderPage(s_, it->second.place, it->second.listing, false, total, out);
            total += result.total;
            icons_.insert(result.icons.begin(), result.icons.end());
            const auto& below = it->second.listing.folders;
            for (auto sub = below.rbegin(); sub != below.rend(); ++sub) next.push_back(folder + sub->name + "/");
        }
        out.write(s_.footer);
        const std::string shownPath = BucketAddress(parts_.place, parts_.place.prefix + page_);
        try {
            put(page_, out.bytes(), "text/html; charset=" + charset_, etagOf(topOwn_, page_));
            sink_.status("Done generating index for : `" + shownPath + "`");
        } catch (const BucketError& e) {
            ++counts_.errors;
            sink_.error("Error writing `" + shownPath + "`: " + e.what());
        }
    }

    // The icons the pages show that the bucket lacks, from the shipped set: its "unknown" icon
    // for a type it has none of, so every address on a page leads to a picture.
    void putIcons() {
        if (s_.iconFolder.empty() || !WantsIconFiles(s_.o) || parts_.shippedData.empty()) return;
        icons_.insert("dir");
        icons_.insert("unknown");
        const std::string& address = s_.o.text(opt("txtIconsLocal"));
        auto shippedFile = [this](const std::string& path) {
            std::error_code ec;
            return readRegularFile(parts_.shippedData + "/icons/" + path.substr(path.rfind('/') + 1), ec, kMaxIcon);
        };
        for (const std::string& type : icons_) {
            if (!IsStorableIconType(type)) continue;
            const std::string relative = replaceAll(address, "#", type);
            if (relative.starts_with('/') || contains(relative, "..") || iconsThere_.count(relative)) continue;
            auto bytes = shippedFile(relative);
            if (!bytes) bytes = shippedFile(replaceAll(address, "#", "unknown"));
            if (!bytes) continue;
            try {
                put(relative, *bytes, "image/gif", std::nullopt);
                sink_.status("Copied icon : `" + type + "`");
            } catch (const BucketError& e) {
                ++counts_.errors;
                sink_.error("Error writing the icon `" + type + "`: " + e.what());
            }
        }
    }

    void put(const std::string& relative, const std::string& bytes, const std::string& type,
             const std::optional<std::string>& there) {
        switch (store_.put(relative, bytes, type, there)) {
            case Stored::Written: ++counts_.written; break;
            case Stored::Unchanged: ++counts_.unchanged; break;
            case Stored::Kept: ++counts_.kept; break;
        }
    }

    const RunSettings& s_;
    PageStore& store_;
    StatusSink& sink_;
    const BucketWalkParts& parts_;
    const std::string page_, charset_;
    std::map<std::string, Measured> measured_;  // folders done whose folder above is not
    std::set<std::string> iconsThere_;          // objects in the icons' folder
    std::set<std::string> icons_;               // the types the pages show
    Own topOwn_;                                // our files at the top
    struct Section {
        FolderListing listing;
        PagePlace place;
    };
    std::map<std::string, Section> sections_;  // the all-in-one file's, by folder
    BucketRunCounts counts_;
};

}  // namespace

std::string BucketTopPath(const BucketPlace& place) {
    std::string top = "/" + place.bucket;
    if (!place.prefix.empty()) top += "/" + place.prefix.substr(0, place.prefix.size() - 1);
    return top;
}

BucketRunCounts WriteBucketPages(const RunSettings& s, ObjectSource& source, PageStore& store, StatusSink& sink,
                                 const BucketWalkParts& parts) {
    return Walk(s, store, sink, parts).run(source);
}

}  // namespace tabulo
