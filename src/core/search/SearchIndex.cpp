#include "search/SearchIndex.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unordered_set>

#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/Fingerprint.h"
#include "common/PercentEncoding.h"
#include "common/Text.h"
#include "pages/JsonListing.h"
#include "pages/ListingData.h"

namespace tabulo {

namespace {

// A block ends before an entry whose name's hash says so (one in kBlockOdds, some 70 KB
// apart), once past a small minimum; a long block at one in kLongBlockOdds; and at the cap,
// which then is next to never reached: where a block ends depends on the names around the
// end only, not on how many came before, so that a name added or gone changes its own block
// alone. The first block is named "0", whatever name comes first.
constexpr std::size_t kBlockMin = std::size_t{8} * 1024;
constexpr std::uint32_t kBlockOdds = 2048;
constexpr std::size_t kLongBlock = std::size_t{96} * 1024;
constexpr std::uint32_t kLongBlockOdds = 64;
constexpr std::size_t kBlockCap = std::size_t{160} * 1024;
constexpr std::size_t kShardTarget = std::size_t{128} * 1024;
constexpr std::size_t kPerRecord = 16;  // what a record costs a block beside its name, at most

// Precomposed Latin letters U+00C0 to U+017F as their base letters ('.' keeps the letter).
constexpr std::string_view kLatinBase =
    "aaaaaa.ceeeeiiii"  // C0
    "dnooooo.ouuuuy.."  // D0
    "aaaaaa.ceeeeiiii"  // E0
    "dnooooo.ouuuuy.y"  // F0
    "aaaaaaccccccccdd"  // 100
    "ddeeeeeeeeeegggg"  // 110
    "gggghhhhiiiiiiii"  // 120
    "ii..jjkk.lllllll"  // 130
    "lllnnnnnnn..oooo"  // 140
    "oo..rrrrrrssssss"  // 150
    "ssttttttuuuuuuuu"  // 160
    "uuuuwwyyyzzzzzzs";  // 170

char32_t withoutAccent(char32_t cp) {
    if (cp >= 0xC0 && cp < 0xC0 + kLatinBase.size()) {
        char base = kLatinBase[cp - 0xC0];
        if (base != '.') return static_cast<char32_t>(base);
    }
    switch (cp) {  // Greek with tonos or dialytika, as folded to lower case
        case 0x3AC: return 0x3B1;
        case 0x3AD: return 0x3B5;
        case 0x3AE: return 0x3B7;
        case 0x3AF: case 0x3CA: case 0x390: return 0x3B9;
        case 0x3CC: return 0x3BF;
        case 0x3CD: case 0x3CB: case 0x3B0: return 0x3C5;
        case 0x3CE: return 0x3C9;
        case 0x451: return 0x435;  // ё
        case 0x439: return 0x438;  // й
        default: return cp;
    }
}

bool isMark(char32_t cp) {
    return (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
           (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
           (cp >= 0xFE20 && cp <= 0xFE2F);
}

std::vector<char32_t> codePoints(std::string_view utf8) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) cp = 0xFFFD, n = 1;
        out.push_back(cp);
        i += n;
    }
    return out;
}

std::string utf8Of(const std::vector<char32_t>& cps, std::size_t from, std::size_t count) {
    std::string out;
    for (std::size_t i = from; i < from + count && i < cps.size(); ++i) appendUtf8(out, cps[i]);
    return out;
}

std::uint32_t fnv1a(std::string_view bytes) {
    std::uint32_t h = 2166136261u;
    for (char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

std::string hex8(std::uint32_t v) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kHex[v & 15];
    return out;
}

void appendVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

std::uint64_t readVarint(std::string_view bytes, std::size_t& at) {
    std::uint64_t v = 0;
    for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        auto b = static_cast<unsigned char>(bytes[at++]);
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
    }
    return v;
}


// The trigrams of a folded part of a query to look up: of its distinct ones, in order, those
// with the most letters first (digits, blanks, dots, dashes and underscores are in nearly
// every block), the two best.
std::vector<std::string> gramsWorthLookingUp(std::string_view folded) {
    std::vector<char32_t> cps = codePoints(folded);
    std::vector<std::string> grams;
    std::vector<int> scores;
    for (std::size_t i = 0; i + 3 <= cps.size(); ++i) {
        std::string gram = utf8Of(cps, i, 3);
        if (std::find(grams.begin(), grams.end(), gram) != grams.end()) continue;
        int score = 0;
        for (std::size_t k = i; k < i + 3; ++k) {
            const char32_t c = cps[k];
            const bool plain = (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
                               c == '\f' || c == '\v' || c == '.' || c == '-' || c == '_';
            score += plain ? 0 : 1;
        }
        grams.push_back(std::move(gram));
        scores.push_back(score);
    }
    std::vector<std::size_t> order(grams.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return scores[a] > scores[b]; });
    if (order.size() <= 1) return order.empty() ? std::vector<std::string>{} : std::vector<std::string>{grams[order[0]]};
    return {grams[order[0]], grams[order[1]]};
}

// A trigram as one number: three code points of 21 bits each.
std::uint64_t gramKey(char32_t a, char32_t b, char32_t c) {
    return static_cast<std::uint64_t>(a) << 42 | static_cast<std::uint64_t>(b) << 21 | c;
}

std::string gramText(std::uint64_t key) {
    std::string out;
    for (int shift : {42, 21, 0}) appendUtf8(out, static_cast<char32_t>(key >> shift & 0x1FFFFF));
    return out;
}

// The distinct trigrams of a block: names share most of theirs, so they are gathered in a
// table first and only the distinct ones sorted.
class GramSet {
  public:
    void insert(std::uint64_t key) {  // never 0: no name holds three NULs
        if (2 * (count_ + 1) > table_.size()) grow();
        std::size_t mask = table_.size() - 1;
        for (std::size_t at = spread(key) & mask;; at = (at + 1) & mask) {
            if (table_[at] == key) return;
            if (table_[at] == 0) {
                table_[at] = key;
                ++count_;
                return;
            }
        }
    }
    // The trigrams in order; the set is empty again.
    std::vector<std::uint64_t> take() {
        std::vector<std::uint64_t> out;
        out.reserve(count_);
        for (std::uint64_t& key : table_) {
            if (key) out.push_back(key), key = 0;
        }
        count_ = 0;
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    static std::size_t spread(std::uint64_t key) {
        key ^= key >> 29;
        key *= 0xbf58476d1ce4e5b9ull;
        return static_cast<std::size_t>(key ^ (key >> 32));
    }
    void grow() {
        std::vector<std::uint64_t> old(std::max<std::size_t>(1024, table_.size() * 2), 0);
        old.swap(table_);
        count_ = 0;
        for (std::uint64_t key : old) {
            if (key) insert(key);
        }
    }
    std::vector<std::uint64_t> table_;
    std::size_t count_ = 0;
};

// The trigrams of a folded name, as numbers, into `out`.
void addGramKeys(std::string_view folded, GramSet& out) {
    char32_t window[3] = {0, 0, 0};
    std::size_t seen = 0;
    for (std::size_t i = 0; i < folded.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(folded, i, cp);
        if (n == 0) cp = 0xFFFD, n = 1;
        i += n;
        window[0] = window[1];
        window[1] = window[2];
        window[2] = cp;
        if (++seen >= 3) out.insert(gramKey(window[0], window[1], window[2]));
    }
}

std::string shardName(std::uint32_t shard) { return "t-" + std::to_string(shard) + ".js"; }

// A block as trigram shards name it: 16 bits of its id's hash. Two blocks may share one; a
// query then reads one block more, never one less.
std::uint32_t shortId(std::string_view id) { return fnv1a(id) & 0xFFFF; }

std::int64_t floorMinutes(std::int64_t seconds) {
    return seconds >= 0 ? seconds / 60 : -((-seconds + 59) / 60);
}

std::string fileText(std::string_view id, const std::string& body) {
    return std::string(kSearchMark) + "tabuloSearch(" + JsonString(id) + "," + body + ");\n";
}

// A name's bytes, percent-encoded, where they are not UTF-8.
std::string rawText(std::string_view bytes) {
    return percentEncode(bytes, ByteSet::range(0x21, 0x7E).without("%\"\\<>&#?/;:=+'"));
}

// What a name or folder shows; a name that is not UTF-8 also carries its bytes.
std::string shownName(std::string_view raw) {
    return isValidUtf8(raw) ? std::string(raw) : toUtf8(std::string(raw));
}

// Each part of a folder's path as shown and as linked: a part that is not UTF-8 alone does not
// change how the others read.
template <typename Part>
std::string eachPart(std::string_view path, Part part) {
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t slash = path.find('/', at);
        out += part(path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
        if (slash == std::string_view::npos) return out;
        out += '/';
        at = slash + 1;
    }
}
std::string shownPath(std::string_view path) { return eachPart(path, shownName); }
std::string rawPath(std::string_view path) { return eachPart(path, rawText); }

// The length of UTF-8 text in UTF-16 units, as a page's script measures strings.
std::size_t utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (char c : utf8) {
        auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) ++units;  // each code point's first byte
        if (b >= 0xF0) ++units;           // beyond the basic plane: a surrogate pair
    }
    return units;
}

