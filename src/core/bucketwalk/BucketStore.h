#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "bucket/S3Client.h"
#include "bucketwalk/PageStore.h"
#include "host/StatusSink.h"

namespace tabulo {

// "s3://BUCKET/KEY", as messages name an object.
std::string BucketAddress(const BucketPlace& place, const std::string& key);

// Puts into the bucket below the client's prefix, each file only when its MD5 differs from
// the ETag there; with `dryRun`, says what it would put instead. An object there that this
// program did not put (it lacks kOwnMarkHeader) is replaced only when `mayReplace` says so for its
// address, when there is one; otherwise it is kept, and said. With more than one connection,
// puts go out side by side, each connection a thread with a client of its own, at most two
// files a connection waiting: a put failed is told by finish().
class BucketStore : public PageStore {
  public:
    BucketStore(S3Client& client, StatusSink& sink, bool dryRun,
                std::function<bool(const std::string& address)> mayReplace = nullptr, int connections = 1);
    ~BucketStore() override;
    BucketStore(const BucketStore&) = delete;
    BucketStore& operator=(const BucketStore&) = delete;

    Stored put(const std::string& relative, const std::string& bytes, const std::string& type,
               const std::optional<std::string>& there) override;
    std::vector<std::string> finish() override;
    // The requests of its own connections (the client's are its own to count).
    BucketCounts counts() const;

  private:
    struct Job {
        std::string key, bytes, type;
    };
    void work(S3Client& client);

    S3Client& client_;
    StatusSink& sink_;
    bool dryRun_;
    std::function<bool(const std::string&)> mayReplace_;
    std::vector<std::unique_ptr<S3Client>> clients_;
    std::vector<std::thread> threads_;
    std::deque<Job> jobs_;
    std::vector<std::string> failures_;
    std::size_t busy_ = 0;
    bool stop_ = false;
    mutable std::mutex mutex_;
    std::condition_variable wake_, room_;
};

}  // namespace tabulo
