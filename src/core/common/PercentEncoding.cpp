#include "common/PercentEncoding.h"

namespace tabulo {

std::string percentEncode(std::string_view bytes, const ByteSet& keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (keep.holds(b)) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

}  // namespace tabulo
