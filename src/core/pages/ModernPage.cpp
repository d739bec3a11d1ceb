#include "pages/ModernPage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <unordered_set>

#include "colours/Contrast.h"
#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/NaturalOrder.h"
#include "common/Text.h"
#include "pages/Description.h"
#include "listing/ListingHelpers.h"
#include "pages/Markdown.h"
#include "pages/PageText.h"

namespace tabulo {

namespace {

// ---- colours ------------------------------------------------------------------------------

struct Shade {
    double r = 0, g = 0, b = 0;  // 0..1
};

Shade parseSlot(const std::string& hex, Shade fallback) {
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return fallback;
    unsigned v = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
    return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

// The colour as the page writes it, whole bytes.
Rgb packed(Shade c) {
    auto byte = [](double x) { return static_cast<Rgb>(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
    return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

std::string cssColour(Rgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06x", static_cast<unsigned>(c & 0xFFFFFF));
    return buf;
}

// The same hue at another lightness, through HSL.
Shade withLightness(Shade c, double lightness) {
    double mx = std::max({c.r, c.g, c.b}), mn = std::min({c.r, c.g, c.b});
    double l = (mx + mn) / 2, d = mx - mn, h = 0, s = 0;
    if (d > 0.1) {  // below that a colour reads as grey, and stays grey at any lightness
        s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
        if (mx == c.r) h = (c.g - c.b) / d + (c.g < c.b ? 6 : 0);
        else if (mx == c.g) h = (c.b - c.r) / d + 2;
        else h = (c.r - c.g) / d + 4;
        h /= 6;
    }
    auto hue = [](double p, double q, double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return p + (q - p) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    l = lightness;
    if (s == 0) return {l, l, l};
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
    return {hue(p, q, h + 1.0 / 3), hue(p, q, h), hue(p, q, h - 1.0 / 3)};
}

double lightnessOf(Shade c) {
    return (std::max({c.r, c.g, c.b}) + std::min({c.r, c.g, c.b})) / 2;
}

// The colour slots the page uses, in the order of the options.
enum Slot : std::size_t { kPage, kTable, kCell, kLine, kText, kLink, kVisited, kSlots };
constexpr const char* kSlotNames[kSlots] = {"page", "table", "cell", "line", "text", "link", "visited"};
constexpr Slot kBackgrounds[] = {kPage, kTable, kCell};

struct PageColours {
    std::array<Rgb, kSlots> light{}, dark{};
};

// The slots as chosen for light screens, and with the same hues turned dark (backgrounds) or
// light (text and links) for a dark screen: text and links light enough to read on every
// background, whatever the light colours were.
PageColours pageColours(const OptionValues& o) {
    static const Shade neutral[kSlots] = {{1, 1, 1},       {0.96, 0.96, 0.96}, {1, 1, 1},
                                          {0.8, 0.8, 0.8}, {0.1, 0.1, 0.1},    {0.0, 0.2, 0.8},
                                          {0.45, 0.1, 0.6}};
    bool own = o.on(opt("chkColor"));
    PageColours colours;
    std::array<Shade, kSlots> chosen;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        chosen[slot] = own ? parseSlot(o.colour(static_cast<int>(slot)), neutral[slot]) : neutral[slot];
        colours.light[slot] = packed(chosen[slot]);
    }
    for (std::size_t slot = 0; slot < kText; ++slot) {
        double l = slot == kLine ? 0.4 : 0.09 + (1 - lightnessOf(chosen[slot])) * 0.12;
        colours.dark[slot] = packed(withLightness(chosen[slot], l));
    }
    for (std::size_t slot = kText; slot < kSlots; ++slot) {
        double l = slot == kText ? 0.9 : std::max(lightnessOf(chosen[slot]), 0.75);
        auto readable = [&](Rgb c) {
            return std::all_of(std::begin(kBackgrounds), std::end(kBackgrounds), [&](Slot back) {
                return ContrastRatio(c, colours.dark[back]) >= kTextContrast;
            });
        };
        // Lighter in steps, up to white, which reads on every dark background.
        Rgb night = packed(withLightness(chosen[slot], l));
        while (!readable(night) && l < 1) {
            l = std::min(1.0, l + 0.02);
            night = packed(withLightness(chosen[slot], l));
        }
        colours.dark[slot] = night;
    }
    return colours;
}

// The colour slots as custom properties, light and dark.
std::string colourRules(const OptionValues& o) {
    PageColours colours = pageColours(o);
    std::string light = ":root{color-scheme:light dark;", dark = ":root{";
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        light += std::string("--") + kSlotNames[slot] + ":" + cssColour(colours.light[slot]) + ";";
        dark += std::string("--") + kSlotNames[slot] + ":" + cssColour(colours.dark[slot]) + ";";
    }
    return light + "}\r\n@media (prefers-color-scheme:dark){" + dark + "}}\r\n";
}

// A family name typed in the options, kept to what cannot leave the CSS string.
std::string fontFamily(const OptionValues& o) {
    std::string family;
    if (o.on(opt("chkFont"))) {
        for (char c : o.text(opt("txtFont"))) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_')
                family += c;
        }
    }
    return family.empty() ? "system-ui,sans-serif" : "\"" + family + "\",system-ui,sans-serif";
}

constexpr std::string_view kLayout =
    "*{box-sizing:border-box}\r\n"
    "body{margin:0 auto;max-width:64rem;padding:.75rem;background:var(--page);color:var(--text);"
    "line-height:1.5}\r\n"
    "a{color:var(--link)}a:visited{color:var(--visited)}\r\n"
    ":focus-visible{outline:2px solid currentColor;outline-offset:1px}\r\n"
    "h1{font-size:1.5em;margin:.25em 0;overflow-wrap:anywhere}\r\n"
    ".crumbs{overflow-wrap:anywhere}\r\n"
    ".crumbs a,.crumbs span{display:inline-block;min-height:2rem;padding:.25rem 0}\r\n"
    ".filter{display:block;width:100%;font:inherit;padding:.5rem;margin:.5rem 0;"
    "min-height:2.5rem;color:inherit;background:var(--cell);border:1px solid var(--line)}\r\n"
    ".filter[hidden],[hidden]{display:none}\r\n"
    ".scroll{overflow-x:auto}\r\n"
    "table.listing{width:100%;border-collapse:collapse;background:var(--table);"
    "border:1px solid var(--line)}\r\n"
    ".listing th,.listing td{padding:.125rem .5rem;text-align:left;vertical-align:middle;"
    "border-bottom:1px solid var(--line)}\r\n"
    ".listing td{background:var(--cell)}\r\n"
    ".listing th button{font:inherit;font-weight:bold;color:inherit;background:none;border:0;"
    "padding:0;min-height:2rem;cursor:pointer}\r\n"
    ".listing th[aria-sort=ascending]::after{content:\" \\25B2\";content:\" \\25B2\"/\"\"}\r\n"
    ".listing th[aria-sort=descending]::after{content:\" \\25BC\";content:\" \\25BC\"/\"\"}\r\n"
    ".listing td a{display:inline-flex;align-items:center;gap:.5rem;min-height:2rem;"
    "overflow-wrap:break-word}\r\n"
    ".listing .size,.listing .time{white-space:nowrap}\r\n"
    "@media (max-width:30rem){.listing .size,.listing .time{white-space:normal;font-size:.875em}}\r\n"
    ".listing .icon{flex:none}\r\n"
    ".snap img{max-width:100%;height:auto}\r\n"
    ".readme{margin-top:1rem;padding:.5rem 1rem;background:var(--cell);overflow-wrap:anywhere}\r\n"
    ".readme pre{overflow-x:auto;white-space:pre-wrap}\r\n"
    ".upload{margin-top:1rem}.upload input{font:inherit;min-height:2rem}\r\n"
    "footer{margin-top:1rem;font-size:.875em}\r\n";

// The checksum column, on pages that have one: the first digits on narrow screens, and
// buttons that copy the whole value where the browser lets a page write to the clipboard.
constexpr std::string_view kHashLayout =
    ".listing .hash{white-space:nowrap}.listing .hash a{gap:0}\r\n"
    ".listing .hash code{font-size:.875em}\r\n"
    ".listing .copy{font:inherit;font-size:.75em;margin-left:.25rem;min-height:2rem}\r\n"
    "@media (max-width:40rem){.listing .hash{white-space:normal}.listing .hash .rest{display:none}"
    ".listing td a span{overflow-wrap:anywhere}"
    ".listing .hash a::after{content:\"\\2026\"}.listing .copy{margin-left:0}}\r\n";
constexpr std::string_view kHashScript = R"(<script>
if (navigator.clipboard) {
  Array.prototype.forEach.call(document.querySelectorAll("button.copy"), function (button) {
    button.hidden = false;
    button.addEventListener("click", function () {
      navigator.clipboard.writeText(button.getAttribute("data-copy")).then(function () {
        button.textContent = "Copied";
      });
    });
  });
}
</script>)";

// Sorting by the header cells and the filter box; the page reads the same without it. Names
// reach it only through data attributes, never as script text.
constexpr std::string_view kScript = R"(<script>
(function () {
  "use strict";
  // The column headings sort only where this script runs: without it they are plain text.
  Array.prototype.forEach.call(document.querySelectorAll("th[data-key]"), function (th) {
    var button = document.createElement("button");
    button.type = "button";
    while (th.firstChild) button.appendChild(th.firstChild);
    th.appendChild(button);
  });
  var tables = Array.prototype.slice.call(document.querySelectorAll("table.listing"));
  var names = new Intl.Collator(undefined, {numeric: true, sensitivity: "base"});
  function byName(a, b) { return names.compare(a.dataset.name, b.dataset.name); }
  function compare(key, a, b) {
    if (key === "name") return byName(a, b);
    if (key === "type") return names.compare(a.dataset.type, b.dataset.type) || byName(a, b);
    return (Number(a.dataset[key]) - Number(b.dataset[key])) || byName(a, b);
  }
  function rowsOf(table) { return Array.prototype.slice.call(table.tBodies[0].rows); }
  tables.forEach(function (table) {
    Array.prototype.forEach.call(table.querySelectorAll("th[data-key] button"), function (button) {
      button.addEventListener("click", function () {
        var cell = button.parentNode, key = cell.getAttribute("data-key");
        var up = cell.getAttribute("aria-sort") !== "ascending";
        Array.prototype.forEach.call(table.querySelectorAll("th[aria-sort]"), function (th) {
          th.removeAttribute("aria-sort");
        });
        cell.setAttribute("aria-sort", up ? "ascending" : "descending");
        var rows = rowsOf(table);
        var parent = rows.filter(function (r) { return r.className === "up"; });
        var folders = rows.filter(function (r) { return r.className === "dir"; });
        var files = rows.filter(function (r) { return r.className === "file"; });
        [folders, files].forEach(function (group) {
          group.sort(function (a, b) { var c = compare(key, a, b); return up ? c : -c; });
        });
        parent.concat(folders, files).forEach(function (r) { table.tBodies[0].appendChild(r); });
      });
    });
  });
  var filter = document.querySelector("input.filter");
  if (!filter) return;
  filter.hidden = false;
  filter.addEventListener("input", function () {
    var text = filter.value.toLocaleLowerCase();
    tables.forEach(function (table) {
      var shown = 0;
      rowsOf(table).forEach(function (r) {
        if (r.className === "up") return;
        var hit = r.dataset.name.toLocaleLowerCase().indexOf(text) !== -1;
        r.hidden = !hit;
        if (hit) shown++;
      });
      var section = table.closest("section");
      if (section && tables.length > 1) section.hidden = text !== "" && shown === 0;
    });
  });
})();
</script>)";

// ---- rows ---------------------------------------------------------------------------------

std::string localTime(std::int64_t t, const char* format) {
    std::time_t when = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&when, &tm);
    char buf[64];
    std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

std::string number(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::isfinite(x) ? x : 0.0);
    return buf;
}

class ModernRenderer {
  public:
    ModernRenderer(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                   TextOut& out)
        : s_(s), o_(s.o), place_(place), listing_(listing), out_(out) {}

