#include "scripts/ServerScripts.h"

#include <system_error>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "generator/ListingHelpers.h"
#include "generator/PageFooter.h"

namespace tabulo {

namespace {

// A typed value inside a Perl double-quoted string: it stays text, never code.
std::string perl(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"' || c == '$' || c == '@') out += '\\';
        out += c;
    }
    return out;
}

// Percent-encoding of everything but unreserved characters, as the scripts do at run time.
constexpr const char* kPerlUrlEncode = R"(s/([^A-Za-z0-9\-._~])/sprintf("%%%02X", ord($1))/ge)";
constexpr const char* kPerlHtmlEscape =
    R"(s/&/&amp;/g; $h =~ s/</&lt;/g; $h =~ s/>/&gt;/g; $h =~ s/"/&quot;/g)";

struct ScriptValues {
    std::string upPrefix;
    std::string iconTemplate;
};

ScriptValues prepare(Engine& engine) {
    const Options& o = engine.options();
    ScriptValues v;
    int steps = CountPathSeparators(engine.currentFolder()) - engine.run().rootDepth - 1;
    for (int i = 0; i < steps; ++i) v.upPrefix += "../";
    std::string address = o.selected(opt("optIconsLocal"))
                              ? v.upPrefix + o.text(opt("txtIconsLocal"))
                              : o.text(opt("txtIcohref"));
    v.iconTemplate =
        "<img " + o.text(opt("lblIconsWidth")) + " alt=\"#\" src=\"" + address + "\"> ";
    return v;
}

std::string headerComment() {
    return "# This script was dynamicaly created by  <a href=\"" + std::string(kUpdatePage) +
           "\"> tabulo</a>";
}

std::string aboutLine(Engine& engine) {
    const Options& o = engine.options();
    std::string line = "print \"<p align=\\\"center\\\"><i><font size=\\\"2\\\">";
    if (o.on(opt("chkAboutGenWith"))) {
        line += "Genererated with <a href=\\\"" + std::string(kUpdatePage) +
                "?v=" + perl(o.text(opt("lblVersion"))) + "\\\"> tabulo</a>";
    }
    if (o.on(opt("chkAboutCredits"))) {
        line += " by <a href=\\\"" + perl(URLEncode(o, o.text(opt("txtAboutLink")))) + "\\\">" +
                perl(o.text(opt("txtAboutNick"))) + "</a>";
    }
    if (o.on(opt("chkAboutDate"))) line += " on " + TodayText(engine);
    return line + "</font></i></p>\"; ";
}

}  // namespace

std::string PerlPatternOf(std::string_view filter) {
    std::string alternatives;
    for (const std::string& part : split(filter, ';')) {
        std::string p = part;
        while (!p.empty() && p.front() == ' ') p.erase(0, 1);
        while (!p.empty() && p.back() == ' ') p.pop_back();
        if (p.empty()) continue;
        if (p == "*.*" || p == "*") return ".*";
        std::string re;
        for (char c : p) {
            if (c == '*') {
                re += ".*";
            } else if (c == '?') {
                re += '.';
            } else if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       static_cast<unsigned char>(c) >= 0x80) {
                re += c;
            } else {
                re += std::string("\\") + c;
            }
        }
        alternatives += (alternatives.empty() ? "" : "|") + re;
    }
    return alternatives.empty() ? ".*" : alternatives;
}

std::vector<std::string> IndexScriptLines(Engine& engine) {
    const Options& o = engine.options();
    if (o.selected(opt("optPhp"))) {
        return {"<? print \"php indexing code not implemented yet\";",
                "print \"<br>Please visit <a href='" + std::string(kUpdatePage) +
                    "'> tabulo</a> for updates.\"; ?>"};
    }
    ScriptValues v = prepare(engine);
    const std::string dir = perl(o.text(opt("txtUploadDirectory")));
    std::vector<std::string> l = {
        "#!/usr/bin/perl",
        headerComment(),
        "# If you can read this then chmod 755 " + o.text(opt("txtIndexScript")),
        "# and do have perl on server side please.",
        "$dirname = '" +
            replaceAll(replaceAll(o.text(opt("txtUploadDirectory")), "\\", "\\\\"), "'", "\\'") +
            "/';",
        " opendir( HDir, $dirname ) || die \"Can\\'t open directory $dirname.\\n\"; ",
    };
    // "." and ".." are no entries; with the filter on, only the names it matches, bare.
    std::string keep =
        o.check(opt("chkCgiFilter")) == 0
            ? "!/^\\.\\.?$/"
            : "!/^\\.\\.?$/ && /^(?:" + PerlPatternOf(o.text(opt("txtFilter"))) + ")$/is";
    l.push_back(" @entries = grep( " + keep + ", readdir( HDir ) );");
    l.push_back(" closedir HDir;");
    l.push_back(" @srtd=sort @entries;");
    l.push_back("print \"Content-type: text/html\\n\\n\"; ");
    l.push_back("print \"<HTML><HEAD><TITLE>" + dir + "</TITLE>\\n\"; ");
    if (o.on(opt("chkCss"))) {
        l.push_back("print \"<link rel=\\\"stylesheet\\\" href=\\\"" +
                    perl(v.upPrefix + o.text(opt("txtIndexCss"))) + "\\\">\";");
    }
    l.push_back("print \"</HEAD><BODY>\";");
    bool center = o.on(opt("chkCenter"));
    if (o.on(opt("chkHeading"))) {
        l.push_back("print \"<H1" + std::string(center ? " align =\\\"center\\\"" : "") + ">" +
                    dir + "</H1>\\n\"; ");
    }
    std::string table = center ? "print \"<center><table " : "print \"<table ";
    if (o.on(opt("chkBorder"))) table += "border=\\\"" + perl(o.text(opt("txtBorder"))) + "\\\" ";
    if (o.on(opt("chkCellSpace")))
        table += "cellspacing=\\\"" + perl(o.text(opt("txtCellspace"))) + "\\\" ";
    l.push_back(table + ">\\n\"; ");
    l.push_back("foreach (@srtd) { &doline($_); }");
    l.push_back("print \"</table></center>\";");
    if (o.on(opt("chkAbout"))) l.push_back(aboutLine(engine));
    l.push_back("print \"</body></html>\";");
    l.push_back("exit;");
    l.push_back("sub cella");
    l.push_back("{       print \"<td>\"; ");
    l.push_back("        print @_;");
    l.push_back("        print \"</td>\"; }");
    l.push_back("sub doline");
    l.push_back("{       print \"<tr>\"; ");
    l.push_back("~/.*\\.(.*)/;");
    // A stored name is data: escaped as text, percent-encoded in links and in the icon's type.
    l.push_back("        my ($e, $u, $h) = ($1, @_, @_); $e =~ " + std::string(kPerlUrlEncode) +
                "; $u =~ " + kPerlUrlEncode + ";");
    l.push_back("        $h =~ " + std::string(kPerlHtmlEscape) + ";");
    std::string icon = o.on(opt("chkIcons")) ? replaceAll(perl(v.iconTemplate), "#", "${e}") : "";
    l.push_back("        &cella(\"<a href=\\\"" + dir + "/$u\\\">" + icon +
                "$h</a>\"); &cella($h); ");
    l.push_back("   print \"</tr>\\n\";} ");
    return l;
}

