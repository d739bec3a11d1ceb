#include "common/NaturalOrder.h"

#include "common/CaseFold.h"
#include "common/Encoding.h"

namespace tabulo {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One step through a name: a run of digits or a single character.
struct Token {
    bool number = false;
    std::string_view digits;  // without the leading zeros
    std::size_t zeros = 0;
    char32_t ch = 0;  // folded
};

Token next(std::string_view s, std::size_t& i) {
    Token t;
    if (isDigit(s[i])) {
        t.number = true;
        std::size_t start = i;
        while (i < s.size() && s[i] == '0') ++i;
        std::size_t significant = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        // All zeros: the value 0 is one digit long, the rest are its leading zeros.
        if (significant == i) --significant;
        t.zeros = significant - start;
        t.digits = s.substr(significant, i - significant);
        return t;
    }
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        t.ch = b >= 'A' && b <= 'Z' ? b + 32 : b;
        ++i;
        return t;
    }
    char32_t cp;
    std::size_t n = decodeUtf8(s, i, cp);
    if (n == 0) {
        cp = cp1252Char(b);
        n = 1;
    }
    t.ch = foldChar(cp);
    i += n;
    return t;
}

// Characters below '0' sort before numbers, all others after them, as their digits would.
int rank(const Token& t) {
    if (t.number) return 1;
    return t.ch < '0' ? 0 : 2;
}

int compareTokens(const Token& x, const Token& y) {
    if (int r = rank(x) - rank(y)) return r;
    if (!x.number) return x.ch < y.ch ? -1 : x.ch > y.ch ? 1 : 0;
    if (x.digits.size() != y.digits.size()) return x.digits.size() < y.digits.size() ? -1 : 1;
    int c = x.digits.compare(y.digits);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int compareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    int zeros = 0;  // the first difference in leading zeros, used only on a tie
    while (i < a.size() && j < b.size()) {
        Token x = next(a, i);
        Token y = next(b, j);
        if (int c = compareTokens(x, y)) return c;
        if (zeros == 0 && x.zeros != y.zeros) zeros = x.zeros < y.zeros ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    if (zeros) return zeros;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace tabulo
