#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "run/RunSettings.h"

namespace tabulo {

// What rendering a page found out besides its text.
struct PageResult {
    double total = 0;                // bytes of the files the page lists
    std::vector<std::string> icons;  // icon types the page needs, in order, once each
};

// Whether the page's totals line needs the run's total so far (the www root's page).
bool NeedsServerTotal(const RunSettings& settings, const PagePlace& place);

// The page (or all-in-one section) of one folder: head (when `withHead`), anchor, heading,
// picture, description, listing, totals, and the footer unless it is a section of the
// all-in-one file. `serverTotalBefore` is the run's total before this page; only the www
// root's totals line uses it. Reads nothing but the listing (which holds the folder's own
// texts); safe on any thread.
PageResult RenderPage(const RunSettings& settings, const PagePlace& place,
                      const FolderListing& listing, bool withHead, double serverTotalBefore,
                      TextOut& out);

// The head of a page, down to the header code: for an all-in-one file, once.
void RenderHead(const RunSettings& settings, const PagePlace& place, TextOut& out);

// A name as a row shows it: cut when the options say so, escaped for the page.
std::string DisplayName(const OptionValues& options, const std::string& rawName);

// What the rows of both page styles lead to.
std::string IconAddress(const RunSettings& settings, const PagePlace& place,
                        const std::string& type);
std::optional<std::string> UpRowLink(const RunSettings& settings, const PagePlace& place);
std::string FolderRowLink(const RunSettings& settings, const PagePlace& place,
                          const FolderEntry& sub);
std::string FileRowLink(const RunSettings& settings, const PagePlace& place,
                        const FileEntry& file);
// The per-folder checksum files, written beside the files, and the link to the first.
inline constexpr const char* kMd5SumsName = "MD5SUMS";
inline constexpr const char* kSha256SumsName = "SHA256SUMS";
std::string SumsLink(const RunSettings& settings, const PagePlace& place);
// Folders a page never lists: the upload folder and the local icons' folder.

}  // namespace tabulo
