#include "pages/PageText.h"

#include <cstdio>

#include "common/Encoding.h"
#include "common/PercentEncoding.h"

namespace tabulo {

namespace {

constexpr std::string_view kUtfAllowed =
    "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz/.=_-$(){}~&";

bool needsEscape(std::string_view s, bool attribute) {
    for (char c : s) {
        if (c == '&' || c == '<' || c == '>' || (attribute && c == '"') ||
            (static_cast<unsigned char>(c) < 0x20 && c != '\t')) {
            return true;
        }
    }
    return false;
}

void appendEscaped(std::string& out, std::string_view s, bool attribute) {
    if (!needsEscape(s, attribute)) {
        out.append(s);
        return;
    }
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            default:
                // A control character in a name would break the page's line structure.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                    out += "&#" + std::to_string(static_cast<int>(c)) + ";";
                } else {
                    out += c;
                }
        }
    }
}

std::string escape(std::string_view s, bool attribute) {
    std::string out;
    out.reserve(s.size() + 8);
    appendEscaped(out, s, attribute);
    return out;
}

}  // namespace

std::string escapeText(std::string_view utf8) {
    return escape(utf8, false);
}

std::string escapeAttribute(std::string_view utf8) {
    return escape(utf8, true);
}

void appendEscapedText(std::string& out, std::string_view utf8) {
    appendEscaped(out, utf8, false);
}

void appendEscapedAttribute(std::string& out, std::string_view utf8) {
    appendEscaped(out, utf8, true);
}

std::string attributeText(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        std::size_t end = escaped[i] == '&' ? escaped.find(';', i) : std::string_view::npos;
        if (end == std::string_view::npos) {
            out += escaped[i];
            continue;
        }
        std::string_view entity = escaped.substr(i + 1, end - i - 1);
        if (entity == "amp") out += '&';
        else if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "quot") out += '"';
        else if (entity.size() > 1 && entity.size() < 8 && entity[0] == '#' &&
                 entity.find_first_not_of("0123456789", 1) == std::string_view::npos)
            appendUtf8(out, static_cast<char32_t>(std::stoul(std::string(entity.substr(1)))));
        else {
            out += escaped[i];
            continue;
        }
        i = end;
    }
    return out;
}

std::string encodeNameForLink(std::string_view rawName, bool fullEscape) {
    static constexpr ByteSet kFull = ByteSet::of(kUtfAllowed);
    // Browsers read a backslash in a link as "/".
    static constexpr ByteSet kLight = ByteSet::range(0x20, 0x7E).without("# %?:\\");
    return escapeAttribute(percentEncode(rawName, fullEscape ? kFull : kLight));
}

std::string cutName(std::string_view utf8, std::size_t limit) {
    std::size_t chars = 0, i = 0;
    char32_t cp;
    while (i < utf8.size() && chars < limit) {
        std::size_t n = decodeUtf8(utf8, i, cp);
        i += n ? n : 1;
        ++chars;
    }
    if (i >= utf8.size()) return std::string(utf8);
    return std::string(utf8.substr(0, i)) + "...";
}

}  // namespace tabulo
