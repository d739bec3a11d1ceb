#include "bucketwalk/BucketWalk.h"

#include <functional>
#include <map>
#include <set>
#include <system_error>

#include "bucket/BucketTree.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/Text.h"
#include "icons/LocalIcons.h"
#include "common/TextOut.h"
#include "exposure/Exposure.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/JsonListing.h"
#include "pages/ModernPage.h"
#include "pages/Pages.h"

namespace tabulo {

namespace {

// Every object below the prefix, page by page.
std::vector<BucketObject> listAll(S3Client& client, StatusSink& sink) {
    std::vector<BucketObject> objects;
    std::optional<std::string> next;
    do {
        BucketListPage page = client.list(client.place().prefix, "", next);
        for (BucketObject& o : page.objects) objects.push_back(std::move(o));
        next = page.next;
        if (next) sink.status("Listed " + std::to_string(objects.size()) + " objects so far");
    } while (next);
    return objects;
}

std::string addressOf(const BucketPlace& place, const std::string& key) {
    return "s3://" + place.bucket + "/" + toUtf8(key);
}

class Walk {
  public:
    Walk(const RunSettings& s, S3Client& client, StatusSink& sink, bool dryRun, std::string shipped)
        : s_(s), client_(client), sink_(sink), dryRun_(dryRun), shipped_(std::move(shipped)),
          page_(s.o.text(opt("txtIndexHtm"))) {}

