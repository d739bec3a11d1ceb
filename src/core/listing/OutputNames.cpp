#include "listing/OutputNames.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "common/ReadFile.h"

namespace tabulo {

namespace {

constexpr std::string_view kDataInfix = ".rows-";
constexpr std::string_view kDataSuffix = ".js";
constexpr std::string_view kScriptSuffix = ".page.js";

// "index.html" as "index" and ".html"; a name without an extension has none.
std::pair<std::string_view, std::string_view> stemAndExtension(std::string_view pageFile) {
    auto slash = pageFile.rfind('/');
    auto dot = pageFile.rfind('.');
    if (dot == std::string_view::npos || dot == 0 ||
        (slash != std::string_view::npos && dot < slash))
        return {pageFile, {}};
    return {pageFile.substr(0, dot), pageFile.substr(dot)};
}

// A whole number written as Tabulo writes one, at least `least`; 0 when it is no such number.
std::size_t numberIn(std::string_view digits, std::size_t least) {
    if (digits.empty() || digits.size() > 9 || digits[0] == '0') return 0;
    std::size_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    return n >= least ? n : 0;
}

}  // namespace

std::string JsonNameFor(const std::string& pageFile) {
    auto slash = pageFile.rfind('/');
    auto dot = pageFile.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return pageFile + ".json";
    return pageFile.substr(0, dot) + ".json";
}

std::string NumberedPageName(const std::string& pageFile, std::size_t number) {
    if (number <= 1) return pageFile;
    auto [stem, extension] = stemAndExtension(pageFile);
    return std::string(stem) + "-" + std::to_string(number) + std::string(extension);
}

std::string ListingDataName(const std::string& pageFile, std::size_t number) {
    return std::string(stemAndExtension(pageFile).first) + std::string(kDataInfix) +
           std::to_string(number) + std::string(kDataSuffix);
}

std::string PageScriptName(const std::string& pageFile) {
    return std::string(stemAndExtension(pageFile).first) + std::string(kScriptSuffix);
}

ExtraFile ExtraFileKind(const std::string& pageFile, std::string_view name) {
    if (name == kWhatsNewName) return ExtraFile::WhatsNew;
    if (name == kFeedName) return ExtraFile::Feed;
    auto [stem, extension] = stemAndExtension(pageFile);
    if (stem.empty() || !name.starts_with(stem)) return ExtraFile::None;
    std::string_view rest = name.substr(stem.size());
    if (rest == kScriptSuffix) return ExtraFile::PageScript;
    if (rest.starts_with(kDataInfix) && rest.ends_with(kDataSuffix)) {
        rest = rest.substr(kDataInfix.size(), rest.size() - kDataInfix.size() - kDataSuffix.size());
        return numberIn(rest, 1) ? ExtraFile::ListingData : ExtraFile::None;
    }
    if (rest.starts_with('-') && rest.ends_with(extension)) {
        rest = rest.substr(1, rest.size() - 1 - extension.size());
        return numberIn(rest, 2) ? ExtraFile::NumberedPage : ExtraFile::None;
    }
    return ExtraFile::None;
}

std::string_view ExtraFileMark(ExtraFile kind) {
    return kind == ExtraFile::NumberedPage  ? kNumberedPageMark
           : kind == ExtraFile::ListingData ? kListingDataMark
           : kind == ExtraFile::PageScript  ? kPageScriptMark
           : kind == ExtraFile::WhatsNew    ? kWhatsNewMark
           : kind == ExtraFile::Feed        ? kFeedMark
                                            : std::string_view();
}

bool IsOwnExtraFile(int folder, const std::string& pageFile, const std::string& name) {
    std::string_view mark = ExtraFileMark(ExtraFileKind(pageFile, name));
    return !mark.empty() && readFileStartAt(folder, name, mark.size()) == mark;
}

bool IsUsersExtraFile(int folder, const std::string& pageFile, const std::string& name) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           !IsOwnExtraFile(folder, pageFile, name);
}

}  // namespace tabulo
