#include "pages/ModernPage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <system_error>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "colours/Contrast.h"
#include "common/CaseFold.h"
#include "common/Dates.h"
#include "common/Encoding.h"
#include "common/NaturalOrder.h"
#include "common/Text.h"
#include "pages/Description.h"
#include "common/Paths.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/ListingData.h"
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
    "footer{margin-top:1rem;font-size:.875em}\r\n"
    ".status{margin:.25rem 0;font-weight:bold}.status:empty{display:none}\r\n"
    ".pages{margin:.5rem 0}"
    ".pages a,.pages span{display:inline-block;min-width:2rem;min-height:2rem;padding:.25rem;"
    "text-align:center}\r\n"
    // Long listings, drawn a screen at a time: rows of one line, columns of fixed widths.
    ".listing.long{table-layout:fixed}.listing .gap td{padding:0;border:0}\r\n"
    ".js .listing.long:not(.drawn) tbody{display:none}\r\n"
    ".listing.long td{height:2.5rem;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}\r\n"
    ".listing.long td a{max-width:100%}"
    ".listing.long td a span{min-width:0;overflow:hidden;text-overflow:ellipsis}\r\n"
    ".listing.long th.size{width:7.5rem}.listing.long th.time{width:10rem}"
    ".listing.long th.comment{width:9rem}.listing.long th.hash{width:7rem}\r\n"
    "@media (max-width:40rem){.listing.long th.size{width:5.5rem}"
    ".listing.long th.time{width:6.5rem}.listing.long td.size,.listing.long td.time{white-space:normal;line-height:1.1}}\r\n";

// The checksum column, on pages that have one: the first digits on narrow screens, and
// buttons that copy the whole value where the browser lets a page write to the clipboard.
constexpr std::string_view kHashLayout =
    ".listing .hash{white-space:nowrap}.listing .hash a{gap:0}\r\n"
    ".listing .hash code{font-size:.875em}\r\n"
    ".listing .copy{font:inherit;font-size:.75em;margin-left:.25rem;min-height:2rem}\r\n"
    "@media (max-width:40rem){.listing .hash{white-space:normal}.listing .hash .rest{display:none}"
    ".listing td a span{overflow-wrap:anywhere}"
    ".listing .hash a::after{content:\"\\2026\"}.listing .copy{margin-left:0}}\r\n";