    BucketRunCounts run() {
        const BucketPlace& place = client_.place();
        sink_.status("Listing `s3://" + place.bucket + "/" + toUtf8(place.prefix) + "`");
        const std::vector<BucketObject> objects = listAll(client_, sink_);
        tree_ = BuildBucketTree(place.prefix, objects);
        for (const auto& [folder, contents] : tree_) {
            for (const BucketObject& file : contents.files) {
                if (isOwn(file.key)) own_[folder + file.key] = file.etag;
                present_.insert(folder + file.key);
            }
        }
        measure("");
        // The pages' script, which every modern page loads from the top.
        if (!s_.footerAfterScript.empty())
            put(PageScriptName(page_), PageScriptFile(), "text/javascript; charset=utf-8");
        for (const auto& [folder, contents] : tree_) {
            // The icons' folder is the run's output: no page in it, as on disk.
            if (!s_.iconFolder.empty() && (pathOf(folder) == s_.iconFolder ||
                                           pathOf(folder).starts_with(s_.iconFolder + "/")))
                continue;
            writeFolder(folder, contents);
        }
        putIcons();
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

    // What each folder's tree holds, and its newest time.
    FolderTotals measure(const std::string& folder) {
        const BucketFolder& contents = tree_[folder];
        FolderTotals totals;
        std::int64_t newest = 0;
        for (const BucketObject& file : contents.files) {
            // Our own pages are written after the rows that show this time.
            if (!isOwn(file.key)) newest = std::max(newest, file.mtime);
            if (!shown(file.key)) continue;
            totals.bytes += file.size;
            ++totals.files;
        }
        for (const std::string& name : contents.folders) {
            totals += measure(folder + name + "/");
            newest = std::max(newest, newest_[folder + name + "/"]);
        }
        totals_[folder] = totals;
        newest_[folder] = newest;
        return totals;
    }

    std::string pathOf(const std::string& folder) const {
        std::string path = s_.top + "/" + folder;
        if (path.ends_with('/')) path.pop_back();
        return path;
    }

    void writeFolder(const std::string& folder, const BucketFolder& contents) {
        const std::string shownPath = addressOf(client_.place(), client_.place().prefix + folder);
        sink_.status("Generating index for : `" + shownPath + "`");
        FolderListing listing;
        for (const std::string& name : contents.folders) {
            if (name.front() == '.') continue;
            FolderEntry entry{name, newest_[folder + name + "/"]};
            if (s_.modern) entry.totals = totals_[folder + name + "/"];
            listing.folders.push_back(std::move(entry));
        }
        for (const BucketObject& file : contents.files) {
            if (!shown(file.key)) continue;
            FileEntry entry{file.key, file.size, file.mtime};
            entry.excluded = s_.o.on(opt("chkExcludeExts")) && IsExcluded(s_.o, file.key);
            listing.files.push_back(std::move(entry));
        }
        SortListing(listing);
        const PagePlace place = PlaceOf(s_, pathOf(folder));
        try {
            PageFiles files(s_, place, listing);
            // The top page's total is that of the whole bucket below the prefix.
            const double before = folder.empty() ? totals_[""].bytes - ListedFiles(listing).bytes : 0;
            TextBuffer out(s_.pagePolicy);
            const PageResult result = files.render(true, before, out);
            icons_.insert(result.icons.begin(), result.icons.end());
            const std::string charset = s_.pagePolicy == Unmappable::KeepUtf8 ? "utf-8" : "windows-1252";
            put(folder + page_, out.bytes(), "text/html; charset=" + charset);
            for (std::size_t i = 0; i < files.extraCount(); ++i) {
                TextBuffer extra(s_.pagePolicy);
                files.renderExtra(i, extra);
                const bool data = files.extraKind(i) == ExtraFile::ListingData;
                put(folder + files.extraName(i), extra.bytes(),
                    data ? "text/javascript; charset=utf-8" : "text/html; charset=" + charset);
            }
            if (s_.o.on(opt("chkJsonListing")))
                put(folder + JsonNameFor(page_), JsonListingOf(s_, place, listing), "application/json");
            sink_.status("Done generating index for : `" + shownPath + "`");
        } catch (const BucketError& e) {
            ++counts_.errors;
            sink_.error("Error writing the page of `" + shownPath + "`: " + e.what());
        }
    }

    // The icons the pages show that the bucket lacks, from the shipped set: its "unknown" icon
    // for a type it has none of, so every address on a page leads to a picture.
    void putIcons() {
        if (s_.iconFolder.empty() || !WantsIconFiles(s_.o)) return;
        icons_.insert("dir");
        icons_.insert("unknown");
        const std::string& address = s_.o.text(opt("txtIconsLocal"));
        for (const std::string& type : icons_) {
            if (!IsStorableIconType(type)) continue;
            const std::string relative = replaceAll(address, "#", type);
            if (relative.starts_with('/') || contains(relative, "..") || present_.count(relative)) continue;
            auto shippedFile = [this](const std::string& path) {
                std::error_code ec;
                return readRegularFile(shipped_ + "/icons/" + path.substr(path.rfind('/') + 1), ec, kMaxIcon);
            };
            auto bytes = shippedFile(relative);
            if (!bytes) bytes = shippedFile(replaceAll(address, "#", "unknown"));
            if (!bytes || shipped_.empty()) continue;
            try {
                put(relative, *bytes, "image/gif");
                sink_.status("Copied icon : `" + type + "`");
            } catch (const BucketError& e) {
                ++counts_.errors;
                sink_.error("Error writing the icon `" + type + "`: " + e.what());
            }
        }
    }

    // Puts `bytes` at `relative` below the prefix unless the object there holds them already.
    void put(const std::string& relative, const std::string& bytes, const std::string& type) {
        const std::string key = client_.place().prefix + relative;
        auto it = own_.find(relative);
        if (it != own_.end() && it->second == Md5Hex(bytes)) {
            ++counts_.unchanged;
            return;
        }
        if (dryRun_) {
            sink_.status("Would write `" + addressOf(client_.place(), key) + "` (" +
                         std::to_string(bytes.size()) + " bytes, " + type + ")");
        } else {
            client_.put(key, bytes, type);
        }
        ++counts_.written;
    }

    const RunSettings& s_;
    S3Client& client_;
    StatusSink& sink_;
    bool dryRun_;
    std::string shipped_;
    const std::string page_;
    std::set<std::string> present_;  // every object's path below the prefix
    std::set<std::string> icons_;    // the types the pages show
    std::map<std::string, BucketFolder> tree_;
    std::map<std::string, std::string> own_;  // our files there, by path below the prefix: ETag
    std::map<std::string, FolderTotals> totals_;
    std::map<std::string, std::int64_t> newest_;
    BucketRunCounts counts_;
};

}  // namespace

std::string BucketTopPath(const BucketPlace& place) {
    std::string top = "/" + place.bucket;
    if (!place.prefix.empty()) top += "/" + place.prefix.substr(0, place.prefix.size() - 1);
    return top;
}

BucketRunCounts WriteBucketPages(const RunSettings& s, S3Client& client, StatusSink& sink, bool dryRun,
                                 const std::string& shippedData) {
    return Walk(s, client, sink, dryRun, shippedData).run();
}

}  // namespace tabulo