    void render(double serverTotalBefore);
    PageResult& result() { return result_; }

  private:
    void crumbs();
    void picture();
    void description();
    void table();
    void row(const std::string& cls, const std::string& dataName, const std::string& dataType,
             double dataSize, std::int64_t dataTime, const std::string& link, const std::string& icon,
             const std::string& shownName, const std::string& size, const std::string& comment,
             const FileDigest* digest);
    void totals(double serverTotalBefore);
    void readme();
    std::string iconTag(const std::string& type) const;
    std::string displayName(const std::string& raw) const;

    const RunSettings& s_;
    const OptionValues& o_;
    const PagePlace& place_;
    const FolderListing& listing_;
    TextOut& out_;
    PageResult result_;
};

std::string ModernRenderer::iconTag(const std::string& type) const {
    if (!o_.on(opt("chkIcons"))) return "";
    std::string size = replaceAll(o_.text(opt("lblIconsWidth")), "border=\"0\" ", "");
    return "<img class=\"icon\" " + size + "alt=\"\" src=\"" + IconAddress(s_, place_, type) + "\">";
}

std::string ModernRenderer::displayName(const std::string& raw) const {
    return DisplayName(o_, raw);
}

// From the www root down to this folder; every level but the last is a link.
void ModernRenderer::crumbs() {
    std::string rel = place_.relativePath;
    if (rel.ends_with('/')) rel.pop_back();
    std::vector<std::string> parts = rel.empty() ? std::vector<std::string>{} : split(rel, '/');
    std::string rootName = s_.siteRoot == "/" ? "/" : s_.siteRoot.substr(s_.siteRoot.rfind('/') + 1);
    const std::string& htm = o_.text(opt("txtIndexHtm"));
    std::string line, path;
    for (std::size_t level = 0; level <= parts.size(); ++level) {
        std::string name = level == 0 ? rootName : parts[level - 1];
        if (level > 0) line += " / ";
        path += (level > 0 ? " / " : "") + toUtf8(name);
        if (level == parts.size()) {
            line += "<span>" + escapeText(toUtf8(name)) + "</span>";
            break;
        }
        std::string link;
        if (!s_.allInOne) {
            for (std::size_t up = level; up < parts.size(); ++up) link += "../";
            link += htm;
        } else {
            std::string above;
            for (std::size_t i = 0; i < level; ++i) above += parts[i] + "/";
            link = URLEncode(o_, FlatPageName(o_, above));
            if (s_.allInOneFile) link = "#" + link;
        }
        line += "<a href=\"" + escapeAttribute(link) + "\">" + escapeText(toUtf8(name)) + "</a>";
    }
    // One file shows every folder's crumbs: each set is told apart by the folder it leads to.
    std::string label = s_.allInOneFile ? "Folders above " + path : "Folders above";
    out_.writeLine("<nav class=\"crumbs\" aria-label=\"" + escapeAttribute(label) + "\">" + line +
                   "</nav>");
}

void ModernRenderer::picture() {
    const std::string& pic = o_.text(opt("txtCapSnap"));
    if (!o_.on(opt("chkCaptureSnap")) || !isPresent(listing_, pic, true)) return;
    std::string src = encodeNameForLink(pic, true);
    std::string img = "<img alt=\"" + escapeAttribute(toUtf8(pic)) + "\" src=\"" + src + "\"" +
                      (o_.on(opt("chkThumb")) ? " width=\"320\" height=\"200\"" : "") + ">";
    if (o_.on(opt("chkThumb"))) img = "<a href=\"" + src + "\">" + img + "</a>";
    out_.writeLine("<figure class=\"snap\">" + img + "</figure>");
}

void ModernRenderer::description() {
    if (!o_.on(opt("chkCaptureDesc")) || !listing_.description) return;
    // The description is the site owner's own text, markup included, as on classic pages.
    auto lines = DescriptionLines(toUtf8(*listing_.description));
    if (o_.on(opt("chkPre"))) {
        out_.writeLine("<pre class=\"desc\">");
        for (const std::string& line : lines) out_.writeLine(line);
        out_.writeLine("</pre>");
        return;
    }
    out_.writeLine("<div class=\"desc\">");
    for (std::size_t i = 0; i < lines.size(); ++i) out_.writeLine(lines[i] + (i + 1 < lines.size() ? "<br>" : ""));
    out_.writeLine("</div>");
}

void ModernRenderer::row(const std::string& cls, const std::string& dataName,
                         const std::string& dataType, double dataSize, std::int64_t dataTime,
                         const std::string& link, const std::string& icon,
                         const std::string& shownName, const std::string& size,
                         const std::string& comment, const FileDigest* digest) {
    out_.write("<tr class=\"" + cls + "\"");
    if (cls != "up") {
        // Names reach the script only as attribute values.
        out_.write(" data-name=\"" + escapeAttribute(dataName) + "\" data-type=\"" +
                   escapeAttribute(dataType) + "\" data-size=\"" + number(dataSize) +
                   "\" data-time=\"" + std::to_string(dataTime) + "\"");
    }
    out_.write("><td><a href=\"" + link + "\">" + icon + "<span>" + shownName + "</span></a></td>");
    if (o_.on(opt("chkColuHash"))) {
        // Narrow screens show the first digits only: the whole value is in the title and the
        // copy button, and the size and time stay in view.
        const std::string& md5 = digest ? digest->md5 : "";
        out_.write(digest ? "<td class=\"hash\"><a href=\"" + SumsLink(s_, place_) + "\" title=\"" +
                                md5 + "\"><code>" + md5.substr(0, 8) + "</code><code class=\"rest\">" +
                                md5.substr(std::min<std::size_t>(8, md5.size())) +
                                "</code></a><button type=\"button\" class=\"copy\" data-copy=\"" + md5 +
                                "\" aria-label=\"Copy the MD5 checksum\" hidden>Copy</button></td>"
                          : "<td class=\"hash\"></td>");
    }
    if (o_.on(opt("chkColuSize"))) out_.write("<td class=\"size\">" + size + "</td>");
    if (o_.on(opt("chkColuTime"))) {
        if (cls == "up") {
            out_.write("<td class=\"time\"></td>");
        } else {
            out_.write("<td class=\"time\"><time datetime=\"" + localTime(dataTime, "%Y-%m-%dT%H:%M") +
                       "\">" + localTime(dataTime, "%Y-%m-%d %H:%M") + "</time></td>");
        }
    }
    if (o_.on(opt("chkColuDesc"))) out_.write("<td class=\"comment\">" + comment + "</td>");
    out_.writeLine("</tr>");
}

void ModernRenderer::table() {
    SortKey key = SortKeyOf(o_);
    std::string order = o_.on(opt("chkInverseSortorder")) ? "descending" : "ascending";
    auto head = [&](const char* cls, const char* dataKey, const char* caption, bool sorted) {
        return std::string("<th scope=\"col\" class=\"") + cls + "\" data-key=\"" + dataKey + "\"" +
               (sorted ? " aria-sort=\"" + order + "\"" : "") + ">" + caption + "</th>";
    };
    std::string header = "<tr>" + head("name", "name", "Name", key == SortKey::Name);
    if (o_.on(opt("chkColuHash"))) header += "<th scope=\"col\" class=\"hash\">MD5</th>";
    if (o_.on(opt("chkColuSize"))) header += head("size", "size", "Size", key == SortKey::Size);
    if (o_.on(opt("chkColuTime"))) header += head("time", "time", "Modified", key == SortKey::Date);
    if (o_.on(opt("chkColuDesc"))) header += head("comment", "type", "Type", key == SortKey::Type);
    out_.writeLine("<div class=\"scroll\">");
    out_.writeLine("<table class=\"listing\">");
    out_.writeLine("<thead>" + header + "</tr></thead>");
    out_.writeLine("<tbody>");

    const std::string dirIcon = iconTag("dir");
    if (auto up = UpRowLink(s_, place_)) {
        row("up", "", "", 0, 0, *up, dirIcon, "Parent folder", "", "", nullptr);
    }
    PageRows rows = VisibleRows(s_, place_, listing_);
    for (const FolderEntry* sub : rows.folders) {
        row("dir", toUtf8(sub->name), "", -1, sub->mtime, FolderRowLink(s_, place_, *sub), dirIcon,
            displayName(sub->name) + "/", "", "Directory", nullptr);
    }
    // Icons are fetched for the types the page shows, not for the files it leaves out.
    bool collect = o_.on(opt("chkIcons")) && WantsIconFiles(o_);
    std::unordered_set<std::string> collected;
    for (const FileEntry* file : rows.files) {
        std::string type = FileTypeOf(file->name);
        if (collect && collected.insert(type).second) result_.icons.push_back(type);
        result_.total += file->size;
        std::string comment;
        if (o_.selected(opt("optExtention"))) comment = escapeText(toUtf8(type)) + " File";
        else if (o_.selected(opt("optGlobal"))) comment = o_.text(opt("txtComment"));
        row("file", toUtf8(file->name), toUtf8(type), file->size, file->mtime,
            FileRowLink(s_, place_, *file), iconTag(type), displayName(file->name),
            FormatFileSize(o_, file->size), comment, listing_.digestOf(*file));
    }
    out_.writeLine("</tbody>");
    out_.writeLine("</table>");
    out_.writeLine("</div>");
}

void ModernRenderer::totals(double serverTotalBefore) {
    if (!o_.on(opt("chkSumSize"))) return;
    double total = result_.total;
    if (place_.depth == s_.rootDepth) {
        std::string line = "<p class=\"totals\">Server Total: " +
                           FormatFileSize(o_, serverTotalBefore + total);
        if (total != 0) line += " &middot; Total: " + FormatFileSize(o_, total);
        out_.writeLine(line + "</p>");
    } else if (total != 0) {
        out_.writeLine("<p class=\"totals\">Total: " + FormatFileSize(o_, total) + "</p>");
    }
}

// The folder's README below the list: Markdown rendered safely, plain text as it is.
void ModernRenderer::readme() {
    if (!listing_.readme) return;
    const auto& [name, text] = *listing_.readme;
    out_.writeLine("<article class=\"readme\" aria-label=\"" + escapeAttribute(toUtf8(name)) + "\">");
    if (asciiLower(name) == "readme.md") {
        out_.writeMultiline(RenderMarkdown(text));
    } else {
        // Line by line: a line break is text here, not a character to escape.
        std::string shown;
        for (const std::string& line : split(replaceAll(crlfLineBreaks(toUtf8(text)), "\r\n", "\n"), '\n'))
            shown += escapeText(line) + "\n";
        if (!shown.empty()) shown.pop_back();
        out_.writeMultiline("<pre>" + shown + "</pre>");
    }
    out_.writeLine();
    out_.writeLine("</article>");
}


void ModernRenderer::render(double serverTotalBefore) {
    out_.writeLine("<section class=\"folder\" id=\"" +
                   escapeAttribute(FlatPageName(o_, place_.relativePath)) + "\">");
    crumbs();
    if (o_.on(opt("chkHeading"))) out_.writeLine("<h1>" + escapeText(place_.title) + "</h1>");
    picture();
    description();
    table();
    totals(serverTotalBefore);
    readme();
    out_.writeLine("</section>");
}

}  // namespace