// The bytes of the first `units` UTF-16 units of UTF-8 text.
std::size_t bytesOfUnits(std::string_view utf8, std::size_t units) {
    std::size_t at = 0;
    while (at < utf8.size() && units > 0) {
        auto b = static_cast<unsigned char>(utf8[at]);
        std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        units -= std::min<std::size_t>(units, b >= 0xF0 ? 2 : 1);
        at = std::min(utf8.size(), at + n);
    }
    return at;
}

// At least as many bytes as the name takes as a JSON string, shown as the pages show it.
std::size_t jsonSizeAtMost(std::string_view raw) {
    if (!isValidUtf8(raw)) return 3 * raw.size() + 2;  // each byte as a character of up to three
    std::size_t size = raw.size() + 2;
    for (char c : raw) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '"' || c == '\\' || c == '<' || c == '>' || c == '&')
            size += 5;  // \u00XX
        else if (b == 0xE2)
            size += 3;  // perhaps U+2028 or U+2029, three bytes written as six
    }
    return size;
}

// ---- reading back what BuildSearchIndex wrote ----

// The JSON string starting at `at` (its quote), decoded; `at` moves past it.
std::optional<std::string> readJsonString(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= text.size()) return std::nullopt;
        switch (text[at]) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                auto hex = [&](std::size_t from) -> std::optional<char32_t> {
                    if (from + 4 > text.size()) return std::nullopt;
                    char32_t v = 0;
                    for (std::size_t i = from; i < from + 4; ++i) {
                        char h = text[i];
                        int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
                        if (d < 0) return std::nullopt;
                        v = v * 16 + static_cast<char32_t>(d);
                    }
                    return v;
                };
                auto cp = hex(at + 1);
                if (!cp) return std::nullopt;
                at += 4;
                if (*cp >= 0xD800 && *cp <= 0xDBFF && at + 2 < text.size() && text[at + 1] == '\\' &&
                    text[at + 2] == 'u') {
                    if (auto low = hex(at + 3); low && *low >= 0xDC00 && *low <= 0xDFFF) {
                        *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                        at += 6;
                    }
                }
                appendUtf8(out, *cp);
                break;
            }
            default: out += text[at];  // \" \\ \/
        }
    }
    return std::nullopt;
}

