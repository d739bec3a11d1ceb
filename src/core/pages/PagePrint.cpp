#include "pages/PagePrint.h"

#include <sys/stat.h>

#include <cstdlib>

#include "common/Fingerprint.h"
#include "listing/OutputNames.h"
#include "pages/PageParts.h"

namespace tabulo {

namespace {

void addFile(Fingerprint& print, const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0) {
        print.word(0);
        return;
    }
    print.word(st.st_dev).word(st.st_ino).word(static_cast<std::uint64_t>(st.st_size));
    print.word(static_cast<std::uint64_t>(st.st_mtim.tv_sec)).word(static_cast<std::uint64_t>(st.st_mtim.tv_nsec));
}

}  // namespace

std::uint64_t RunPrint(const RunSettings& s) {
    Fingerprint print;
    // A new build may make other pages of the same options: its pages are its own.
    addFile(print, "/proc/self/exe");
    // Times are shown in the local zone.
    const char* zone = std::getenv("TZ");  // NOLINT(concurrency-mt-unsafe): read before any thread
    print.bytes(zone ? zone : "\n");
    addFile(print, "/etc/localtime");
    // The title and heading fields show the last page a run made, in the window and its
    // preview only: each run changes them.
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        if (id != opt("txtTitle") && id != opt("txtHeading")) print.bytes(s.o.valueText(id));
    }
    for (const std::string* text : {&s.top, &s.siteRoot, &s.outputFolder, &s.iconFolder, &s.tree,
                                    &s.realTop, &s.footer, &s.footerBeforeScript,
                                    &s.footerAfterScript, &s.styleRules})
        print.bytes(*text);
    print.word(static_cast<std::uint64_t>(s.rootDepth)).word(static_cast<std::uint64_t>(s.pagePolicy));
    for (bool flag : {s.recursive, s.allInOneFile, s.allInOneFolder, s.modern, s.hashes})
        print.word(flag ? 1 : 0);
    return print.value();
}

std::uint64_t PageInputPrint(const RunSettings& s, const PagePlace& place,
                             const FolderListing& listing, double serverTotalBefore) {
    // The run's own files are left out: the run that writes them is followed by runs that find
    // them, and neither shows them.
    const std::string& page = s.o.text(opt("txtIndexHtm"));
    const std::string json = JsonNameFor(page);
    auto own = [&](const std::string& name) { return name == page || name == json; };
    const bool digestsByFiles = s.hashes && FileDetailsNeeded(s);
    Fingerprint print;
    print.bytes(place.folder).bytes(place.title).bytes(place.upPrefix).bytes(place.relativePath);
    print.word(static_cast<std::uint64_t>(place.depth));
    if (NeedsServerTotal(s, place)) print.number(serverTotalBefore);
    print.word(listing.folders.size());
    for (const FolderEntry& sub : listing.folders) {
        // A row the page leaves out (the icons' folder, written into after the pages) counts
        // by its name alone.
        print.bytes(sub.name);
        if (IsHiddenFolderRow(s, place, listing, sub.name)) continue;
        print.word(static_cast<std::uint64_t>(sub.mtime));
        print.word(sub.link ? 1 : 0).word(static_cast<std::uint64_t>(sub.reach));
        if (sub.totals) {
            print.number(sub.totals->bytes).word(sub.totals->files);
        } else {
            print.word(~std::uint64_t{0});
        }
    }
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const FileEntry& file = listing.files[i];
        if (file.excluded && own(file.name)) continue;
        print.bytes(file.name).number(file.size).word(static_cast<std::uint64_t>(file.mtime));
        print.word(file.excluded ? 1 : 0);
        if (digestsByFiles) continue;
        if (i < listing.digests.size() && listing.digests[i]) {
            print.bytes(listing.digests[i]->md5).bytes(listing.digests[i]->sha256);
        } else {
            print.word(0);
        }
    }
    // Checksums follow from the files they are of, as the digest cache knows them: a page can
    // be passed over before any is looked up.
    if (digestsByFiles) print.word(listing.filesPrint);
    for (const auto& [name, presence] : listing.watched) {
        if (!own(name)) print.bytes(name).word(static_cast<std::uint64_t>(presence));
    }
    print.word(listing.description ? 1 : 0).bytes(listing.description.value_or(""));
    print.word(listing.readme ? 1 : 0);
    if (listing.readme) print.bytes(listing.readme->first).bytes(listing.readme->second);
    return print.value();
}

}  // namespace tabulo
