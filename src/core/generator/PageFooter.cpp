#include "generator/PageFooter.h"

#include <cstdio>

#include "Engine.h"
#include "common/Dates.h"
#include "generator/ListingHelpers.h"

namespace tabulo {

namespace {

constexpr std::string_view kHtmlValidator = "http://validator.w3.org/check/referer";
constexpr std::string_view kHtmlBadge = "http://www.w3.org/Icons/valid-html32";
constexpr std::string_view kCssValidator = "http://jigsaw.w3.org/css-validator/check/referer";
constexpr std::string_view kCssBadge = "http://jigsaw.w3.org/css-validator/images/vcss";

std::string aboutLine(Engine& engine) {
    const Options& o = engine.options();
    std::string align = o.on(opt("chkCenter")) ? " align=\"center\"" : "";
    std::string generated, credits, date;
    if (o.on(opt("chkAboutGenWith"))) {
        generated = "Genererated with <a href=\"" + std::string(kUpdatePage) +
                    "?v=" + o.text(opt("lblVersion")) + "&amp;s=" + o.text(opt("cmbSheme")) +
                    "\"> tabulo</a>";
    }
    if (o.on(opt("chkAboutCredits"))) {
        credits = " by <a href=\"" + URLEncode(o, o.text(opt("txtAboutLink"))) + "\">" +
                  o.text(opt("txtAboutNick")) + "</a>";
    }
    if (o.on(opt("chkAboutDate"))) date = " on " + TodayText(engine);
    return "  <p" + align + "><i><font size=\"2\">" + generated + credits + date +
           ".</font></i></p>";
}

}  // namespace

std::string TodayText(Engine& engine) {
    return aboutDate(engine.today());
}

void WritePageFooter(Engine& engine) {
    const Options& o = engine.options();
    TextFile& out = *engine.run().outputFile;
    if (o.on(opt("chkUpload"))) {
        out.writeLine("         <form method=\"post\" enctype=\"multipart/form-data\" action=\"" +
                      o.text(opt("txtUploadScript")) + "\">");
        out.writeLine("          <input type=\"file\" name=\"upload\">");
        out.writeLine("          <input type=\"submit\" value=\"Upload\">");
        out.writeLine("         </form>");
    }
    if (o.on(opt("chkFooter"))) {
        out.writeMultiline(o.text(opt("txtFooter")));
        out.writeLine();
    }
    if (o.on(opt("chkAbout"))) out.writeLine(aboutLine(engine));
    if (o.on(opt("chkW3c"))) {
        out.writeLine("<a href=\"" + std::string(kHtmlValidator) + "\"><img border=\"0\" src=\"" +
                      std::string(kHtmlBadge) +
                      "\" alt=\"Valid HTML 3.2!\" height=\"31\" width=\"88\"></a>" + "<a href=\"" +
                      std::string(kCssValidator) +
                      "\"><img border=\"0\" width=\"88\" height=\"31\" src=\"" +
                      std::string(kCssBadge) + "\" alt=\"Valid CSS!\"></a>");
    }
    if (o.on(opt("chkCenter"))) out.writeLine("</center>");
    out.writeLine("</BODY></HTML>");
}

}  // namespace tabulo
