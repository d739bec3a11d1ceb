#include "generator/DirectoryPage.h"

#include <unordered_map>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Text.h"
#include "generator/Description.h"
#include "generator/ListingHelpers.h"
#include "generator/PageFooter.h"
#include "generator/PageText.h"
#include "stylesheet/Stylesheet.h"

namespace tabulo {

namespace {

// Values prepared once per page and shared by its parts.
struct Page {
    int depth = 0;
    std::string title;  // display form (UTF-8)
    std::string upPrefix;
    std::string relativePath;  // bytes as on disk, "/" separated, ends with "/" unless empty
    double total = 0;
};

// Without a www root the selected folder is the root, for names and anchors as for depths;
// so pages never carry the local path above the site, and flat names match their links.
std::string withoutWwwRoot(Engine& engine, const std::string& path) {
    const std::string& root = engine.run().siteRoot;
    if (root == "/") return path.substr(1);  // every "/" would go otherwise
    return root.empty() ? path : replaceAll(path, root, "");
}

std::string computeRelativePath(Engine& engine, const std::string& folder) {
    std::string rel = withoutWwwRoot(engine, folder) + "/";
    if (rel.starts_with('/')) rel.erase(0, 1);
    return rel;
}

// Whether `name` is in the folder (an ordinary file, when `fileOnly`: a pipe or a device is
// never read as a description or shown as a picture), from the listing when it knows.
bool present(const FolderListing& listing, const std::string& folder, const std::string& name,
             bool fileOnly) {
    switch (listing.presence(name)) {
        case FolderListing::Presence::Missing:
            return false;
        case FolderListing::Presence::File:
            return true;
        case FolderListing::Presence::Folder:
        case FolderListing::Presence::Other:
            return !fileOnly;
        case FolderListing::Presence::Unknown:
            break;
    }
    std::string full = joinPath(folder, name);
    return fileOnly ? isRegularFile(full) : pathExists(full);
}

std::string removeCells(std::string_view line, std::string_view replacement) {
    return replaceAll(replaceAll(line, "<td>", replacement), "</td>", replacement);
}

std::string formatTime(std::time_t t) {
    // Files of one folder often share their time; the locale and zone stay for the run.
    thread_local std::time_t lastTime = -1;
    thread_local std::string lastText;
    if (t == lastTime) return lastText;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%c", &tm);
    lastTime = t;
    lastText = toUtf8(std::string_view(buf, n));
    return lastText;
}

class PageWriter {
  public:
    PageWriter(Engine& engine, const FolderListing& listing, Page& page, TextFile& out)
        : engine_(engine), o_(engine.options()), listing_(listing), page_(page), out_(out) {}

    void writeHead();
    void writePreamble();
    void writeListing();

  private:
    bool allInOne() const {
        return o_.on(opt("chkAllInOneFile")) || o_.on(opt("chkAllInOneFolder"));
    }
    std::string iconTag(const std::string& type);
    std::string linkForName(std::string_view typedPrefix, std::string_view namePart,
                            std::string_view typedSuffix) const;
    std::string displayName(const std::string& rawName) const;
    void writeUpRow();
    void writeFolderRows();
    void writeFileRows();
    void writeTotals();

