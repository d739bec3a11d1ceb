#include "icons/IconOptions.h"

#include <cmath>

#include "host/Host.h"
#include "common/Text.h"
#include "common/ReadFile.h"
#include "options/Options.h"
#include "options/Panel.h"

namespace tabulo {

namespace {

constexpr OptionId kTemplates[] = {opt("txtIcohref"), opt("txtIcohrefDl"), opt("txtIconsLocal")};

void replaceInTemplates(Options& options, std::string_view from, std::string_view to) {
    for (OptionId id : kTemplates) options.setText(id, replaceAll(options.text(id), from, to));
}

}  // namespace

std::string shortestNumber(double value) {
    // Whole numbers in plain digits; the range test comes first, as only those fit the cast.
    if (value > -1e15 && value < 1e15 && value == std::trunc(value)) {
        return std::to_string(static_cast<long long>(value));
    }
    return shortestText(value);
}

void BuildIconSizeAttributes(Options& o, Panel& panel,
                             const std::function<void()>& refreshPreview) {
    replaceInTemplates(o, "#32", "#");
    bool large = o.on(opt("chkIcons32"));
    panel.setEnabled("scrIconsSize", large);
    panel.setEnabled("txtIcons32", large);
    if (!large) {
        o.setText(opt("lblIconsWidth"), "height=\"16\" width=\"16\" border=\"0\" ");
    } else {
        const std::string& size = o.text(opt("txtIcons32"));
        auto x = size.find('x');
        std::string w = size.substr(0, x);
        std::string h = x == std::string::npos ? "" : size.substr(x + 1);
        h = h.substr(0, h.find('x'));
        std::string attributes;
        // A size too large for a number at all is left out, like none.
        if (double width = val(w); width != 0 && std::isfinite(width))
            attributes += "width=\"" + shortestNumber(width) + "\" ";
        if (double height = val(h); height != 0 && std::isfinite(height))
            attributes += "height=\"" + shortestNumber(height) + "\" ";
        o.setText(opt("lblIconsWidth"), attributes + "border=\"0\" ");
        replaceInTemplates(o, "#", "#32");
    }
    refreshPreview();
}

void IconSizeTextChanged(Options& o, Panel& panel, const std::function<void()>& refreshPreview) {
    const std::string size = o.text(opt("txtIcons32"));
    if (!contains(size, "x")) {
        o.setText(opt("txtIcons32"), size + "x");  // runs this rule again, with its "x"
    } else {
        BuildIconSizeAttributes(o, panel, refreshPreview);
    }
    refreshPreview();
}

void IconSizeSliderChanged(Options& o) {
    int n = (33 - o.check(opt("scrIconsSize"))) * 8;
    o.setText(opt("txtIcons32"), std::to_string(n) + "x" + std::to_string(n));
}

void LocalIconRootFromFolderList(Options& o, const std::string& folderList) {
    const std::string& root = o.text(opt("lblWWWroot"));
    if (o.selected(opt("optIconsLocal")) && (root.empty() || contains(root, "?")))
        o.setText(opt("lblWWWroot"), folderList);
}

void IconsDynamicChanged(Options& o) {
    std::string file = o.on(opt("chkIcons32")) ? "#32.gif" : "#.gif";
    std::string script = o.on(opt("chkIcons32")) ? "ico.cgi?ico=#32" : "ico.cgi?ico=#";
    const std::string& href = o.text(opt("txtIcohref"));
    o.setText(opt("txtIcohref"), o.on(opt("chkIconsDynamic")) ? replaceAll(href, file, script)
                                                              : replaceAll(href, script, file));
}

void ChooseLocalIconFolder(Options& o, Host& host) {
    o.setEditedMark("*");
    const std::string root = o.text(opt("lblWWWroot"));
    std::string icons = root + "/" + replaceAll(o.text(opt("txtIconsLocal")), "#.gif", "");
    auto answer = host.chooseFolder(holdsAFile(icons) ? icons : root);
    if (!answer || answer->empty() || *answer == "?") return;
    if (!contains(*answer, root)) {
        host.ask("Selected path is outside wwwroot!", "Tabulo", Buttons::Ok);
        return;
    }
    std::string relative = replaceAll(*answer, root, "") + "/#.gif";
    o.setText(opt("txtIconsLocal"), relative.substr(1));
}

}  // namespace tabulo
