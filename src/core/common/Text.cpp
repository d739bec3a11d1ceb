#include "common/Text.h"

#include <charconv>
#include <cmath>

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

std::string_view trimBlanks(std::string_view s, std::string_view blanks) {
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

namespace {

// Which way a number that no double holds lies: beyond the largest (true) or below the
// smallest. Its decimal exponent says so: digits before the point, or minus the zeros after
// it, plus the written exponent.
bool beyondLargest(std::string_view number) {
    std::size_t i = number.find_first_not_of("+-");
    long magnitude = 0;
    bool significant = false, afterPoint = false;
    for (; i < number.size() && number[i] != 'e'; ++i) {
        if (number[i] == '.') {
            afterPoint = true;
        } else if (number[i] != '0' || significant) {
            significant = true;
            if (!afterPoint) ++magnitude;
            if (afterPoint) break;
        } else if (afterPoint) {
            --magnitude;
        }
    }
    i = number.find('e');
    long exponent = 0;
    bool negative = false;
    for (i = i == std::string_view::npos ? number.size() : i + 1; i < number.size(); ++i) {
        if (number[i] == '-') negative = true;
        if (number[i] >= '0' && number[i] <= '9' && exponent < 100000)
            exponent = exponent * 10 + (number[i] - '0');
    }
    return magnitude + (negative ? -exponent : exponent) > 0;
}

// from_chars takes no leading "+".
std::from_chars_result readDouble(std::string_view text, double& value) {
    if (text.starts_with('+') && !text.substr(1).starts_with('-')) text.remove_prefix(1);
    return std::from_chars(text.data(), text.data() + text.size(), value);
}

template <typename Float>
std::string shortestOf(Float value, int maxPrecision) {
    char buf[64];
    std::to_chars_result r{};
    for (int precision = 1; precision <= maxPrecision; ++precision) {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
        Float back{};
        std::from_chars(buf, r.ptr, back);
        if (back == value) break;
    }
    return std::string(buf, r.ptr);
}

}  // namespace

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
    double v = 0;
    if (readDouble(digits, v).ec == std::errc::result_out_of_range) {
        if (!beyondLargest(digits)) return digits.starts_with('-') ? -0.0 : 0.0;
        return digits.starts_with('-') ? -HUGE_VAL : HUGE_VAL;
    }
    return v;
}

std::optional<double> decimalNumber(std::string_view s) {
    if (s.empty() || s.find_first_not_of("+-.0123456789eE") != std::string_view::npos)
        return std::nullopt;
    double v = 0;
    auto [end, ec] = readDouble(s, v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

std::string shortestText(double value) {
    return shortestOf(value, 17);
}

std::string shortestText(float value) {
    return shortestOf(value, 9);
}

std::string fixedText(double value, int decimals) {
    char buf[400];  // the longest double with a few decimals
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
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
