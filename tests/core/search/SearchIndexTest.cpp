// The site-wide search index: what it finds is what a plain look through every name finds,
// a query reads few and small files, and a change rewrites only the files it touches.
#include "search/SearchIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tabulo::test {
namespace {

using Files = std::map<std::string, std::string>;

auto reader(const Files& files) {
    return [&files](const std::string& name) -> std::optional<std::string> {
        auto it = files.find(name);
        if (it == files.end()) return std::nullopt;
        return it->second;
    };
}

// The index of names given one by one, in any order.
Files build(const std::vector<SearchRecord>& records) {
    SearchTree tree;
    for (const SearchRecord& r : records) tree[r.folder].push_back({r.name, r.isFolder, r.size, r.mtime});
    return BuildSearchIndex(tree);
}

std::set<std::pair<std::string, std::string>> found(const Files& files, const std::string& query,
                                                    std::size_t* read = nullptr) {
    std::set<std::pair<std::string, std::string>> out;
    for (const SearchHit& hit : SearchIndex(reader(files), query, read))
        out.emplace(hit.record.folder, hit.record.name);
    return out;
}

// Names people give, and names that try to break out of strings and markup.
std::vector<SearchRecord> tree(std::size_t count, unsigned seed) {
    static const std::vector<std::string> words = {
        "report", "Café", "naïve", "ÉCOLE", "東京", "photo 2024", "a#b", "what?", "100%",
        "x&y", "<script>alert(1)<\\script>", "\"quoted\"", "it's", "back\\slash", "tab\there",
        "bad\xFF\xFE", "Ελλάδα", "straße", "Résumé", "notes"};
    std::mt19937 random(seed);
    std::vector<SearchRecord> records;
    std::vector<std::string> folders = {""};
    std::set<std::string> taken;
    for (std::size_t i = 0; i < count; ++i) {
        SearchRecord r;
        r.folder = folders[random() % folders.size()];
        r.name = words[random() % words.size()] + " " + std::to_string(random() % 5000) +
                 (random() % 3 ? ".txt" : "");
        r.isFolder = random() % 10 == 0;
        r.size = static_cast<double>(random() % 100000);
        r.mtime = 1500000000 + static_cast<std::int64_t>(random() % 100000000);
        // A folder holds each name once.
        if (!taken.insert(r.folder + '/' + r.name).second) continue;
        if (r.isFolder) folders.push_back(r.folder.empty() ? r.name : r.folder + "/" + r.name);
        records.push_back(r);
    }
    return records;
}

TEST(SearchIndexTest, FindsWhatALookThroughEveryNameFinds) {
    auto records = tree(6000, 1);
    Files files = build(records);
    std::mt19937 random(7);
    for (int q = 0; q < 200; ++q) {
        // A piece of a name, sometimes with a "*" inside.
        const std::string& name = records[random() % records.size()].name;
        std::size_t from = random() % name.size(), length = 1 + random() % 6;
        std::string query = name.substr(from, length);
        bool wild = q % 5 == 0 && query.size() > 2;
        if (wild) query.insert(1, "*");
        std::set<std::pair<std::string, std::string>> expected;
        const std::string folded = foldForSearch(query);
        for (const SearchRecord& r : records) {
            std::string n = foldForSearch(r.name);
            bool hit;
            if (wild) {
                auto star = folded.find('*');
                auto a = n.find(folded.substr(0, star));
                hit = a != std::string::npos &&
                      n.find(folded.substr(star + 1), a + star) != std::string::npos;
            } else {
                hit = n.find(folded) != std::string::npos;
            }
            if (hit) expected.emplace(r.folder, r.name);
        }
        auto got = found(files, query);
        std::vector<std::pair<std::string, std::string>> missing, extra;
        std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                            std::back_inserter(missing));
        std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                            std::back_inserter(extra));
        EXPECT_TRUE(missing.empty() && extra.empty())
            << "query " << query << ": " << missing.size() << " missing, first "
            << (missing.empty() ? "" : missing[0].first + " | " + missing[0].second) << "; "
            << extra.size() << " extra, first "
            << (extra.empty() ? "" : extra[0].first + " | " + extra[0].second);
    }
}

TEST(SearchIndexTest, NamesComeBackWithTheirFolderSizeTimeAndBytes) {
    std::vector<SearchRecord> records = {
        {"", "docs", true, 0, 1700000000},
        {"docs", "Caf\xC3\xA9 menu.pdf", false, 12345, 1600000000},
        {"docs", "bad\xFF.bin", false, 7, -5},
        {"docs/deep", "<img src=x onerror=alert(1)>", false, 1, 0}};
    Files files = build(records);
    auto hits = SearchIndex(reader(files), "CAFE");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].record.folder, "docs");
    EXPECT_EQ(hits[0].record.name, "Caf\xC3\xA9 menu.pdf");
    EXPECT_EQ(hits[0].record.size, 12345);
    EXPECT_EQ(hits[0].record.mtime, 1600000000 / 60 * 60);  // to the minute, as pages show it
    hits = SearchIndex(reader(files), "bad");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].record.name, "bad\xFF.bin");  // its own bytes, to link it
    EXPECT_EQ(hits[0].record.mtime, -60);
    EXPECT_EQ(found(files, "onerror"), (std::set<std::pair<std::string, std::string>>{
                                           {"docs/deep", "<img src=x onerror=alert(1)>"}}));
    // Names are data in the files: nothing there opens markup or ends a string.
    for (const auto& [name, text] : files) {
        EXPECT_EQ(text.find("<img"), std::string::npos) << name;
        EXPECT_EQ(text.rfind(kSearchMark, 0), 0u) << name;
    }
}

