#include "listing/Wildcard.h"

#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/Text.h"

namespace tabulo {

namespace {

std::u32string foldedChars(std::string_view utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) cp = 0xDC00 + static_cast<unsigned char>(utf8[i]), n = 1;
        out += foldChar(cp);
        i += n;
    }
    return out;
}

bool match(const char32_t* p, const char32_t* pEnd, const char32_t* s, const char32_t* sEnd) {
    const char32_t* starP = nullptr;
    const char32_t* starS = nullptr;
    while (s != sEnd) {
        // A star is always a wildcard, also where the name holds a star itself.
        if (p != pEnd && *p == U'*') {
            starP = ++p;
            starS = s;
        } else if (p != pEnd && (*p == U'?' || *p == *s)) {
            ++p, ++s;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p != pEnd && *p == U'*') ++p;
    return p == pEnd;
}

}  // namespace

Wildcard::Wildcard(std::string_view patterns) {
    for (const std::string& part : split(patterns, ';')) {
        std::string_view p = trimBlanks(part);
        if (p.empty()) continue;
        if (p == "*.*" || p == "*") all_ = true;
        patterns_.push_back(foldedChars(p));
    }
    if (patterns_.empty()) all_ = true;  // an empty pattern lists every file
}

bool Wildcard::matches(std::string_view name) const {
    if (all_) return true;
    std::u32string s = foldedChars(name);
    for (const auto& p : patterns_) {
        if (match(p.data(), p.data() + p.size(), s.data(), s.data() + s.size())) return true;
    }
    return false;
}

}  // namespace tabulo
