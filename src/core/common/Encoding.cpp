#include "common/Encoding.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tabulo {

namespace {

// windows-1252 bytes 0x80..0x9F; the five undefined ones map to the C1 control of that value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The end of the run of ASCII bytes that starts at `i`, eight bytes at a time: names and
// markup are mostly ASCII.
std::size_t asciiRunEnd(std::string_view s, std::size_t i) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    for (std::uint64_t word = 0; i + sizeof word <= s.size(); i += sizeof word) {
        std::memcpy(&word, s.data() + i, sizeof word);
        if ((word & kHighBits) != 0) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

}  // namespace

std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isValidUtf8(std::string_view s) {
    char32_t cp;
    for (std::size_t i = asciiRunEnd(s, 0); i < s.size(); i = asciiRunEnd(s, i)) {
        std::size_t n = decodeUtf8(s, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string toUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        appendUtf8(out, cp1252Char(static_cast<unsigned char>(c)));
    }
    return out;
}

char32_t cp1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

int cp1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
    }
    return -1;
}

bool fitsCp1252(std::string_view utf8) {
    char32_t cp;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) return false;
        if (cp1252Byte(cp) < 0) return false;
        i += n;
    }
    return true;
}

std::string readTextFile(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (ok) *ok = in.is_open() && !in.bad();
    return toUtf8(buffer.str());
}

std::string toCp1252(std::string_view utf8, Unmappable policy) {
    std::string out;
    out.reserve(utf8.size());
    appendCp1252(out, utf8, policy);
    return out;
}

void appendCp1252(std::string& out, std::string_view utf8, Unmappable policy) {
    if (policy == Unmappable::KeepUtf8) {
        out.append(utf8);
        return;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        // Pages are mostly ASCII: copy such runs whole.
        std::size_t run = asciiRunEnd(utf8, i);
        if (run > i) {
            out.append(utf8.data() + i, run - i);
            i = run;
            continue;
        }
        char32_t cp;
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) {
            out += utf8[i++];
            continue;
        }
        i += n;
        int mapped = cp1252Byte(cp);
        if (mapped >= 0) {
            out += static_cast<char>(mapped);
        } else if (policy == Unmappable::HtmlReference) {
            out += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
        } else {
            out += '?';
        }
    }
}

}  // namespace tabulo