// The whole site's search, a file of the index (one copy for every page): the index's
// manifest, then the shards of two trigrams of what is typed, then the blocks they both name,
// a few at a time until a page of results is there; then the same in each other site the page
// names. Names are data: results are built of text nodes, and links of percent-encoded names.
constexpr std::string_view kSearchScript = R"JS((function () {
  "use strict";
  var doc = document, box = doc.querySelector("input.filter[data-index]");
  if (!box) return;
  // This site first, then the others, each with its top folder and its index.
  var sites = [{top: box.getAttribute("data-top"), index: box.getAttribute("data-index"), dir: box.getAttribute("data-dir"), own: true}];
  (box.getAttribute("data-sites") || "").split(" ").filter(Boolean).forEach(function (top) {
    sites.push({top: top, index: top + ".tabulo-search/", dir: null, own: false});
  });
  var scope = doc.querySelector("fieldset.scope"), hits = doc.querySelector("section.hits");
  var list = hits.querySelector("ol"), found = hits.querySelector(".found"), more = hits.querySelector(".more");
  var loaded = {}, waiting = {}, queue = [], busy = {}, running = 0, searches = 0, state = null, page = 50;
  // The files of every index hand their data to this one function, under names that repeat
  // from site to site ("manifest"): files of one name load one at a time, and what a file
  // hands over goes to the one asked for under its name. A few load at once.
  window.tabuloSearch = function (id, data) {
    if (busy[id]) busy[id].data = data;
  };
  function pump() {
    for (var i = 0; i < queue.length && running < 4; ) {
      if (busy[queue[i].id]) { i++; continue; }
      start(queue.splice(i, 1)[0]);
    }
  }
  function start(job) {
    var script = doc.createElement("script");
    busy[job.id] = job;
    running++;
    function finish() {
      script.remove();
      delete busy[job.id];
      running--;
      var key = job.site.index + job.id, data = job.data || null, done = waiting[key];
      loaded[key] = data;
      delete waiting[key];
      done.forEach(function (f) { f(data); });
      pump();
    }
    script.onload = finish;
    script.onerror = finish;
    script.src = job.site.index + job.id + ".js";
    doc.head.appendChild(script);
  }
  // The data of one file of a site's index, null when it cannot be read.
  function load(site, id, done) {
    var key = site.index + id;
    if (key in loaded) return done(loaded[key]);
    if (waiting[key]) return waiting[key].push(done);
    waiting[key] = [done];
    queue.push({site: site, id: id});
    pump();
  }
  var marks = /[\u0300-\u036f\u1ab0-\u1aff\u1dc0-\u1dff\u20d0-\u20ff\ufe20-\ufe2f]/g;
  // A whole block's names at once: the browser's own loops, not one of ours per letter.
  function fold(text, table) {
    return text.replace(marks, "").replace(/[^\x00-\x7f]/g, function (c) { return table[c] || c; })
      .replace(/[A-Z]+/g, function (c) { return c.toLowerCase(); });
  }
  // The trigrams of a part worth looking up: those with letters first, as digits and dots
  // ("202", ".pd") are in nearly every block.
  function bestGrams(part) {
    var cps = Array.from(part), grams = [];
    for (var i = 0; i + 3 <= cps.length; i++) grams.push(cps.slice(i, i + 3).join(""));
    var score = function (g) { return (g.match(/[^0-9 \t\n\r\f\v.\-_]/g) || []).length; };
    grams = grams.filter(function (g, i) { return grams.indexOf(g) === i; });
    grams.sort(function (a, b) { return score(b) - score(a); });
    return grams.slice(0, 2);
  }
  var utf8 = new TextEncoder();
  function fnv(text) {
    var h = 2166136261, bytes = utf8.encode(text);
    for (var i = 0; i < bytes.length; i++) h = Math.imul(h ^ bytes[i], 16777619) >>> 0;
    return h >>> 0;
  }
  function bytesOf(base64) {
    var raw = atob(base64), out = new Uint8Array(raw.length);
    for (var i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
    return out;
  }
  function reader(bytes) {
    var at = 0;
    return function () {
      var v = 0, scale = 1, b;
      do { b = bytes[at++]; v += (b & 127) * scale; scale *= 128; } while (b & 128 && at < bytes.length);
      return v;
    };
  }
  function linkPart(name) {
    return encodeURIComponent(name).replace(/[!'()*]/g, function (c) { return "%" + c.charCodeAt(0).toString(16).toUpperCase(); });
  }
  function isWord(c) { return /[0-9a-z]/.test(c) || c >= "\x80"; }

  function search(query) {
    list.textContent = "";
    more.hidden = true;
    found.textContent = "Looking\u2026";
    state = {token: ++searches, query: query, hits: [], shown: 0, runs: sites.map(function (site) {
      return {site: site, m: null, ready: false, next: 0, done: false, failed: false};
    })};
    step(state);
  }
  // A site's manifest, then the shard that names the blocks worth reading.
  function open(st, run) {
    load(run.site, "manifest", function (m) {
      if (st.token !== searches) return;
      if (!m) { run.failed = run.done = true; return step(st); }
      var folded = fold(st.query, m.fold);
      run.m = m;
      run.parts = folded.split("*").filter(Boolean);
      run.wild = folded.indexOf("*") !== -1;
      run.only = null;
      if (!run.parts.length) { run.done = true; return step(st); }
      var longest = run.parts.reduce(function (a, b) { return Array.from(b).length > Array.from(a).length ? b : a; });
      var wanted = bestGrams(longest), left = wanted.length, sets = [];
      if (!left) { run.ready = true; return step(st); }
      // The blocks that hold both trigrams: a block with a match holds every one of its own.
      wanted.forEach(function (gram) {
        load(run.site, "t-" + fnv(gram) % m.shards, function (shard) {
          if (st.token !== searches || run.failed) return;
          if (!shard) { run.failed = run.done = true; return step(st); }
          var grams = shard.grams.split("/"), next = reader(bytesOf(shard.packed)), ids = {};
          grams.forEach(function (g) {
            for (var n = next(), id = 0; n > 0; n--) {
              id += next();
              if (g === gram) ids[id] = true;
            }
          });
          sets.push(ids);
          if (--left) return;
          run.only = sets[0];
          if (sets[1]) run.only = Object.keys(sets[0]).reduce(function (both, id) { if (sets[1][id]) both[id] = true; return both; }, {});
          run.ready = true;
          step(st);
        });
      });
    });
  }
  // Blocks one after the other, site after site, until a page of results more is there, or
  // none is left.
  function step(st) {
    var run = st.runs.filter(function (r) { return !r.done; })[0];
    if (!run || st.hits.length >= st.shown + page) return report(st);
    if (!run.ready) return open(st, run);
    var blocks = run.m.blocks, wanted = function (k) { return !run.only || run.only[fnv(blocks[k]) & 0xffff]; };
    while (run.next < blocks.length && !wanted(run.next)) run.next++;
    if (run.next >= blocks.length) { run.done = true; return step(st); }
    // The next few candidates load meanwhile; they are taken in order.
    for (var k = run.next + 1, ahead = 0; k < blocks.length && ahead < 3; k++) {
      if (wanted(k)) { ahead++; load(run.site, "b-" + blocks[k], function () {}); }
    }
    load(run.site, "b-" + blocks[run.next++], function (block) {
      if (st.token !== searches) return;
      if (block) take(st, run, block); else run.failed = run.done = true;
      step(st);
    });
  }
  function take(st, run, block) {
    var all = fold(block.names, run.m.fold);
    // Most blocks a shard names hold no match: they are passed at the cost of a look.
    if (run.parts.some(function (part) { return all.indexOf(part) < 0; })) return;
    var folders = [], names = block.names.split("/"), folded = all.split("/");
    var next = reader(bytesOf(block.packed)), minutes = 0;
    block.folders.forEach(function (f, i) {
      var colon = f.indexOf(":"), same = parseInt(f, 10) || 0;
      folders.push((i ? folders[i - 1].slice(0, same) : "") + f.slice(colon + 1));
    });
    names.forEach(function (name, i) {
      var kind = next(), size = next(), time = next();
      minutes += time % 2 ? -(time + 1) / 2 : time / 2;
      var text = folded[i], from = 0, first = -1;
      for (var k = 0; k < run.parts.length; k++) {
        var at = text.indexOf(run.parts[k], from);
        if (at < 0) return;
        if (first < 0) first = at;
        from = at + run.parts[k].length;
      }
      var end = first + run.parts[0].length, start = first === 0 || !isWord(text[first - 1]), stop = end >= text.length || !isWord(text[end]);
      st.hits.push({rank: run.wild ? 1 : start && stop ? 0 : start ? 1 : 2, name: name, raw: block.raw[i],
        folder: folders[Math.floor(kind / 2)], rawFolder: block.rawFolders[Math.floor(kind / 2)], isFolder: kind % 2 === 1,
        size: size, minutes: minutes, run: run});
    });
  }
  function where(folder, raw) {
    if (raw !== undefined) return raw;
    return folder ? folder.split("/").map(linkPart).join("/") : "";
  }
  function label(run) { return run.m && run.m.site ? run.m.site : run.site.top; }
  function report(st) {
    // Best first among what is not shown yet; what is shown stays where it is.
    var rest = st.hits.splice(st.shown);
    rest.sort(function (a, b) { return a.rank - b.rank; });
    st.hits = st.hits.concat(rest);
    for (var end = Math.min(st.hits.length, st.shown + page); st.shown < end; st.shown++) {
      var hit = st.hits[st.shown], site = hit.run.site, dir = site.own ? site.dir : hit.run.m.dir || "/index.html";
      var li = doc.createElement("li"), a = li.appendChild(doc.createElement("a"));
      var path = where(hit.folder, hit.rawFolder), name = hit.raw !== undefined ? hit.raw : linkPart(hit.name);
      a.href = site.top + (path ? path + "/" : "") + name + (hit.isFolder ? dir : "");
      a.textContent = hit.name + (hit.isFolder ? "/" : "");
      li.appendChild(doc.createTextNode(" in "));
      var f = li.appendChild(doc.createElement("a"));
      f.href = site.top + (path ? path + "/" : "") + dir.replace(/^\//, "");
      f.textContent = hit.folder ? hit.folder + "/" : "/";
      if (sites.length > 1) li.appendChild(doc.createTextNode(" on " + label(hit.run)));
      var d = new Date(hit.minutes * 60000);
      li.appendChild(doc.createTextNode(" \u00b7 " + (hit.isFolder ? "" : hit.size.toLocaleString("en") + " bytes \u00b7 ") +
        d.toISOString().slice(0, 16).replace("T", " ") + " UTC"));
      list.appendChild(li);
    }
    var left = st.runs.some(function (r) { return !r.done; });
    var scopeText = sites.length > 1 ? " in " + sites.length + " sites" : " in the whole site";
    more.hidden = !left && st.shown >= st.hits.length;
    var text = st.hits.length === 0 && !left ? "No names" + scopeText + " match \u201c" + st.query + "\u201d." :
      st.hits.length.toLocaleString("en") + (left ? "+" : "") + (st.hits.length === 1 ? " name" : " names") + scopeText + ".";
    var failed = st.runs.filter(function (r) { return r.failed; });
    if (failed.length === 1 && sites.length === 1) text = "The search index could not be read.";
    else if (failed.length) text += " Not read: " + failed.map(label).join(", ") + ".";
    found.textContent = text;
  }
  more.addEventListener("click", function () { if (state) step(state); });
  function siteWide() { return scope.querySelector("input[value=site]").checked; }
  function apply() {
    var on = siteWide() && box.value !== "";
    hits.hidden = !on;
    // The folder's heading stays: the page is still this folder's.
    Array.prototype.forEach.call(doc.querySelectorAll("section.folder > :not(h1):not(.crumbs), p.status"), function (el) { el.hidden = on; });
    if (on) search(box.value);
  }
  scope.hidden = false;
  scope.addEventListener("change", apply);
  box.addEventListener("input", function () { if (siteWide()) apply(); });
})();
)JS";
// What each page holds of it: a few lines that load it from the index beside the page's top.
const std::string kSearchLoader =
    "<script>(function () {\n"
    "  var box = document.querySelector(\"input.filter[data-index]\"), script = document.createElement(\"script\");\n"
    "  if (!box) return;\n"
    "  script.src = box.getAttribute(\"data-index\") + \"" + std::string(kSearchScriptName) + "\";\n"
    "  document.head.appendChild(script);\n"
    "})();</script>";

constexpr std::string_view kHashScript = R"(<script>
if (navigator.clipboard) {
  Array.prototype.forEach.call(document.querySelectorAll("button.copy"), function (button) {
    button.hidden = false;
  });
  // Rows drawn later have their buttons too.
  document.addEventListener("click", function (event) {
    var button = event.target.closest && event.target.closest("button.copy");
    if (!button) return;
    navigator.clipboard.writeText(button.getAttribute("data-copy")).then(function () {
      button.textContent = "Copied";
    });
  });
}
</script>)";

