#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "bucket/BucketTree.h"
#include "bucket/S3Client.h"
#include "pages/PageParts.h"
#include "run/RunSettings.h"

namespace tabulo {
namespace {

BucketObject object(const std::string& key, double size = 1) {
    return {key, size, 1700000000, "etag"};
}

std::vector<std::string> filesOf(const BucketFolder& folder) {
    std::vector<std::string> names;
    for (const BucketObject& f : folder.files) names.push_back(f.key);
    return names;
}

// The folders of objects handed on in key order, by path below the prefix, in the order they
// were finished.
std::vector<std::pair<std::string, BucketFolder>> assemble(const std::string& prefix, std::vector<BucketObject> objects) {
    std::sort(objects.begin(), objects.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    std::vector<std::pair<std::string, BucketFolder>> done;
    FolderAssembler folders(prefix, [&done](const std::string& path, BucketFolder& folder) {
        done.emplace_back(path, std::move(folder));
    });
    for (BucketObject& o : objects) folders.add(std::move(o));
    folders.finish();
    return done;
}

TEST(BucketTreeTest, KeysBecomeFoldersOnlyWhereTheyCanBeOne) {
    const auto done = assemble(
        "site/", {object("site/a.txt"), object("site/docs/", 0), object("site/docs/b.txt"),
                  object("site/docs/deep/c.txt"), object("site/x//y.txt"), object("site/../escape.txt"),
                  object("site/./here.txt"), object("site/ctl\x01/z.txt"), object("elsewhere/k.txt"),
                  object("site/"), object("site/empty/", 0), object("site/\xff\xfe/bad-utf8")});
    // Each folder once, those below before the one above; nothing outside the prefix.
    std::vector<std::string> order;
    std::map<std::string, BucketFolder> tree;
    for (const auto& [path, folder] : done) {
        order.push_back(path);
        tree[path] = folder;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ctl\x01/", "docs/deep/", "docs/", "empty/", "x/", "\xff\xfe/", ""}));
    // A key whose rest cannot be folders is one name, "/" and all: never a way up.
    EXPECT_EQ(filesOf(tree.at("")), (std::vector<std::string>{"../escape.txt", "./here.txt", "a.txt"}));
    EXPECT_EQ(filesOf(tree.at("x/")), (std::vector<std::string>{"/y.txt"}));
    EXPECT_EQ(filesOf(tree.at("docs/")), (std::vector<std::string>{"b.txt"}));
    EXPECT_TRUE(tree.at("empty/").files.empty());
    EXPECT_EQ(tree.at("").folders, (std::vector<std::string>{"ctl\x01", "docs", "empty", "x", "\xff\xfe"}));
}

// Only the folders still open are held; a key out of order is the store's fault, said, never
// a folder's page written twice.
TEST(BucketTreeTest, KeysOutOfOrderAreRefused) {
    // A folder is handed on as soon as a key lies past it.
    std::size_t done = 0;
    FolderAssembler folders("", [&done](const std::string&, BucketFolder&) { ++done; });
    for (std::size_t i = 0; i < 50; ++i) {
        for (int j = 0; j < 20; ++j) {
            char key[32];
            std::snprintf(key, sizeof key, "f%03zu/g%02d/file", i, j);
            folders.add(object(key));
        }
        EXPECT_EQ(done, 21 * i + 19);
    }
    folders.finish();
    EXPECT_EQ(done, 50u * 21 + 1);
    FolderAssembler again("", [](const std::string&, BucketFolder&) {});
    again.add(object("b/x"));
    again.add(object("c"));
    EXPECT_THROW(again.add(object("b/y")), BucketError);
    EXPECT_FALSE(PlaceOfKey("p/", "p/"));
    EXPECT_FALSE(PlaceOfKey("p/", "q/x"));
    EXPECT_EQ(PlaceOfKey("p/", "p/a/b/")->folder, "a/b/");
    EXPECT_EQ(PlaceOfKey("p/", "p/a/b/")->name, "");
    EXPECT_EQ(PlaceOfKey("p/", "p/a/../b")->name, "../b");
}

// The rest of a key that is no path of folders keeps its "/" in the name: its link asks for the
// very key, never for a folder above.
TEST(BucketTreeTest, NamesWithSlashesAreLinkedAsOneName) {
    for (const bool allInOne : {false, true}) {
        Options o;
        o.setCheck(opt("chkAllInOneFile"), allInOne ? 1 : 0);
        RunSettings s(o.snapshot(), "/site/pub", {});
        s.slashesInNames = true;
        const PagePlace place = PlaceOf(s, "/site/pub/x");
        const std::string above = allInOne ? "x/" : "";
        EXPECT_EQ(FileRowLink(s, place, {"../escape.txt"}), above + "..%2Fescape.txt");
        EXPECT_EQ(FileRowLink(s, place, {"/odd.txt"}), above + "%2Fodd.txt");
        EXPECT_EQ(FileRowLink(s, place, {"plain name.txt"}), above + "plain%20name.txt");
        s.slashesInNames = false;  // a folder's names have no "/": as they always were
        EXPECT_EQ(FileRowLink(s, place, {"plain name.txt"}), above + "plain%20name.txt");
    }
}

TEST(BucketTreeTest, AddressesKeysAndPlaces) {
    EXPECT_EQ(ParseBucketAddress("s3://my-bucket"), std::make_pair(std::string("my-bucket"), std::string()));
    EXPECT_EQ(ParseBucketAddress("s3://my.bucket/a/b"), std::make_pair(std::string("my.bucket"), std::string("a/b/")));
    EXPECT_EQ(ParseBucketAddress("s3://my-bucket/a/"), std::make_pair(std::string("my-bucket"), std::string("a/")));
    for (const char* bad : {"s3://", "s3://ab", "s3://Upper", "http://bucket/x", "bucket", "s3://a_b/"})
        EXPECT_FALSE(ParseBucketAddress(bad)) << bad;

    EXPECT_EQ(EncodeKeyForPath("a b/../c%d+e~f"), "a%20b/../c%25d%2Be~f");
    EXPECT_EQ(Md5Hex("hello"), "5d41402abc4b2a76b9719d911017c592");

    // Credentials from the environment first, else from the profile's files.
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "/credentials") << "[default]\naws_access_key_id = FILEKEY\naws_secret_access_key=FILESECRET\n"
                                        << "[other]\naws_access_key_id=OTHER\naws_secret_access_key=OTHERSECRET\n";
    std::ofstream(dir + "/config") << "[profile other]\nregion = eu-west-3\n";
    std::map<std::string, std::string> vars = {{"AWS_SHARED_CREDENTIALS_FILE", dir + "/credentials"},
                                               {"AWS_CONFIG_FILE", dir + "/config"}};
    auto env = [&vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
    BucketPlace p = BucketPlaceFor("b", "", "", env);
    EXPECT_EQ(p.accessKey, "FILEKEY");
    EXPECT_EQ(p.secretKey, "FILESECRET");
    EXPECT_EQ(p.endpoint, "https://s3.us-east-1.amazonaws.com");
    EXPECT_FALSE(p.pathStyle);
    vars["AWS_PROFILE"] = "other";
    p = BucketPlaceFor("b", "", "http://127.0.0.1:9/", env);
    EXPECT_EQ(p.accessKey, "OTHER");
    EXPECT_EQ(p.region, "eu-west-3");
    EXPECT_EQ(p.endpoint, "http://127.0.0.1:9");
    EXPECT_TRUE(p.pathStyle);
    vars["AWS_ACCESS_KEY_ID"] = "ENVKEY";
    vars["AWS_SECRET_ACCESS_KEY"] = "ENVSECRET";
    vars["AWS_REGION"] = "ap-south-1";
    p = BucketPlaceFor("b", "", "", env);
    EXPECT_EQ(p.accessKey, "ENVKEY");
    EXPECT_EQ(p.region, "ap-south-1");
    vars.clear();
    EXPECT_THROW(BucketPlaceFor("b", "", "", env), BucketError);
}

}  // namespace
}  // namespace tabulo
