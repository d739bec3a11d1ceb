#include "bucketwalk/BucketStore.h"

#include "common/Encoding.h"

namespace tabulo {

std::string BucketAddress(const BucketPlace& place, const std::string& key) {
    return "s3://" + place.bucket + "/" + toUtf8(key);
}

BucketStore::BucketStore(S3Client& client, StatusSink& sink, bool dryRun,
                         std::function<bool(const std::string&)> mayReplace, int connections)
    : client_(client), sink_(sink), dryRun_(dryRun), mayReplace_(std::move(mayReplace)) {
    if (dryRun_ || connections < 2) return;
    for (int i = 0; i < connections; ++i) {
        clients_.push_back(std::make_unique<S3Client>(client_.place()));
        clients_.back()->firstPause = client_.firstPause;
        clients_.back()->tries = client_.tries;
    }
    for (auto& own : clients_) threads_.emplace_back([this, c = own.get()] { work(*c); });
}

BucketStore::~BucketStore() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void BucketStore::work(S3Client& client) {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
        }
        room_.notify_all();
        std::string failure;
        try {
            client.put(job.key, job.bytes, job.type);
        } catch (const BucketError& e) {
            failure = BucketAddress(client.place(), job.key) + "`: " + e.what();
        }
        {
            std::lock_guard lock(mutex_);
            --busy_;
            if (!failure.empty()) failures_.push_back(std::move(failure));
        }
        room_.notify_all();
    }
}

Stored BucketStore::put(const std::string& relative, const std::string& bytes, const std::string& type,
                        const std::optional<std::string>& there) {
    if (there && *there == Md5Hex(bytes)) return Stored::Unchanged;
    const std::string key = client_.place().prefix + relative;
    if (there && mayReplace_) {
        // A user's own page (a site's index.html) is no page of ours to replace unasked.
        const auto headers = client_.head(key);
        const bool ours = !headers || headerValue(*headers, kOwnMarkHeader) == kOwnMarkValue;
        if (!ours && !mayReplace_(BucketAddress(client_.place(), key))) {
            sink_.status("Keeping `" + BucketAddress(client_.place(), key) + "` as it was: the answer is No.");
            return Stored::Kept;
        }
    }
    if (dryRun_) {
        sink_.status("Would write `" + BucketAddress(client_.place(), key) + "` (" + std::to_string(bytes.size()) +
                     " bytes, " + type + ")");
    } else if (threads_.empty()) {
        client_.put(key, bytes, type);
    } else {
        std::unique_lock lock(mutex_);
        // Two files a connection wait at most: pages are not held by the thousand.
        room_.wait(lock, [this] { return jobs_.size() < 2 * threads_.size(); });
        jobs_.push_back({key, bytes, type});
        lock.unlock();
        wake_.notify_one();
    }
    return Stored::Written;
}

std::vector<std::string> BucketStore::finish() {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return jobs_.empty() && busy_ == 0; });
    return std::exchange(failures_, {});
}

BucketCounts BucketStore::counts() const {
    BucketCounts all;
    std::lock_guard lock(mutex_);
    for (const auto& c : clients_) all += c->counts();
    return all;
}

}  // namespace tabulo
