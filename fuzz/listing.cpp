// The text helpers of a listing, each against a property that must hold for any name. The
// first byte picks options, the second a length limit; the rest is a name, then after a NUL
// byte a pattern list.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/Text.h"
#include "listing/ListingHelpers.h"
#include "pages/PageText.h"
#include "listing/Wildcard.h"

using namespace tabulo;

namespace {

constexpr auto npos = std::string::npos;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Reads back what the escaping functions write; nothing when an '&' starts no reference.
std::optional<std::string> unescaped(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        std::size_t semi = s.find(';', i);
        if (semi == npos) return std::nullopt;
        std::string_view ref = s.substr(i + 1, semi - i - 1);
        if (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot") {
            out += ref == "amp" ? '&' : ref == "lt" ? '<' : ref == "gt" ? '>' : '"';
        } else if (ref.size() > 1 && ref.size() < 5 && ref[0] == '#' &&
                   ref.find_first_not_of("0123456789", 1) == npos) {
            out += static_cast<char>(std::atoi(std::string(ref.substr(1)).c_str()));
        } else {
            return std::nullopt;
        }
        i = semi + 1;
    }
    return out;
}

// Nothing when a '%' is not followed by two hex digits.
std::optional<std::string> percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return std::nullopt;
        out += static_cast<char>(std::strtol(std::string(s.substr(i + 1, 2)).c_str(), nullptr, 16));
        i += 2;
    }
    return out;
}

// Characters as the helpers count them: a byte that starts no UTF-8 sequence is one.
std::size_t charCount(std::string_view s) {
    std::size_t count = 0;
    char32_t cp;
    for (std::size_t i = 0; i < s.size(); ++count) {
        std::size_t n = decodeUtf8(s, i, cp);
        i += n ? n : 1;
    }
    return count;
}

void checkEscaping(const std::string& name) {
    for (bool attribute : {false, true}) {
        std::string e = attribute ? escapeAttribute(name) : escapeText(name);
        FUZZ_CHECK(e.find_first_of(attribute ? "<>\"" : "<>") == npos, fuzz::Shown(e));
        for (char c : e) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
        FUZZ_CHECK(unescaped(e) == name, fuzz::Shown(e));
    }
    for (bool fullEscape : {false, true}) {
        std::string link = encodeNameForLink(name, fullEscape);
        for (char c : link) {
            FUZZ_CHECK(c > ' ' && c < 0x7F && std::string_view("\"<>?:#\\").find(c) == npos,
                       fuzz::Shown(link));
        }
        auto attribute = unescaped(link);
        FUZZ_CHECK(attribute && percentDecoded(*attribute) == name, fuzz::Shown(link));
    }
}

void checkCut(const std::string& name, std::size_t limit) {
    std::string cut = cutName(name, limit);
    if (charCount(name) <= limit) {
        FUZZ_CHECK(cut == name);
        return;
    }
    FUZZ_CHECK(cut.ends_with("...") && charCount(cut) == limit + 3, fuzz::Shown(cut));
    FUZZ_CHECK(name.starts_with(std::string_view(cut).substr(0, cut.size() - 3)));
    FUZZ_CHECK(!isValidUtf8(name) || isValidUtf8(cut), fuzz::Shown(cut));
}

void checkUrl(const Options& o, const std::string& name) {
    std::string url = URLEncode(o, name);
    if (!o.on(opt("chkUtf"))) {
        FUZZ_CHECK(url.find_first_of("# ") == npos);
        return;
    }
    for (std::size_t i = 0; i < url.size(); ++i) {
        bool plain = std::string_view("/.?=_-$(){}~&:").find(url[i]) != npos ||
                     (url[i] >= 'a' && url[i] <= 'z') || (url[i] >= 'A' && url[i] <= 'Z') ||
                     (url[i] >= '0' && url[i] <= '9') || url[i] == '%';
        FUZZ_CHECK(plain, fuzz::Shown(url));
    }
    // A character windows-1252 holds is sent as its byte there.
    auto decoded = percentDecoded(url);
    FUZZ_CHECK(decoded.has_value(), fuzz::Shown(url));
    if (fitsCp1252(name)) FUZZ_CHECK(*decoded == toCp1252(name, Unmappable::Question));
}

void checkPageName(const Options& o, const std::string& path) {
    std::string page = FlatPageName(o, path);
    if (path.empty()) {
        FUZZ_CHECK(page == o.text(opt("txtIndexHtm")));
        return;
    }
    const std::string& prefix = o.text(opt("txtIndexOf"));
    FUZZ_CHECK(page.starts_with(prefix) && page.ends_with(".html"), fuzz::Shown(page));
    std::string_view middle(page);
    middle = middle.substr(prefix.size(), middle.size() - prefix.size() - 5);
    for (char c : middle) {
        bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                    c == '_' || c == '-';
        FUZZ_CHECK(kept, fuzz::Shown(page));
    }
    FUZZ_CHECK(CountPathSeparators(path + "/" + page) == CountPathSeparators(path) + 1);
}

