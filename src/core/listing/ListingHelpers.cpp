#include "listing/ListingHelpers.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/PercentEncoding.h"
#include "common/Text.h"

namespace tabulo {

namespace {

constexpr std::string_view kUnits[] = {"Bytes", "KBytes", "MBytes", "GBytes", "TBytes", "PBytes"};
constexpr std::string_view kUtfAllowed =
    "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz:/.?=_-$(){}~&";

std::string wholeNumber(double v) {
    if (v >= 0 && v < 9e15) return std::to_string(static_cast<long long>(v));
    return fixedText(v, 0);
}

}  // namespace

std::string FormatFileSize(const OptionValues& options, double size) {
    int step = 0;
    bool autoUnit = options.selected(opt("optAuto"));
    if (autoUnit) {
        while (size >= 1024 && step <= 4) {
            size /= 1024;
            ++step;
        }
        if (size < 1) return "0 Bytes";
    } else {
        step = options.selectedIndex(opt("optFileSize"));
        if (step < 0 || step > 5) return "";
        for (int i = 0; i < step; ++i) size /= 1024;
        if (size < 0.001) return "0 " + std::string(kUnits[step]);
    }
    std::string unit(kUnits[step]);
    double whole = std::floor(size);
    if (whole == size) return " " + wholeNumber(size) + " " + unit;
    std::string fraction =
        std::to_string(wholeWithin(std::floor((size - whole) * 1000), 0, 999) + 1000).substr(1);
    return wholeNumber(whole) + "." + fraction + " " + unit;
}

std::string URLEncode(const OptionValues& options, std::string_view raw) {
    static constexpr ByteSet kLight = ByteSet::range(0, 0xFF).without("# ");
    static constexpr ByteSet kFull = ByteSet::of(kUtfAllowed);
    if (!options.on(opt("chkUtf"))) return percentEncode(raw, kLight);
    // A character is encoded as its windows-1252 byte; one the code page lacks as its UTF-8
    // bytes, and a byte that is no character as itself.
    std::string bytes;
    for (std::size_t i = 0; i < raw.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(raw, i, cp);
        int b = n == 0 ? -1 : cp1252Byte(cp);
        n = n == 0 ? 1 : n;
        if (b >= 0) {
            bytes += static_cast<char>(b);
        } else {
            bytes.append(raw.substr(i, n));
        }
        i += n;
    }
    return percentEncode(bytes, kFull);
}

std::string FlatPageName(const OptionValues& options, std::string_view relativePath) {
    if (relativePath.empty()) return options.text(opt("txtIndexHtm"));
    const std::string& sep = options.text(opt("txtReplaceIndexs"));
    std::string joined = replaceAll(replaceAll(relativePath, "/", sep), "\\", sep);
    std::string text;
    for (std::size_t i = 0; i < joined.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(joined, i, cp);
        if (n == 0) n = 1, cp = 0x80;  // a stray byte is one character
        bool kept = (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') ||
                    (cp >= 'a' && cp <= 'z') || cp == '_' || cp == '-';
        text += kept ? static_cast<char>(cp) : '_';
        i += n;
    }
    if (!sep.empty() && text.starts_with(sep)) text.erase(0, sep.size());
    if (!sep.empty() && text.ends_with(sep)) text.erase(text.size() - sep.size());
    return options.text(opt("txtIndexOf")) + text + ".html";
}

std::string FileTypeOf(std::string_view fileName) {
    auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == fileName.size()) return "unknown";
    return foldCase(fileName.substr(dot + 1));
}

bool WantsIconFiles(const OptionValues& o) {
    return o.on(opt("chkIconsDownloaded")) || o.selected(opt("optIconsLocal"));
}

bool IsExcluded(const OptionValues& options, std::string_view name) {
    struct Pattern {
        std::string exact, bare;
        bool leadingStar, trailingStar;
    };
    // The pattern text is parsed again only when it changed, not once per file.
    thread_local std::string parsedFrom;
    thread_local std::vector<Pattern> patterns;
    const std::string& text = options.text(opt("txtExclude"));
    if (parsedFrom != text) {
        patterns.clear();
        // Blanks and line breaks are no part of a pattern: the list may be written one per
        // line, and an empty pattern excludes nothing.
        for (const std::string& raw : split(text, ';')) {
            std::string p;
            for (char c : raw) {
                if (c != ' ' && c != '\t' && c != '\r' && c != '\n') p += c;
            }
            if (p.empty()) continue;
            patterns.push_back({p, replaceAll(p, "*", ""), p.starts_with('*'), p.ends_with('*')});
        }
        parsedFrom = text;
    }
    for (const Pattern& p : patterns) {
        if (name == p.exact) return true;
        if (p.leadingStar && name.ends_with(p.bare)) return true;
        if (p.trailingStar && name.starts_with(p.bare)) return true;
    }
    return false;
}

int CountPathSeparators(std::string_view path) {
    int n = 0;
    for (char c : path) n += c == '/';
    return n;
}

}  // namespace tabulo
