// The .color line format: what a theme file holds, in the order it holds it.
#include <string>

#include "common/Text.h"
#include "options/Options.h"
#include "themes/Themes.h"

namespace tabulo {

namespace {

// The section heads, each written with an empty line before it, before these options.
const char* sectionBefore(std::string_view option) {
    static const std::pair<std::string_view, const char*> heads[] = {
        {"chkColor", "[color panel]"},
        {"chkIcons", "[icons panel]"},
        {"chkCenter", "[text panel]"},
        {"chkHeader", "[header / Footer]"},
        {"optProtocolCustom", "[protocol/daemon]"},
        {"chkCaptureDesc", "[files panel]"},
        {"optAllInOneFile", "[paths panel]"},
        {"chkUpload", "[misc panel]"},
        {"chkAbout", "[about panel]"},
        {"optPageClassic", "[page style]"},
    };
    for (const auto& [name, head] : heads) {
        if (name == option) return head;
    }
    return nullptr;
}

// Whether a member of the option's group is chosen.
bool groupChosen(const OptionValues& o, OptionId id) {
    for (OptionId m = 0; m < kOptionTable.size(); ++m) {
        const OptionDef& d = kOptionTable[m];
        if (d.group != Options::def(id).group) continue;
        if (d.kind == OptionKind::Indexed ? o.selectedIndex(m) >= 0 : o.selected(m)) return true;
    }
    return false;
}

}  // namespace

std::string ThemeKey(OptionId id) {
    const OptionDef& d = Options::def(id);
    if (d.name == "chkWindowsStyle") return "ChkWindowsStyle.Value=";
    switch (d.kind) {
        case OptionKind::Check:
        case OptionKind::Option:
            return std::string(d.name) + ".Value=";
        case OptionKind::Text:
            return std::string(d.name) + ".Text=";
        case OptionKind::Caption:
        case OptionKind::Panel:
            return std::string(d.name) + ".Caption=";
        case OptionKind::Tab:
            return std::string(d.name) + ".Tab=";
        case OptionKind::List:
            return std::string(d.name) + ".List=";
        default:
            return std::string(d.name) + "=";
    }
}

std::string ThemeText(const OptionValues& o, std::string_view name) {
    // A line break in the name would start a line of its own.
    std::string title = replaceAll(replaceAll(name, "\r", " "), "\n", " ");
    std::string out = "[" + title + " sheme settings]\r\n";
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        const OptionDef& d = Options::def(id);
        if (!d.stored) continue;
        if (const char* head = sectionBefore(d.name)) {
            if (!out.ends_with("\r\n")) out += "\r\n";  // the colour line has no line end
            out += "\r\n" + std::string(head) + "\r\n";
        }
        std::string key = ThemeKey(id);
        switch (d.kind) {
            case OptionKind::Indexed:
                if (o.selectedIndex(id) >= 0) {
                    out += key + std::to_string(o.selectedIndex(id)) + "\r\n";
                } else if (!groupChosen(o, id)) {
                    // Said outright: else a load would keep whichever member was chosen before.
                    out += key + "-1\r\n";
                }
                break;
            case OptionKind::List:
                for (const auto& entry : o.list(id)) out += key + entry + "\r\n";
                break;
            case OptionKind::Panel:
                // Loading toggles the panel once, so the opposite of what shows is stored.
                out += key + (o.text(id).ends_with("<") ? ">" : "<") + "\r\n";
                break;
            case OptionKind::Colours:
                out += key;
                for (int slot = 0; slot < 9; ++slot) out += "&" + o.colour(slot);
                break;
            case OptionKind::Text:
            case OptionKind::Caption:
                out += key + crlfLineBreaks(o.text(id)) + "\r\n";
                break;
            default:
                out += key + o.valueText(id) + "\r\n";
        }
    }
    // As older files: no line end after the last line.
    if (out.ends_with("\r\n")) out.resize(out.size() - 2);
    return out;
}

}  // namespace tabulo
