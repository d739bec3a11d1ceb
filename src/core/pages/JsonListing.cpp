#include "pages/JsonListing.h"

#include "pages/PageParts.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "common/Encoding.h"
#include "common/Text.h"

namespace tabulo {

namespace {

void appendEscaped(std::string& out, char32_t cp) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
    out += buf;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) {
    out += '"';
    for (std::size_t i = 0; i < bytes.size();) {
        // Printable ASCII that needs no escape goes over as a run.
        std::size_t plain = i;
        while (plain < bytes.size()) {
            const char c = bytes[plain];
            if (c < 0x20 || c > 0x7E || c == '"' || c == '\\' || c == '<' || c == '>' || c == '&') break;
            ++plain;
        }
        if (plain > i) {
            out.append(bytes.substr(i, plain - i));
            i = plain;
            continue;
        }
        char32_t cp;
        std::size_t n = decodeUtf8(bytes, i, cp);
        if (n == 0) {
            appendUtf8(out, 0xFFFD);
            ++i;
            continue;
        }
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            // So the text may stand in a script element or an attribute as it is, and in
            // JavaScript before ES2019, which took these two for line ends.
            case '<':
            case '>':
            case '&':
            case 0x7F:
            case 0x2028:
            case 0x2029:
                appendEscaped(out, cp);
                break;
            default:
                if (cp < 0x20) {
                    appendEscaped(out, cp);
                } else {
                    out.append(bytes.substr(i, n));
                }
        }
        i += n;
    }
    out += '"';
}

std::string Rfc1123Date(std::int64_t unixTime) {
    using namespace std::chrono;
    // 0001-01-01 00:00:00 and 9999-12-31 23:59:59: every year has four digits.
    constexpr std::int64_t kFirst = -62135596800;
    constexpr std::int64_t kLast = 253402300799;
    std::int64_t t = unixTime < kFirst ? kFirst : unixTime > kLast ? kLast : unixTime;
    sys_seconds when{seconds{t}};
    sys_days day = floor<days>(when);
    year_month_day date{day};
    hh_mm_ss clock{when - day};
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[40];
    std::snprintf(
        buf, sizeof buf, "%s, %02u %s %04d %02d:%02d:%02d GMT", kDays[weekday{day}.c_encoding()],
        static_cast<unsigned>(date.day()), kMonths[static_cast<unsigned>(date.month()) - 1],
        static_cast<int>(date.year()), static_cast<int>(clock.hours().count()),
        static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()));
    return buf;
}

std::string JsonListing(const std::vector<JsonEntry>& entries) {
    std::string out = "[\n";
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const JsonEntry& e = entries[k];
        out += "{ \"name\":";
        AppendJsonString(out, e.name);
        out += e.folder ? ", \"type\":\"directory\"" : ", \"type\":\"file\"";
        out += ", \"mtime\":\"" + Rfc1123Date(e.mtime) + '"';
        auto whole = [](double bytes) {
            return std::to_string(
                wholeWithin<std::uint64_t>(bytes, 0, std::numeric_limits<std::uint64_t>::max()));
        };
        if (!e.folder) out += ", \"size\":" + whole(e.size);
        if (e.folder && e.totals) {
            out += ", \"files\":" + std::to_string(e.totals->files) + ", \"bytes\":" + whole(e.totals->bytes);
        }
        out += k + 1 < entries.size() ? " },\n" : " }\n";
    }
    out += "]\n";
    return out;
}

std::string JsonListingOf(const RunSettings& s, const PagePlace& place,
                          const FolderListing& listing) {
    PageRows rows = VisibleRows(s, place, listing);
    std::vector<JsonEntry> entries;
    entries.reserve(rows.folders.size() + rows.files.size());
    for (const FolderEntry* sub : rows.folders)
        entries.push_back({sub->name, true, sub->mtime, 0, sub->totals});
    for (const FileEntry* file : rows.files) entries.push_back({file->name, false, file->mtime, file->size});
    return JsonListing(entries);
}

std::string JsonString(std::string_view bytes) {
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

}  // namespace tabulo