// Sorting by the header cells and the filter box; the page reads the same without it. Names
// reach it only as data (attributes, or JSON strings in the data files), never as markup or
// script text, and it builds rows with text nodes only. A listing longer than the page loads
// the rest from its data files and then draws only the rows in sight.
constexpr std::string_view kScript = R"JS(<script>
(function () {
  "use strict";
  var doc = document, each = Array.prototype.forEach;
  var filter = doc.querySelector("input.filter");
  // Lists taller than this are scrolled by proportion: browsers lay out nothing much taller.
  var tallest = 8000000, spare = 8;

  // Names compared without letter case or accents: "e" finds "é".
  function fold(text) {
    if (text.normalize && /[^\0-\x7f]/.test(text))
      text = text.normalize("NFD").replace(/[\u0300-\u036f\u1ab0-\u1aff\u1dc0-\u1dff\u20d0-\u20ff\ufe20-\ufe2f]/g, "");
    return text.toLowerCase();
  }

  // Where each name starts in a string of names with a "/" between each two (which no name
  // holds), and where the one after the last would.
  function startsIn(text) {
    var starts = [0];
    for (var at = text.indexOf("/"); at !== -1; at = text.indexOf("/", at + 1)) starts.push(at + 1);
    starts.push(text.length + 1);
    return new Uint32Array(starts);
  }

  // Runs `work` soon, after what the page has to do meanwhile (typing, drawing).
  var soon = (function () {
    var channel = new MessageChannel(), queue = [];
    channel.port1.onmessage = function () { queue.shift()(); };
    return function (work) {
      queue.push(work);
      channel.port2.postMessage(0);
    };
  })();

  var digits = new Uint8Array(128);
  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/".split("").forEach(function (c, i) {
    digits[c.charCodeAt(0)] = i;
  });
  function bytesOf(base64) {
    var size = base64.length / 4 * 3 - (/==$/.test(base64) ? 2 : /=$/.test(base64) ? 1 : 0);
    var bytes = new Uint8Array(size), at = 0;
    for (var i = 0; i < base64.length; i += 4) {
      var n = digits[base64.charCodeAt(i)] << 18 | digits[base64.charCodeAt(i + 1)] << 12 |
        digits[base64.charCodeAt(i + 2)] << 6 | digits[base64.charCodeAt(i + 3)];
      bytes[at++] = n >> 16;
      if (at < size) bytes[at++] = n >> 8 & 255;
      if (at < size) bytes[at++] = n & 255;
    }
    return bytes;
  }
  // `count` whole numbers of `width` bytes from `at`, byte plane after byte plane, into `into`
  // from `offset`; where the next numbers start.
  function unpack(bytes, at, count, width, into, offset) {
    for (var i = 0; i < count; i++) {
      var value = 0, scale = 1;
      for (var plane = 0; plane < width; plane++, scale *= 256) value += bytes[at + plane * count + i] * scale;
      into[offset + i] = value;
    }
    return at + count * width;
  }

  // As the generator writes them: sizes in the unit the options ask for, times as its clock read.
  var units = ["Bytes", "KBytes", "MBytes", "GBytes", "TBytes", "PBytes"];
  function whole(value) { return value >= 0 && value < 9e15 ? String(Math.trunc(value)) : value.toFixed(0); }
  function sizeText(size, unit) {
    var step = 0;
    if (unit < 0) {
      while (size >= 1024 && step <= 4) { size /= 1024; step++; }
      if (size < 1) return "0 Bytes";
    } else {
      step = unit;
      if (step > 5) return "";
      for (var i = 0; i < step; i++) size /= 1024;
      if (size < 0.001) return "0 " + units[step];
    }
    var part = Math.floor(size);
    if (part === size) return " " + whole(size) + " " + units[step];
    var thousandths = Math.min(999, Math.max(0, Math.floor((size - part) * 1000)));
    return whole(part) + "." + String(thousandths + 1000).slice(1) + " " + units[step];
  }
  function two(n) { return (n < 10 ? "0" : "") + n; }
  function clock(minutes) {
    var d = new Date(minutes * 60000);
    return d.getUTCFullYear() + "-" + two(d.getUTCMonth() + 1) + "-" + two(d.getUTCDate()) + "T" +
      two(d.getUTCHours()) + ":" + two(d.getUTCMinutes());
  }
  // A name as the generator puts it in a link.
  function linkPart(name) {
    try {
      return encodeURIComponent(name).replace(/[!'*]/g, function (c) {
        return "%" + c.charCodeAt(0).toString(16).toUpperCase();
      }).replace(/%(24|26|2F|3D|7B|7D)/g, function (m, hex) { return String.fromCharCode(parseInt(hex, 16)); });
    } catch (e) {
      return "";
    }
  }
  function cut(name, limit) {
    if (limit === undefined) return name;
    var chars = Array.from(name);
    return chars.length > limit ? chars.slice(0, limit).join("") + "..." : name;
  }

  // The rows in the order of one column, folders first; descending is each group backwards.
  // `order` is the ascending order of that column, or null for the order the page starts in.
  function arrange(order, folders, count, flip, down) {
    var out = new Uint32Array(count), i;
    for (i = 0; i < count; i++) out[i] = order ? order[i] : i;
    if (flip !== down) {
      out.subarray(0, folders).reverse();
      out.subarray(folders).reverse();
    }
    return out;
  }

  function Listing(table) {
    var cfg = JSON.parse(table.getAttribute("data-listing"));
    var self = this, rows = Array.prototype.slice.call(table.tBodies[0].rows);
    this.table = table;
    this.cfg = cfg;
    this.up = rows[0] && rows[0].className === "up" ? rows.shift() : null;
    this.rows = rows;
    this.key = cfg.key;
    this.down = cfg.down;
    this.query = "";
    this.folded = null;
    // The orders of the page's own rows.
    this.own = {};
    var bytes = bytesOf(cfg.orders), at = 0;
    cfg.keys.forEach(function (key) {
      self.own[key] = new Uint32Array(rows.length);
      at = unpack(bytes, at, rows.length, cfg.w, self.own[key], 0);
    });
    this.ownFolders = Math.max(0, Math.min(rows.length, cfg.folders - cfg.first));
    if (cfg.data) {
      this.prepare();
      this.startDrawing();
    }
  }

  // A long listing is drawn a window at a time from the start: its own rows, then those of
  // the data files. The page hid its rows until now, so none of them was laid out.
  Listing.prototype.startDrawing = function () {
    var table = this.table, body = table.tBodies[0], cfg = this.cfg;
    this.rows.forEach(function (r) { r.remove(); });
    this.gaps = [0, 1].map(function () {
      var gap = doc.createElement("tr"), cell = doc.createElement("td");
      gap.className = "gap";
      gap.setAttribute("aria-hidden", "true");
      cell.colSpan = cfg.cols.length;
      gap.appendChild(cell);
      body.appendChild(gap);
      return cell;
    });
    this.drawn = [];
    this.pool = [];
    this.virtual = true;
    table.classList.add("drawn");
    this.arrange();
    this.draw();
    var self = this;
    window.addEventListener("scroll", function () { self.later(); }, {passive: true});
    window.addEventListener("resize", function () { self.rowHeight = 0; self.later(); });
  };

  // The rows the page holds, until the whole listing is there.
  Listing.prototype.sortOwn = function () {
    if (this.virtual) {
      this.arrange();
      return this.draw();
    }
    var body = this.table.tBodies[0], rows = this.rows, order = this.key === this.cfg.key ? null : this.own[this.key];
    var seq = arrange(order, this.ownFolders, rows.length, this.key === this.cfg.key && this.cfg.down, this.down);
    var all = doc.createDocumentFragment();
    for (var i = 0; i < seq.length; i++) all.appendChild(rows[seq[i]]);
    body.appendChild(all);
  };
  Listing.prototype.filterOwn = function (query) {
    var rows = this.rows, shown = 0;
    if (!this.folded) this.folded = rows.map(function (r) { return fold(r.getAttribute("data-name") || ""); });
    if (this.virtual) {
      var hits = [];
      for (var j = 0; j < rows.length; j++) if (this.folded[j].indexOf(query) !== -1) hits.push(j);
      this.ownHits = query ? new Uint32Array(hits) : null;
      this.arrange();
      this.draw();
      return hits.length;
    }
    for (var i = 0; i < rows.length; i++) {
      var hit = this.folded[i].indexOf(query) !== -1;
      if (rows[i].hidden === hit) rows[i].hidden = !hit;
      if (hit) shown++;
    }
    return shown;
  };

  // A listing longer than the page: the rest comes from the data files beside it.
  Listing.prototype.prepare = function () {
    var cfg = this.cfg, all = cfg.rows, data = cfg.data, self = this;
    this.table.setAttribute("aria-busy", "true");
    this.names = [];
    this.starts = [];
    this.parts = [];
    this.searches = 0;
    this.links = {};
    this.counts = {};
    this.sizes = new Float64Array(data.size ? all : 0);
    this.times = new Int32Array(data.time ? all : 0);
    this.types = new Uint32Array(data.type ? all : 0);
    this.typeNames = [""];
    this.typeIds = {"": 0};
    this.md5 = new Uint8Array(data.hash ? all * 16 : 0);
    this.orders = {};
    cfg.keys.forEach(function (key) { self.orders[key] = new Uint32Array(all); });
    this.got = 0;
    this.hits = null;
    if (cfg.comment === "text") {
      var parsed = new DOMParser().parseFromString("<body>" + cfg.text, "text/html").body;
      this.comment = doc.createDocumentFragment();
      each.call(parsed.childNodes, function (node) { self.comment.appendChild(doc.importNode(node, true)); });
    }
  };
  Listing.prototype.load = function () {
    if (!this.cfg.data || this.loading) return;
    this.loading = true;
    var self = this, data = this.cfg.data, next = 1, busy = 0;
    window.tabuloRows = function () { self.take.apply(self, arguments); };
    function more() {
      while (busy < 1 && next <= data.files) {
        var script = doc.createElement("script");
        script.src = data.name + next++ + ".js";
        busy++;
        script.addEventListener("load", function () { busy--; this.remove(); more(); });
        script.addEventListener("error", function () { self.failed(); });
        doc.head.appendChild(script);
      }
    }
    more();
  };
  Listing.prototype.take = function (number, packed, widths, types, names, links, counts) {
    var cfg = this.cfg, data = cfg.data, self = this, starts = startsIn(names), count = starts.length - 1;
    var first = (number - 1) * data.per, bytes = bytesOf(packed), at = 0, i;
    if (data.size) at = unpack(bytes, at, count, widths[0], this.sizes, first);
    if (data.time) at = unpack(bytes, at, count, 4, this.times, first);
    if (data.type) {
      var ids = types.map(function (type) {
        if (!(type in self.typeIds)) self.typeIds[type] = self.typeNames.push(type) - 1;
        return self.typeIds[type];
      });
      at = unpack(bytes, at, count, widths[1], this.types, first);
      for (i = first; i < first + count; i++) this.types[i] = ids[this.types[i]];
    }
    cfg.keys.forEach(function (key) {
      at = unpack(bytes, at, count, data.w, self.orders[key], first);
    });
    if (data.hash) {
      for (var b = 0; b < 16; b++) for (i = 0; i < count; i++) this.md5[(first + i) * 16 + b] = bytes[at + b * count + i];
    }
    this.names[number - 1] = names;
    this.starts[number - 1] = starts;
    for (var k in links) this.links[first + Number(k)] = links[k];
    (counts || []).forEach(function (files, i) { if (files !== null) self.counts[first + i] = files; });
    // Folded once, for every search to come, in a task of its own; names that fold to
    // themselves are kept once.
    soon(function () {
      var folded = fold(names);
      self.parts.push(folded === names ? {text: names, starts: starts, first: first}
        : {text: folded, starts: startsIn(folded), first: first});
      if (++self.got === data.files) self.ready();
    });
  };
  Listing.prototype.failed = function () {
    this.table.removeAttribute("aria-busy");
    this.broken = true;
    say("The rest of the listing could not be loaded; sorting and the filter work on the rows shown.");
  };
  Listing.prototype.nameOf = function (row) {
    var per = this.cfg.data.per, part = Math.floor(row / per), starts = this.starts[part], at = row % per;
    return this.names[part].slice(starts[at], starts[at + 1] - 1);
  };

  // Every row is there: from now on the table shows the whole listing, drawing only the rows in
  // sight.
  Listing.prototype.ready = function () {
    var table = this.table, cfg = this.cfg, h = this.rowHeight || 36;
    // The row at the top of the window stays there, when the page is as it started.
    var y = -this.gaps[0].getBoundingClientRect().top, keep = null;
    if (y > 0 && !this.query && this.key === cfg.key && this.down === cfg.down) {
      var past = Math.floor(y / h);
      keep = {row: cfg.first + past, into: y - past * h};
    }
    this.drawn.forEach(function (r) { r.remove(); });
    this.drawn = [];
    this.fromData = true;
    var pages = table.closest("section") && table.closest("section").querySelector("nav.pages");
    if (pages) pages.hidden = true;
    table.removeAttribute("aria-busy");
    this.arrange();
    if (keep && this.view.length * h <= tallest) {
      this.gaps[1].style.height = this.view.length * h + "px";
      window.scrollTo(window.pageXOffset, this.gaps[0].getBoundingClientRect().top + window.pageYOffset +
        keep.row * h + keep.into);
    }
    this.draw();
    if (this.query) this.filter(this.query);
  };
  Listing.prototype.later = function () {
    var self = this;
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(function () { self.draw(); });
  };
  // The rows in the order asked for, those the filter found only.
  Listing.prototype.arrange = function () {
    var cfg = this.cfg, key = this.key, own = !this.fromData;
    var all = own ? this.rows.length : cfg.rows, hits = own ? this.ownHits : this.hits;
    var order = key === cfg.key ? null : (own ? this.own : this.orders)[key];
    var seq = arrange(order, own ? this.ownFolders : cfg.folders, all, key === cfg.key && cfg.down, this.down);
    if (!hits) {
      this.view = seq;
      return;
    }
    if (key === cfg.key && this.down === cfg.down) {
      this.view = hits;
      return;
    }
    var found = new Uint8Array(all), view = new Uint32Array(hits.length), n = 0, i;
    for (i = 0; i < hits.length; i++) found[hits[i]] = 1;
    for (i = 0; i < all; i++) if (found[seq[i]]) view[n++] = seq[i];
    this.view = view;
  };
  Listing.prototype.draw = function () {
    this.pending = false;
    var view = this.view, count = view.length, gaps = this.gaps;

    var height = this.rowHeight || 36, total = count * height, tall = Math.min(total, tallest);
    var inView = Math.ceil(window.innerHeight / height) + 1;
    var y = Math.min(Math.max(-gaps[0].getBoundingClientRect().top, 0), tall);
    var first, offset;
    if (total <= tallest) {
      first = Math.max(0, Math.floor(y / height) - spare);
      offset = first * height;
    } else {
      var room = tall - window.innerHeight;
      first = Math.floor((room > 0 ? Math.min(1, y / room) : 0) * Math.max(0, count - inView));
      offset = y;
    }
    var last = Math.min(count, first + inView + 2 * spare);
    offset = Math.max(0, Math.min(offset, tall - (last - first) * height));
    var body = this.table.tBodies[0], end = gaps[1].parentNode, shown, i;
    if (this.fromData) {
      shown = this.pool;
      while (shown.length < last - first) body.insertBefore(shown[shown.push(this.makeRow()) - 1], end);
      while (shown.length > last - first) body.removeChild(shown.pop());
      for (i = first; i < last; i++) this.fill(shown[i - first], view[i]);
    } else {
      // The page's own rows themselves, until the data files are in.
      this.drawn.forEach(function (r) { r.remove(); });
      shown = this.drawn = [];
      var some = doc.createDocumentFragment();
      for (i = first; i < last; i++) some.appendChild(shown[shown.push(this.rows[view[i]]) - 1]);
      body.insertBefore(some, end);
    }
    gaps[0].style.height = offset + "px";
    gaps[1].style.height = Math.max(0, tall - offset - (last - first) * height) + "px";
    if (shown[1]) {
      // Rows follow each other at this distance: borders between them are shared.
      var measured = shown[1].getBoundingClientRect().top - shown[0].getBoundingClientRect().top;
      if (measured > 0 && Math.abs(measured - height) > 0.01) {
        this.rowHeight = measured;
        this.later();
      }
    }
  };
  Listing.prototype.makeRow = function () {
    var tr = doc.createElement("tr"), cfg = this.cfg;
    cfg.cols.forEach(function (col) {
      var td = tr.appendChild(doc.createElement("td"));
      if (col !== "name") td.className = col;
      if (col === "name") {
        // Linked for a web server, the icon and a folder's "/" stand outside the link.
        var a = doc.createElement("a"), holder = cfg.serve ? td : a;
        if (cfg.icon) {
          var img = holder.appendChild(doc.createElement("img"));
          img.className = "icon";
          for (var name in cfg.icon.attrs) img.setAttribute(name, cfg.icon.attrs[name]);
          img.alt = "";
        }
        td.appendChild(a);
        if (cfg.serve) td.appendChild(doc.createTextNode(""));
        else a.appendChild(doc.createElement("span"));
      } else if (col === "time") {
        td.appendChild(doc.createElement("time"));
      }
    });
    tr.row = -1;
    return tr;
  };
  Listing.prototype.fill = function (tr, row) {
    if (tr.row === row) return;
    tr.row = row;
    var cfg = this.cfg, self = this, folder = row < cfg.folders, name = this.nameOf(row);
    var type = this.typeNames[this.types[row]] || "";
    tr.className = folder ? "dir" : "file";
    each.call(tr.cells, function (td, i) {
      var col = cfg.cols[i];
      if (col === "name") {
        var a = cfg.serve ? td.querySelector("a") : td.firstChild, img = cfg.serve ? td.firstChild : a.firstChild;
        a.setAttribute("href", self.links[row] || (folder ? linkPart(name) + cfg.dir : cfg.file + linkPart(name)));
        if (cfg.icon) img.setAttribute("src", cfg.icon.src.split("#").join(linkPart(folder ? "dir" : type)));
        if (cfg.serve) {
          a.textContent = name;
          td.lastChild.data = folder ? "/" : "";
        } else {
          a.lastChild.textContent = cut(name, cfg.cut) + (folder ? "/" : "");
        }
      } else if (col === "size") {
        td.textContent = folder ? self.folderSize(row) : sizeText(self.sizes[row], cfg.unit);
      } else if (col === "time") {
        var when = clock(self.times[row]);
        td.firstChild.setAttribute("datetime", when);
        td.firstChild.textContent = when.replace("T", " ");
      } else if (col === "comment") {
        if (folder) td.textContent = "Directory";
        else if (cfg.comment === "ext") td.textContent = type + " File";
        else if (cfg.comment === "text") td.replaceChildren(self.comment.cloneNode(true));
        else td.textContent = "";
      } else if (col === "hash") {
        self.hashCell(td, folder ? "" : self.digestOf(row));
      }
    });
  };
  // What a folder's tree holds, when the walk measured it: as the generator writes it.
  Listing.prototype.folderSize = function (row) {
    var files = this.counts[row];
    if (files === undefined) return "";
    var count = files + (files === 1 ? " file" : " files"), bytes = sizeText(this.sizes[row], this.cfg.unit);
    return bytes ? bytes + " \u00b7 " + count : count;
  };
  Listing.prototype.digestOf = function (row) {
    var hex = "", any = 0;
    for (var b = 0; b < 16; b++) {
      var v = this.md5[row * 16 + b];
      any |= v;
      hex += (v < 16 ? "0" : "") + v.toString(16);
    }
    return any ? hex : "";
  };
  Listing.prototype.hashCell = function (td, md5) {
    td.textContent = "";
    if (!md5) return;
    var a = td.appendChild(doc.createElement("a")), head = a.appendChild(doc.createElement("code"));
    var rest = a.appendChild(doc.createElement("code")), copy = td.appendChild(doc.createElement("button"));
    a.href = this.cfg.sums;
    a.title = md5;
    head.textContent = md5.slice(0, 8);
    rest.className = "rest";
    rest.textContent = md5.slice(8);
    copy.type = "button";
    copy.className = "copy";
    copy.setAttribute("data-copy", md5);
    copy.setAttribute("aria-label", "Copy the MD5 checksum");
    copy.textContent = "Copy";
    copy.hidden = !navigator.clipboard;
  };

  // The filter over the whole listing: a few milliseconds at a time, so that the page answers
  // the keyboard meanwhile; a newer query drops the search of an older one.
  Listing.prototype.filter = function (query) {
    var self = this, parts = this.parts, search = ++this.searches, at = 0;
    var hits = new Uint32Array(query ? this.cfg.rows : 0), count = 0;
    this.query = query;
    function step() {
      if (search !== self.searches) return;
      for (var until = performance.now() + 8; at < parts.length && performance.now() < until; at++) {
        var part = parts[at], text = part.text, starts = part.starts, row = 0;
        for (var found = text.indexOf(query); found !== -1; found = text.indexOf(query, starts[row + 1])) {
          while (starts[row + 1] <= found) row++;
          hits[count++] = part.first + row;
        }
      }
      if (at < parts.length) return soon(step);
      self.hits = query ? hits.subarray(0, count) : null;
      self.arrange();
      self.draw();
      report();
    }
    // No name holds a "/": the names are kept apart by them.
    if (!query || query.indexOf("/") !== -1) at = parts.length;
    step();
  };

  Listing.prototype.sort = function (key, down) {
    this.key = key;
    this.down = down;
    if (this.fromData) {
      this.arrange();
      this.draw();
    } else {
      this.sortOwn();
    }
  };

  var listings = Array.prototype.map.call(doc.querySelectorAll("table.listing[data-listing]"), function (table) {
    return new Listing(table);
  });
  var status = null;
  function say(text) {
    if (status) status.textContent = text;
  }
  // How many rows the filter found, or that it found none; said to screen readers as well.
  function report() {
    var query = filter.value, found = 0, all = 0, waiting = false;
    listings.forEach(function (l) {
      if (l.fromData) {
        found += l.hits ? l.hits.length : l.cfg.rows;
        all += l.cfg.rows;
      } else {
        found += l.shown === undefined ? l.rows.length : l.shown;
        all += l.rows.length;
        waiting = waiting || (l.cfg.data && !l.broken);
      }
    });
    if (!query) return say("");
    var text = found === 0 ? "No names match \u201c" + query + "\u201d." :
      found.toLocaleString("en") + " of " + all.toLocaleString("en") + (found === 1 ? " name matches." : " names match.");
    say(waiting ? text + " Looking through the rest of the listing\u2026" : text);
  }

  listings.forEach(function (listing) {
    var table = listing.table;
    each.call(table.querySelectorAll("th[data-key]"), function (cell) {
      var key = cell.getAttribute("data-key");
      if (key !== listing.cfg.key && !listing.own[key]) return;
      var button = cell.querySelector("button");
      if (!button) {
        button = doc.createElement("button");
        button.type = "button";
        while (cell.firstChild) button.appendChild(cell.firstChild);
        cell.appendChild(button);
      }
      button.addEventListener("click", function () {
        var down = cell.getAttribute("aria-sort") === "ascending";
        each.call(table.querySelectorAll("th[aria-sort]"), function (th) { th.removeAttribute("aria-sort"); });
        cell.setAttribute("aria-sort", down ? "descending" : "ascending");
        listing.load();
        listing.sort(key, down);
      });
    });
  });

  function filterAll() {
    var query = fold(filter.value);
    listings.forEach(function (l) {
      l.load();
      if (l.fromData) return l.filter(query);
      l.query = query;
      l.shown = l.filterOwn(query);
      var section = l.table.closest("section");
      if (section && listings.length > 1) section.hidden = query !== "" && l.shown === 0;
    });
    report();
  }
  if (filter) {
    filter.hidden = false;
    status = doc.createElement("p");
    status.className = "status";
    status.setAttribute("role", "status");
    filter.parentNode.insertBefore(status, filter.nextSibling);
    filter.addEventListener("input", filterAll);
    if (filter.value) filterAll();
  }
  // The rest of a long listing loads once the page is shown and has a moment.
  function loadAll() { listings.forEach(function (l) { l.load(); }); }
  function idle() { if (window.requestIdleCallback) requestIdleCallback(loadAll, {timeout: 500}); else setTimeout(loadAll, 0); }
  if (doc.readyState === "complete") idle();
  else window.addEventListener("load", idle);
})();
</script>)JS";

