#pragma once

#include <cstdint>
#include <string>

#include "colours/ColourEditor.h"

namespace tabulo {

class Options;

enum class LineStyle { None, Solid, DashDotDot };

// One mark of the schematic page: a rectangle with a background (when opaque), an optional
// pattern colour and an outline. Positions are twips of the main window.
struct Mark {
    bool visible = true;
    bool opaque = false;
    Rgb back = kWhite;
    bool patterned = false;  // drawn with lines of `fill` over the background
    Rgb fill = kBlack;
    LineStyle border = LineStyle::Solid;
    int borderWidth = 1;
    Rgb borderColour = kBlack;
    int left = 0, top = 0, width = 0, height = 0;
};

// The schematic of the page the options would give.
struct PreviewModel {
    Mark page, outerTable, files, properties, windows, iconDirs, iconFiles, pic, desc, upload1,
        upload2, w3cHtml, w3cCss, plainText;
    std::string heading;
    bool headingVisible = true;
    int headingLeft = 0, headingTop = 0;
};

// Recomputes every mark from the options; nothing is kept between refreshes.
PreviewModel ComputePreview(const Options& options);

}  // namespace tabulo