TEST(SearchIndexTest, WholeWordsThenWordStartsThenTheRest) {
    std::vector<SearchRecord> records = {{"", "reporter.txt"}, {"", "my report.txt"},
                                         {"", "export.csv"}, {"", "report"}};
    Files files = build(records);
    std::vector<std::string> names;
    for (const SearchHit& hit : SearchIndex(reader(files), "report")) names.push_back(hit.record.name);
    EXPECT_EQ(names, (std::vector<std::string>{"my report.txt", "report", "reporter.txt"}));
    EXPECT_TRUE(found(files, "port").count({"", "export.csv"}));
    EXPECT_TRUE(found(files, "re*.csv").empty());
    EXPECT_TRUE(found(files, "ex*.csv").count({"", "export.csv"}));
}

TEST(SearchIndexTest, AQueryReadsAShardAndItsBlocksAllSmall) {
    auto records = tree(100000, 3);
    Files files = build(records);
    std::size_t blocks = 0;
    for (const auto& [name, text] : files) {
        EXPECT_LE(text.size(), 256u * 1024) << name;
        if (name.starts_with("b-")) ++blocks;
    }
    EXPECT_GT(blocks, 10u);
    // At most 30 bytes a name beside the name's own.
    std::size_t total = 0, names = 0;
    for (const auto& [name, text] : files) total += text.size();
    for (const SearchRecord& r : records) names += r.name.size();
    std::size_t inBlocks = 0, inShards = 0, folderBytes = 0;
    for (const auto& [name, text] : files) (name.starts_with("b-") ? inBlocks : inShards) += text.size();
    for (const auto& [name, text] : files) {
        auto at = text.find("\"folders\":[");
        if (at != std::string::npos) folderBytes += text.find("],", at) - at;
    }
    EXPECT_LE(total, names + 30 * records.size())
        << (total - names) / records.size() << " bytes a name; blocks " << inBlocks << " (folders "
        << folderBytes << "), shards " << inShards << ", names " << names;
    // A rare name is in one block: two shards (of the two trigrams with the most letters) and
    // that block, also when the query is mostly digits.
    records.push_back({"", "zyxwvut unique 2024.txt", false, 1, 1});
    files = build(records);
    std::size_t read = 0;
    EXPECT_EQ(found(files, "xwvu", &read).size(), 1u);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(found(files, "ue 2024.t", &read).size(), 1u);
    EXPECT_EQ(read, 3u);
}

// The shard a trigram lies in, as both readers find it: FNV-1a of its bytes.
std::string shardOf(const std::string& gram, std::uint32_t shards) {
    std::uint32_t h = 2166136261u;
    for (char c : gram) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return "t-" + std::to_string(h % shards) + ".js";
}

// Names of made-up words: every trigram there is, so that the index has many shards.
std::vector<SearchRecord> wordSoup(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<SearchRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
        std::string name;
        for (int word = 0; word < 3; ++word) {
            for (std::size_t n = 4 + random() % 5; n > 0; --n) name += static_cast<char>('a' + random() % 26);
            name += word < 2 ? " " : ".txt";
        }
        records.push_back({"folder " + std::to_string(i / 200), name, false, 1, 1});
    }
    return records;
}

TEST(SearchIndexTest, OneNameMoreChangesItsBlockAndOnlyShardsOfItsTrigrams) {
    auto records = wordSoup(100000, 5);
    const Files before = build(records);
    const std::string manifest = before.at(std::string(kSearchManifest));
    const auto shards = static_cast<std::uint32_t>(std::stoul(manifest.substr(manifest.find("\"shards\":") + 9)));
    ASSERT_GT(shards, 4u);
    for (std::size_t at : {std::size_t{10}, std::size_t{5000}, std::size_t{60000}}) {
        const std::string name = "Qqqjjj Brand Ñew " + std::to_string(at);
        auto more = records;
        more.push_back({records[at].folder, name, false, 1, 1});
        const Files after = build(more);
        std::set<std::string> mayChange = {std::string(kSearchManifest)};
        const std::string folded = foldForSearch(name);  // ASCII but "ñ": two bytes
        std::vector<std::string> chars;
        for (std::size_t i = 0; i < folded.size();) {
            std::size_t n = (static_cast<unsigned char>(folded[i]) & 0xE0) == 0xC0 ? 2 : 1;
            chars.push_back(folded.substr(i, n));
            i += n;
        }
        for (std::size_t i = 0; i + 3 <= chars.size(); ++i)
            mayChange.insert(shardOf(chars[i] + chars[i + 1] + chars[i + 2], shards));
        int blocks = 0;
        for (const auto& [file, text] : after) {
            auto it = before.find(file);
            if (it != before.end() && it->second == text) continue;
            if (file.starts_with("b-")) {
                ++blocks;
            } else {
                EXPECT_TRUE(mayChange.count(file)) << file << " changed for " << name;
            }
        }
        for (const auto& [file, text] : before) {
            if (!after.count(file)) {
                EXPECT_TRUE(file.starts_with("b-")) << file << " went";
            }
        }
        EXPECT_EQ(blocks, 1) << name;
    }
}

}  // namespace
}  // namespace tabulo::test
