#include "pages/PageParts.h"

#include <algorithm>

#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/NaturalOrder.h"
#include "common/Text.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/PageText.h"

namespace tabulo {

// Modern pages always escape names fully: a quote or an angle bracket never stands in a link.
bool FullLinks(const OptionValues& o) {
    return o.on(opt("chkUtf")) || o.selected(opt("optPageModern"));
}

std::string LinkForName(const OptionValues& o, std::string_view typedPrefix,
                        std::string_view namePart, std::string_view typedSuffix) {
    return URLEncode(o, typedPrefix) + encodeNameForLink(namePart, FullLinks(o)) +
           URLEncode(o, typedSuffix);
}

SortKey SortKeyOf(const OptionValues& o) {
    if (o.selected(opt("optName"))) return SortKey::Name;
    if (o.selected(opt("optDate"))) return SortKey::Date;
    if (o.selected(opt("optSize"))) return SortKey::Size;
    return SortKey::Type;
}

std::string DisplayName(const OptionValues& o, const std::string& rawName) {
    std::string name = toUtf8(rawName);
    if (o.on(opt("chkLenght"))) {
        // Held to the name's own length first: any typed number fits the conversion.
        double limit = val(o.text(opt("txtLenght")));
        name = cutName(name, wholeWithin<std::size_t>(limit, 0, name.size()));
    }
    return escapeText(name);
}

std::string IconAddress(const RunSettings& s, const PagePlace& place, const std::string& type) {
    const OptionValues& o = s.o;
    std::string address = o.selected(opt("optIconsLocal"))
                              ? place.upPrefix + o.text(opt("txtIconsLocal"))
                              : o.text(opt("txtIcohref"));
    return replaceAll(address, "#", encodeNameForLink(type, FullLinks(o)));
}

std::optional<std::string> UpRowLink(const RunSettings& s, const PagePlace& place) {
    const OptionValues& o = s.o;
    int root = s.rootDepth;
    bool wanted = (o.on(opt("chkAlowExit")) && place.depth != root) ||
                  (o.on(opt("chkForceCdUp")) && place.depth == root);
    if (!wanted) return std::nullopt;
    const std::string& htm = o.text(opt("txtIndexHtm"));
    std::string link;
    if (!s.allInOne) {
        link = "../" + htm;
    } else if (place.depth - 1 == root) {
        link = htm;
    } else {
        link = FlatPageName(o, WithoutSiteRoot(s, place.folder));
        auto cut = link.rfind(o.text(opt("txtReplaceIndexs")));
        if (cut != std::string::npos && !o.text(opt("txtReplaceIndexs")).empty()) {
            link = link.substr(0, cut) + ".html";
        }
    }
    if (s.allInOneFile) link = "#" + link;
    return link;
}

std::string FolderRowLink(const RunSettings& s, const PagePlace& place, const FolderEntry& sub) {
    const OptionValues& o = s.o;
    if (sub.reach == FolderEntry::Reach::Outside || sub.reach == FolderEntry::Reach::Elsewhere) {
        // No page is written for it in this run: the row leads to the folder itself.
        return LinkForName(o, "", s.allInOne ? place.relativePath + sub.name : sub.name, "/");
    }
    if (s.allInOne) {
        std::string link =
            URLEncode(o, FlatPageName(o, WithoutSiteRoot(s, joinPath(place.folder, sub.name))));
        return s.allInOneFile ? "#" + link : link;
    }
    return LinkForName(o, "", sub.name, "/" + o.text(opt("txtIndexHtm")));
}

std::string SumsLink(const RunSettings& s, const PagePlace& place) {
    FileEntry sums;
    sums.name = kMd5SumsName;
    return FileRowLink(s, place, sums);
}

std::string FileRowLink(const RunSettings& s, const PagePlace& place, const FileEntry& file) {
    const OptionValues& o = s.o;
    bool prefixed = o.on(opt("chkPreLink"));
    std::string_view prefix = prefixed ? std::string_view(o.text(opt("txtPreLink"))) : "";
    if (s.allInOne || prefixed) return LinkForName(o, prefix, place.relativePath + file.name, "");
    return LinkForName(o, prefix, file.name, "");
}

bool NeedsServerTotal(const RunSettings& s, const PagePlace& place) {
    return s.o.on(opt("chkSumSize")) && place.depth == s.rootDepth;
}

const FileEntry* ReadmeOf(const FolderListing& listing) {
    const FileEntry* found = nullptr;
    int rank = 99;
    for (const FileEntry& file : listing.files) {
        std::string lower = asciiLower(file.name);
        int r = lower == "readme.md" ? 0 : lower == "readme" ? 1 : lower == "readme.txt" ? 2 : 99;
        if (r < rank) found = &file, rank = r;  // on a tie the first by name
    }
    return found;
}

PageRows VisibleRows(const RunSettings& s, const PagePlace& place, const FolderListing& listing) {
    const OptionValues& o = s.o;
    PageRows rows;
    for (const FolderEntry& sub : listing.folders) {
        if (!IsHiddenFolderRow(s, place, listing, sub.name)) rows.folders.push_back(&sub);
    }
    for (const FileEntry& file : listing.files) {
        if (!file.excluded) rows.files.push_back(&file);
    }
    if (!s.o.selected(opt("optPageModern"))) return rows;  // classic pages: by name

    SortKey key = SortKeyOf(o);
    bool inverse = o.on(opt("chkInverseSortorder"));
    auto byName = [](const std::string& a, const std::string& b) { return compareNatural(a, b); };
    auto folderLess = [&](const FolderEntry* a, const FolderEntry* b) {
        int c = 0;
        if (key == SortKey::Date) c = a->mtime < b->mtime ? -1 : a->mtime > b->mtime;
        if (c == 0) c = byName(a->name, b->name);
        return inverse ? c > 0 : c < 0;
    };
    auto fileLess = [&](const FileEntry* a, const FileEntry* b) {
        int c = 0;
        switch (key) {
            case SortKey::Type: c = compareNatural(FileTypeOf(a->name), FileTypeOf(b->name)); break;
            case SortKey::Date: c = a->mtime < b->mtime ? -1 : a->mtime > b->mtime; break;
            case SortKey::Size: c = a->size < b->size ? -1 : a->size > b->size; break;
            case SortKey::Name: break;
        }
        if (c == 0) c = byName(a->name, b->name);
        return inverse ? c > 0 : c < 0;
    };
    std::stable_sort(rows.folders.begin(), rows.folders.end(), folderLess);
    std::stable_sort(rows.files.begin(), rows.files.end(), fileLess);
    return rows;
}

}  // namespace tabulo