// The string value of "key": in a file's object; nullopt when missing.
std::optional<std::string> field(std::string_view text, std::string_view key) {
    std::string mark = "\"" + std::string(key) + "\":";
    auto at = text.find(mark);
    if (at == std::string_view::npos) return std::nullopt;
    at += mark.size();
    return readJsonString(text, at);
}

// The strings of the array value of "key".
std::vector<std::string> arrayField(std::string_view text, std::string_view key) {
    std::vector<std::string> out;
    std::string mark = "\"" + std::string(key) + "\":[";
    auto at = text.find(mark);
    if (at == std::string_view::npos) return out;
    at += mark.size();
    while (at < text.size() && text[at] != ']') {
        auto s = readJsonString(text, at);
        if (!s) break;
        out.push_back(std::move(*s));
        if (at < text.size() && text[at] == ',') ++at;
    }
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 && digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Entry `index` of the object "key": in a block, decoded; nullopt when it has none.
std::optional<std::string> rawOf(std::string_view block, std::string_view key, std::size_t index) {
    auto from = block.find("\"" + std::string(key) + "\":{");
    if (from == std::string_view::npos) return std::nullopt;
    auto end = block.find('}', from);
    std::string entry = "\"" + std::to_string(index) + "\":";
    auto at = block.find(entry, from);
    if (at == std::string_view::npos || at > end) return std::nullopt;
    at += entry.size();
    auto encoded = readJsonString(block, at);
    if (!encoded) return std::nullopt;
    return percentDecode(*encoded);
}

bool isWordChar(char32_t cp) {
    return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || cp >= 0x80;
}

// How the readers fold a letter outside ASCII, so that a page folds what is typed as the index
// did: {"É":"e",...}; the marks that go are known to them.
std::string foldTable() {
    static const std::string table = [] {
        std::string out;
        for (auto [first, last] : {std::pair<char32_t, char32_t>{0x80, 0x24F}, {0x370, 0x58F},
                                   {0x400, 0x4FF}, {0x1E00, 0x1EFF}, {0xFF00, 0xFF5F}}) {
            for (char32_t cp = first; cp <= last; ++cp) {
                if (isMark(cp)) continue;
                std::string letter;
                appendUtf8(letter, cp);
                std::string folded = foldForSearch(letter);
                if (folded == letter) continue;
                out += std::string(out.empty() ? "" : ",") + JsonString(letter) + ":" + JsonString(folded);
            }
        }
        return "{" + out + "}";
    }();
    return table;
}

}  // namespace