    Engine& engine_;
    const Options& o_;
    const FolderListing& listing_;
    Page& page_;
    TextFile& out_;
    std::string folderIcon_;
    std::string sizeCell_, timeCell_, commentCell_;
    std::unordered_map<std::string, std::string> iconTags_;
};

void PageWriter::writeHead() {
    const std::string title = page_.title;
    if (o_.on(opt("chkW3c")))
        out_.writeLine("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">");
    out_.writeLine("<HTML><HEAD>");
    if (o_.on(opt("chkW3c"))) {
        out_.writeLine(
            " <meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">");
    }
    if (o_.check(opt("chkMetaStyle")) == 0) {
        std::string t = escapeAttribute(title);
        out_.writeLine(" <meta name=\"DESCRIPTION\" content=\"Contents of the " + t +
                       " Directory.\">");
        out_.writeLine(" <meta name=\"KEYWORDS\" content=\"" + t +
                       ", tabulo, tabul, indexing, sigulo, verified hashes, hash\">");
        out_.writeLine(" <meta name=\"GENERATOR\" content=\"Tabulo v." +
                       o_.text(opt("lblVersion")) + "\">");
    }
    bool embed = o_.selected(opt("optCssEmbed"));
    if (o_.on(opt("chkCss")) && !embed) {
        out_.writeLine(" <link rel=\"stylesheet\" href=\"" + page_.upPrefix +
                       o_.text(opt("txtIndexCss")) + "\">");
    }
    if (embed) {
        out_.writeLine("  <STYLE TYPE=\"Text/css\">");
        WriteStylesheetRules(engine_);
        out_.writeLine("  </STYLE>");
    }
    out_.writeLine(" <title>" + escapeText(title) + "</title>");
    out_.writeLine("</HEAD><BODY>");
    engine_.run().allInOneHeadWritten = true;
    if (o_.on(opt("chkCenter"))) out_.writeLine("<center>");
    if (o_.on(opt("chkHeader"))) {
        out_.writeMultiline(o_.text(opt("txtHeader")));
        out_.writeLine();
    }
}

void PageWriter::writePreamble() {
    const std::string& folder = engine_.currentFolder();
    out_.writeLine("<a name=\"" + escapeAttribute(FlatPageName(o_, page_.relativePath)) +
                   "\"></a>");
    if (o_.on(opt("chkHeading")))
        out_.writeLine("<h2>" + escapeText(o_.text(opt("txtHeading"))) + "</h2>");
    const std::string& pic = o_.text(opt("txtCapSnap"));
    if (o_.on(opt("chkCaptureSnap")) && present(listing_, folder, pic, true)) {
        bool thumb = o_.on(opt("chkThumb"));
        std::string src = linkForName("", pic, "");
        if (thumb) out_.writeLine("<a href=\"" + src + "\">");
        out_.writeLine("<img alt=\"" + escapeAttribute(toUtf8(pic)) + "\" src=\"" + src + "\" ");
        if (thumb) out_.writeLine("width=\"320\" height=\"200\" border=\"0\"></a");
        out_.writeLine("><br>");
    }
    const std::string& desc = o_.text(opt("txtCapDesc"));
    if (o_.on(opt("chkCaptureDesc")) && present(listing_, folder, desc, true)) {
        // Read again as an ordinary file, in case a pipe took its place since the listing.
        std::error_code ignored;
        auto text = readRegularFile(joinPath(folder, desc), ignored);
        if (!text) return;
        if (o_.on(opt("chkTT"))) out_.writeLine("<tt>");
        if (o_.on(opt("chkPre"))) out_.writeLine("<pre>");
        for (const std::string& line : DescriptionLines(toUtf8(*text))) out_.writeLine(line);
        if (o_.on(opt("chkPre"))) out_.writeLine("</pre>");
        if (o_.on(opt("chkTT"))) out_.write("</tt>");
        out_.writeLine("<br><br>");
    }
}

std::string PageWriter::iconTag(const std::string& type) {
    auto it = iconTags_.find(type);
    if (it != iconTags_.end()) return it->second;
    std::string address = o_.selected(opt("optIconsLocal"))
                              ? page_.upPrefix + o_.text(opt("txtIconsLocal"))
                              : o_.text(opt("txtIcohref"));
    std::string src = replaceAll(address, "#", encodeNameForLink(type, o_.on(opt("chkUtf"))));
    std::string tag = "<img " + o_.text(opt("lblIconsWidth")) + " alt=\"" +
                      escapeAttribute(toUtf8(type)) + "\" src=\"" + src + "\"> ";
    return iconTags_.emplace(type, tag).first->second;
}

std::string PageWriter::linkForName(std::string_view typedPrefix, std::string_view namePart,
                                    std::string_view typedSuffix) const {
    return URLEncode(o_, typedPrefix) + encodeNameForLink(namePart, o_.on(opt("chkUtf"))) +
           URLEncode(o_, typedSuffix);
}

std::string PageWriter::displayName(const std::string& rawName) const {
    std::string name = toUtf8(rawName);
    if (o_.on(opt("chkLenght"))) {
        // Held to the name's own length first: any typed number fits the conversion.
        double limit = val(o_.text(opt("txtLenght")));
        name = cutName(name, wholeWithin<std::size_t>(limit, 0, name.size()));
    }
    return escapeText(name);
}

void PageWriter::writeListing() {
    if (o_.on(opt("chkTable"))) {
        std::string line = "<table";
        if (o_.on(opt("chkBorder"))) line += " border=\"" + o_.text(opt("txtBorder")) + "\"";
        if (o_.on(opt("chkCellSpace")))
            line += " cellspacing=\"" + o_.text(opt("txtCellspace")) + "\"";
        if (o_.on(opt("chkCellPad"))) line += " cellpadding=\"" + o_.text(opt("txtCellpad")) + "\"";
        out_.writeLine(line + ">");
    }
    if (o_.on(opt("chkIcons"))) folderIcon_ = iconTag("dir");
    writeUpRow();
    writeFolderRows();
    writeFileRows();
    writeTotals();
}

void PageWriter::writeUpRow() {
    int root = engine_.run().rootDepth;
    bool wanted = (o_.on(opt("chkAlowExit")) && page_.depth != root) ||
                  (o_.on(opt("chkForceCdUp")) && page_.depth == root);
    if (!wanted) return;
    const std::string& htm = o_.text(opt("txtIndexHtm"));
    std::string link;
    if (!allInOne()) {
        link = "../" + htm;
    } else if (page_.depth - 1 == root) {
        link = htm;
    } else {
        link = FlatPageName(o_, withoutWwwRoot(engine_, engine_.currentFolder()));
        auto cut = link.rfind(o_.text(opt("txtReplaceIndexs")));
        if (cut != std::string::npos && !o_.text(opt("txtReplaceIndexs")).empty()) {
            link = link.substr(0, cut) + ".html";
        }
    }
    if (o_.on(opt("chkAllInOneFile"))) link = "#" + link;
    std::string size = o_.on(opt("chkColuSize")) ? "<td>[dir up]</td>" : "";
    if (o_.on(opt("chkTable"))) {
        out_.writeLine(" <tr><td><a href=\"" + link + "\"><b>" + folderIcon_ + "..</b></a></td>" +
                       size + "</tr>");
    } else {
        out_.writeLine(" <a href=\"" + link + "\"><b>" + folderIcon_ + "..</b></a>" +
                       removeCells(size, "") + "<br>");
    }
}

void PageWriter::writeFolderRows() {
    const std::string& folder = engine_.currentFolder();
    const std::string& htm = o_.text(opt("txtIndexHtm"));
    std::string iconsLocal = o_.text(opt("txtIconsLocal"));
    std::string iconsFolder = iconsLocal.substr(0, iconsLocal.find('/'));
    for (const FolderEntry& sub : listing_.folders) {
        if (folder.ends_with('/') && page_.depth == 1) page_.depth = 0;
        if (o_.on(opt("chkColuTime"))) timeCell_ = "<td>" + formatTime(sub.mtime) + "</td>";
        if (o_.on(opt("chkColuSize"))) sizeCell_ = "<td>[dir]</td>";
        if (o_.on(opt("chkColuDesc"))) commentCell_ = "<td>Directory</td>";
        if (sub.name == o_.text(opt("txtUploadDirectory")) || sub.name == iconsFolder) continue;
        std::string link;
        if (sub.reach == FolderEntry::Reach::Outside ||
            sub.reach == FolderEntry::Reach::Elsewhere) {
            // No page is written for it in this run: the row leads to the folder itself.
            link = linkForName("", allInOne() ? page_.relativePath + sub.name : sub.name, "/");
        } else if (allInOne()) {
            link = URLEncode(o_,
                             FlatPageName(o_, withoutWwwRoot(engine_, joinPath(folder, sub.name))));
            if (o_.on(opt("chkAllInOneFile"))) link = "#" + link;
        } else {
            link = linkForName("", sub.name, "/" + htm);
        }
        std::string row =
            "<a href=\"" + link + "\"><b>" + folderIcon_ + displayName(sub.name) + "</b></a>";
        if (o_.on(opt("chkTable"))) {
            out_.writeLine(" <tr><td>" + row + "</td>" + sizeCell_ + timeCell_ + commentCell_ +
                           "</tr>");
        } else {
            out_.writeLine(" " + row + removeCells(sizeCell_ + timeCell_ + commentCell_, " ") +
                           "<br>");
        }
    }
}

void PageWriter::writeFileRows() {
    bool table = o_.on(opt("chkTable"));
    bool icons = o_.on(opt("chkIcons"));
    bool collect = icons && o_.on(opt("chkIconsDownloaded"));
    bool exclude = o_.on(opt("chkExcludeExts"));
    for (const FolderEntry& file : listing_.files) {
        std::string_view prefix;
        std::string namePart = file.name;
        if (allInOne() || o_.on(opt("chkPreLink"))) namePart = page_.relativePath + file.name;
        if (o_.on(opt("chkPreLink"))) prefix = o_.text(opt("txtPreLink"));
        std::string type = FileTypeOf(file.name);
        std::string fileIcon;
        if (icons) {
            fileIcon = iconTag(type);
            if (collect) engine_.AddNeededIcon(type);
        }
        if (exclude && IsExcluded(o_, file.name)) continue;
        std::string nameCell = "<td><a href=\"" + linkForName(prefix, namePart, "") + "\">" +
                               fileIcon + displayName(file.name) + "</a></td>";
        std::string hashCell =
            o_.on(opt("chkColuHash")) ? "<td><a href=\"[hash]\">md5</a></td>" : "";
        page_.total += file.size;
        engine_.run().serverTotal += file.size;
        if (o_.on(opt("chkColuSize"))) sizeCell_ = "<td>" + FormatFileSize(o_, file.size) + "</td>";
        if (o_.on(opt("chkColuTime"))) timeCell_ = "<td>" + formatTime(file.mtime) + "</td>";
        if (o_.on(opt("chkColuDesc"))) {
            if (o_.selected(opt("optExtention"))) {
                commentCell_ = "<td>" + escapeText(toUtf8(type)) + " File</td>";
            } else if (o_.selected(opt("optGlobal"))) {
                commentCell_ = "<td>" + o_.text(opt("txtComment")) + "</td>";
            }
        }
        std::string cells = nameCell + hashCell + sizeCell_ + timeCell_ + commentCell_;
        if (table) {
            out_.writeLine("  <tr>" + cells + "</tr>");
        } else {
            out_.writeLine("  " + removeCells(cells, " ") + "<br>");
        }
    }
}

void PageWriter::writeTotals() {
    if (!o_.on(opt("chkSumSize"))) return;
    std::string line;
    if (page_.depth == engine_.run().rootDepth) {
        line = "<tr><td>Server Total: " + FormatFileSize(o_, engine_.run().serverTotal) + "</td>";
        if (page_.total != 0) line += "<td>Total: " + FormatFileSize(o_, page_.total) + "</td>";
        line += "</tr>";
    } else if (page_.total != 0) {
        line = "<tr><td>Total:</td><td>" + FormatFileSize(o_, page_.total) + "</td></tr>";
    }
    if (!o_.on(opt("chkTable"))) line = removeCells(line, "");
    out_.writeLine(line);
}

// The page file: a fresh file for one page, or the run's all-in-one file for a section. Every
// page stays inside the folder being indexed, links followed.
TextFile* openOutput(Engine& engine, const FolderListing& listing, const Page& page,
                     std::unique_ptr<TextFile>& own) {
    const Options& o = engine.options();
    IndexRun& run = engine.run();
    const std::string& outFolder = o.text(opt("lblAllInOneFolder"));
    WriteRules rules{run.tree, true};
    if (o.on(opt("chkAllInOneFile"))) {
        auto& shared = engine.allInOneFile();
        if (!run.allInOneHeadWritten) {
            shared.reset();
            shared = std::make_unique<TextFile>(joinPath(outFolder, o.text(opt("txtIndexHtm"))),
                                                Unmappable::HtmlReference, rules);
        }
        return shared.get();  // null once an earlier section failed: the file is given up
    }
    std::string path;
    if (o.on(opt("chkAllInOneFolder"))) {
        path = joinPath(outFolder, FlatPageName(o, page.relativePath));
        rules.sweep = !run.outputSwept;
        run.outputSwept = true;
    } else {
        path = joinPath(engine.currentFolder(), o.text(opt("txtIndexHtm")));
        // The listing already named what a killed run left here.
        rules.sweep = false;
        removeStaleTemporaries(engine.currentFolder(), listing.leftovers);
    }
    own = std::make_unique<TextFile>(path, Unmappable::HtmlReference, rules);
    return own.get();
}

}  // namespace

void WriteDirectoryPage(Engine& engine, const FolderListing& listing) {
    Options& o = engine.options();
    IndexRun& run = engine.run();
    const std::string folder = engine.currentFolder();
    const std::string shown = toUtf8(folder);
    engine.setStatus("Generating index for : `" + shown + "`");

    Page page;
    page.depth = CountPathSeparators(folder);
    auto pieces = split(folder, '/');
    page.title =
        static_cast<std::size_t>(page.depth) < pieces.size() ? toUtf8(pieces[page.depth]) : "";
    o.setText(opt("txtTitle"), page.title);
    bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    if (!allInOne) {
        for (int i = run.rootDepth; i < page.depth; ++i) page.upPrefix += "../";
    }
    page.relativePath = computeRelativePath(engine, folder);

    if (run.replaceCancelled) return;
    std::string target = joinPath(folder, o.text(opt("txtIndexHtm")));
    if (o.check(opt("chkReplaceOlda")) == 0 &&
        present(listing, folder, o.text(opt("txtIndexHtm")), false)) {
        Answer a = engine.host().ask("Overwrite '" + toUtf8(target) + "' ?", "Tabulo",
                                     Buttons::YesNoCancel);
        if (a == Answer::Cancel) run.replaceCancelled = true;
        if (a != Answer::Yes) return;
    }

    std::unique_ptr<TextFile> own;
    bool section = o.on(opt("chkAllInOneFile"));
    try {
        TextFile* out = openOutput(engine, listing, page, own);
        if (!out) return;
        run.outputFile = out;
        PageWriter writer(engine, listing, page, *out);
        if (!section || !run.allInOneHeadWritten) writer.writeHead();
        writer.writePreamble();
        writer.writeListing();
        if (o.on(opt("chkTable"))) out->writeLine("</table>");
        if (!section) WritePageFooter(engine);
        run.outputFile = nullptr;
        if (own) own->commit();
    } catch (...) {
        run.outputFile = nullptr;
        if (section) engine.allInOneFile().reset();
        throw;
    }
    engine.setStatus("Done generating index for : `" + shown + "`");
}

}  // namespace tabulo
