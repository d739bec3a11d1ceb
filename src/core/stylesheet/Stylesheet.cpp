#include "stylesheet/Stylesheet.h"

#include <system_error>

#include "Engine.h"
#include "common/TextFile.h"

namespace tabulo {

void WriteStylesheetRules(Engine& engine) {
    const Options& o = engine.options();
    TextFile& out = *engine.run().outputFile;
    out.writeLine("body {background:#" + o.colour(0) + ";}");
    out.writeLine("table {border:" + o.text(opt("txtBorder")) + "px solid #" + o.colour(3) +
                  "; background:#" + o.colour(1) + ";}");
    out.writeLine("td {border:1px solid black; font-family:" + o.text(opt("txtFont")) +
                  "; font-size:" + o.text(opt("txtFontSize")) + "px; background:#" + o.colour(2) +
                  "; color:#" + o.colour(4) + ";}");
    out.writeLine("a {color:#" + o.colour(5) + ";}");
    out.writeLine("a:visited {color:#" + o.colour(6) + ";}");
}

void WriteStylesheetFile(Engine& engine) {
    const Options& o = engine.options();
    bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    std::string folder = allInOne ? o.text(opt("lblAllInOneFolder")) : engine.currentFolder();
    const std::string& name = o.text(opt("txtIndexCss"));
    if (folder.empty()) {
        // Never at the file-system root because a caption was empty.
        engine.setStatus("Error writing : `" + name + "`: no output folder chosen.");
        return;
    }
    std::string target = folder + "/" + name;
    if (!o.on(opt("chkReplaceOlda")) && pathExists(target)) {
        if (engine.host().ask("Overwrite : '" + target + "' ?", "Tabulo", Buttons::YesNo) !=
            Answer::Yes) {
            return;
        }
    }
    engine.setStatus("Writing : `" + name + "`");
    try {
        TextFile file(target, Unmappable::Question, {engine.run().tree, true});
        engine.run().outputFile = &file;
        WriteStylesheetRules(engine);
        engine.run().outputFile = nullptr;
        file.commit();
    } catch (const std::system_error& e) {
        engine.run().outputFile = nullptr;
        engine.setStatus("Error writing : `" + target + "`: " + e.code().message() + ".");
        return;
    }
    engine.setStatus("Done writing : `" + name + "`");
}

}  // namespace tabulo
