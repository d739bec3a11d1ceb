#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabulo {

// Where a bucket is and who asks: the endpoint, the bucket, the keys' prefix, and the
// credentials and region that sign each request.
struct BucketPlace {
    std::string endpoint;  // "https://s3.eu-west-1.amazonaws.com", "http://127.0.0.1:4569"
    std::string bucket;
    std::string prefix;    // "" or ending in "/"
    std::string region = "us-east-1";
    std::string accessKey, secretKey, sessionToken;
    bool pathStyle = true;  // the bucket in the path, not in the host name
};

// "s3://BUCKET[/PREFIX]": the bucket and prefix; nothing when the text is no such address.
std::optional<std::pair<std::string, std::string>> ParseBucketAddress(const std::string& text);

// The place of `address` with what the environment says: AWS_ENDPOINT_URL (or `endpoint`
// when given), AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY, AWS_SESSION_TOKEN, AWS_REGION or
// AWS_DEFAULT_REGION, AWS_PROFILE, and the profile's lines in ~/.aws/credentials and
// ~/.aws/config (AWS_SHARED_CREDENTIALS_FILE, AWS_CONFIG_FILE). `env` reads a variable.
// Throws BucketError when no credentials are found.
BucketPlace BucketPlaceFor(const std::string& bucket, const std::string& prefix,
                           const std::string& endpoint,
                           const std::function<std::optional<std::string>(const char*)>& env);

// A failure of the object store, said in one line ("The access key is not known to the
// store.").
class BucketError : public std::runtime_error {
  public:
    BucketError(const std::string& what, int status = 0) : std::runtime_error(what), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

// An object as a listing gives it.
struct BucketObject {
    std::string key;  // bytes as stored: any bytes, also "../" and control characters
    double size = 0;
    std::int64_t mtime = 0;  // seconds since 1970
    std::string etag;        // without its quotes
};

struct BucketListPage {
    std::vector<BucketObject> objects;
    std::vector<std::string> prefixes;  // the "folders" below, each ending in the delimiter
    std::optional<std::string> next;    // the continuation token, while there is more
};

// What the client did, for the run's figures and the tests.
struct BucketCounts {
    std::uint64_t lists = 0, puts = 0, gets = 0, heads = 0, retries = 0;
    BucketCounts& operator+=(const BucketCounts& more) {
        lists += more.lists;
        puts += more.puts;
        gets += more.gets;
        heads += more.heads;
        retries += more.retries;
        return *this;
    }
};

// The metadata every object this program puts carries: another object at one of its names is a
// user's, not replaced without asking.
inline constexpr const char* kOwnMarkHeader = "x-amz-meta-generator";
inline constexpr const char* kOwnMarkValue = "Tabulo";

// Requests to an S3-compatible store, signed with AWS Signature Version 4 by libcurl, over a
// connection kept for the next request. One client per thread. Transient failures (500, 503,
// "SlowDown", a connection reset or refused, a request past its deadline) are tried again
// with a growing pause, a few times; the last failure is thrown as BucketError.
class S3Client {
  public:
    explicit S3Client(BucketPlace place, std::chrono::milliseconds deadline = std::chrono::seconds(30));
    ~S3Client();
    S3Client(const S3Client&) = delete;
    S3Client& operator=(const S3Client&) = delete;

    // One page of ListObjectsV2 below `prefix`; with `delimiter` "/" the keys below the next
    // "/" come as prefixes.
    BucketListPage list(const std::string& prefix, const std::string& delimiter,
                        const std::optional<std::string>& continuation);
    // Stores `bytes` under `key` with `contentType` and their MD5 as Content-MD5; the ETag the
    // store answers with.
    std::string put(const std::string& key, const std::string& bytes, const std::string& contentType);
    // The header lines of the object `key` (its metadata among them); nothing when there is no
    // such object.
    std::optional<std::vector<std::string>> head(const std::string& key);
    // Reads the object `key` piece by piece into `sink`; never holds it whole.
    void get(const std::string& key, const std::function<void(const char*, std::size_t)>& sink);

    const BucketCounts& counts() const { return counts_; }
    const BucketPlace& place() const { return place_; }
    // Pauses before each try again; tests make them short.
    std::chrono::milliseconds firstPause{200};
    int tries = 5;

  private:
    struct Response {
        long status = 0;
        std::string body;
        std::vector<std::string> headers;  // each line without its line end
    };
    Response send(const std::string& method, const std::string& key, const std::string& query,
                  const std::string* body, const std::vector<std::string>& headers,
                  const std::function<void(const char*, std::size_t)>* sink);
    std::string url(const std::string& key, const std::string& query) const;

    BucketPlace place_;
    std::chrono::milliseconds deadline_;
    void* curl_ = nullptr;
    BucketCounts counts_;
};

// Percent-encodes a key for a URL path: every byte but unreserved ones and "/".
std::string EncodeKeyForPath(const std::string& key);
// The value of the header `name` (in any case) among `headers` lines ("Name: value").
std::optional<std::string> headerValue(const std::vector<std::string>& headers, const std::string& name);
// A key as listings (with encoding-type=url) and inventories encode it: "+" a blank, "%XX" a
// byte; a text that is no such encoding is taken as it stands.
std::string DecodeFormKey(const std::string& text);
// "2026-12-08T02:03:38.000Z" as seconds since 1970; 0 for what is no such time.
std::int64_t IsoTime(const std::string& text);
// The ETag of a single-part upload is the MD5 of the bytes: this hex form.
std::string Md5Hex(const std::string& bytes);

}  // namespace tabulo
