#include "inventory/Inventory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "bucket/S3Client.h"
#include "support/Fixture.h"

namespace tabulo {
namespace {

namespace fs = std::filesystem;

class InventoryTest : public test::FolderTest {
  protected:
    // The layout the store writes and `aws s3 sync` copies: DEST/site/daily/2026-12-01T00-00Z/
    // manifest.json naming site/daily/data/*.csv.gz.
    std::string manifest(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& schema = "Bucket, Key, Size, LastModifiedDate, ETag, IsLatest, IsDeleteMarker",
                         const std::string& bucket = "site", const std::string& format = "CSV") {
        const fs::path data = fs::path(root) / "dest/site/daily/data";
        fs::create_directories(data);
        std::string list;
        for (const auto& [name, rows] : files) {
            const std::string path = (data / name).string();
            if (name.ends_with(".gz")) {
                gzFile out = gzopen(path.c_str(), "wb1");
                gzwrite(out, rows.data(), static_cast<unsigned>(rows.size()));
                gzclose(out);
            } else {
                std::ofstream(path, std::ios::binary) << rows;
            }
            list += std::string(list.empty() ? "" : ",") + "{\"key\": \"site/daily/data/" + name + "\", \"size\": 1}";
        }
        const fs::path folder = fs::path(root) / "dest/site/daily/2026-12-01T00-00Z";
        fs::create_directories(folder);
        std::ofstream(folder / "manifest.json")
            << "{\"sourceBucket\": \"" << bucket << "\", \"destinationBucket\": \"arn:aws:s3:::dest\", "
            << "\"fileFormat\": \"" << format << "\", \"fileSchema\": \"" << schema << "\", \"files\": [" << list << "]}";
        return (folder / "manifest.json").string();
    }

