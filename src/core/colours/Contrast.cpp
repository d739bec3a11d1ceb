#include "colours/Contrast.h"

#include <algorithm>
#include <cmath>

namespace tabulo {

double RelativeLuminance(Rgb colour) {
    auto linear = [](unsigned byte) {
        double c = byte / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour >> 16 & 0xFF) + 0.7152 * linear(colour >> 8 & 0xFF) +
           0.0722 * linear(colour & 0xFF);
}

double ContrastRatio(Rgb a, Rgb b) {
    double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace tabulo