std::string foldForSearch(std::string_view text) {
    // Most names are ASCII: lower case is all there is to do.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    // Bytes that are not UTF-8 are read as the pages show them.
    const std::string shown = shownName(text);
    std::string_view utf8 = shown;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        std::size_t n = decodeUtf8(utf8, i, cp);
        if (n == 0) cp = 0xFFFD, n = 1;
        i += n;
        if (isMark(cp)) continue;
        appendUtf8(out, withoutAccent(foldChar(cp)));
    }
    return out;
}

std::string SearchFingerprint(const SearchTree& tree, const SearchSite& site) {
    Fingerprint print;
    print.bytes(site.name).bytes(site.folderEnding);
    for (const auto& [folder, entries] : tree) {
        print.bytes(folder);
        for (const SearchEntry& e : entries) {
            print.bytes(e.name).word(e.isFolder ? 1u : 0u);
            print.word(static_cast<std::uint64_t>(static_cast<std::int64_t>(e.size)));
            print.word(static_cast<std::uint64_t>(e.mtime));
        }
    }
    const std::uint64_t a = print.high(), b = print.low();
    return hex8(static_cast<std::uint32_t>(a >> 32)) + hex8(static_cast<std::uint32_t>(a)) +
           hex8(static_cast<std::uint32_t>(b >> 32)) + hex8(static_cast<std::uint32_t>(b));
}

bool SearchIndexIsCurrent(const std::function<std::optional<std::string>(const std::string&)>& read,
                          const std::function<bool(const std::string&)>& exists,
                          const std::string& fingerprint) {
    auto manifest = read(std::string(kSearchManifest));
    if (!manifest || fingerprint.empty() || field(*manifest, "print").value_or("") != fingerprint)
        return false;
    auto at = manifest->find("\"shards\":");
    if (at == std::string::npos) return false;
    const long shards = std::atol(manifest->c_str() + at + 9);
    for (long k = 0; k < shards; ++k) {
        if (!exists(shardName(static_cast<std::uint32_t>(k)))) return false;
    }
    for (const std::string& id : arrayField(*manifest, "blocks")) {
        if (!exists("b-" + id + ".js")) return false;
    }
    return true;
}