    std::vector<BucketObject> read(const std::string& manifestPath, const std::string& prefix, std::size_t runBytes,
                                   std::size_t* spilled = nullptr) {
        BucketPlace place;
        place.bucket = "site";
        place.prefix = prefix;
        InventorySource source(manifestPath, place, root, nullptr, runBytes);
        std::vector<BucketObject> out;
        source.feed([&out](BucketObject o) { out.push_back(std::move(o)); });
        if (spilled) *spilled = source.spilled();
        return out;
    }
};

std::string row(const std::string& key, int size, const std::string& latest = "true", const std::string& marker = "false") {
    return "\"site\",\"" + key + "\",\"" + std::to_string(size) + "\",\"2026-11-30T10:20:30.000Z\",\"d41d8cd98f00b204e9800998ecf8427e\",\"" +
           latest + "\",\"" + marker + "\"\n";
}

// Rows in no order across files, some held in runs on disk: handed on sorted, each key once,
// below the prefix only, without old versions and delete markers, keys decoded.
TEST_F(InventoryTest, RowsComeSortedOnceAndDecodedWhateverTheirOrderAndSize) {
    std::string first, second;
    for (int i = 999; i >= 0; --i) (i % 2 ? first : second) += row("pub/f" + std::to_string(i), i);
    first += row("pub/a+b%2Bc%25.txt", 1);               // "a b+c%.txt"
    second += row("pub/caf%C3%A9/%FF%01name", 2);        // UTF-8 folder, a byte no text holds
    second += row("pub/gone.txt", 3, "true", "true");    // deleted
    first += row("pub/old.txt", 4, "false");             // an older version
    first += row("other/x.txt", 5);
    second += row("pub/f7", 7);                          // listed twice
    second += "\"site\",\"pub/quoted%2C\",\"6\",\"2026-11-30T10:20:30.000Z\",\"\"\"q\"\"\",\"true\",\"false\"\r\n\n";
    const std::string m = manifest({{"a.csv.gz", first}, {"b.csv", second}});

    std::size_t spilled = 0;
    const auto small = read(m, "pub/", 4096, &spilled);
    EXPECT_GT(spilled, 10u);
    const auto whole = read(m, "pub/", InventorySource::kRunBytes, &spilled);
    EXPECT_EQ(spilled, 0u);
    ASSERT_EQ(small.size(), 1003u);
    ASSERT_EQ(whole.size(), small.size());
    for (std::size_t i = 0; i < small.size(); ++i) {
        EXPECT_EQ(small[i].key, whole[i].key);
        EXPECT_EQ(small[i].size, whole[i].size);
        if (i > 0) {
            EXPECT_LT(small[i - 1].key, small[i].key);
        }
    }
    EXPECT_EQ(small[0].key, "pub/a b+c%.txt");
    EXPECT_EQ(small[0].mtime, 1796034030);
    EXPECT_EQ(small[0].etag, "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(small[1].key, "pub/caf\xC3\xA9/\xFF\x01name");
    EXPECT_EQ(small.back().key, "pub/quoted,");
    EXPECT_EQ(small.back().etag, "q");  // an ETag in quotes, as listings give it, loses them
}

TEST_F(InventoryTest, WhatCannotBeReadIsSaidWithItsFile) {
    auto said = [this](const std::string& m) {
        try {
            read(m, "", InventorySource::kRunBytes);
        } catch (const BucketError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(said(manifest({{"a.csv", row("k", 1)}}, "Bucket, Key, Size, LastModifiedDate, ETag", "other")).find(
                  "lists the bucket `other`, not `site`"),
              std::string::npos);
    EXPECT_NE(said(manifest({{"a.csv", row("k", 1)}}, "Bucket, Key", "site")).find("no Key, Size and LastModifiedDate"),
              std::string::npos);
    EXPECT_NE(said(manifest({{"a.orc", ""}}, "Bucket, Key, Size, LastModifiedDate", "site", "ORC")).find(
                  "only CSV inventories are read"),
              std::string::npos);
    EXPECT_NE(said(manifest({{"a.csv", "\"site\",\"k\"\n"}})).find("has a row of 2 fields where its schema has 7"),
              std::string::npos);
    // A data file that is not what the manifest says it is.
    const std::string good = manifest({{"a.csv", row("k", 1)}});
    auto withChecksum = [&good](const std::string& md5) {
        std::ofstream(good) << "{\"sourceBucket\": \"site\", \"fileFormat\": \"CSV\", \"fileSchema\": "
                               "\"Bucket, Key, Size, LastModifiedDate, ETag, IsLatest, IsDeleteMarker\", \"files\": "
                               "[{\"key\": \"site/daily/data/a.csv\", \"MD5checksum\": \"" << md5 << "\"}]}";
        return good;
    };
    EXPECT_EQ(said(withChecksum(Md5Hex(row("k", 1)))), "no error");
    EXPECT_NE(said(withChecksum(Md5Hex("other"))).find("a.csv` is damaged: its MD5 is not the manifest's"),
              std::string::npos);
    const std::string m = manifest({{"gone.csv.gz", row("k", 1)}});
    fs::remove(fs::path(root) / "dest/site/daily/data/gone.csv.gz");
    EXPECT_NE(said(m).find("`site/daily/data/gone.csv.gz` is not beside its manifest"), std::string::npos) << said(m);
    std::ofstream(m) << "{\"files\": 3}";
    EXPECT_NE(said(m).find("is no inventory manifest"), std::string::npos);
    std::ofstream(m) << "{\"sourceBucket\": \"site\", \"fileFormat\": \"CSV\", \"fileSchema\": \"Key, Size, LastModifiedDate\", "
                        "\"files\": [{\"key\": \"../../../../etc/passwd\"}]}";
    EXPECT_NE(said(m).find("names a file outside its folder"), std::string::npos) << said(m);
    std::ofstream(m) << "{\"sourceBucket\": \"site\", \"fileFormat\": \"CSV\", \"fileSchema\": \"Key, Size, LastModifiedDate\", "
                        "\"files\": [3, {\"size\": 1}]}";
    EXPECT_NE(said(m).find("names a file without its key"), std::string::npos) << said(m);
    EXPECT_NE(said(root + "/none.json").find("Cannot read the inventory's manifest"), std::string::npos);
}

}  // namespace
}  // namespace tabulo
