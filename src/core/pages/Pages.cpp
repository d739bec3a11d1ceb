#include "pages/Pages.h"

#include <tuple>

#include "pages/ClassicPage.h"
#include "pages/ModernPage.h"
#include "stylesheet/Stylesheet.h"

namespace tabulo {

PageResult RenderPage(const RunSettings& s, const PagePlace& place, const FolderListing& listing,
                      bool withHead, double serverTotalBefore, TextOut& out) {
    return PageFiles(s, place, listing).render(withHead, serverTotalBefore, out);
}

PageFiles::PageFiles(const RunSettings& s, const PagePlace& place, const FolderListing& listing)
    : s_(s), place_(place), listing_(listing) {
    if (s.modern) plan_ = PlanListing(s, place, listing);
}

PageResult PageFiles::render(bool withHead, double serverTotalBefore, TextOut& out) const {
    return plan_
               ? RenderModernPage(s_, place_, listing_, *plan_, 1, withHead, serverTotalBefore, out)
               : RenderClassicPage(s_, place_, listing_, withHead, serverTotalBefore, out);
}

std::size_t PageFiles::extraCount() const {
    return plan_ ? plan_->pages() - 1 + plan_->dataFiles() : 0;
}

ExtraFile PageFiles::extraKind(std::size_t i) const {
    return i + 1 < plan_->pages() ? ExtraFile::NumberedPage : ExtraFile::ListingData;
}

std::string PageFiles::extraName(std::size_t i) const {
    const std::string& htm = s_.o.text(opt("txtIndexHtm"));
    std::size_t numbered = plan_->pages() - 1;
    return i < numbered ? NumberedPageName(htm, i + 2) : ListingDataName(htm, i - numbered + 1);
}

void PageFiles::renderExtra(std::size_t i, TextOut& out) const {
    std::size_t numbered = plan_->pages() - 1;
    if (i < numbered) {
        RenderModernPage(s_, place_, listing_, *plan_, i + 2, true, 0, out);
    } else {
        out.writeRaw(ListingDataFile(s_, place_, listing_, *plan_, i - numbered + 1));
    }
}

bool MayHaveNumberedPages(const RunSettings& s, const PagePlace& place,
                          const FolderListing& listing) {
    if (!s.modern || s.allInOne) return false;
    std::size_t rows = 0;
    for (const FolderEntry& sub : listing.folders)
        rows += !IsHiddenFolderRow(s, place, listing, sub.name);
    for (const FileEntry& file : listing.files) rows += !file.excluded;
    return rows > RowBudgetOf(s.o);
}

void RenderHead(const RunSettings& s, const PagePlace& place, TextOut& out) {
    return s.modern ? RenderModernHead(s, place, out) : RenderClassicHead(s, place, out);
}

void SetPageEnds(RunSettings& s) {
    s.footer = s.modern ? ModernFooter(s.o, s.today, s.sha256Sums) : ClassicFooter(s.o, s.today, s.sha256Sums);
    if (s.modern) s.modernStyle = ModernStyle(s.o);
    if (s.modern && !s.allInOne)
        std::tie(s.footerBeforeScript, s.footerAfterScript) = ModernFooterAroundScript(s.o, s.today, s.sha256Sums);
    s.styleRules = StylesheetRules(s.o);
}

}  // namespace tabulo