std::map<std::string, std::string> BuildSearchIndex(const SearchTree& tree,
                                                    const std::string& fingerprint,
                                                    const SearchSite& site,
                                                    const ParallelFor& forEach) {
    // Folder by folder, in the order of their paths' bytes; in each, folders first, then by
    // name as listings sort them. The walk hands them over in that order already: then this
    // costs a look at each pair.
    auto inOrder = [](const SearchEntry* a, const SearchEntry* b) {
        if (a->isFolder != b->isFolder) return a->isFolder;
        if (int c = compareFolded(a->name, b->name)) return c < 0;
        return a->name < b->name;
    };
    struct Ref {
        const std::string* folder;
        const SearchEntry* entry;
    };
    std::vector<Ref> records;
    {
        std::size_t count = 0;
        for (const auto& [folder, entries] : tree) count += entries.size();
        records.reserve(count);
    }
    std::vector<const SearchEntry*> sorted;
    for (const auto& [folder, entries] : tree) {
        sorted.clear();
        for (const SearchEntry& e : entries) sorted.push_back(&e);
        if (!std::is_sorted(sorted.begin(), sorted.end(), inOrder))
            std::sort(sorted.begin(), sorted.end(), inOrder);
        for (const SearchEntry* e : sorted) records.push_back({&folder, e});
    }
    // Blocks.
    struct Block {
        std::string id;
        std::size_t first = 0, end = 0;
    };
    std::vector<Block> blocks;
    std::set<std::string> ids;
    std::size_t bytes = 0;
    std::string key;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string& folder = *records[i].folder;
        const SearchEntry& r = *records[i].entry;
        bool newFolder = i > 0 && records[i - 1].folder != records[i].folder;
        key.assign(folder).append(1, '\0').append(r.name);
        const std::uint32_t hash = fnv1a(key);
        // Past the soft size a block ends where its entries say, not where a count falls,
        // so that a name added or gone moves no boundary but its own block's.
        bool end = !blocks.empty() &&
                   (bytes >= kBlockCap || (bytes >= kBlockMin && hash % kBlockOdds == 0) ||
                    (bytes >= kLongBlock && hash % kLongBlockOdds == 0));
        if (blocks.empty() || end) {
            std::string id = blocks.empty() ? "0" : hex8(hash);
            for (int n = 2; ids.count(id); ++n) id = id.substr(0, 8) + "-" + std::to_string(n);
            ids.insert(id);
            blocks.push_back({id, i, i});
            bytes = 0;
        }
        const bool folderStarts = newFolder || blocks.back().first == i;
        blocks.back().end = i + 1;
        // The bytes the record takes in its file, escapes included, or a little more.
        bytes += jsonSizeAtMost(r.name) + kPerRecord + (folderStarts ? jsonSizeAtMost(folder) : 0);
    }

    // Each block's file and trigrams, on as many threads as there are.
    struct Built {
        std::string file;
        std::vector<std::uint64_t> grams;
    };
    std::vector<Built> built(blocks.size());
    auto buildBlock = [&](std::size_t b) {
        const Block& block = blocks[b];
        GramSet gramSet;
        std::vector<std::string> folders;  // each once: the records go folder by folder
        std::string names, packed, raw;
        std::int64_t lastMinutes = 0;
        for (std::size_t i = block.first; i < block.end; ++i) {
            const SearchEntry& r = *records[i].entry;
            if (folders.empty() || folders.back() != *records[i].folder) folders.push_back(*records[i].folder);
            if (i > block.first) names += '/';
            if (isValidUtf8(r.name)) {
                names += r.name;
                addGramKeys(foldForSearch(r.name), gramSet);
            } else {
                const std::string shown = shownName(r.name);
                names += shown;
                addGramKeys(foldForSearch(shown), gramSet);
                raw += std::string(raw.empty() ? "" : ",") + "\"" + std::to_string(i - block.first) +
                       "\":" + JsonString(rawText(r.name));
            }
            appendVarint(packed, (folders.size() - 1) * 2 + (r.isFolder ? 1 : 0));
            appendVarint(packed, r.size > 0 && r.size < 9e15 ? static_cast<std::uint64_t>(r.size) : 0);
            // Minutes, as the pages show times, after the record before: mostly a byte or two.
            const std::int64_t minutes = floorMinutes(r.mtime), t = minutes - lastMinutes;
            lastMinutes = minutes;
            appendVarint(packed, t < 0 ? (static_cast<std::uint64_t>(-(t + 1)) << 1) | 1
                                       : static_cast<std::uint64_t>(t) << 1);
        }
        // Each folder as what it shares with the one before, counted in UTF-16 units as a
        // page's script counts, and the rest: "12:b/c".
        std::string folderList, rawFolders, before;
        for (std::size_t f = 0; f < folders.size(); ++f) {
            std::string shown = shownPath(folders[f]);
            std::size_t same = 0;
            while (same < shown.size() && same < before.size() && shown[same] == before[same]) ++same;
            while (same > 0 && (static_cast<unsigned char>(shown[same]) & 0xC0) == 0x80) --same;
            folderList += std::string(folderList.empty() ? "" : ",") +
                          JsonString(std::to_string(utf16Units(std::string_view(shown).substr(0, same))) + ":" +
                                     shown.substr(same));
            before = shown;
            if (shown != folders[f]) {
                rawFolders += std::string(rawFolders.empty() ? "" : ",") + "\"" + std::to_string(f) +
                              "\":" + JsonString(rawPath(folders[f]));
            }
        }
        built[b].file = fileText("b-" + block.id, "{\"folders\":[" + folderList + "],\"names\":" + JsonString(names) +
                                                      ",\"packed\":" + JsonString(Base64(packed)) + ",\"raw\":{" +
                                                      raw + "},\"rawFolders\":{" + rawFolders + "}}");
        built[b].grams = gramSet.take();
    };
    if (forEach) {
        forEach(blocks.size(), buildBlock);
    } else {
        for (std::size_t b = 0; b < blocks.size(); ++b) buildBlock(b);
    }
    std::map<std::string, std::string> files;
    // (trigram, short block id), one for each block a trigram is in.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> postings;
    std::string blockList;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        files["b-" + blocks[b].id + ".js"] = std::move(built[b].file);
        const std::uint32_t blockId = shortId(blocks[b].id);
        for (std::uint64_t g : built[b].grams) postings.push_back({g, blockId});
        blockList += std::string(blockList.empty() ? "" : ",") + JsonString(blocks[b].id);
    }
    // Trigram shards: as many as keep each near its target, a power of two so that a growing
    // tree moves trigrams rarely.
    std::sort(postings.begin(), postings.end());
    postings.erase(std::unique(postings.begin(), postings.end()), postings.end());
    std::size_t postingBytes = 0, distinct = 0;
    for (std::size_t i = 0; i < postings.size(); ++i) {
        if (i == 0 || postings[i].first != postings[i - 1].first) ++distinct;
    }
    postingBytes = 2 * postings.size() + 8 * distinct;
    std::uint32_t shards = 1;
    while (postingBytes / shards > kShardTarget && shards < (1u << 20)) shards *= 2;
    std::vector<std::pair<std::string, std::string>> shardParts(shards);  // grams, packed
    for (std::size_t i = 0; i < postings.size();) {
        std::size_t end = i;
        while (end < postings.size() && postings[end].first == postings[i].first) ++end;
        const std::string g = gramText(postings[i].first);
        auto& [grams, packed] = shardParts[fnv1a(g) % shards];
        if (!packed.empty() || !grams.empty()) grams += '/';
        grams += g;
        appendVarint(packed, end - i);
        std::uint32_t last = 0;
        for (std::size_t k = i; k < end; ++k) {
            appendVarint(packed, postings[k].second - last);
            last = postings[k].second;
        }
        i = end;
    }
    for (std::uint32_t k = 0; k < shards; ++k) {
        const auto& [grams, packed] = shardParts[k];
        files[shardName(k)] = fileText("t-" + std::to_string(k), "{\"grams\":" + JsonString(grams) +
                                                                     ",\"packed\":" +
                                                                     JsonString(Base64(packed)) + "}");
    }
    files[std::string(kSearchManifest)] =
        fileText("manifest", "{\"version\":1,\"print\":" + JsonString(fingerprint) +
                                 ",\"site\":" + JsonString(site.name) + ",\"dir\":" +
                                 JsonString(site.folderEnding) + ",\"shards\":" + std::to_string(shards) +
                                 ",\"fold\":" + foldTable() + ",\"blocks\":[" + blockList + "]}");
    return files;
}

