#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "pages/JsonListing.h"

namespace fs = std::filesystem;

namespace tabulo {
namespace {

TEST(JsonListingTest, Layout) {
    EXPECT_EQ(JsonListing({}), "[\n]\n");
    EXPECT_EQ(JsonListing({{"sub", true, 1796604622, 99}, {"a.txt", false, 1796586900, 1234}}),
              "[\n"
              "{ \"name\":\"sub\", \"type\":\"directory\", \"mtime\":\"Mon, 07 Dec 2026 00:50:22 "
              "GMT\" },\n"
              "{ \"name\":\"a.txt\", \"type\":\"file\", \"mtime\":\"Sun, 06 Dec 2026 19:55:00 "
              "GMT\", \"size\":1234 }\n"
              "]\n");
    // What a folder's tree holds follows nginx's keys; files and folders without it have none.
    JsonEntry tree{"sub", true, 1796604622, 0, FolderTotals{1234.75, 3}};
    JsonEntry empty{"bare", true, 1796604622, 0, FolderTotals{}};
    JsonEntry file{"a.txt", false, 1796586900, 5, FolderTotals{9, 9}};
    EXPECT_EQ(JsonListing({tree, empty, file}),
              "[\n"
              "{ \"name\":\"sub\", \"type\":\"directory\", \"mtime\":\"Mon, 07 Dec 2026 00:50:22 "
              "GMT\", \"files\":3, \"bytes\":1234 },\n"
              "{ \"name\":\"bare\", \"type\":\"directory\", \"mtime\":\"Mon, 07 Dec 2026 00:50:22 "
              "GMT\", \"files\":0, \"bytes\":0 },\n"
              "{ \"name\":\"a.txt\", \"type\":\"file\", \"mtime\":\"Sun, 06 Dec 2026 19:55:00 "
              "GMT\", \"size\":5 }\n"
              "]\n");
}

TEST(JsonListingTest, DatesInEnglishAndGmt) {
    EXPECT_EQ(Rfc1123Date(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(Rfc1123Date(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
    EXPECT_EQ(Rfc1123Date(1709251199), "Thu, 29 Feb 2024 23:59:59 GMT");
    EXPECT_EQ(Rfc1123Date(2147483648), "Tue, 19 Jan 2038 03:14:08 GMT");
    EXPECT_EQ(Rfc1123Date(-1), "Wed, 31 Dec 1969 23:59:59 GMT");
    EXPECT_EQ(Rfc1123Date(-2203977600), "Wed, 28 Feb 1900 00:00:00 GMT");  // no leap day
    EXPECT_EQ(Rfc1123Date(-2203891200), "Thu, 01 Mar 1900 00:00:00 GMT");
    // Beyond four-digit years the time is held at the edge.
    EXPECT_EQ(Rfc1123Date(253402300799), "Fri, 31 Dec 9999 23:59:59 GMT");
    EXPECT_EQ(Rfc1123Date(INT64_MAX), "Fri, 31 Dec 9999 23:59:59 GMT");
    EXPECT_EQ(Rfc1123Date(INT64_MIN), "Mon, 01 Jan 0001 00:00:00 GMT");
}

// Hostile names read back by Python's JSON parser: each name as the hex of its UTF-8, then the
// type, the date and the size ("-" for folders).
TEST(JsonListingTest, RealParserReadsHostileNamesBack) {
    std::string controls;
    for (int c = 1; c < 0x20; ++c) controls += static_cast<char>(c);
    controls += '\x7F';
    const std::string nul("a\0b", 3);
    struct Case {
        std::string name, expected;
    };
    const std::vector<Case> cases = {
        {"say \"hi\" \\ bye", "say \"hi\" \\ bye"},
        {controls, controls},
        {nul, nul},
        {"\x80", "\xEF\xBF\xBD"},
        {"end\xC3", "end\xEF\xBF\xBD"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx"},
        {"</script><b>&amp;", "</script><b>&amp;"},
        {"line\xE2\x80\xA8para\xE2\x80\xA9", "line\xE2\x80\xA8para\xE2\x80\xA9"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
    };
    std::vector<JsonEntry> entries;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        entries.push_back({cases[k].name, k % 3 == 0, 86400 * static_cast<std::int64_t>(k),
                           k == 1 ? std::pow(2.0, 63) : static_cast<double>(k) * 1000.5});
    }
    entries[3].totals = FolderTotals{1e300, 7};
    std::string json = JsonListing(entries);
    for (const char* raw : {"<", ">", "&", "\xE2\x80\xA8", "\x7F"}) {
        EXPECT_EQ(json.find(raw), std::string::npos) << raw;
    }

    std::string dir = (fs::temp_directory_path() / "tabulo-json-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    std::ofstream(dir + "/list.json", std::ios::binary) << json;
    std::string command =
        "python3 -c 'import json,sys\n"
        "for e in json.load(open(sys.argv[1], encoding=\"utf-8\")):\n"
        "    print(e[\"name\"].encode(\"utf-8\").hex(), e[\"type\"], e[\"mtime\"], "
        "e.get(\"size\", \"-\"), e.get(\"files\", \"-\"), e.get(\"bytes\", \"-\"), sorted(e))' " +
        dir + "/list.json 2>&1";
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int status = ::pclose(p);
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;

    std::string expected;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        for (unsigned char c : cases[k].expected) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            expected += hex;
        }
        bool folder = k % 3 == 0;
        expected += folder ? " directory " : " file ";
        expected += Rfc1123Date(86400 * static_cast<std::int64_t>(k));
        expected += k == 3   ? " - 7 18446744073709551615 ['bytes', 'files', 'mtime', 'name', 'type']\n"
                    : folder ? " - - - ['mtime', 'name', 'type']\n"
                    : k == 1 ? " 9223372036854775808 - - ['mtime', 'name', 'size', 'type']\n"
                             : " " + std::to_string(k * 1000 + k / 2) +
                                   " - - ['mtime', 'name', 'size', 'type']\n";
    }
    EXPECT_EQ(out, expected);
}

TEST(JsonListingTest, SizesAreWholeBytesWithinRange) {
    auto size = [](double bytes) {
        std::string line = JsonListing({{"f", false, 0, bytes}});
        auto at = line.find("\"size\":") + 7;
        return line.substr(at, line.find(' ', at) - at);
    };
    EXPECT_EQ(size(0.75), "0");
    EXPECT_EQ(size(1e15), "1000000000000000");
    EXPECT_EQ(size(1e300), "18446744073709551615");
    EXPECT_EQ(size(-5), "0");
    EXPECT_EQ(size(std::nan("")), "0");
}

}  // namespace
}  // namespace tabulo
