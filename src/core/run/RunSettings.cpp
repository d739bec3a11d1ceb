#include "run/RunSettings.h"

#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "exposure/Exposure.h"
#include "listing/ListingHelpers.h"

namespace tabulo {

RunSettings::RunSettings(OptionValues options, std::string topPath, std::tm date)
    : o(std::move(options)),
      today(date),
      top(std::move(topPath)),
      filter(o.text(opt("txtFilter"))) {
    const std::string wwwRoot = normalFolder(o.text(opt("txtWWWroot")));
    siteRoot = wwwRoot.empty() ? top : wwwRoot;
    outputFolder = o.text(opt("lblAllInOneFolder"));
    rootDepth = WwwRootDepth(o, top);
    iconFolder = IconFolderOf(o, siteRoot);
    recursive = o.on(opt("chkReqrsive"));
    allInOneFile = o.on(opt("chkAllInOneFile"));
    allInOneFolder = o.on(opt("chkAllInOneFolder"));
    allInOne = allInOneFile || allInOneFolder;
    modern = o.selected(opt("optPageModern"));
    hashes = o.on(opt("chkColuHash"));
    // A page that declares its charset declares UTF-8 and is written in it, as the names on
    // disk are: clients that read its links in that charset ask for the right addresses. A
    // classic page without the declaration stays in windows-1252, which browsers assume.
    pagePolicy = modern || o.on(opt("chkW3c")) ? Unmappable::KeepUtf8 : Unmappable::HtmlReference;
}

bool FileDetailsNeeded(const RunSettings& s) {
    // Modern pages sort in the browser and JSON listings carry sizes and times.
    return s.o.on(opt("chkColuSize")) || s.o.on(opt("chkColuTime")) || s.o.on(opt("chkSumSize")) ||
           s.modern || s.o.on(opt("chkJsonListing"));
}

ListingRules RunSettings::listingRules() const {
    ListingRules rules;
    rules.filter = &filter;
    if (o.on(opt("chkExcludeExts"))) {
        rules.excluded = [this](std::string_view name) { return IsExcluded(o, name); };
    }
    if (o.on(opt("chkLeaveOutSecrets"))) {
        // Hidden folders are never walked: a file's folder name matters to no rule here.
        rules.withheld = [](int folder, std::string_view name) -> std::optional<std::string> {
            if (auto rule = SecretFile(folder, name, "")) return std::move(rule->what);
            return std::nullopt;
        };
    }
    rules.fileDetails = FileDetailsNeeded(*this);
    rules.watch = {o.text(opt("txtIndexHtm")), o.text(opt("txtCapDesc")),
                   o.text(opt("txtCapSnap"))};
    if (modern) rules.watch.push_back(o.text(opt("txtUploadScript")));
    return rules;
}

std::string IconFolderOf(const OptionValues& o, const std::string& siteRoot) {
    if (!o.on(opt("chkIcons")) || !o.selected(opt("optIconsLocal"))) return "";
    // The icon step makes this folder when it is missing: a folder that came with one run
    // would be new to the next.
    auto parts = split(o.text(opt("txtIconsLocal")), '/');
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] == ".." || contains(parts[i], "#")) break;
        if (parts[i].empty() || parts[i] == ".") continue;
        return normalFolder(joinPath(siteRoot, parts[i]));
    }
    return "";
}

bool IsHiddenFolderRow(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                       std::string_view name) {
    const OptionValues& o = s.o;
    if (!s.iconFolder.empty() && normalFolder(joinPath(place.folder, std::string(name))) == s.iconFolder)
        return true;
    const std::string& upload = o.text(opt("txtUploadDirectory"));
    if (s.modern) return name == upload && isPresent(listing, o.text(opt("txtUploadScript")), true);
    const std::string& iconsLocal = o.text(opt("txtIconsLocal"));
    return name == upload || name == std::string_view(iconsLocal).substr(0, iconsLocal.find('/'));
}

// The depth of the www root itself: the depth text is only set by a lock, and choosing an
// all-in-one mode sets the www root without one, which would leave every up link wrong.
int WwwRootDepth(const OptionValues& o, const std::string& folder) {
    std::string wwwRoot = normalFolder(o.text(opt("txtWWWroot")));
    return CountPathSeparators(wwwRoot.empty() ? folder : wwwRoot);
}

// Without a www root the selected folder is the root, for names and anchors as for depths;
// so pages never carry the local path above the site, and flat names match their links.
std::string WithoutSiteRoot(const RunSettings& s, const std::string& path) {
    if (s.siteRoot == "/") return path.substr(1);  // every "/" would go otherwise
    return s.siteRoot.empty() ? path : replaceAll(path, s.siteRoot, "");
}

PagePlace PlaceOf(const RunSettings& s, const std::string& folder) {
    PagePlace p;
    p.folder = folder;
    p.depth = CountPathSeparators(folder);
    auto pieces = split(folder, '/');
    p.title = static_cast<std::size_t>(p.depth) < pieces.size() ? toUtf8(pieces[p.depth]) : "";
    if (!s.allInOne) {
        for (int i = s.rootDepth; i < p.depth; ++i) p.upPrefix += "../";
    }
    p.relativePath = WithoutSiteRoot(s, folder) + "/";
    if (p.relativePath.starts_with('/')) p.relativePath.erase(0, 1);
    return p;
}

}  // namespace tabulo