std::vector<std::string> UploadScriptLines(Engine& engine) {
    const Options& o = engine.options();
    if (o.selected(opt("optPhp"))) {
        return {"<? print \"php upload code not implemented yet.\";",
                "print \"<br>Please visit <a href='" + std::string(kUpdatePage) +
                    "'> tabulo</a> for updates.\";",
                "if ($upload!=\"\" ){print \"$upload\";} ?>"};
    }
    ScriptValues v = prepare(engine);
    const std::string dir = perl(o.text(opt("txtUploadDirectory")));
    std::string css = o.on(opt("chkCss"))
                          ? "<link rel=\\\"stylesheet\\\" href=\\\"" +
                                perl(v.upPrefix + o.text(opt("txtIndexCss"))) + "\\\">"
                          : "";
    return {
        "#!/usr/bin/perl -w",
        headerComment(),
        "# If you can read this then chmod 755 " + o.text(opt("txtUploadScript")),
        "# and do have perl on server side please.",
        "use CGI; use CGI::Carp qw(fatalsToBrowser); my $q = new CGI; ",
        "my $fh=$q->upload(\"upload\"); ",
        "$filename= $q->param(\"upload\"); $filename =~ s/.*[\\/\\\\](.*)/$1/; ",
        "print \"Content-type:text/html\\n\\n\"; ",
        // Only a plain name is stored, and only in the upload folder.
        "if (!$fh || !defined $filename || $filename eq '' || $filename =~ "
        "/^\\.|[\\/\\\\\\x00-\\x1f]/) { print "
        "\"<HTML><BODY>Upload refused: no file, or a name that is not allowed.</BODY></HTML>\"; "
        "exit; } ",
        "my $h = $filename; $h =~ " + std::string(kPerlHtmlEscape) + "; ",
        "print \"<HTML><HEAD>" + css + "</HEAD><BODY><center>\",$h; ",
        "open(TRGFILE, '>', \"" + dir +
            "/$filename\") || die \"Can't store the file.\"; binmode(TRGFILE); "
            "binmode($fh); ",
        "while(<$fh>){ print TRGFILE; }; ",
        "close(TRGFILE); ",
        "print \"  Sucessfully uploaded.<br>\\n\"; ",
        "print \"<h2><a href=\\\"" + perl(o.text(opt("txtIndexHtm"))) +
            "\\\">Back.</a></center></body></html>\"; ",
    };
}

void WriteServerScripts(Engine& engine) {
    const Options& o = engine.options();
    const std::string folder = engine.currentFolder();
    engine.setStatus("Writing scripts for `" + toUtf8(folder) + "` ...");
    for (auto [name, lines] :
         {std::pair{o.text(opt("txtIndexScript")), IndexScriptLines(engine)},
          std::pair{o.text(opt("txtUploadScript")), UploadScriptLines(engine)}}) {
        std::string target = folder + "/" + name;
        try {
            // A script name that is a link may only lead to another place in the same folder.
            TextFile file(target, Unmappable::Question, {realPath(folder).value_or(folder)});
            for (const auto& line : lines) file.writeLine(line);
            file.commit();
        } catch (const std::system_error& e) {
            engine.setStatus("Error writing script `" + toUtf8(target) +
                             "`: " + e.code().message() + ".");
            return;
        }
    }
    engine.setStatus("Done writing scripts for `" + toUtf8(folder) + "` ...");
}

}  // namespace tabulo