std::vector<SearchHit> SearchIndex(
    const std::function<std::optional<std::string>(const std::string&)>& read,
    std::string_view query, std::size_t* filesRead) {
    std::size_t counted = 0;
    std::vector<SearchHit> hits;
    auto finish = [&] {
        if (filesRead) *filesRead = counted;
        std::stable_sort(hits.begin(), hits.end(),
                         [](const SearchHit& a, const SearchHit& b) { return a.rank < b.rank; });
        return hits;
    };
    auto manifest = read(std::string(kSearchManifest));
    if (!manifest) return finish();
    // The parts between the "*"s, in order.
    const std::string folded = foldForSearch(query);
    std::vector<std::string> parts;
    for (std::size_t at = 0;;) {
        auto star = folded.find('*', at);
        std::string part = folded.substr(at, star == std::string::npos ? std::string::npos : star - at);
        if (!part.empty()) parts.push_back(part);
        if (star == std::string::npos) break;
        at = star + 1;
    }
    if (parts.empty()) return finish();
    const bool wild = folded.find('*') != std::string::npos;
    const std::vector<std::string> order = arrayField(*manifest, "blocks");
    std::string shardsText = manifest->substr(manifest->find("\"shards\":") + 9);
    const auto shards = static_cast<std::uint32_t>(std::max(1L, std::atol(shardsText.c_str())));

    // The blocks that may hold a match: those holding a trigram of the longest part.
    const std::string& longest = *std::max_element(
        parts.begin(), parts.end(), [](const std::string& a, const std::string& b) {
            return codePoints(a).size() < codePoints(b).size();
        });
    // The blocks that hold two trigrams of it (a block with a match holds all of its own),
    // chosen as a page's script chooses them: those with letters first, as digits and dots are
    // in nearly every block.
    std::optional<std::unordered_set<std::uint32_t>> candidates;
    for (const std::string& gram : gramsWorthLookingUp(longest)) {
        auto shard = read(shardName(fnv1a(gram) % shards));
        ++counted;
        std::unordered_set<std::uint32_t> ids;
        if (shard) {
            std::vector<std::string> list = split(field(*shard, "grams").value_or(""), '/');
            std::string packed = FromBase64(field(*shard, "packed").value_or(""));
            std::size_t at = 0;
            for (const std::string& g : list) {
                std::uint64_t count = readVarint(packed, at), id = 0;
                for (std::uint64_t i = 0; i < count && at < packed.size(); ++i) {
                    id += readVarint(packed, at);
                    if (g == gram) ids.insert(static_cast<std::uint32_t>(id));
                }
            }
        }
        if (candidates) {
            std::erase_if(*candidates, [&](std::uint32_t id) { return !ids.count(id); });
        } else {
            candidates = std::move(ids);
        }
    }
    for (const std::string& id : order) {
        if (candidates && !candidates->count(shortId(id))) continue;
        auto block = read("b-" + id + ".js");
        ++counted;
        if (!block) continue;
        std::vector<std::string> folders = arrayField(*block, "folders");
        for (std::size_t f = 0; f < folders.size(); ++f) {
            auto colon = folders[f].find(':');
            std::size_t same = f ? bytesOfUnits(folders[f - 1], std::strtoul(folders[f].c_str(), nullptr, 10)) : 0;
            folders[f] = (f ? folders[f - 1].substr(0, same) : "") +
                         (colon == std::string::npos ? "" : folders[f].substr(colon + 1));
        }
        std::vector<std::string> names = split(field(*block, "names").value_or(""), '/');
        std::string packed = FromBase64(field(*block, "packed").value_or(""));
        std::size_t at = 0;
        std::int64_t minutes = 0;
        for (std::size_t i = 0; i < names.size() && at < packed.size(); ++i) {
            std::uint64_t folderAndKind = readVarint(packed, at);
            std::uint64_t size = readVarint(packed, at);
            std::uint64_t time = readVarint(packed, at);
            minutes += time & 1 ? -static_cast<std::int64_t>(time >> 1) - 1 : static_cast<std::int64_t>(time >> 1);
            std::string name = foldForSearch(names[i]);
            // Each part after the one before.
            std::size_t from = 0, first = std::string::npos;
            bool found = true;
            for (const std::string& part : parts) {
                auto p = name.find(part, from);
                if (p == std::string::npos) {
                    found = false;
                    break;
                }
                if (first == std::string::npos) first = p;
                from = p + part.size();
            }
            if (!found) continue;
            SearchHit hit;
            std::size_t folderIndex = folderAndKind / 2;
            hit.record.folder = folderIndex < folders.size() ? folders[folderIndex] : "";
            hit.record.isFolder = folderAndKind % 2 == 1;
            hit.record.name = names[i];
            // A name or folder that is not UTF-8 carries its own bytes.
            if (auto own = rawOf(*block, "raw", i)) hit.record.name = *own;
            if (auto own = rawOf(*block, "rawFolders", folderIndex)) hit.record.folder = *own;
            hit.record.size = static_cast<double>(size);
            hit.record.mtime = minutes * 60;
            // Whole name or word, a word's start, or inside a word.
            auto cps = codePoints(name);
            std::size_t start = codePoints(name.substr(0, first)).size();
            std::size_t end = start + codePoints(parts.front()).size();
            bool atStart = start == 0 || !isWordChar(cps[start - 1]);
            bool atEnd = end >= cps.size() || !isWordChar(cps[end]);
            hit.rank = wild ? 1 : atStart && atEnd ? 0 : atStart ? 1 : 2;
            hits.push_back(std::move(hit));
        }
    }
    return finish();
}

}  // namespace tabulo
