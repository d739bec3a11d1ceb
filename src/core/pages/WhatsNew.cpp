#include "pages/WhatsNew.h"

#include <cstdio>
#include <ctime>

#include "common/Dates.h"
#include "common/Encoding.h"
#include "common/Fingerprint.h"
#include "common/Text.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/ModernPage.h"
#include "pages/PageParts.h"
#include "pages/PageText.h"
#include "run/RunSettings.h"
#include "run/RunSummary.h"

namespace tabulo {

namespace {

std::string hex(std::uint64_t value) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(value));
    return buf;
}

// Text for XML: escaped, and the control characters XML 1.0 cannot hold at all (not even as
// references) replaced, as a name on disk may have them.
std::string xmlText(std::string_view bytes) {
    std::string text;
    for (char c : toUtf8(bytes)) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') text += "\xEF\xBF\xBD";
        else text += c;
    }
    return escapeAttribute(text);
}

// A size as rows show it, without the blank that lines whole numbers up in a column.
std::string sizeText(const OptionValues& o, double size) {
    return std::string(trimBlanks(FormatFileSize(o, size)));
}

std::string pathOf(const NewsItem& item) {
    return item.folder.empty() ? item.file.name : item.folder + "/" + item.file.name;
}

}  // namespace

int WhatsNewDays(const OptionValues& o) {
    const std::string& text = o.text(opt("txtWhatsNewDays"));
    int days = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || days > 3650) return 30;
        days = days * 10 + (c - '0');
    }
    return days >= 1 && days <= 3650 ? days : 30;
}

std::string AtomTime(std::int64_t t) {
    return timeText(t, "%Y-%m-%dT%H:%M:%SZ", true);
}

std::string WhatsNewPage(const RunSettings& s, const std::vector<NewsItem>& items,
                         std::size_t total, int days) {
    const OptionValues& o = s.o;
    const std::string name = escapeText(SiteName(s));
    const std::string top = ServerLinks(s) ? "./" : URLEncode(o, o.text(opt("txtIndexHtm")));
    const std::string ending = FolderPageEnding(s);
    std::string page = std::string(kWhatsNewMark) + "\r\n";
    page += "<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n";
    page += "<title>What's new in " + name + "</title>\r\n";
    page += "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"What's new in " + name +
            "\" href=\"" + std::string(kFeedName) + "\">\r\n";
    page += ModernStyle(o);
    page += "</head>\r\n<body>\r\n<main>\r\n<section class=\"folder\">\r\n";
    page += "<nav class=\"crumbs\" aria-label=\"Folders above\"><a href=\"" + escapeAttribute(top) +
            "\">" + name + "</a> / <span>What's new</span></nav>\r\n";
    page += "<h1>What's new in " + name + "</h1>\r\n";
    page += "<p>Files added or changed in the last " + CountedText(days, "day", "days") +
            ", newest first. <a href=\"" + std::string(kFeedName) +
            "\" type=\"application/atom+xml\">Follow them in a feed reader (Atom)</a></p>\r\n";
    if (items.empty()) {
        page += "<p class=\"status\">Nothing was added or changed in that time.</p>\r\n";
    } else {
        page += "<div class=\"scroll\">\r\n<table class=\"listing\">\r\n";
        page += "<thead><tr><th scope=\"col\" class=\"name\">Name</th><th scope=\"col\" "
                "class=\"comment\">Folder</th><th scope=\"col\" class=\"size\">Size</th><th "
                "scope=\"col\" class=\"time\" aria-sort=\"descending\">Changed</th></tr></thead>\r\n<tbody>\r\n";
        for (const NewsItem& item : items) {
            const std::string machine = timeText(item.file.seen, "%Y-%m-%dT%H:%M");
            std::string shown = machine;
            if (auto t = shown.find('T'); t != std::string::npos) shown[t] = ' ';
            const std::string folderLink =
                item.folder.empty() ? top : encodeNameForLink(item.folder, true) + ending;
            page += "<tr><td><a href=\"" + encodeNameForLink(pathOf(item), true) + "\">" +
                    escapeText(toUtf8(item.file.name)) + "</a></td>";
            page += "<td class=\"comment\"><a href=\"" + escapeAttribute(folderLink) + "\">" +
                    (item.folder.empty() ? name : escapeText(toUtf8(item.folder))) + "</a></td>";
            page += "<td class=\"size\">" + FormatFileSize(o, item.file.size) + "</td>";
            page += "<td class=\"time\"><time datetime=\"" + machine + "\">" + shown +
                    "</time></td></tr>\r\n";
        }
        page += "</tbody>\r\n</table>\r\n</div>\r\n";
        if (total > items.size())
            page += "<p class=\"totals\">And " + std::to_string(total - items.size()) +
                    " more, older than these.</p>\r\n";
    }
    page += "</section>\r\n</main>\r\n</body>\r\n</html>\r\n";
    return page;
}

std::string AtomFeed(const RunSettings& s, const std::vector<NewsItem>& items, int days,
                     std::int64_t updated) {
    const std::string name = xmlText(SiteName(s));
    std::string feed = std::string(kFeedMark) + "\r\n";
    feed += "<feed xmlns=\"http://www.w3.org/2005/Atom\">\r\n";
    feed += "<title>What's new in " + name + "</title>\r\n";
    feed += "<subtitle>Files added or changed in the last " + CountedText(days, "day", "days") +
            "</subtitle>\r\n";
    // The tree's own id: the same for every run over it.
    feed += "<id>urn:tabulo:feed:" + hex(Fingerprint().bytes(s.realTop).value()) + "</id>\r\n";
    feed += "<updated>" + AtomTime(updated) + "</updated>\r\n";
    feed += "<link rel=\"self\" type=\"application/atom+xml\" href=\"" + std::string(kFeedName) + "\"/>\r\n";
    feed += "<link rel=\"alternate\" type=\"text/html\" href=\"" + std::string(kWhatsNewName) + "\"/>\r\n";
    feed += "<author><name>" + name + "</name></author>\r\n";
    feed += "<generator>Tabulo</generator>\r\n";
    for (const NewsItem& item : items) {
        const std::string path = pathOf(item);
        Fingerprint id;
        id.bytes(path).number(item.file.size).word(static_cast<std::uint64_t>(item.file.mtime));
        feed += "<entry>\r\n<title>" + xmlText(path) + "</title>\r\n";
        feed += "<id>urn:tabulo:file:" + hex(id.value()) + "</id>\r\n";
        feed += "<updated>" + AtomTime(item.file.seen) + "</updated>\r\n";
        feed += "<link rel=\"alternate\" href=\"" + encodeNameForLink(path, true) + "\"/>\r\n";
        feed += "<summary>" + xmlText(item.folder.empty() ? "In the top folder" : "In " + item.folder + "/") +
                ", " + sizeText(s.o, item.file.size) + "</summary>\r\n</entry>\r\n";
    }
    feed += "</feed>\r\n";
    return feed;
}

}  // namespace tabulo