// The number, the unit, and how the shown number stands to the size (floored to 1/1000).
void checkFileSize(const Options& o, const std::string& text) {
    static constexpr std::string_view kUnits[] = {"Bytes",  "KBytes", "MBytes",
                                                  "GBytes", "TBytes", "PBytes"};
    double size = val(text);
    std::string shown = FormatFileSize(o, size);
    // Sizes far beyond any file are left out: their conversions are a matter of their own.
    if (!std::isfinite(size) || std::fabs(size) >= 1e18) return;
    bool autoUnit = o.selected(opt("optAuto"));
    int step = o.selectedIndex(opt("optFileSize"));
    if (autoUnit) {
        step = 0;
        while (step < 5 && size >= std::pow(1024.0, step + 1)) ++step;
    }
    double scaled = size / std::pow(1024.0, step);
    std::string unit(kUnits[step]);
    if (autoUnit ? size < 1 : scaled < 0.001) {
        FUZZ_CHECK(shown == "0 " + unit, fuzz::Shown(shown));
        return;
    }
    FUZZ_CHECK(shown.ends_with(" " + unit), fuzz::Shown(shown));
    std::string number = shown.substr(0, shown.size() - unit.size() - 1);
    if (number.starts_with(' ')) number.erase(0, 1);
    auto dot = number.find('.');
    FUZZ_CHECK(number.find_first_not_of("0123456789.") == npos &&
                   (dot == npos || number.size() - dot == 4),
               fuzz::Shown(shown));
    double n = std::strtod(number.c_str(), nullptr);
    FUZZ_CHECK(n <= scaled * (1 + 1e-12) && scaled < n + 0.001 + scaled * 1e-12,
               fuzz::Shown(shown));
}

// The byte offset of the character that holds the middle byte, or the end.
std::size_t middleChar(std::string_view s) {
    char32_t cp;
    std::size_t i = 0;
    while (i < s.size() / 2) {
        std::size_t n = decodeUtf8(s, i, cp);
        i += n ? n : 1;
    }
    return i;
}

void checkPatterns(Options& o, const std::string& name, const std::string& patterns) {
    o.setText(opt("txtExclude"), patterns);
    bool excluded = IsExcluded(o, name);
    for (const std::string& piece : split(patterns, ';')) {
        if (!piece.empty() && piece.find_first_of("* \t\r\n") == npos) {
            FUZZ_CHECK(IsExcluded(o, piece), fuzz::Shown(piece));
        }
    }
    // Patterns written one per line exclude what they exclude on one line.
    o.setText(opt("txtExclude"), replaceAll(patterns, ";", ";\r\n"));
    if (name.find_first_of("\r\n") == npos) FUZZ_CHECK(IsExcluded(o, name) == excluded);
    o.setText(opt("txtExclude"), patterns);
    FUZZ_CHECK(IsExcluded(o, name) == excluded);

    Wildcard(patterns).matches(name);
    FUZZ_CHECK(Wildcard("*.*").matches(name));
    if (name.empty() || name.find(';') != npos || name.front() == ' ' || name.back() == ' ') return;
    std::string upper = name, anyChars(charCount(name), '?');
    for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    FUZZ_CHECK(Wildcard(name).matches(name) && Wildcard(name).matches(upper));
    FUZZ_CHECK(Wildcard(anyChars).matches(name) && !Wildcard(anyChars + "?").matches(name));
    FUZZ_CHECK(Wildcard("*" + name.substr(middleChar(name))).matches(name));
}

void checkEncoding(const std::string& bytes) {
    std::string utf8 = toUtf8(bytes);
    FUZZ_CHECK(isValidUtf8(utf8));
    FUZZ_CHECK(isValidUtf8(bytes) ? utf8 == bytes : toCp1252(utf8, Unmappable::Question) == bytes);
    FUZZ_CHECK(toCp1252(utf8, Unmappable::KeepUtf8) == utf8);
    std::string cp1252 = toCp1252(utf8, Unmappable::Question);
    FUZZ_CHECK(cp1252.size() == charCount(utf8));
    if (fitsCp1252(utf8)) {
        FUZZ_CHECK(toCp1252(utf8, Unmappable::HtmlReference) == cp1252);
        // A trailing 0xFF is never UTF-8, so the whole is read back as windows-1252.
        FUZZ_CHECK(toUtf8(cp1252 + "\xFF") == utf8 + "\xC3\xBF");
    }
    std::string type = FileTypeOf(utf8);
    FUZZ_CHECK(type.find('.') == npos && FileTypeOf("x." + type) == type, fuzz::Shown(type));
}

// Sorting compares names folded in place; it must order them as their folded copies do.
void checkFoldedOrder(const std::string& a, const std::string& b) {
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    FUZZ_CHECK(sign(compareFolded(a, b)) == sign(foldCase(a).compare(foldCase(b))),
               fuzz::Shown(a) + " / " + fuzz::Shown(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static const char* const kSeparators[] = {"_per_", "-", "", "/", "x"};
    Options o;
    o.setCheck(opt("chkUtf"), data[0] & 1);
    if (int unit = (data[0] >> 1) & 7; unit < 6) o.select(opt("optFileSize"), unit);
    o.setText(opt("txtReplaceIndexs"), kSeparators[(data[0] >> 4) % 5]);
    const std::size_t limit = data[1] % 64;

    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t nul = rest.find('\0');
    const std::string name = rest.substr(0, nul);
    const std::string patterns = nul == npos ? std::string() : rest.substr(nul + 1);

    checkEscaping(name);
    checkCut(name, limit);
    checkUrl(o, name);
    checkPageName(o, name);
    checkFileSize(o, name);
    checkPatterns(o, name, patterns);
    checkEncoding(name);
    checkFoldedOrder(name, patterns);
    return 0;
}