// ---- rows ---------------------------------------------------------------------------------

// A size as the script reads it: a whole number, "-1" for a folder not measured.
void appendNumber(std::string& out, double x) {
    if (!std::isfinite(x)) x = 0;
    char buf[64];
    // Sizes are whole numbers of bytes: most convert as integers, without printf.
    if (x > -9e15 && x < 9e15 && x == std::trunc(x)) {
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(x));
        out.append(buf, end);
        return;
    }
    int n = std::snprintf(buf, sizeof buf, "%.0f", x);
    out.append(buf, static_cast<std::size_t>(std::max(n, 0)));
}

std::string number(double x) {
    std::string out;
    appendNumber(out, x);
    return out;
}

class ModernRenderer {
  public:
    ModernRenderer(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                   const ListingPlan& plan, std::size_t page, TextOut& out)
        : s_(s), o_(s.o), place_(place), listing_(listing), plan_(plan), page_(page), out_(out) {}

    void render(double serverTotalBefore);
    PageResult& result() { return result_; }

  private:
    void crumbs();
    void picture();
    void description();
    void table();
    void pager();
    void row(const std::string& cls, const std::string& dataName, const std::string& dataType,
             double dataSize, std::int64_t dataTime, const std::string& link, const std::string& icon,
             const std::string& shownName, const std::string& size, const std::string& comment,
             const FileDigest* digest, std::optional<std::uint64_t> dataFiles = std::nullopt);
    void totals(double serverTotalBefore);
    void readme();
    std::string iconTag(const std::string& type) const;
    const std::string& iconOf(const std::string& type);
    std::string displayName(const std::string& raw) const;
    std::string folderSize(const FolderTotals& tree) const;

