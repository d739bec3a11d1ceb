#include "common/Text.h"

#include <cstdlib>

namespace tabulo {

std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    if (from.empty()) return std::string(s);
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = s.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t hit = s.find(sep, start);
        if (hit == std::string_view::npos) {
            parts.emplace_back(s.substr(start));
            return parts;
        }
        parts.emplace_back(s.substr(start, hit - start));
        start = hit + 1;
    }
}

bool contains(std::string_view s, std::string_view part) {
    return s.find(part) != std::string_view::npos;
}

bool isBlank(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

double val(std::string_view s) {
    // Blanks anywhere in the number are skipped, as the classic function does.
    std::string digits;
    bool seenDigit = false, seenDot = false, seenExp = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if ((c == '+' || c == '-') && (digits.empty() || (seenExp && (digits.back() == 'e')))) {
            digits += c;
        } else if (c >= '0' && c <= '9') {
            digits += c;
            seenDigit = true;
        } else if (c == '.' && !seenDot && !seenExp) {
            digits += c;
            seenDot = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && seenDigit && !seenExp) {
            digits += 'e';
            seenExp = true;
        } else {
            break;
        }
    }
    if (!seenDigit) return 0;
    return std::strtod(digits.c_str(), nullptr);
}

std::string crlfLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 16);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' || s[i] == '\n') {
            out += "\r\n";
            if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace tabulo
