#include <filesystem>
#include <fstream>

#include "news/NewsRecord.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kNow = 1'800'000'000;

NewsFile file(const std::string& name, double size, std::int64_t mtime) {
    return {name, size, mtime, 0};
}

// "folder/name@seen" of every file changed since `since`, newest first.
std::vector<std::string> news(const NewsRecord& r, std::int64_t since = 0) {
    std::vector<std::string> out;
    for (const NewsItem& item : r.since(since, 100, nullptr))
        out.push_back(item.folder + "/" + item.file.name + "@" + std::to_string(item.file.seen));
    return out;
}

class NewsRecordTest : public FolderTest {
  protected:
    std::string record() const { return home() + "/news"; }
    // One run: a record loaded, the folders seen, the record saved.
    NewsRecord run(std::int64_t now, const std::map<std::string, std::vector<NewsFile>>& folders) {
        NewsRecord r = NewsRecord::load(record());
        r.setNow(now);
        r.walksTree("");
        for (const auto& [folder, files] : folders) r.see(folder, files);
        r.finish();
        r.save(record());
        return r;
    }
};

TEST_F(NewsRecordTest, DatesWhatCameAndChangedAndForgetsWhatWent) {
    // The first run knows no earlier state: each file came when its own time says.
    NewsRecord r = run(kNow, {{"", {file("old.txt", 1, kNow - 400 * kDay)}},
                              {"docs", {file("fresh.txt", 2, kNow - kDay)}}});
    EXPECT_EQ(news(r), (std::vector<std::string>{"docs/fresh.txt@" + std::to_string(kNow - kDay),
                                                 "/old.txt@" + std::to_string(kNow - 400 * kDay)}));
    EXPECT_EQ(r.latest(), kNow - kDay);

    // Later: a file with a time after the last run is dated by it; one copied in with an old
    // time by the run that found it; a changed file anew; an unchanged one keeps its date.
    const std::int64_t later = kNow + 10 * kDay;
    r = run(later, {{"", {file("old.txt", 1, kNow - 400 * kDay), file("copied.txt", 3, kNow - 900 * kDay)}},
                    {"docs", {file("fresh.txt", 5, kNow + 2 * kDay), file("made.txt", 1, kNow + 3 * kDay)}}});
    EXPECT_EQ(news(r, kNow), (std::vector<std::string>{"/copied.txt@" + std::to_string(later),
                                                       "docs/made.txt@" + std::to_string(kNow + 3 * kDay),
                                                       "docs/fresh.txt@" + std::to_string(kNow + 2 * kDay)}));
    // A time in the future is no later than the run that saw it.
    r = run(later + kDay, {{"", {file("old.txt", 1, kNow - 400 * kDay), file("copied.txt", 3, kNow - 900 * kDay),
                                 file("future.txt", 1, later + 500 * kDay)}},
                           {"docs", {file("fresh.txt", 5, kNow + 2 * kDay), file("made.txt", 1, kNow + 3 * kDay)}}});
    EXPECT_EQ(news(r, later + kDay).front(), "/future.txt@" + std::to_string(later + kDay));

    // A folder the whole walk did not see went, with its files; a file gone from a folder too.
    r = run(later + 2 * kDay, {{"", {file("old.txt", 1, kNow - 400 * kDay)}}});
    EXPECT_EQ(news(r), (std::vector<std::string>{"/old.txt@" + std::to_string(kNow - 400 * kDay)}));
    EXPECT_FALSE(r.changed());  // saved
}

TEST_F(NewsRecordTest, FoldersReadAloneOrNotAtAll) {
    run(kNow, {{"", {file("a", 1, kNow)}}, {"x", {file("b", 1, kNow)}}, {"x/y", {file("c", 1, kNow)}},
               {"z", {file("d", 1, kNow)}}});
    NewsRecord r = NewsRecord::load(record());
    r.setNow(kNow + 1);
    // A folder read alone keeps the subfolders it still has, and what lies below them.
    r.see("", {file("a", 1, kNow)});
    r.keepOnly("", {"x"});
    r.finish();
    EXPECT_EQ(news(r).size(), 3u);  // a, b, c: z went
    // A tree whose top could not be read keeps what it had.
    r.walksTree("");
    r.keepTree("x");
    r.see("", {file("a", 1, kNow)});
    r.finish();
    EXPECT_EQ(news(r).size(), 3u);
}

TEST_F(NewsRecordTest, OddNamesSurviveAndADamagedRecordStartsAnew) {
    const std::vector<NewsFile> odd = {file("line\nbreak", 1, kNow), file("100%\r.txt", 2, kNow),
                                       file("\xE9t\xE9 \"q\".txt", 3, kNow), file("%0A", 4, kNow)};
    run(kNow, {{"a %25\nb", odd}});
    NewsRecord r = NewsRecord::load(record());
    std::vector<std::string> names;
    for (const NewsItem& item : r.since(0, 10, nullptr)) {
        EXPECT_EQ(item.folder, "a %25\nb");
        names.push_back(item.file.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"%0A", "100%\r.txt", "line\nbreak", "\xE9t\xE9 \"q\".txt"}));

    // Cut short, foreign or garbled: an empty record, which dates files by their own times.
    const std::string whole = readFile(record());
    for (const std::string& bad : {whole.substr(0, whole.size() - 3), std::string("TBPAGES2 1\n"),
                                   whole + "D x\nnot numbers at all\n", std::string("TBNEWS1 x\n")}) {
        std::ofstream(record(), std::ios::binary) << bad;
        r = NewsRecord::load(record());
        EXPECT_TRUE(r.since(0, 10, nullptr).empty());
        r.setNow(kNow + kDay);
        r.see("", {file("n", 1, kNow - 5 * kDay)});
        EXPECT_EQ(news(r).front(), "/n@" + std::to_string(kNow - 5 * kDay));
    }
    // The newest come first, and a limit keeps the newest.
    std::size_t total = 0;
    r.see("many", {file("1", 1, kNow - 3), file("2", 1, kNow - 2), file("3", 1, kNow - 1)});
    auto some = r.since(0, 2, &total);
    EXPECT_EQ(total, 4u);
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].file.name, "3");
    EXPECT_EQ(some[1].file.name, "2");
}

}  // namespace
}  // namespace tabulo::test
