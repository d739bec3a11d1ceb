#include "pages/ClassicPage.h"

#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "common/Encoding.h"
#include "common/Text.h"
#include "pages/Description.h"
#include "listing/ListingHelpers.h"
#include "common/Dates.h"
#include "listing/OutputNames.h"
#include "pages/PageText.h"

namespace tabulo {

namespace {

std::string removeCells(std::string_view line, std::string_view replacement) {
    return replaceAll(replaceAll(line, "<td>", replacement), "</td>", replacement);
}

std::string formatTime(std::int64_t t) {
    // Files of one folder often share their time; the locale and zone stay for the run.
    thread_local std::int64_t lastTime = -1;
    thread_local std::string lastText;
    if (t == lastTime) return lastText;
    std::time_t when = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&when, &tm);
    char buf[128];
    std::size_t n = std::strftime(buf, sizeof buf, "%c", &tm);
    lastTime = t;
    lastText = toUtf8(std::string_view(buf, n));
    return lastText;
}

constexpr std::string_view kHtmlValidator = "http://validator.w3.org/check/referer";
constexpr std::string_view kHtmlBadge = "http://www.w3.org/Icons/valid-html32";
constexpr std::string_view kCssValidator = "http://jigsaw.w3.org/css-validator/check/referer";
constexpr std::string_view kCssBadge = "http://jigsaw.w3.org/css-validator/images/vcss";

std::string aboutLine(const OptionValues& o, const std::tm& today) {
    std::string align = o.on(opt("chkCenter")) ? " align=\"center\"" : "";
    std::string generated, credits, date;
    if (o.on(opt("chkAboutGenWith"))) {
        generated = "Genererated with <a href=\"" + std::string(kUpdatePage) +
                    "?v=" + o.text(opt("lblVersion")) + "&amp;s=" + o.text(opt("cmbSheme")) +
                    "\"> tabulo</a>";
    }
    if (o.on(opt("chkAboutCredits"))) {
        credits = " by <a href=\"" + URLEncode(o, o.text(opt("txtAboutLink"))) + "\">" +
                  o.text(opt("txtAboutNick")) + "</a>";
    }
    if (o.on(opt("chkAboutDate"))) date = " on " + aboutDate(today);
    return "  <p" + align + "><i><font size=\"2\">" + generated + credits + date +
           ".</font></i></p>";
}

class Renderer {
  public:
    Renderer(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
             TextOut& out)
        : s_(s), o_(s.o), place_(place), listing_(listing), out_(out) {}

    void preamble();
    void listing(double serverTotalBefore);
    PageResult& result() { return result_; }

  private:
    const std::string& iconTag(const std::string& type);
    std::string displayName(const std::string& rawName) const;
    void upRow();
    void folderRows();
    void fileRows();
    void totals(double serverTotalBefore);
    void needIcon(const std::string& type);
    std::string emptyHashCell() const;

