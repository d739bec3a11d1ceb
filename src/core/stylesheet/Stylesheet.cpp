#include "stylesheet/Stylesheet.h"

#include <system_error>

#include "common/TextFile.h"

namespace tabulo {

std::string StylesheetRules(const OptionValues& o) {
    return "body {background:#" + o.colour(0) + ";}\r\n" +
           "table {border:" + o.text(opt("txtBorder")) + "px solid #" + o.colour(3) +
           "; background:#" + o.colour(1) + ";}\r\n" +
           "td {border:1px solid black; font-family:" + o.text(opt("txtFont")) +
           "; font-size:" + o.text(opt("txtFontSize")) + "px; background:#" + o.colour(2) +
           "; color:#" + o.colour(4) + ";}\r\n" + "a {color:#" + o.colour(5) + ";}\r\n" +
           "a:visited {color:#" + o.colour(6) + ";}\r\n";
}

void WriteStylesheetFile(const OptionValues& o, const std::string& folder, const std::string& tree,
                         Host& host, StatusSink& sink) {
    const std::string& name = o.text(opt("txtIndexCss"));
    if (folder.empty()) {
        // Never at the file-system root because a caption was empty.
        sink.error("Error writing : `" + name + "`: no output folder chosen.");
        return;
    }
    std::string target = folder + "/" + name;
    // The same rules again are neither asked about nor written.
    const std::string text = toCp1252(StylesheetRules(o), Unmappable::Question);
    std::error_code ec;
    bool unchanged = readRegularFile(target, ec) == text;
    if (!unchanged && !o.on(opt("chkReplaceOlda")) && pathExists(target)) {
        if (host.ask("Overwrite : '" + target + "' ?", "Tabulo", Buttons::YesNo) != Answer::Yes)
            return;
    }
    sink.status("Writing : `" + name + "`");
    try {
        if (!unchanged) {
            TextFile file(target, Unmappable::Question, {tree, true});
            file.writeRaw(text);
            file.commit();
        }
    } catch (const std::system_error& e) {
        sink.error("Error writing : `" + target + "`: " + e.code().message() + ".");
        return;
    }
    sink.status("Done writing : `" + name + "`");
}

}  // namespace tabulo
