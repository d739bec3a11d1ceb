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

bool SearchesSite(const RunSettings& s) {
    return s.modern && !s.allInOne && s.o.on(opt("chkSearchIndex"));
}

std::string SiteName(const RunSettings& s) {
    return toUtf8(s.top == "/" ? s.top : s.top.substr(s.top.find_last_of('/') + 1));
}

std::string FolderPageEnding(const RunSettings& s) {
    return ServerLinks(s) ? "/" : "/" + URLEncode(s.o, s.o.text(opt("txtIndexHtm")));
}

std::vector<std::string> OtherSearchSites(const OptionValues& o, const std::string& up) {
    std::vector<std::string> sites;
    const std::string& text = o.text(opt("txtSearchSites"));
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of(" \t\r\n;", at), text.size());
        std::string address = text.substr(at, end - at);
        at = end + 1;
        if (address.empty()) continue;
        // The index's own folder, or the top folder it lies in.
        if (!address.ends_with('/')) address += '/';
        const std::string index = std::string(kSearchFolder) + "/";
        if (address == index) {
            address = "./";
        } else if (address.ends_with("/" + index)) {
            address.resize(address.size() - index.size());
        }
        const auto colon = address.find(':');
        const auto slash = address.find('/');
        if (colon != std::string::npos && colon < slash) {
            const std::string scheme = asciiLower(address.substr(0, colon));
            if (scheme != "http" && scheme != "https" && scheme != "file") continue;
        } else if (!address.starts_with('/')) {
            address = up + address;
        }
        sites.push_back(address);
    }
    return sites;
}

bool ServerLinks(const RunSettings& s) {
    return s.o.on(opt("chkServerLinks")) && !s.allInOne;
}

std::string NameAnchor(const std::string& link, const std::string& rawName) {
    return "<a href=\"" + link + "\">" + escapeText(toUtf8(rawName)) + "</a>";
}