    const RunSettings& s_;
    const OptionValues& o_;
    const PagePlace& place_;
    const FolderListing& listing_;
    TextOut& out_;
    PageResult result_;
    std::unordered_set<std::string> iconsSeen_;
    std::string folderIcon_;
    std::string sizeCell_, timeCell_, commentCell_;
    std::string line_;  // the row being built
    std::unordered_map<std::string, std::string> iconTags_;
};

void Renderer::preamble() {
    out_.writeLine("<a name=\"" + escapeAttribute(FlatPageName(o_, place_.relativePath)) +
                   "\"></a>");
    if (o_.on(opt("chkHeading"))) out_.writeLine("<h2>" + escapeText(place_.title) + "</h2>");
    const std::string& pic = o_.text(opt("txtCapSnap"));
    if (o_.on(opt("chkCaptureSnap")) && isPresent(listing_, pic, true)) {
        bool thumb = o_.on(opt("chkThumb"));
        std::string src = LinkForName(o_, "", pic, "");
        if (thumb) out_.writeLine("<a href=\"" + src + "\">");
        out_.writeLine("<img alt=\"" + escapeAttribute(toUtf8(pic)) + "\" src=\"" + src + "\" ");
        if (thumb) out_.writeLine("width=\"320\" height=\"200\" border=\"0\"></a");
        out_.writeLine("><br>");
    }
    if (o_.on(opt("chkCaptureDesc")) && listing_.description) {
        if (o_.on(opt("chkTT"))) out_.writeLine("<tt>");
        if (o_.on(opt("chkPre"))) out_.writeLine("<pre>");
        for (const std::string& line : DescriptionLines(toUtf8(*listing_.description)))
            out_.writeLine(line);
        if (o_.on(opt("chkPre"))) out_.writeLine("</pre>");
        if (o_.on(opt("chkTT"))) out_.write("</tt>");
        out_.writeLine("<br><br>");
    }
}

const std::string& Renderer::iconTag(const std::string& type) {
    auto it = iconTags_.find(type);
    if (it != iconTags_.end()) return it->second;
    std::string tag = "<img " + o_.text(opt("lblIconsWidth")) + " alt=\"" +
                      escapeAttribute(toUtf8(type)) + "\" src=\"" + IconAddress(s_, place_, type) +
                      "\"> ";
    return iconTags_.emplace(type, tag).first->second;
}

// Folder rows have no checksum, but keep their cells under the files' columns.
std::string Renderer::emptyHashCell() const {
    return o_.on(opt("chkColuHash")) ? "<td></td>" : "";
}

void Renderer::needIcon(const std::string& type) {
    if (iconsSeen_.insert(type).second) result_.icons.push_back(type);
}


std::string Renderer::displayName(const std::string& rawName) const {
    return DisplayName(o_, rawName);
}

void Renderer::listing(double serverTotalBefore) {
    if (o_.on(opt("chkTable"))) {
        std::string line = "<table";
        if (o_.on(opt("chkBorder"))) line += " border=\"" + o_.text(opt("txtBorder")) + "\"";
        if (o_.on(opt("chkCellSpace")))
            line += " cellspacing=\"" + o_.text(opt("txtCellspace")) + "\"";
        if (o_.on(opt("chkCellPad"))) line += " cellpadding=\"" + o_.text(opt("txtCellpad")) + "\"";
        out_.writeLine(line + ">");
    }
    if (o_.on(opt("chkIcons"))) folderIcon_ = iconTag("dir");
    upRow();
    folderRows();
    fileRows();
    totals(serverTotalBefore);
}

void Renderer::upRow() {
    auto up = UpRowLink(s_, place_);
    if (!up) return;
    const std::string& link = *up;
    std::string size = o_.on(opt("chkColuSize")) ? "<td>[dir up]</td>" : "";
    if (ServerLinks(s_)) {
        const std::string cell = "<b>" + folderIcon_ + "<a href=\"" + link + "\">..</a></b>";
        out_.writeLine(o_.on(opt("chkTable"))
                           ? " <tr><td>" + cell + "</td>" + emptyHashCell() + size + "</tr>"
                           : " " + cell + removeCells(size, "") + "<br>");
        return;
    }
    if (o_.on(opt("chkTable"))) {
        out_.writeLine(" <tr><td><a href=\"" + link + "\"><b>" + folderIcon_ + "..</b></a></td>" +
                       emptyHashCell() + size + "</tr>");
    } else {
        out_.writeLine(" <a href=\"" + link + "\"><b>" + folderIcon_ + "..</b></a>" +
                       removeCells(size, "") + "<br>");
    }
}

void Renderer::folderRows() {
    for (const FolderEntry& sub : listing_.folders) {
        if (o_.on(opt("chkColuTime"))) timeCell_ = "<td>" + formatTime(sub.mtime) + "</td>";
        if (o_.on(opt("chkColuSize"))) sizeCell_ = "<td>[dir]</td>";
        if (o_.on(opt("chkColuDesc"))) commentCell_ = "<td>Directory</td>";
        if (IsHiddenFolderRow(s_, place_, listing_, sub.name)) continue;
        std::string row =
            ServerLinks(s_)
                ? "<b>" + folderIcon_ + NameAnchor(FolderRowLink(s_, place_, sub), sub.name) + "</b>"
                : "<a href=\"" + FolderRowLink(s_, place_, sub) + "\"><b>" + folderIcon_ +
                      displayName(sub.name) + "</b></a>";
        if (o_.on(opt("chkTable"))) {
            out_.writeLine(" <tr><td>" + row + "</td>" + emptyHashCell() + sizeCell_ + timeCell_ +
                           commentCell_ + "</tr>");
        } else {
            out_.writeLine(" " + row + removeCells(sizeCell_ + timeCell_ + commentCell_, " ") +
                           "<br>");
        }
    }
}

void Renderer::fileRows() {
    bool table = o_.on(opt("chkTable"));
    bool icons = o_.on(opt("chkIcons"));
    bool collect = icons && WantsIconFiles(o_);
    const std::string noIcon;
    const bool hashes = o_.on(opt("chkColuHash"));
    const std::string sums = hashes ? SumsLink(s_, place_) : "";
    std::string hashCell;
    for (const FileEntry& file : listing_.files) {
        std::string type = FileTypeOf(file.name);
        const std::string* fileIcon = &noIcon;
        if (file.excluded) continue;
        // Icons are fetched for the types the page shows, not for the files it leaves out.
        if (icons) {
            fileIcon = &iconTag(type);
            if (collect) needIcon(type);
        }
        result_.total += file.size;
        if (hashes) {
            const FileDigest* digest = listing_.digestOf(file);
            hashCell = digest ? "<td><a href=\"" + sums + "\">" + digest->md5 + "</a></td>" : "<td></td>";
        }
        if (o_.on(opt("chkColuSize"))) sizeCell_.assign("<td>").append(FormatFileSize(o_, file.size)).append("</td>");
        if (o_.on(opt("chkColuTime"))) timeCell_.assign("<td>").append(formatTime(file.mtime)).append("</td>");
        if (o_.on(opt("chkColuDesc"))) {
            if (o_.selected(opt("optExtention"))) {
                commentCell_ = "<td>" + escapeText(toUtf8(type)) + " File</td>";
            } else if (o_.selected(opt("optGlobal"))) {
                commentCell_ = "<td>" + o_.text(opt("txtComment")) + "</td>";
            }
        }
        if (ServerLinks(s_)) {
            std::string cells = "<td>" + *fileIcon + NameAnchor(FileRowLink(s_, place_, file), file.name) +
                                "</td>" + hashCell + sizeCell_ + timeCell_ + commentCell_;
            out_.writeLine(table ? "  <tr>" + cells + "</tr>" : "  " + removeCells(cells, " ") + "<br>");
        } else if (table) {
            // One row at a time, in one reused string: a page may have a million rows.
            std::string& line = line_;
            line.assign("  <tr><td><a href=\"").append(FileRowLink(s_, place_, file)).append("\">");
            line.append(*fileIcon).append(displayName(file.name)).append("</a></td>");
            line.append(hashCell).append(sizeCell_).append(timeCell_).append(commentCell_).append("</tr>");
            out_.writeLine(line);
        } else {
            std::string cells = "<td><a href=\"" + FileRowLink(s_, place_, file) + "\">" +
                                *fileIcon + displayName(file.name) + "</a></td>" +
                                std::string(hashCell) + sizeCell_ + timeCell_ + commentCell_;
            out_.writeLine("  " + removeCells(cells, " ") + "<br>");
        }
    }
}

void Renderer::totals(double serverTotalBefore) {
    if (!o_.on(opt("chkSumSize"))) return;
    std::string line;
    double total = result_.total;
    if (place_.depth == s_.rootDepth) {
        line = "<tr><td>Server Total: " + FormatFileSize(o_, serverTotalBefore + total) + "</td>";
        if (total != 0) line += "<td>Total: " + FormatFileSize(o_, total) + "</td>";
        line += "</tr>";
    } else if (total != 0) {
        line = "<tr><td>Total:</td><td>" + FormatFileSize(o_, total) + "</td></tr>";
    }
    if (!o_.on(opt("chkTable"))) line = removeCells(line, "");
    out_.writeLine(line);
}

}  // namespace

