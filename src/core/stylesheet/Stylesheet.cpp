#include "stylesheet/Stylesheet.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "common/ReadFile.h"
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

void WriteStylesheetFile(const OptionValues& o, const StylesheetPlace& place, Host& host,
                         StatusSink& sink) {
    const std::string& name = o.text(opt("txtIndexCss"));
    const std::string target = place.shown + "/" + name;
    // The same rules again are neither asked about nor written.
    const std::string text = toCp1252(StylesheetRules(o), Unmappable::Question);
    std::error_code ec;
    bool unchanged = readRegularFileAt(place.folder, name, ec, text.size()) == text;
    struct stat st;
    bool present = ::fstatat(place.folder, name.c_str(), &st, 0) == 0;
    if (!unchanged && !o.on(opt("chkReplaceOlda")) && present && !place.unattended) {
        if (host.ask("Overwrite : '" + target + "' ?", "Tabulo", Buttons::YesNo) != Answer::Yes)
            return;
    }
    sink.status("Writing : `" + name + "`");
    try {
        if (!unchanged) {
            TextFile file(place.folder, name, target, Unmappable::Question, {place.tree, true});
            file.writeRaw(text);
            file.commit();
        }
    } catch (const std::system_error& e) {
        sink.error("Error writing : `" + target + "`: " + e.code().message() + ".");
        return;
    }
    sink.status("Done writing : `" + name + "`");
}

void WriteStylesheetFile(const OptionValues& o, const std::string& folder, Host& host,
                         StatusSink& sink) {
    if (folder.empty()) {
        // Never at the file-system root because a caption was empty.
        sink.error("Error writing : `" + o.text(opt("txtIndexCss")) + "`: no output folder chosen.");
        return;
    }
    Descriptor open(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!open) {
        sink.error("Error writing : `" + folder + "/" + o.text(opt("txtIndexCss")) + "`: " +
                   std::generic_category().message(errno) + ".");
        return;
    }
    WriteStylesheetFile(o, {open.get(), folder, idOf(open.get())}, host, sink);
}

}  // namespace tabulo