std::vector<std::pair<std::string, std::string>> FooterFiles(const OptionValues& o, bool withSha256Sums) {
    std::vector<std::pair<std::string, std::string>> files;
    if (o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"))) return files;
    if (o.on(opt("chkColuHash")) && withSha256Sums) files.emplace_back(kSha256SumsName, "SHA-256 checksums");
    if (o.on(opt("chkJsonListing")))
        files.emplace_back(encodeNameForLink(JsonNameFor(o.text(opt("txtIndexHtm"))), true),
                           "JSON listing");
    return files;
}

std::string FooterFilesLine(const OptionValues& o, std::string_view separator, bool withSha256Sums) {
    std::string line;
    for (const auto& [link, caption] : FooterFiles(o, withSha256Sums))
        line += std::string(line.empty() ? "" : separator) + "<a href=\"" + link + "\">" + caption + "</a>";
    return line;
}

std::optional<std::string> UpRowLink(const RunSettings& s, const PagePlace& place) {
    const OptionValues& o = s.o;
    int root = s.rootDepth;
    bool wanted = (o.on(opt("chkAlowExit")) && place.depth != root) ||
                  (o.on(opt("chkForceCdUp")) && place.depth == root);
    if (!wanted) return std::nullopt;
    const std::string& htm = o.text(opt("txtIndexHtm"));
    std::string link;
    if (ServerLinks(s)) {
        link = "../";
    } else if (!s.allInOne) {
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
    return LinkForName(o, "", sub.name, ServerLinks(s) ? "/" : "/" + o.text(opt("txtIndexHtm")));
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
    if (s.slashesInNames && file.name.find('/') != std::string::npos) {
        const std::string name = replaceAll(encodeNameForLink(file.name, FullLinks(o)), "/", "%2F");
        const std::string above = s.allInOne || prefixed ? encodeNameForLink(place.relativePath, FullLinks(o)) : "";
        return URLEncode(o, prefix) + above + name;
    }
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

RowOrders OrdersOf(const PageRows& rows, const std::vector<SortKey>& keys) {
    const std::size_t folders = rows.folders.size(), all = rows.size();
    auto name = [&](std::uint32_t i) -> const std::string& {
        return i < folders ? rows.folders[i]->name : rows.files[i - folders]->name;
    };
    // Each group sorted once by name, the costly comparison; every other order compares the
    // rank that gives.
    std::vector<std::uint32_t> byName(all), rank(all);
    for (std::uint32_t i = 0; i < all; ++i) byName[i] = i;
    auto nameLess = [&](std::uint32_t a, std::uint32_t b) {
        return compareNatural(name(a), name(b)) < 0;
    };
    std::sort(byName.begin(), byName.begin() + static_cast<std::ptrdiff_t>(folders), nameLess);
    std::sort(byName.begin() + static_cast<std::ptrdiff_t>(folders), byName.end(), nameLess);
    for (std::uint32_t at = 0; at < all; ++at) rank[byName[at]] = at;

    RowOrders orders;
    for (SortKey key : keys) {
        RowOrder& order = orders[static_cast<std::size_t>(key)];
        if (!order.empty() || all == 0) continue;
        order = byName;
        // What a row compares by before its name; rows with equal values keep name order.
        std::vector<double> value(all, 0);
        if (key == SortKey::Date) {
            for (std::uint32_t i = 0; i < all; ++i)
                value[i] = static_cast<double>(i < folders ? rows.folders[i]->mtime
                                                           : rows.files[i - folders]->mtime);
        } else if (key == SortKey::Size) {
            // A folder by what its tree holds; one the walk did not enter before all others.
            for (std::size_t i = 0; i < folders; ++i) {
                const auto& tree = rows.folders[i]->totals;
                value[i] = tree ? tree->bytes : -1;
            }
            for (std::size_t i = folders; i < all; ++i) value[i] = rows.files[i - folders]->size;
        } else if (key == SortKey::Type) {
            // Types in natural order, each by its rank among them.
            std::vector<std::string> types(all - folders);
            for (std::size_t i = folders; i < all; ++i)
                types[i - folders] = FileTypeOf(rows.files[i - folders]->name);
            std::vector<std::string> distinct = types;
            std::sort(distinct.begin(), distinct.end(),
                      [](const std::string& a, const std::string& b) {
                          return compareNatural(a, b) < 0;
                      });
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
            for (std::size_t i = folders; i < all; ++i) {
                auto at = std::lower_bound(distinct.begin(), distinct.end(), types[i - folders],
                                           [](const std::string& a, const std::string& b) {
                                               return compareNatural(a, b) < 0;
                                           });
                value[i] = static_cast<double>(at - distinct.begin());
            }
        }
        if (key != SortKey::Name) {
            auto less = [&](std::uint32_t a, std::uint32_t b) {
                return value[a] != value[b] ? value[a] < value[b] : rank[a] < rank[b];
            };
            std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(folders), less);
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(folders), order.end(), less);
        }
    }
    return orders;
}

PageRows VisibleRows(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                     const std::vector<SortKey>& keys, RowOrders& orders) {
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
    std::vector<SortKey> wanted = keys;
    wanted.push_back(key);
    orders = OrdersOf(rows, wanted);
    RowOrder start = orders[static_cast<std::size_t>(key)];
    const std::size_t folders = rows.folders.size();
    if (o.on(opt("chkInverseSortorder"))) {
        std::reverse(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(folders));
        std::reverse(start.begin() + static_cast<std::ptrdiff_t>(folders), start.end());
    }
    PageRows sorted;
    sorted.folders.reserve(folders);
    sorted.files.reserve(rows.files.size());
    std::vector<std::uint32_t> moved(start.size());  // where each row goes
    for (std::uint32_t at = 0; at < start.size(); ++at) {
        std::uint32_t i = start[at];
        moved[i] = at;
        if (i < folders) sorted.folders.push_back(rows.folders[i]);
        else sorted.files.push_back(rows.files[i - folders]);
    }
    for (RowOrder& order : orders) {
        for (std::uint32_t& i : order) i = moved[i];
    }
    return sorted;
}

PageRows VisibleRows(const RunSettings& s, const PagePlace& place, const FolderListing& listing) {
    RowOrders orders;
    return VisibleRows(s, place, listing, {}, orders);
}

}  // namespace tabulo
