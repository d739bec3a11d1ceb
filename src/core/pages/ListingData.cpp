#include "pages/ListingData.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <limits>
#include <unordered_map>

#include "common/Encoding.h"
#include "common/Text.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "pages/JsonListing.h"
#include "pages/PageText.h"

namespace tabulo {

namespace {

constexpr std::string_view kKeyNames[] = {"type", "name", "time", "size"};  // by SortKey

std::string_view keyName(SortKey key) {
    return kKeyNames[static_cast<std::size_t>(key)];
}


// The size of a file as the data carries it: whole bytes, within what a script's number holds
// exactly.
std::uint64_t wholeBytes(double size) {
    return wholeWithin<std::uint64_t>(size, 0, (std::uint64_t{1} << 53) - 1);
}

// The MD5 digest's 32 hexadecimal digits as 16 bytes; none for a file without one.
void appendDigest(std::vector<std::uint64_t>* planes, const FileDigest* digest) {
    for (std::size_t b = 0; b < 16; ++b) {
        std::uint64_t byte = 0;
        if (digest && digest->md5.size() == 32)
            byte = std::stoul(digest->md5.substr(2 * b, 2), nullptr, 16);
        planes[b].push_back(byte);
    }
}

// The typed dimensions of the icons ("height" and "width"), as attributes the script sets.
std::string iconAttributes(const OptionValues& o) {
    std::string out;
    const std::string& text = o.text(opt("lblIconsWidth"));
    for (const char* name : {"height", "width"}) {
        auto at = text.find(std::string(name) + "=\"");
        if (at == std::string::npos) continue;
        at += std::string_view(name).size() + 2;
        auto end = text.find('"', at);
        if (end == std::string::npos) continue;
        out += std::string(out.empty() ? "" : ",") + JsonString(name) + ":" +
               JsonString(attributeText(text.substr(at, end - at)));
    }
    return "{" + out + "}";
}

// How the script draws a row from the data, where the data files are, and which columns they
// carry.
std::string drawing(const RunSettings& s, const PagePlace& place, const ListingPlan& plan) {
    const OptionValues& o = s.o;
    const std::string& htm = o.text(opt("txtIndexHtm"));
    bool size = o.on(opt("chkColuSize")), time = o.on(opt("chkColuTime"));
    bool comment = o.on(opt("chkColuDesc")), hash = o.on(opt("chkColuHash"));
    bool icons = o.on(opt("chkIcons"));
    // The data files' names up to their number ("index.rows-" of "index.rows-1.js").
    std::string dataName = ListingDataName(htm, 1);
    std::string out = ",\"pages\":" + std::to_string(plan.pages());
    out += ",\"data\":{\"name\":" + JsonString(dataName.substr(0, dataName.size() - 4)) +
           ",\"files\":" + std::to_string(plan.dataFiles()) +
           ",\"per\":" + std::to_string(kRowsPerDataFile) +
           ",\"w\":" + std::to_string(IndexWidth(plan.rows.size())) +
           ",\"size\":" + (size ? "true" : "false") + ",\"time\":" + (time ? "true" : "false") +
           ",\"type\":" + (icons || comment ? "true" : "false") +
           ",\"hash\":" + (hash ? "true" : "false") + "}";
    out += ",\"cols\":[\"name\"";
    if (hash) out += ",\"hash\"";
    if (size) out += ",\"size\"";
    if (time) out += ",\"time\"";
    if (comment) out += ",\"comment\"";
    out += "]";
    // Links are the name's bytes, percent-encoded, between these.
    FileEntry noFile;
    FolderEntry noFolder;
    out += ",\"file\":" + JsonString(attributeText(FileRowLink(s, place, noFile)));
    out += ",\"dir\":" + JsonString(attributeText(FolderRowLink(s, place, noFolder)));
    if (ServerLinks(s)) out += ",\"serve\":true";
    if (icons) {
        std::string address = o.selected(opt("optIconsLocal"))
                                  ? place.upPrefix + o.text(opt("txtIconsLocal"))
                                  : o.text(opt("txtIcohref"));
        // Each icon's address is this with "#" in place of its type ("dir" for folders).
        out += ",\"icon\":{\"src\":" + JsonString(address) +
               ",\"attrs\":" + iconAttributes(o) + "}";
    }
    std::string commentKind = o.selected(opt("optExtention")) ? "ext"
                              : o.selected(opt("optGlobal"))  ? "text"
                                                              : "";
    out += ",\"comment\":" + JsonString(commentKind);
    if (commentKind == "text") out += ",\"text\":" + JsonString(o.text(opt("txtComment")));
    out += ",\"unit\":" +
           std::to_string(o.selected(opt("optAuto")) ? -1 : o.selectedIndex(opt("optFileSize")));
    if (o.on(opt("chkLenght"))) {
        out += ",\"cut\":" +
               std::to_string(wholeWithin<long>(val(o.text(opt("txtLenght"))), 0, 1000000000));
    }
    if (hash) out += ",\"sums\":" + JsonString(attributeText(SumsLink(s, place)));
    return out;
}

}  // namespace

std::size_t RowBudgetOf(const OptionValues& o) {
    auto typed = decimalNumber(o.text(opt("txtRowBudget")));
    if (!typed || *typed < 1) return kDefaultRowBudget;
    return wholeWithin<std::size_t>(*typed, 1, std::numeric_limits<std::uint32_t>::max());
}

std::size_t ListingPlan::pages() const {
    std::size_t all = rows.size();
    return all <= budget ? 1 : (all + budget - 1) / budget;
}

std::size_t ListingPlan::dataFiles() const {
    return pages() == 1 ? 0 : (rows.size() + kRowsPerDataFile - 1) / kRowsPerDataFile;
}

std::size_t ListingPlan::firstRow(std::size_t page) const {
    return pages() == 1 ? 0 : (page - 1) * budget;
}

std::size_t ListingPlan::rowsOn(std::size_t page) const {
    if (pages() == 1) return rows.size();
    return std::min(budget, rows.size() - std::min(rows.size(), firstRow(page)));
}

ListingPlan PlanListing(const RunSettings& s, const PagePlace& place,
                        const FolderListing& listing) {
    const OptionValues& o = s.o;
    ListingPlan plan;
    plan.key = SortKeyOf(o);
    plan.descending = o.on(opt("chkInverseSortorder"));
    // The columns a page sorts by: the name, and each of the others that it shows.
    const std::pair<SortKey, bool> sortable[] = {{SortKey::Name, true},
                                                 {SortKey::Size, o.on(opt("chkColuSize"))},
                                                 {SortKey::Date, o.on(opt("chkColuTime"))},
                                                 {SortKey::Type, o.on(opt("chkColuDesc"))}};
    for (auto [key, shown] : sortable) {
        if (shown && key != plan.key) plan.keys.push_back(key);
    }
    plan.rows = VisibleRows(s, place, listing, plan.keys, plan.orders);
    // One page of every row where all rows land in one file anyway.
    plan.budget = s.allInOne ? std::max<std::size_t>(plan.rows.size(), 1) : RowBudgetOf(o);
    for (SortKey key : plan.keys) {
        const RowOrder& order = plan.orders[static_cast<std::size_t>(key)];
        RowOrder& own = plan.pageOrders[static_cast<std::size_t>(key)];
        own.resize(order.size());
        std::vector<std::size_t> filled(plan.pages(), 0);
        for (std::uint32_t row : order) {
            std::size_t page = row / plan.budget, first = page * plan.budget;
            own[first + filled[page]++] = static_cast<std::uint32_t>(row - first);
        }
    }
    return plan;
}

std::string ListingConfig(const RunSettings& s, const PagePlace& place, const ListingPlan& plan,
                          std::size_t page) {
    const std::size_t first = plan.firstRow(page), count = plan.rowsOn(page);
    std::string out = "{\"key\":" + JsonString(keyName(plan.key)) +
                      ",\"down\":" + (plan.descending ? "true" : "false") +
                      ",\"rows\":" + std::to_string(plan.rows.size()) +
                      ",\"folders\":" + std::to_string(plan.rows.folders.size()) +
                      ",\"first\":" + std::to_string(first) + ",\"keys\":[";
    // The other orders of this page's own rows, as positions among them.
    std::string packed;
    for (SortKey key : plan.keys) {
        out += std::string(key == plan.keys.front() ? "" : ",") + JsonString(keyName(key));
        auto own = plan.pageOrders[static_cast<std::size_t>(key)].begin() +
                   static_cast<std::ptrdiff_t>(first);
        AppendPlanes(packed,
                     std::vector<std::uint64_t>(own, own + static_cast<std::ptrdiff_t>(count)),
                     IndexWidth(count));
    }
    out += "],\"w\":" + std::to_string(IndexWidth(count)) +
           ",\"orders\":" + JsonString(Base64(packed));
    if (plan.dataFiles() > 0) out += drawing(s, place, plan);
    return out + "}";
}

std::string ListingDataFile(const RunSettings& s, const PagePlace& place,
                            const FolderListing& listing, const ListingPlan& plan,
                            std::size_t number) {
    const OptionValues& o = s.o;
    const std::size_t all = plan.rows.size(), folders = plan.rows.folders.size();
    const std::size_t first = (number - 1) * kRowsPerDataFile;
    const std::size_t end = std::min(all, first + kRowsPerDataFile);
    bool icons = o.on(opt("chkIcons")), comment = o.on(opt("chkColuDesc"));
    std::vector<std::uint64_t> sizes, times, types, digest[16];
    std::vector<std::string> typeNames{""};  // 0: a folder's
    std::unordered_map<std::string, std::uint64_t> typeIndex{{"", 0}};
    // The names in one string, each after a "/", which no name holds: one string to read
    // and keep instead of thousands.
    std::string names, links, counts;
    for (std::size_t i = first; i < end; ++i) {
        const FolderEntry* sub = i < folders ? plan.rows.folders[i] : nullptr;
        const FileEntry* file = sub ? nullptr : plan.rows.files[i - folders];
        const std::string& name = sub ? sub->name : file->name;
        names += '/';
        names += name;
        sizes.push_back(file ? wholeBytes(file->size)
                             : sub->totals ? wholeBytes(sub->totals->bytes) : 0);
        // A folder's files, when the walk measured its tree.
        if (sub) {
            counts += std::string(counts.empty() ? "" : ",") +
                      (sub->totals ? std::to_string(sub->totals->files) : "null");
        }
        times.push_back(static_cast<std::uint32_t>(LocalMinutes(sub ? sub->mtime : file->mtime)));
        std::uint64_t type = 0;
        if (file) {
            auto [at, added] = typeIndex.emplace(FileTypeOf(name), typeNames.size());
            if (added) typeNames.push_back(at->first);
            type = at->second;
        }
        types.push_back(type);
        if (o.on(opt("chkColuHash")))
            appendDigest(digest, file ? listing.digestOf(*file) : nullptr);
        // The script makes a link from the name the data shows; where that is not the name on
        // disk, or the row leads elsewhere, the link itself comes along.
        bool own = !isValidUtf8(name) || (sub && sub->reach != FolderEntry::Reach::Walk &&
                                          sub->reach != FolderEntry::Reach::LeadsBack);
        if (own) {
            std::string link = sub ? FolderRowLink(s, place, *sub) : FileRowLink(s, place, *file);
            links += std::string(links.empty() ? "" : ",") + "\"" + std::to_string(i - first) +
                     "\":" + JsonString(attributeText(link));
        }
    }
    std::string packed;
    // Sizes in as many bytes as the largest of them needs.
    int sizeWidth = 1;
    for (std::uint64_t size : sizes) {
        while (sizeWidth < 7 && size >> (8 * sizeWidth) != 0) ++sizeWidth;
    }
    if (o.on(opt("chkColuSize"))) AppendPlanes(packed, sizes, sizeWidth);
    if (o.on(opt("chkColuTime"))) AppendPlanes(packed, times, 4);
    int typeWidth = typeNames.size() > 256 ? 2 : 1;
    if (icons || comment) AppendPlanes(packed, types, typeWidth);
    for (SortKey key : plan.keys) {
        const RowOrder& order = plan.orders[static_cast<std::size_t>(key)];
        std::vector<std::uint64_t> slice(order.begin() + static_cast<std::ptrdiff_t>(first),
                                         order.begin() + static_cast<std::ptrdiff_t>(end));
        AppendPlanes(packed, slice, IndexWidth(all));
    }
    if (o.on(opt("chkColuHash"))) {
        for (const auto& plane : digest) AppendPlanes(packed, plane, 1);
    }
    std::string typeList;
    for (const std::string& type : typeNames)
        typeList += (typeList.empty() ? "" : ",") + JsonString(type);
    return std::string(kListingDataMark) + std::to_string(number) + " of " +
           std::to_string(plan.dataFiles()) + " */\n" + "tabuloRows(" + std::to_string(number) +
           "," + JsonString(Base64(packed)) + ",[" + std::to_string(sizeWidth) + "," +
           std::to_string(typeWidth) + "],[" + typeList + "],\n" +
           JsonString(std::string_view(names).substr(names.empty() ? 0 : 1)) + ",\n{" + links +
           "},[" + counts + "]);\n";
}

int IndexWidth(std::size_t count) {
    int width = 1;
    for (std::size_t top = count > 0 ? count - 1 : 0; top > 0xFF && width < 4; top >>= 8) ++width;
    return width;
}

void AppendPlanes(std::string& out, const std::vector<std::uint64_t>& values, int width) {
    out.reserve(out.size() + values.size() * static_cast<std::size_t>(width));
    for (int plane = 0; plane < width; ++plane) {
        for (std::uint64_t v : values) out += static_cast<char>(v >> (8 * plane) & 0xFF);
    }
}

std::int32_t LocalMinutes(std::int64_t unixTime) {
    std::time_t when = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!localtime_r(&when, &tm)) return unixTime < 0 ? INT32_MIN : INT32_MAX;
    // Days from 1970-01-01 to the local date (the proleptic Gregorian calendar).
    std::int64_t y = static_cast<std::int64_t>(tm.tm_year) + 1900 - (tm.tm_mon < 2 ? 1 : 0);
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t m = tm.tm_mon + 1;
    std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + tm.tm_mday - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    std::int64_t days = era * 146097 + doe - 719468;
    std::int64_t minutes = days * 1440 + std::int64_t{tm.tm_hour} * 60 + tm.tm_min;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(minutes, INT32_MIN, INT32_MAX));
}

}  // namespace tabulo
