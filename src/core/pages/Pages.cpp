#include "pages/Pages.h"

#include "pages/ClassicPage.h"
#include "pages/ModernPage.h"
#include "stylesheet/Stylesheet.h"

namespace tabulo {

PageResult RenderPage(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                      bool withHead, double serverTotalBefore, TextOut& out) {
    return s.modern ? RenderModernPage(s, place, listing, withHead, serverTotalBefore, out)
                    : RenderClassicPage(s, place, listing, withHead, serverTotalBefore, out);
}

void RenderHead(const RunSettings& s, const PagePlace& place, TextOut& out) {
    return s.modern ? RenderModernHead(s, place, out) : RenderClassicHead(s, place, out);
}

void SetPageEnds(RunSettings& s) {
    s.footer = s.modern ? ModernFooter(s.o, s.today) : ClassicFooter(s.o, s.today);
    s.styleRules = StylesheetRules(s.o);
}

}  // namespace tabulo
