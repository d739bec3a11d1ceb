#include "icons/IconOptions.h"

#include <cmath>

#include "Engine.h"
#include "common/Text.h"
#include "common/TextFile.h"

namespace tabulo {

namespace {

constexpr OptionId kTemplates[] = {opt("txtIcohref"), opt("txtIcohrefDl"), opt("txtIconsLocal")};

void replaceInTemplates(Engine& engine, std::string_view from, std::string_view to) {
    for (OptionId id : kTemplates)
        engine.options().setText(id, replaceAll(engine.options().text(id), from, to));
}

}  // namespace

std::string shortestNumber(double value) {
    // Whole numbers in plain digits; the range test comes first, as only those fit the cast.
    if (value > -1e15 && value < 1e15 && value == std::trunc(value)) {
        return std::to_string(static_cast<long long>(value));
    }
    return shortestText(value);
}

void BuildIconSizeAttributes(Engine& engine) {
    Options& o = engine.options();
    replaceInTemplates(engine, "#32", "#");
    bool large = o.on(opt("chkIcons32"));
    engine.panel().setEnabled("scrIconsSize", large);
    engine.panel().setEnabled("txtIcons32", large);
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
        replaceInTemplates(engine, "#", "#32");
    }
    engine.cmdPreView_Click();
}

void IconSizeTextChanged(Engine& engine) {
    Options& o = engine.options();
    const std::string size = o.text(opt("txtIcons32"));
    if (!contains(size, "x")) {
        o.setText(opt("txtIcons32"), size + "x");  // runs this rule again, with its "x"
    } else {
        BuildIconSizeAttributes(engine);
    }
    engine.cmdPreView_Click();
}

void IconSizeSliderChanged(Engine& engine) {
    int n = (33 - engine.options().check(opt("scrIconsSize"))) * 8;
    engine.options().setText(opt("txtIcons32"), std::to_string(n) + "x" + std::to_string(n));
}

void LocalIconRootFromFolderList(Engine& engine) {
    Options& o = engine.options();
    const std::string& root = o.text(opt("lblWWWroot"));
    if (o.selected(opt("optIconsLocal")) && (root.empty() || contains(root, "?")))
        o.setText(opt("lblWWWroot"), engine.currentFolder());
}

void IconsDynamicChanged(Engine& engine) {
    Options& o = engine.options();
    std::string file = o.on(opt("chkIcons32")) ? "#32.gif" : "#.gif";
    std::string script = o.on(opt("chkIcons32")) ? "ico.cgi?ico=#32" : "ico.cgi?ico=#";
    const std::string& href = o.text(opt("txtIcohref"));
    o.setText(opt("txtIcohref"), o.on(opt("chkIconsDynamic")) ? replaceAll(href, file, script)
                                                              : replaceAll(href, script, file));
}

void ChooseLocalIconFolder(Engine& engine) {
    Options& o = engine.options();
    o.setEditedMark("*");
    const std::string root = o.text(opt("lblWWWroot"));
    std::string icons = root + "/" + replaceAll(o.text(opt("txtIconsLocal")), "#.gif", "");
    auto answer = engine.host().chooseFolder(holdsAFile(icons) ? icons : root);
    if (!answer || answer->empty() || *answer == "?") return;
    if (!contains(*answer, root)) {
        engine.host().ask("Selected path is outside wwwroot!", "Tabulo", Buttons::Ok);
        return;
    }
    std::string relative = replaceAll(*answer, root, "") + "/#.gif";
    o.setText(opt("txtIconsLocal"), relative.substr(1));
}

}  // namespace tabulo