    const RunSettings& s_;
    const OptionValues& o_;
    const PagePlace& place_;
    const FolderListing& listing_;
    const ListingPlan& plan_;
    std::size_t page_;  // 1, or one of the numbered pages after it
    TextOut& out_;
    PageResult result_;
    std::string line_;  // the row being built
    std::unordered_map<std::string, std::string> icons_;  // by type, as iconTag makes them
};

std::string ModernRenderer::iconTag(const std::string& type) const {
    if (!o_.on(opt("chkIcons"))) return "";
    std::string size = replaceAll(o_.text(opt("lblIconsWidth")), "border=\"0\" ", "");
    return "<img class=\"icon\" " + size + "alt=\"\" src=\"" + IconAddress(s_, place_, type) + "\">";
}

const std::string& ModernRenderer::iconOf(const std::string& type) {
    auto [at, added] = icons_.try_emplace(type);
    if (added) at->second = iconTag(type);
    return at->second;
}

std::string ModernRenderer::displayName(const std::string& raw) const {
    return DisplayName(o_, raw);
}

// " 26 Bytes &middot; 4 files": the size as file rows give theirs, then the count.
std::string ModernRenderer::folderSize(const FolderTotals& tree) const {
    std::string files = std::to_string(tree.files) + (tree.files == 1 ? " file" : " files");
    std::string bytes = FormatFileSize(o_, tree.bytes);
    return bytes.empty() ? files : bytes + " &middot; " + files;
}