void RenderModernHead(const RunSettings& s, const PagePlace& place, TextOut& out) {
    const OptionValues& o = s.o;
    out.writeLine("<!DOCTYPE html>");
    out.writeLine("<html lang=\"en\">");
    out.writeLine("<head>");
    out.writeLine("<meta charset=\"utf-8\">");
    out.writeLine("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    if (o.check(opt("chkMetaStyle")) == 0) {
        out.writeLine("<meta name=\"description\" content=\"Contents of the " +
                      escapeAttribute(place.title) + " folder\">");
        out.writeLine("<meta name=\"generator\" content=\"Tabulo " + o.text(opt("lblVersion")) + "\">");
    }
    out.writeLine("<title>" + escapeText(place.title) + "</title>");
    out.writeLine("<style>");
    out.write(colourRules(o));
    std::string size = "16";
    if (o.on(opt("chkFontSize"))) {
        // Never below 16 CSS pixels: the page must stay readable on a phone.
        double typed = val(o.text(opt("txtFontSize")));
        if (typed > 16 && typed <= 48) size = number(typed);
    }
    out.writeLine("body{font-family:" + fontFamily(o) + ";font-size:" + size + "px}");
    out.write(kLayout);
    if (o.on(opt("chkColuHash"))) out.write(kHashLayout);
    out.writeLine("</style>");
    out.writeLine("</head>");
    out.writeLine("<body>");
    if (o.on(opt("chkHeader"))) {
        out.writeLine("<header>");
        out.writeMultiline(o.text(opt("txtHeader")));
        out.writeLine();
        out.writeLine("</header>");
    }
    // The listing, and the upload form that adds to it, are the page's main part.
    out.writeLine("<main>");
    out.writeLine("<input type=\"search\" class=\"filter\" placeholder=\"Filter names\" "
                  "aria-label=\"Filter names\" hidden>");
}