void RenderClassicHead(const RunSettings& s, const PagePlace& place, TextOut& out) {
    const OptionValues& o = s.o;
    const std::string& title = place.title;
    if (o.on(opt("chkW3c")))
        out.writeLine("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">");
    out.writeLine("<HTML><HEAD>");
    if (o.on(opt("chkW3c"))) {
        out.writeLine(
            " <meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
    }
    if (o.check(opt("chkMetaStyle")) == 0) {
        std::string t = escapeAttribute(title);
        out.writeLine(" <meta name=\"DESCRIPTION\" content=\"Contents of the " + t +
                      " Directory.\">");
        out.writeLine(" <meta name=\"KEYWORDS\" content=\"" + t +
                      ", tabulo, tabul, indexing, sigulo, verified hashes, hash\">");
        out.writeLine(" <meta name=\"GENERATOR\" content=\"Tabulo v." + o.text(opt("lblVersion")) +
                      "\">");
    }
    bool embed = o.selected(opt("optCssEmbed"));
    if (o.on(opt("chkCss")) && !embed) {
        out.writeLine(" <link rel=\"stylesheet\" href=\"" + place.upPrefix +
                      o.text(opt("txtIndexCss")) + "\">");
    }
    if (embed) {
        out.writeLine("  <STYLE TYPE=\"Text/css\">");
        out.write(s.styleRules);
        out.writeLine("  </STYLE>");
    }
    out.writeLine(" <title>" + escapeText(title) + "</title>");
    out.writeLine("</HEAD><BODY>");
    if (o.on(opt("chkCenter"))) out.writeLine("<center>");
    if (o.on(opt("chkHeader"))) {
        out.writeMultiline(o.text(opt("txtHeader")));
        out.writeLine();
    }
}

PageResult RenderClassicPage(const RunSettings& s, const PagePlace& place,
                             const FolderListing& listing, bool withHead,
                             double serverTotalBefore, TextOut& out) {
    if (withHead) RenderClassicHead(s, place, out);
    Renderer r(s, place, listing, out);
    r.preamble();
    r.listing(serverTotalBefore);
    if (s.o.on(opt("chkTable"))) out.writeLine("</table>");
    if (!s.allInOneFile) out.write(s.footer);
    return std::move(r.result());
}

std::string ClassicFooter(const OptionValues& o, const std::tm& today, bool withSha256Sums) {
    std::string f;
    if (o.on(opt("chkUpload"))) {
        f += "         <form method=\"post\" enctype=\"multipart/form-data\" action=\"" +
             o.text(opt("txtUploadScript")) + "\">\r\n";
        f += "          <input type=\"file\" name=\"upload\">\r\n";
        f += "          <input type=\"submit\" value=\"Upload\">\r\n";
        f += "         </form>\r\n";
    }
    if (o.on(opt("chkFooter"))) f += crlfLineBreaks(o.text(opt("txtFooter"))) + "\r\n";
    if (auto line = FooterFilesLine(o, " | ", withSha256Sums); !line.empty()) f += "<p>" + line + "</p>\r\n";
    if (o.on(opt("chkAbout"))) f += aboutLine(o, today) + "\r\n";
    if (o.on(opt("chkW3c"))) {
        f += "<a href=\"" + std::string(kHtmlValidator) + "\"><img border=\"0\" src=\"" +
             std::string(kHtmlBadge) +
             "\" alt=\"Valid HTML 3.2!\" height=\"31\" width=\"88\"></a>" + "<a href=\"" +
             std::string(kCssValidator) + "\"><img border=\"0\" width=\"88\" height=\"31\" src=\"" +
             std::string(kCssBadge) + "\" alt=\"Valid CSS!\"></a>\r\n";
    }
    if (o.on(opt("chkCenter"))) f += "</center>\r\n";
    return f + "</BODY></HTML>\r\n";
}

}  // namespace tabulo