// From the www root down to this folder; every level but the last is a link.
void ModernRenderer::crumbs() {
    std::string_view rel = place_.relativePath;
    if (rel.ends_with('/')) rel.remove_suffix(1);
    std::vector<std::string_view> parts;
    for (std::size_t from = 0; !rel.empty();) {
        const std::size_t to = rel.find('/', from);
        parts.push_back(rel.substr(from, to == std::string_view::npos ? to : to - from));
        if (to == std::string_view::npos) break;
        from = to + 1;
    }
    const std::string_view rootName =
        s_.siteRoot == "/" ? std::string_view("/")
                           : std::string_view(s_.siteRoot).substr(s_.siteRoot.rfind('/') + 1);
    const std::string& htm = o_.text(opt("txtIndexHtm"));
    std::string& line = line_;
    line.assign("<nav class=\"crumbs\" aria-label=\"");
    if (s_.allInOneFile) {
        // One file shows every folder's crumbs: each set is told apart by the folder it leads to.
        std::string path;
        for (std::size_t level = 0; level <= parts.size(); ++level)
            path.append(level > 0 ? " / " : "").append(toUtf8(level == 0 ? rootName : parts[level - 1]));
        appendEscapedAttribute(line, "Folders above " + path);
    } else {
        line += "Folders above";
    }
    line += "\">";
    std::string link;
    for (std::size_t level = 0; level <= parts.size(); ++level) {
        const std::string_view name = level == 0 ? rootName : parts[level - 1];
        if (level > 0) line += " / ";
        if (level == parts.size()) {
            line += "<span>";
            appendEscapedText(line, toUtf8(name));
            line += "</span>";
            break;
        }
        link.clear();
        if (!s_.allInOne) {
            for (std::size_t up = level; up < parts.size(); ++up) link += "../";
            if (!ServerLinks(s_)) link += htm;
        } else {
            std::string above;
            for (std::size_t i = 0; i < level; ++i) above.append(parts[i]).append("/");
            link = URLEncode(o_, FlatPageName(o_, above));
            if (s_.allInOneFile) link.insert(0, "#");
        }
        line += "<a href=\"";
        appendEscapedAttribute(line, link);
        line += "\">";
        appendEscapedText(line, toUtf8(name));
        line += "</a>";
    }
    line += "</nav>";
    out_.writeLine(line);
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
                         const std::string& comment, const FileDigest* digest,
                         std::optional<std::uint64_t> dataFiles) {
    // One line built in one reused string: a listing may have a million rows.
    std::string& line = line_;
    line.assign("<tr class=\"").append(cls).append("\"");
    if (cls != "up") {
        // Names reach the script only as attribute values.
        line += " data-name=\"";
        appendEscapedAttribute(line, dataName);
        line += "\" data-type=\"";
        appendEscapedAttribute(line, dataType);
        line += "\" data-size=\"";
        appendNumber(line, dataSize);
        line += '"';
        if (dataFiles) line.append(" data-files=\"").append(std::to_string(*dataFiles)).append("\"");
        line.append(" data-time=\"").append(std::to_string(dataTime)).append("\"");
    }
    if (ServerLinks(s_)) {
        // The icon and the folder's "/" outside the link: its text is the name alone.
        line.append("><td>").append(icon);
        if (cls == "up") line.append("<a href=\"").append(link).append("\">..</a>");
        else line += NameAnchor(link, dataName);
        line.append(cls == "dir" ? "/</td>" : "</td>");
    } else {
        line.append("><td><a href=\"").append(link).append("\">").append(icon).append("<span>");
        line.append(shownName).append("</span></a></td>");
    }
    if (o_.on(opt("chkColuHash"))) {
        // Narrow screens show the first digits only: the whole value is in the title and the
        // copy button, and the size and time stay in view.
        if (digest) {
            const std::string& md5 = digest->md5;
            const std::size_t shown = std::min<std::size_t>(8, md5.size());
            line.append("<td class=\"hash\"><a href=\"").append(SumsLink(s_, place_));
            line.append("\" title=\"").append(md5).append("\"><code>").append(md5, 0, shown);
            line.append("</code><code class=\"rest\">").append(md5, shown);
            line.append("</code></a><button type=\"button\" class=\"copy\" data-copy=\"").append(md5);
            line.append("\" aria-label=\"Copy the MD5 checksum\" hidden>Copy</button></td>");
        } else {
            line += "<td class=\"hash\"></td>";
        }
    }
    if (o_.on(opt("chkColuSize"))) line.append("<td class=\"size\">").append(size).append("</td>");
    if (o_.on(opt("chkColuTime"))) {
        if (cls == "up") {
            line += "<td class=\"time\"></td>";
        } else {
            // One conversion for both: they differ only in the blank.
            const std::string machine = timeText(dataTime, "%Y-%m-%dT%H:%M");
            line.append("<td class=\"time\"><time datetime=\"").append(machine).append("\">");
            const std::size_t at = line.size();
            line.append(machine).append("</time></td>");
            if (auto t = machine.rfind('T'); t != std::string::npos) line[at + t] = ' ';
        }
    }
    if (o_.on(opt("chkColuDesc"))) line.append("<td class=\"comment\">").append(comment).append("</td>");
    line += "</tr>";
    out_.writeLine(line);
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
    // A long listing's rows are one line each from the start: the script that draws them from
    // the data later needs rows of one height, and the page is not laid out twice.
    out_.writeLine(std::string("<table class=\"listing") + (plan_.dataFiles() > 0 ? " long" : "") +
                   "\" data-listing=\"" + escapeAttribute(ListingConfig(s_, place_, plan_, page_)) +
                   "\">");
    out_.writeLine("<thead>" + header + "</tr></thead>");
    out_.writeLine("<tbody>");

    const std::string dirIcon = iconTag("dir");
    if (auto up = UpRowLink(s_, place_)) {
        row("up", "", "", 0, 0, *up, dirIcon, "Parent folder", "", "", nullptr);
    }
    const PageRows& rows = plan_.rows;
    const std::size_t first = plan_.firstRow(page_), end = first + plan_.rowsOn(page_);
    for (std::size_t i = first; i < std::min(end, rows.folders.size()); ++i) {
        const FolderEntry* sub = rows.folders[i];
        // A folder the walk entered shows what its tree holds, and sorts by it; one it did not
        // enter has no size.
        const auto& tree = sub->totals;
        row("dir", toUtf8(sub->name), "", tree ? tree->bytes : -1, sub->mtime,
            FolderRowLink(s_, place_, *sub), dirIcon, displayName(sub->name) + "/",
            tree ? folderSize(*tree) : "", "Directory", nullptr,
            tree ? std::optional(tree->files) : std::nullopt);
    }
    // The icons and the total of the first page are those of every row, also the rows other
    // pages hold; icons are fetched for the types the listing shows, not for the files it
    // leaves out.
    bool collect = o_.on(opt("chkIcons")) && WantsIconFiles(o_);
    std::unordered_set<std::string> collected;
    // The numbered pages after the first leave that to it.
    const std::size_t folders = rows.folders.size();
    const std::size_t from = page_ == 1 ? 0 : std::max(first, folders) - folders;
    const std::size_t to = page_ == 1 ? rows.files.size() : std::max(end, folders) - folders;
    for (std::size_t i = from; i < to; ++i) {
        const FileEntry* file = rows.files[i];
        std::string type = FileTypeOf(file->name);
        if (collect && collected.insert(type).second) result_.icons.push_back(type);
        result_.total += file->size;
        if (folders + i < first || folders + i >= end) continue;
        std::string comment;
        if (o_.selected(opt("optExtention"))) comment = escapeText(toUtf8(type)) + " File";
        else if (o_.selected(opt("optGlobal"))) comment = o_.text(opt("txtComment"));
        row("file", toUtf8(file->name), toUtf8(type), file->size, file->mtime,
            FileRowLink(s_, place_, *file), iconOf(type), displayName(file->name),
            FormatFileSize(o_, file->size), comment, listing_.digestOf(*file));
    }
    out_.writeLine("</tbody>");
    out_.writeLine("</table>");
    out_.writeLine("</div>");
    pager();
}