PageResult RenderModernPage(const RunSettings& s, const PagePlace& place,
                            const FolderListing& listing, bool withHead,
                            double serverTotalBefore, TextOut& out) {
    if (withHead) RenderModernHead(s, place, out);
    ModernRenderer r(s, place, listing, out);
    r.render(serverTotalBefore);
    if (!s.allInOneFile) out.write(s.footer);
    return std::move(r.result());
}

std::string ModernContrastNote(const OptionValues& o) {
    // The text of every part of the page on what lies behind it: headings, crumbs, about
    // line and totals on the page; column headings on the table; rows, filter and README in
    // cells.
    static const std::pair<Slot, Slot> kPairs[] = {
        {kText, kPage},  {kLink, kPage}, {kVisited, kPage}, {kText, kTable},
        {kText, kCell},  {kLink, kCell}, {kVisited, kCell}};
    static const std::string kNames[kSlots] = {"page", "table", "cells", "", "text", "link",
                                               "visited link"};
    struct Low {
        std::string text, back, colours;  // "link #0000ff", "cells", " #aaaaaa (3.7:1)"
    };
    std::vector<Low> low;
    PageColours colours = pageColours(o);
    for (bool dark : {false, true}) {
        const auto& c = dark ? colours.dark : colours.light;
        for (auto [text, back] : kPairs) {
            double ratio = ContrastRatio(c[text], c[back]);
            if (ratio >= kTextContrast) continue;
            // Never rounded up to what is needed.
            char shown[16];
            std::snprintf(shown, sizeof shown, "%.1f", std::min(std::round(ratio * 10) / 10, 4.4));
            std::string what = kNames[text] + " " + cssColour(c[text]);
            std::string colour = " " + cssColour(c[back]) + (dark ? " in dark mode" : "") + " (" +
                                 shown + ":1";
            // One background colour under two parts of the page is named once.
            auto same = std::find_if(low.begin(), low.end(), [&](const Low& l) {
                return l.text == what && l.colours == colour;
            });
            if (same != low.end()) same->back += " and " + kNames[back];
            else low.push_back({what, kNames[back], colour});
        }
    }
    if (low.empty()) return "";
    std::string note = "Low contrast: ";
    for (std::size_t i = 0; i < low.size(); ++i) {
        note += (i ? "), " : "") + low[i].text + " on " + low[i].back + low[i].colours;
    }
    return note + (low.size() == 1 ? "; 4.5:1 is needed)." : "); 4.5:1 is needed.");
}

