#include "common/CaseFold.h"

#include <algorithm>

#include "common/Encoding.h"

namespace tabulo {

namespace {

bool evenIn(char32_t cp, char32_t first, char32_t last) {
    return cp >= first && cp <= last && (cp - first) % 2 == 0;
}

}  // namespace

char32_t foldChar(char32_t cp) {
    if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    if (cp == 0xB5) return 0x3BC;
    if (cp < 0x100) return cp;
    if (evenIn(cp, 0x100, 0x12E) || evenIn(cp, 0x132, 0x136) || evenIn(cp, 0x14A, 0x176)) {
        return cp + 1;
    }
    if ((cp >= 0x139 && cp <= 0x147 && cp % 2 == 1) ||
        (cp >= 0x179 && cp <= 0x17D && cp % 2 == 1)) {
        return cp + 1;
    }
    if (cp == 0x178) return 0xFF;
    if (cp == 0x17F) return 's';
    if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 32;
    if (cp == 0x386) return 0x3AC;
    if (cp >= 0x388 && cp <= 0x38A) return cp + 37;
    if (cp == 0x38C) return 0x3CC;
    if (cp == 0x38E || cp == 0x38F) return cp + 63;
    if (cp == 0x3C2) return 0x3C3;
    if (cp >= 0x410 && cp <= 0x42F) return cp + 32;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
    if (evenIn(cp, 0x460, 0x480) || evenIn(cp, 0x48A, 0x4BE)) return cp + 1;
    if (cp >= 0x531 && cp <= 0x556) return cp + 48;
    if (evenIn(cp, 0x1E00, 0x1E94) || evenIn(cp, 0x1EA0, 0x1EFE)) return cp + 1;
    if (cp >= 0xFF21 && cp <= 0xFF3A) return cp + 32;
    return cp;
}

std::string foldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        char32_t cp;
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) {
            out += utf8[i++];
            continue;
        }
        appendUtf8(out, foldChar(cp));
        i += n;
    }
    return out;
}

namespace {

// The bytes foldCase gives, a few at a time: sorting a million names must not copy them.
class FoldedBytes {
  public:
    explicit FoldedBytes(std::string_view s) : s_(s) {}
    // The next byte, or -1 at the end.
    int next() {
        if (at_ < len_) return static_cast<unsigned char>(buf_[at_++]);
        if (i_ >= s_.size()) return -1;
        auto b = static_cast<unsigned char>(s_[i_]);
        if (b < 0x80) {
            ++i_;
            return b >= 'A' && b <= 'Z' ? b + 32 : b;
        }
        char32_t cp;
        std::size_t n = decodeUtf8(s_, i_, cp);
        if (n == 0) {
            ++i_;
            return b;
        }
        i_ += n;
        std::string out;
        appendUtf8(out, foldChar(cp));
        len_ = out.size();
        for (std::size_t k = 0; k < len_; ++k) buf_[k] = out[k];
        at_ = 1;
        return static_cast<unsigned char>(buf_[0]);
    }

  private:
    std::string_view s_;
    std::size_t i_ = 0;
    char buf_[4] = {};
    std::size_t len_ = 0, at_ = 0;
};

}  // namespace

int compareFolded(std::string_view a, std::string_view b) {
    // Most names are ASCII: fold and compare byte by byte until the first byte that is not.
    std::size_t i = 0, n = std::min(a.size(), b.size());
    for (; i < n; ++i) {
        auto p = static_cast<unsigned char>(a[i]), q = static_cast<unsigned char>(b[i]);
        if ((p | q) >= 0x80) break;
        if (p != q) {
            p = p >= 'A' && p <= 'Z' ? p + 32 : p;
            q = q >= 'A' && q <= 'Z' ? q + 32 : q;
            if (p != q) return p < q ? -1 : 1;
        }
    }
    if (i == n && a.size() == b.size()) return 0;
    if (i == n) return a.size() < b.size() ? -1 : 1;
    FoldedBytes x(a.substr(i)), y(b.substr(i));
    for (;;) {
        int p = x.next(), q = y.next();
        if (p != q) return p < q ? -1 : 1;
        if (p < 0) return 0;
    }
}

}  // namespace tabulo
