#include "preview/Preview.h"

#include <cmath>

#include "common/Text.h"
#include "options/Options.h"

namespace tabulo {

namespace {

// The preview area: right of the file lists, above the options tabs.
constexpr int kLeft = 4080, kTop = 360, kWidth = 3000, kHeight = 3480;
constexpr int kIconScale = 10;  // twips of preview per pixel of icon size
constexpr Rgb kGrey = 0x808080, kBlue = 0x0000FF;

// A size in twips of the preview, held to what the preview can show (either sign), so any
// typed number fits an int.
int twips(double value, int limit) {
    return wholeWithin(value, -limit, limit);
}

void place(Mark& m, int left, int top, int width, int height) {
    m.left = kLeft + left;
    m.top = kTop + top;
    m.width = width;
    m.height = height;
}

}  // namespace

PreviewModel ComputePreview(const Options& o) {
    PreviewModel p;
    auto slot = [&](int i) -> const std::string& { return o.colour(i); };
    auto on = [&](std::string_view name) { return o.check(Options::find(name).value()) == 1; };

    place(p.page, 0, 0, kWidth, kHeight);
    place(p.windows, 0, 0, kWidth, 240);
    place(p.outerTable, 240, 1320, 2520, 1440);
    place(p.properties, 300, 1380, 2400, 300);
    place(p.files, 300, 1740, 2400, 960);
    place(p.iconDirs, 360, 1440, 180, 180);
    place(p.iconFiles, 360, 1800, 180, 180);
    place(p.desc, 240, 900, 2520, 360);
    place(p.upload1, 240, 2880, 1560, 240);
    place(p.upload2, 1920, 2880, 840, 240);
    place(p.w3cHtml, 240, 3180, 880, 240);
    place(p.w3cCss, 1200, 3180, 880, 240);
    place(p.plainText, 240, 1320, 2520, 1440);
    p.headingLeft = kLeft + 240;
    p.headingTop = kTop + 300;

    p.heading = o.text(opt("txtHeading"));
    p.plainText.visible = false;
    p.files.opaque = true;
    p.w3cHtml.visible = p.w3cCss.visible = on("chkW3c");
    p.page.opaque = true;
    p.page.back = SlotColour(slot(0));

    Mark& table = p.outerTable;
    if (on("chkBorder")) {
        int width = twips(std::round(val(o.text(opt("txtBorder")))), kWidth);
        table.border = width == 0 ? LineStyle::None : LineStyle::Solid;
        table.borderWidth = width;
    } else {
        table.borderWidth = 1;
    }
    table.borderColour = slot(3).empty() ? kGrey : SlotColour(slot(3));
    p.files.patterned = true;
    p.files.fill = slot(5).empty() ? kBlue : SlotColour(slot(5));
    if (slot(0).empty()) {
        table.opaque = false;
    } else {
        table.back = SlotColour(slot(0));
        table.opaque = true;
    }
    if (!slot(1).empty()) table.back = SlotColour(slot(1));
    for (Mark* m : {&p.windows, &p.properties}) {
        m->borderColour = table.borderColour;
        m->border = table.border;
    }
    p.files.back = slot(2).empty() ? table.back : SlotColour(slot(2));
    if (slot(2).empty()) {
        p.properties.opaque = false;
    } else {
        p.properties.back = SlotColour(slot(2));
        p.properties.opaque = true;
    }
    if (!slot(4).empty()) {
        p.properties.patterned = true;
        p.properties.fill = SlotColour(slot(4));
    }
    p.headingVisible = on("chkHeading");

    if (on("chkBackground")) {
        place(p.pic, 60, 60, kWidth - 120, kHeight - 120);
    } else if (on("chkThumb")) {
        place(p.pic, 2280, 300, 480, 300);
        p.pic.opaque = true;
        p.pic.back = kGrey;
    } else {
        place(p.pic, 1680, 300, 1080, 540);
    }
    p.pic.visible = on("chkGlobalPicture") || on("chkCaptureSnap");

    p.iconDirs.visible = p.iconFiles.visible = on("chkIcons");
    if (on("chkIcons32")) {
        const std::string& size = o.text(opt("txtIcons32"));
        auto x = size.find('x');
        int w = twips(val(size.substr(0, x)) * kIconScale, kWidth);
        int h = x == std::string::npos ? 0 : twips(val(size.substr(x + 1)) * kIconScale, kHeight);
        p.iconDirs.width = p.iconFiles.width = w;
        p.iconDirs.height = h;
    }
    p.desc.visible = on("chkGlobalDesc") || on("chkCaptureDesc");
    p.desc.opaque = false;
    p.desc.border = LineStyle::DashDotDot;
    p.windows.visible = on("chkWindowsStyle");
    p.upload1.visible = p.upload2.visible = on("chkUpload");
    if (!on("chkColor")) {
        table.opaque = p.properties.opaque = p.files.opaque = false;
        p.properties.patterned = p.files.patterned = false;
    }
    return p;
}

}  // namespace tabulo
