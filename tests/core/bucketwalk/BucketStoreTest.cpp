#include "bucketwalk/BucketStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "support/LocalServers.h"

namespace tabulo {
namespace {

struct Said : StatusSink {
    std::vector<std::string> lines;
    void status(std::string text) override { lines.push_back(std::move(text)); }
    void error(std::string text) override { lines.push_back(std::move(text)); }
};

// Puts side by side: each file once, the refused ones told by finish(), the queue drained
// before it returns, and nothing put twice or lost.
TEST(BucketStoreTest, ConnectionsSideBySidePutEachFileOnce) {
    std::atomic<int> puts{0};
    test::ScriptedPeer peer([&puts](int fd, const std::string& request) {
        ++puts;
        const bool refused = request.find("/refused-") != std::string::npos;
        const std::string body = refused ? "<Error><Code>AccessDenied</Code><Message>No.</Message></Error>" : "";
        test::sendAll(fd, std::string("HTTP/1.1 ") + (refused ? "403 Forbidden" : "200 OK") +
                              "\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\nETag: \"e\"\r\nConnection: close\r\n\r\n" + body);
    });
    BucketPlace place;
    place.endpoint = "http://127.0.0.1:" + std::to_string(peer.port());
    place.bucket = "site";
    place.prefix = "pub/";
    place.accessKey = place.secretKey = "KEY";
    S3Client client(place);
    Said said;
    for (const int connections : {1, 4}) {
        puts = 0;
        std::vector<std::string> failures;
        {
            BucketStore store(client, said, false, nullptr, connections);
            for (int i = 0; i < 40; ++i) {
                const bool refused = i % 10 == 3;
                const std::string name = (refused ? "refused-" : "page-") + std::to_string(i);
                // One connection puts at once, and a refusal throws there, as the walk expects.
                if (connections == 1 && refused) {
                    EXPECT_THROW(store.put(name, "bytes", "text/html", std::nullopt), BucketError);
                    continue;
                }
                EXPECT_EQ(store.put(name, "bytes", "text/html", std::nullopt), Stored::Written);
            }
            // What the listing says is there already is not put at all.
            EXPECT_EQ(store.put("same", "bytes", "text/html", Md5Hex("bytes")), Stored::Unchanged);
            if (connections > 1) {
                failures = store.finish();
                EXPECT_EQ(store.counts().puts, 40u);
            }
        }
        EXPECT_EQ(puts, 40);
        if (connections == 1) continue;
        std::sort(failures.begin(), failures.end());
        ASSERT_EQ(failures.size(), 4u);
        EXPECT_TRUE(failures[0].starts_with("s3://site/pub/refused-13`: ")) << failures[0];
    }
}

}  // namespace
}  // namespace tabulo