std::string ModernFooter(const OptionValues& o, const std::tm& today) {
    std::string f;
    if (o.on(opt("chkUpload"))) {
        f += "<form class=\"upload\" method=\"post\" enctype=\"multipart/form-data\" action=\"" +
             escapeAttribute(o.text(opt("txtUploadScript"))) + "\">\r\n";
        f += "<input type=\"file\" name=\"upload\" aria-label=\"File to upload\">\r\n";
        f += "<input type=\"submit\" value=\"Upload\">\r\n";
        f += "</form>\r\n";
    }
    f += "</main>\r\n";
    std::string footer;
    if (o.on(opt("chkFooter"))) footer += crlfLineBreaks(o.text(opt("txtFooter"))) + "\r\n";
    if (o.on(opt("chkAbout"))) {
        std::string line;
        if (o.on(opt("chkAboutGenWith"))) {
            line += "Generated with <a href=\"" + std::string(kUpdatePage) + "?v=" +
                    o.text(opt("lblVersion")) + "&amp;s=" +
                    escapeAttribute(URLEncode(o, o.text(opt("cmbSheme")))) + "\">Tabulo</a>";
        }
        if (o.on(opt("chkAboutCredits"))) {
            line += std::string(line.empty() ? "By" : " by") + " <a href=\"" +
                    escapeAttribute(URLEncode(o, o.text(opt("txtAboutLink")))) + "\">" +
                    escapeText(o.text(opt("txtAboutNick"))) + "</a>";
        }
        if (o.on(opt("chkAboutDate"))) {
            char date[16];
            std::strftime(date, sizeof date, "%Y-%m-%d", &today);
            line += std::string(line.empty() ? "On " : " on ") + date;
        }
        if (!line.empty()) footer += "<p>" + line + ".</p>\r\n";
    }
    if (!footer.empty()) f += "<footer>\r\n" + footer + "</footer>\r\n";
    f += replaceAll(std::string(kScript), "\n", "\r\n") + "\r\n";
    if (o.on(opt("chkColuHash"))) f += replaceAll(std::string(kHashScript), "\n", "\r\n") + "\r\n";
    return f + "</body>\r\n</html>\r\n";
}

}  // namespace tabulo