// Links between the numbered pages of a long listing: the pages next to this one, and ever
// rounder numbers further off, so that every page is a few steps away.
void ModernRenderer::pager() {
    const std::size_t count = plan_.pages(), here = page_;
    if (count <= 1) return;
    const std::string& htm = o_.text(opt("txtIndexHtm"));
    auto link = [&](std::size_t number, const std::string& text, const char* rel) {
        return "<a href=\"" + escapeAttribute(NumberedPageName(htm, number)) + "\"" +
               (rel ? std::string(" rel=\"") + rel + "\"" : "") + ">" + text + "</a>";
    };
    std::set<std::size_t> numbers{1, count};
    for (std::size_t step = 1; step <= count; step *= 10) {
        std::size_t from = here > 5 * step ? (here - 5 * step) / step * step : step;
        for (std::size_t n = from; n <= here + 5 * step && n <= count; n += step) numbers.insert(n);
    }
    std::string line = "<nav class=\"pages\" aria-label=\"Pages of this listing\">";
    if (here > 1) line += link(here - 1, "Previous", "prev") + " ";
    std::size_t before = 0;
    for (std::size_t n : numbers) {
        if (before && n > before + 1) line += "&hellip; ";
        line += n == here ? "<span aria-current=\"page\">" + std::to_string(n) + "</span> "
                          : link(n, std::to_string(n), nullptr) + " ";
        before = n;
    }
    if (here < count) line += link(here + 1, "Next", "next");
    if (line.ends_with(' ')) line.pop_back();
    out_.writeLine(line + "</nav>");
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
    if (auto up = WhatsNewWay(s_, place_)) {
        out_.writeLine("<p class=\"whatsnew\"><a href=\"" + *up + std::string(kWhatsNewName) +
                       "\">What's new</a> &middot; <a href=\"" + *up + std::string(kFeedName) +
                       "\" type=\"application/atom+xml\">Atom feed</a></p>");
    }
    if (o_.on(opt("chkHeading"))) out_.writeLine("<h1>" + escapeText(place_.title) + "</h1>");
    if (page_ > 1) {
        // The rest of the listing: what the first page shows around it is there.
        table();
        out_.writeLine("</section>");
        return;
    }
    picture();
    description();
    table();
    totals(serverTotalBefore);
    readme();
    out_.writeLine("</section>");
}

}  // namespace

