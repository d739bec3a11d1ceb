#pragma once

#include "colours/ColourEditor.h"

namespace tabulo {

// What WCAG 2 asks of text of ordinary size against what lies behind it (level AA).
inline constexpr double kTextContrast = 4.5;

// The relative luminance of an sRGB colour, as WCAG 2 defines it: 0 for black, 1 for white.
double RelativeLuminance(Rgb colour);
// How far two colours stand apart as WCAG 2 measures it, from 1 (the same) to 21 (black and
// white); the order of the two does not matter.
double ContrastRatio(Rgb a, Rgb b);

}  // namespace tabulo
