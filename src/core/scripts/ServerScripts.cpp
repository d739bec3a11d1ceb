#include "scripts/ServerScripts.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <system_error>

#include "host/StatusSink.h"
#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "common/Dates.h"
#include "options/Options.h"

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

constexpr std::string_view kRunnableExtensions =
    "cgi fcgi pl pm php php3 php4 php5 php7 php8 phar phtml pht phps py rb sh shtml shtm stm "
    "asp aspx jsp jspx cfm htaccess htpasswd";

struct ScriptValues {
    std::string upPrefix;
    std::string iconTemplate;
};

ScriptValues prepare(const OptionValues& o, const std::string& folder, int rootDepth) {
    ScriptValues v;
    int steps = CountPathSeparators(folder) - rootDepth - 1;
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

std::string aboutLine(const OptionValues& o, const std::tm& date) {
    std::string line = "print \"<p align=\\\"center\\\"><i><font size=\\\"2\\\">";
    if (o.on(opt("chkAboutGenWith"))) {
        line += "Genererated with <a href=\\\"" + std::string(kUpdatePage) +
                "?v=" + perl(o.text(opt("lblVersion"))) + "\\\"> tabulo</a>";
    }
    if (o.on(opt("chkAboutCredits"))) {
        line += " by <a href=\\\"" + perl(URLEncode(o, o.text(opt("txtAboutLink")))) + "\\\">" +
                perl(o.text(opt("txtAboutNick"))) + "</a>";
    }
    if (o.on(opt("chkAboutDate"))) line += " on " + aboutDate(date);
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
        for (std::size_t i = 0; i < p.size();) {
            char32_t cp;
            std::size_t n = decodeUtf8(p, i, cp);
            if (n == 0) cp = static_cast<unsigned char>(p[i]), n = 1;
            i += n;
            if (cp == '*') {
                re += ".*";
            } else if (cp == '?') {
                re += '.';
            } else if ((cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') ||
                       (cp >= 'a' && cp <= 'z')) {
                re += static_cast<char>(cp);
            } else if (cp < 0x80) {
                re += std::string("\\") + static_cast<char>(cp);
            } else {
                // The script matches decoded names: a character, whatever its bytes.
                char hex[16];
                auto end =
                    std::to_chars(hex, hex + sizeof hex, static_cast<unsigned long>(cp), 16).ptr;
                re += "\\x{" + std::string(hex, end) + "}";
            }
        }
        alternatives += (alternatives.empty() ? "" : "|") + re;
    }
    return alternatives.empty() ? ".*" : alternatives;
}

std::vector<std::string> IndexScriptLines(const OptionValues& o, const std::string& folder,
                                          int rootDepth, const std::tm& date) {
    if (o.selected(opt("optPhp"))) {
        return {"<? print \"php indexing code not implemented yet\";",
                "print \"<br>Please visit <a href='" + std::string(kUpdatePage) +
                    "'> tabulo</a> for updates.\"; ?>"};
    }
    ScriptValues v = prepare(o, folder, rootDepth);
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
    // "." and ".." are no entries; with the filter on, only the names it matches, bare, as
    // characters: the name is decoded from UTF-8 for the match.
    if (o.check(opt("chkCgiFilter")) == 0) {
        l.push_back(" @entries = grep( !/^\\.\\.?$/, readdir( HDir ) );");
    } else {
        l.push_back(
            " use Encode qw(decode); @entries = grep { my $n = decode(\"UTF-8\", $_); "
            "$n !~ /^\\.\\.?$/ && $n =~ /^(?:" +
            PerlPatternOf(o.text(opt("txtFilter"))) + ")$/is } readdir( HDir );");
    }
    l.push_back(" closedir HDir;");
    l.push_back(" @srtd=sort @entries;");
    l.push_back("print \"Content-type: text/html; charset=UTF-8\\n\\n\"; ");
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
    if (o.on(opt("chkAbout"))) l.push_back(aboutLine(o, date));
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

std::vector<std::string> UploadScriptLines(const OptionValues& o, const std::string& folder,
                                           int rootDepth) {
    if (o.selected(opt("optPhp"))) {
        return {"<? print \"php upload code not implemented yet.\";",
                "print \"<br>Please visit <a href='" + std::string(kUpdatePage) +
                    "'> tabulo</a> for updates.\";",
                "if ($upload!=\"\" ){print \"$upload\";} ?>"};
    }
    ScriptValues v = prepare(o, folder, rootDepth);
    std::string css = o.on(opt("chkCss"))
                          ? "<link rel=\\\"stylesheet\\\" href=\\\"" +
                                perl(v.upPrefix + o.text(opt("txtIndexCss"))) + "\\\">"
                          : "";
    // Names the index pages read from a folder: an upload never takes their place.
    std::string reserved;
    for (const char* name : {"txtCapDesc", "txtCapSnap", "txtIndexHtm", "txtIndexCss",
                             "txtIndexScript", "txtUploadScript"}) {
        reserved += std::string(reserved.empty() ? "" : ", ") + "\"" +
                    perl(o.text(Options::find(name).value())) + "\"";
    }
    // Files a run writes beside the pages: an upload must not be overwritten by one, nor
    // stand in for one until the next run.
    std::string written;
    for (const std::string& name : {JsonNameFor(o.text(opt("txtIndexHtm"))),
                                    std::string(kMd5SumsName), std::string(kSha256SumsName)}) {
        written += std::string(written.empty() ? "" : ", ") + "\"" + perl(name) + "\"";
    }
    return {
        "#!/usr/bin/perl -w",
        headerComment(),
        "# If you can read this then chmod 755 " + o.text(opt("txtUploadScript")),
        "# and do have perl on server side please.",
        "use strict; use CGI; use Fcntl qw(O_WRONLY O_CREAT O_EXCL);",
        "$CGI::POST_MAX = 100 * 1024 * 1024;  # <== the largest upload in bytes: change it here",
        "my $dir = \"" + perl(o.text(opt("txtUploadDirectory"))) + "\";",
        // Extensions a web server may run or parse, also as an inner one ("x.php.txt").
        "my %runnable = map { $_ => 1 } qw(" + std::string(kRunnableExtensions) + ");",
        "my %reserved = map { lc($_) => 1 } (" + reserved + ");",
        "my %written = map { lc($_) => 1 } (" + written + ");",
        "my $head = \"<HTML><HEAD>" + css + "</HEAD><BODY><center>\";",
        "my $back = \"<h2><a href=\\\"" + perl(o.text(opt("txtIndexHtm"))) +
            "\\\">Back.</a></center></body></html>\";",
        R"(sub html { my $h = shift; $h =~ )" + std::string(kPerlHtmlEscape) + R"(; return $h; })",
        // A refusal: plain escaped text for the browser; what the server knows goes to its log.
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): both halves make one Perl line
        R"(sub refuse { my ($status, $text, $detail) = @_; warn "upload: $detail\n" if defined $detail; )"
        R"(print "Status: $status\nContent-type: text/html; charset=UTF-8\n\n$head", html($text), "<br>\n$back"; exit; })",
        "my $q = CGI->new;",
        R"(if (my $error = $q->cgi_error) { my $big = $error =~ /^413/; )"
        R"(refuse($big ? "413 Request Entity Too Large" : "400 Bad Request", )"
        R"($big ? "Upload refused: the file is larger than this site takes." : "Upload refused: the request could not be read.", $error); })",
        // The file part alone names the file; a plain field of the same name does not.
        R"(my $fh = $q->upload("upload");)",
        R"(refuse("400 Bad Request", "Upload refused: no file was sent.") unless $fh;)",
        R"(my $filename = "$fh"; $filename =~ s/.*[\/\\]//s;)",
        R"(refuse("403 Forbidden", "Upload refused: a name that is not allowed.") if $filename eq '' || $filename =~ /^\.|[\x00-\x1f\x7f]/;)",
        R"(my @ext = split /\./, lc $filename; shift @ext;)",
        R"(refuse("403 Forbidden", "Upload refused: the web server might run a file named $filename.") if grep { $runnable{$_} } @ext;)",
        // Any README, whatever its case or extension: the modern pages show one.
        R"(refuse("403 Forbidden", "Upload refused: the index pages read a file named $filename.") if $reserved{lc $filename} || $filename =~ /^readme(?:\.|\z)/i;)",
        R"(refuse("403 Forbidden", "Upload refused: tabulo writes a file named $filename.") if $written{lc $filename};)",
        // Never over an existing file, nor through a link planted under the name.
        R"(sysopen(my $out, "$dir/$filename", O_WRONLY | O_CREAT | O_EXCL, 0644) or refuse($!{EEXIST} ? "409 Conflict" : "500 Internal Server Error", )"
        R"($!{EEXIST} ? "Upload refused: a file named $filename is there already; nothing was replaced." : "The file could not be stored.", "$dir/$filename: $!");)",
        R"(binmode($out); binmode($fh); my ($buf, $n);)",
        R"(while ($n = read($fh, $buf, 65536)) { last unless print $out $buf; })",
        R"(unless (defined $n && $n == 0 && close($out)) { my $e = $!; unlink("$dir/$filename"); refuse("500 Internal Server Error", "The file could not be stored.", "$dir/$filename: $e"); })",
        R"(print "Content-type: text/html; charset=UTF-8\n\n$head", html($filename);)",
        R"(print "  Sucessfully uploaded.<br>\n";)",
        R"(print $back;)",
    };
}

void WriteServerScripts(const OptionValues& o, const std::string& folder, int rootDepth,
                        const std::tm& date, StatusSink& status) {
    status.status("Writing scripts for `" + toUtf8(folder) + "` ...");
    // Both land in this folder, opened once; a script name that is a link may only lead to
    // another place within it.
    Descriptor open(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!open) {
        status.error("Error writing script `" + toUtf8(folder + "/" + o.text(opt("txtIndexScript"))) +
                     "`: " + std::generic_category().message(errno) + ".");
        return;
    }
    for (auto [name, lines] :
         {std::pair{o.text(opt("txtIndexScript")), IndexScriptLines(o, folder, rootDepth, date)},
          std::pair{o.text(opt("txtUploadScript")), UploadScriptLines(o, folder, rootDepth)}}) {
        std::string target = folder + "/" + name;
        try {
            WriteRules rules{idOf(open.get())};
            rules.executable = true;  // a server may run it through its "#!" line
            // UTF-8 with LF line ends: what Perl and a "#!" line on this platform expect.
            TextFile file(open.get(), name, target, Unmappable::KeepUtf8, rules);
            for (const auto& line : lines) file.write(line + "\n");
            file.commit();
        } catch (const std::system_error& e) {
            status.error("Error writing script `" + toUtf8(target) + "`: " + e.code().message() +
                         ".");
            return;
        }
    }
    status.status("Done writing scripts for `" + toUtf8(folder) + "` ...");
}

}  // namespace tabulo