void RenderModernHead(const RunSettings& s, const PagePlace& place, TextOut& out,
                      std::size_t page, std::size_t pages) {
    const OptionValues& o = s.o;
    // A numbered page says so in its first line: only such a file is ever replaced or removed
    // as one of ours.
    out.writeLine(page > 1 ? std::string(kNumberedPageMark) + std::to_string(page) + " of " +
                                 std::to_string(pages) + " -->"
                           : "<!DOCTYPE html>");
    out.writeLine("<html lang=\"en\">");
    out.writeLine("<head>");
    out.writeLine("<meta charset=\"utf-8\">");
    out.writeLine("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    if (o.check(opt("chkMetaStyle")) == 0) {
        out.writeLine("<meta name=\"description\" content=\"Contents of the " +
                      escapeAttribute(place.title) + " folder\">");
        out.writeLine("<meta name=\"generator\" content=\"Tabulo " + o.text(opt("lblVersion")) + "\">");
    }
    std::string title = escapeText(place.title);
    if (page > 1) title += ", page " + std::to_string(page) + " of " + std::to_string(pages);
    out.writeLine("<title>" + title + "</title>");
    if (auto up = WhatsNewWay(s, place)) {
        out.writeLine("<link rel=\"alternate\" type=\"application/atom+xml\" title=\"What's new\" href=\"" +
                      *up + std::string(kFeedName) + "\">");
    }
    // With scripts on, a long listing's rows wait for the script, which lays out only those in
    // sight: a thousand rows laid out first would double the time to a usable page.
    if (pages > 1) out.writeLine("<script>document.documentElement.classList.add(\"js\")</script>");
    out.write(s.modernStyle);
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
    if (!SearchesSite(s)) {
        out.writeLine("<input type=\"search\" class=\"filter\" placeholder=\"Filter names\" "
                      "aria-label=\"Filter names\" hidden>");
        return;
    }
    // The search index lies in the run's top folder: the way there from this page, and how a
    // folder is linked.
    const std::string up = WayToTop(s, place).value_or("");
    const std::string dir = FolderPageEnding(s);
    std::string sites;
    for (const std::string& site : OtherSearchSites(o, up))
        sites += (sites.empty() ? "" : " ") + replaceAll(site, " ", "%20");
    out.writeLine("<input type=\"search\" class=\"filter\" placeholder=\"Filter names\" "
                  "aria-label=\"Filter names\" data-top=\"" + escapeAttribute(up) + "\" data-index=\"" +
                  escapeAttribute(up + std::string(kSearchFolder) + "/") + "\" data-dir=\"" +
                  escapeAttribute(dir) + "\"" +
                  (sites.empty() ? "" : " data-sites=\"" + escapeAttribute(sites) + "\"") + " hidden>");
    out.writeLine("<fieldset class=\"scope\" hidden><legend>Look in</legend>"
                  "<label><input type=\"radio\" name=\"scope\" value=\"folder\" checked> this folder</label> "
                  "<label><input type=\"radio\" name=\"scope\" value=\"site\"> the whole site</label></fieldset>");
    out.writeLine("<section class=\"hits\" aria-label=\"Found in the whole site\" hidden>"
                  "<p class=\"found\" role=\"status\"></p><ol></ol>"
                  "<button type=\"button\" class=\"more\" hidden>More results</button></section>");
}

PageResult RenderModernPage(const RunSettings& s, const PagePlace& place,
                            const FolderListing& listing, const ListingPlan& plan,
                            std::size_t page, bool withHead, double serverTotalBefore,
                            TextOut& out) {
    if (withHead) RenderModernHead(s, place, out, page, plan.pages());
    ModernRenderer r(s, place, listing, plan, page, out);
    r.render(serverTotalBefore);
    if (s.allInOneFile) return std::move(r.result());
    auto up = s.footerAfterScript.empty() ? std::nullopt : WayToTop(s, place);
    if (!up) {
        out.write(s.footer);
        return std::move(r.result());
    }
    out.write(s.footerBeforeScript);
    out.write("<script src=\"" +
              escapeAttribute(*up + URLEncode(s.o, PageScriptName(s.o.text(opt("txtIndexHtm"))))) +
              "\"></script>\r\n");
    out.write(s.footerAfterScript);
    return std::move(r.result());
}

std::optional<std::string> WhatsNewWay(const RunSettings& s, const PagePlace& place) {
    if (!s.o.on(opt("chkWhatsNew")) || s.allInOne) return std::nullopt;
    return WayToTop(s, place);
}

std::optional<std::string> WayToTop(const RunSettings& s, const PagePlace& place) {
    auto below = relativeTo(place.folder, s.top);
    if (!below) return std::nullopt;
    std::string up;
    if (!below->empty())
        for (int i = 0; i <= CountPathSeparators(*below); ++i) up += "../";
    return up;
}

std::string ModernStyle(const OptionValues& o) {
    std::string style = "<style>\r\n" + colourRules(o);
    std::string size = "16";
    if (o.on(opt("chkFontSize"))) {
        // Never below 16 CSS pixels: the page must stay readable on a phone.
        double typed = val(o.text(opt("txtFontSize")));
        if (typed > 16 && typed <= 48) size = number(typed);
    }
    style += "body{font-family:" + fontFamily(o) + ";font-size:" + size + "px}\r\n";
    style += kLayout;
    if (o.on(opt("chkColuHash"))) style += kHashLayout;
    return style + "</style>\r\n";
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

namespace {

// The footer with `script` where the page's script goes.
std::string footerWith(const OptionValues& o, const std::tm& today, const std::string& script, bool withSha256Sums) {
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
    if (auto line = FooterFilesLine(o, " &middot; ", withSha256Sums); !line.empty()) footer += "<p>" + line + "</p>\r\n";
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
    // The copy buttons are shown while all the page's rows are still in it.
    if (o.on(opt("chkColuHash"))) f += replaceAll(std::string(kHashScript), "\n", "\r\n") + "\r\n";
    f += script;
    if (o.on(opt("chkSearchIndex")) && !o.on(opt("chkAllInOneFile")) && !o.on(opt("chkAllInOneFolder")))
        f += replaceAll(kSearchLoader, "\n", "\r\n") + "\r\n";
    return f + "</body>\r\n</html>\r\n";
}

}  // namespace

std::string ModernFooter(const OptionValues& o, const std::tm& today, bool withSha256Sums) {
    return footerWith(o, today, replaceAll(std::string(kScript), "\n", "\r\n") + "\r\n", withSha256Sums);
}

std::pair<std::string, std::string> ModernFooterAroundScript(const OptionValues& o,
                                                             const std::tm& today, bool withSha256Sums) {
    const std::string mark = "\x01";
    const std::string f = footerWith(o, today, mark, withSha256Sums);
    const auto at = f.find(mark);
    return {f.substr(0, at), f.substr(at + mark.size())};
}

std::string PageScriptFile() {
    constexpr std::string_view open = "<script>\n", close = "</script>";
    static_assert(kScript.starts_with(open) && kScript.ends_with(close));
    std::string_view body = kScript.substr(open.size(), kScript.size() - open.size() - close.size());
    return std::string(kPageScriptMark) + "\r\n" + replaceAll(std::string(body), "\n", "\r\n");
}

std::string SearchScriptFile() {
    return replaceAll(std::string(kSearchScript), "\n", "\r\n");
}

}  // namespace tabulo
