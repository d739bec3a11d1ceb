#include "bucket/S3Client.h"

#include <curl/curl.h>
#include <expat.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/Base64.h"
#include "common/PercentEncoding.h"
#include "common/Text.h"

namespace tabulo {

namespace {

// A key in a URL's path keeps its "/"; a query value keeps nothing but unreserved bytes.
constexpr ByteSet kKeyPathBytes = kUnreservedBytes.with("/");

std::array<unsigned char, 16> md5(const std::string& bytes) {
    std::array<unsigned char, 16> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

}  // namespace

std::int64_t IsoTime(const std::string& text) {
    std::tm tm{};
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<std::int64_t>(timegm(&tm));
}

std::optional<std::string> headerValue(const std::vector<std::string>& headers, const std::string& name) {
    for (const std::string& line : headers) {
        const std::size_t colon = line.find(':');
        if (colon != name.size() || asciiLower(line.substr(0, colon)) != asciiLower(name)) continue;
        const std::size_t start = line.find_first_not_of(' ', colon + 1);
        return start == std::string::npos ? "" : line.substr(start);
    }
    return std::nullopt;
}

std::string DecodeFormKey(const std::string& text) {
    const std::string blanks = replaceAll(text, "+", " ");
    return percentDecode(blanks).value_or(blanks);
}

namespace {

// The elements of a ListObjectsV2 answer or of an error, read with expat.
struct XmlReader {
    std::vector<std::string> path;  // the open elements
    std::string text;
    BucketListPage page;
    BucketObject object;
    bool truncated = false, urlEncoded = false;
    std::string code, message;

    static void start(void* self, const XML_Char* name, const XML_Char**) {
        auto* r = static_cast<XmlReader*>(self);
        r->path.emplace_back(name);
        r->text.clear();
    }
    static void chars(void* self, const XML_Char* s, int n) {
        static_cast<XmlReader*>(self)->text.append(s, static_cast<std::size_t>(n));
    }
    static void end(void* self, const XML_Char* name) {
        auto* r = static_cast<XmlReader*>(self);
        r->path.pop_back();
        const std::string element = name;
        const std::string parent = r->path.empty() ? "" : r->path.back();
        if (parent == "Contents") {
            if (element == "Key") r->object.key = r->text;
            else if (element == "Size") r->object.size = std::atof(r->text.c_str());
            else if (element == "LastModified") r->object.mtime = IsoTime(r->text);
            else if (element == "ETag") r->object.etag = replaceAll(r->text, "\"", "");
        } else if (element == "Contents") {
            r->page.objects.push_back(std::move(r->object));
            r->object = {};
        } else if (parent == "CommonPrefixes" && element == "Prefix") {
            r->page.prefixes.push_back(r->text);
        } else if (element == "NextContinuationToken") {
            r->page.next = r->text;
        } else if (element == "IsTruncated") {
            r->truncated = r->text == "true";
        } else if (element == "EncodingType") {
            r->urlEncoded = r->text == "url";
        } else if (parent == "Error" && element == "Code") {
            r->code = r->text;
        } else if (parent == "Error" && element == "Message") {
            r->message = r->text;
        }
        r->text.clear();
    }

    bool parse(const std::string& raw) {
        // Some stores send keys as they are, control characters included, which XML cannot
        // hold: each goes through the parser as a private-use character and comes back after.
        std::string xml;
        bool shifted = false;
        for (char c : raw) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                xml += "\xEE\x80";
                xml += static_cast<char>(0x80 | b);
                shifted = true;
            } else {
                xml += c;
            }
        }
        XML_Parser parser = XML_ParserCreate("UTF-8");
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, start, end);
        XML_SetCharacterDataHandler(parser, chars);
        const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
        XML_ParserFree(parser);
        if (shifted) {
            auto back = [](std::string& value) {
                std::string out;
                for (std::size_t i = 0; i < value.size(); ++i) {
                    if (value.compare(i, 2, "\xEE\x80") == 0 && i + 2 < value.size() &&
                        (static_cast<unsigned char>(value[i + 2]) & 0xE0) == 0x80) {
                        out += static_cast<char>(static_cast<unsigned char>(value[i + 2]) & 0x1F);
                        i += 2;
                    } else {
                        out += value[i];
                    }
                }
                value = std::move(out);
            };
            for (BucketObject& o : page.objects) back(o.key);
            for (std::string& p : page.prefixes) back(p);
        }
        return ok;
    }
};

// What a failed answer means, in one line for the user.
std::string failureText(long status, const std::string& body, const BucketPlace& place) {
    XmlReader r;
    r.parse(body);
    const std::string& code = r.code;
    if (code == "InvalidAccessKeyId") return "The access key is not known to the store at " + place.endpoint + ".";
    if (code == "SignatureDoesNotMatch") return "The secret key does not match the access key.";
    if (code == "NoSuchBucket") return "There is no bucket `" + place.bucket + "` at " + place.endpoint + ".";
    if (code == "AccessDenied") return "Access denied to bucket `" + place.bucket + "`: the credentials may not do this.";
    std::string text = "The store answered " + std::to_string(status);
    if (!code.empty()) text += " " + code;
    if (!r.message.empty()) text += ": " + r.message;
    return text + ".";
}

bool isTransient(long status, const std::string& body) {
    return status == 500 || status == 502 || status == 503 || status == 504 ||
           body.find("<Code>SlowDown</Code>") != std::string::npos;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t collect(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

struct SinkCall {
    const std::function<void(const char*, std::size_t)>* sink;
    std::string* errorBody;
    long* status;
    CURL* curl;
    bool started = false;  // bytes went to the sink: a second try would repeat them
};

size_t toSink(char* data, size_t size, size_t count, void* target) {
    auto* call = static_cast<SinkCall*>(target);
    curl_easy_getinfo(call->curl, CURLINFO_RESPONSE_CODE, call->status);
    // An error's body is read for its message; an object's goes to the sink as it comes.
    if (*call->status >= 300) call->errorBody->append(data, size * count);
    else {
        call->started = true;
        (*call->sink)(data, size * count);
    }
    return size * count;
}

// An INI file's values of one section: "[default]" or "[profile x]".
std::map<std::string, std::string> iniSection(const std::string& path, const std::string& section) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
        if (line[first] == '[') {
            const std::size_t close = line.find(']', first);
            inside = close != std::string::npos && line.substr(first + 1, close - first - 1) == section;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inside || eq == std::string::npos) continue;
        const std::string_view whole(line);
        values[std::string(trimBlanks(whole.substr(0, eq), " \t"))] = trimBlanks(whole.substr(eq + 1), " \t");
    }
    return values;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> ParseBucketAddress(const std::string& text) {
    if (!text.starts_with("s3://")) return std::nullopt;
    const std::string rest = text.substr(5);
    const std::size_t slash = rest.find('/');
    std::string bucket = rest.substr(0, slash);
    std::string prefix = slash == std::string::npos ? "" : rest.substr(slash + 1);
    // Bucket names are 3 to 63 lower-case letters, digits, dots and hyphens.
    if (bucket.size() < 3 || bucket.size() > 63 ||
        bucket.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") != std::string::npos)
        return std::nullopt;
    if (!prefix.empty() && !prefix.ends_with('/')) prefix += '/';
    return std::make_pair(bucket, prefix);
}

BucketPlace BucketPlaceFor(const std::string& bucket, const std::string& prefix,
                           const std::string& endpoint,
                           const std::function<std::optional<std::string>(const char*)>& env) {
    BucketPlace place;
    place.bucket = bucket;
    place.prefix = prefix;
    const std::string home = env("HOME").value_or("");
    const std::string profile = env("AWS_PROFILE").value_or("default");
    const std::string credentialsFile = env("AWS_SHARED_CREDENTIALS_FILE").value_or(home + "/.aws/credentials");
    const std::string configFile = env("AWS_CONFIG_FILE").value_or(home + "/.aws/config");
    auto credentials = iniSection(credentialsFile, profile);
    auto config = iniSection(configFile, profile == "default" ? "default" : "profile " + profile);
    auto pick = [&](const char* variable, const std::map<std::string, std::string>& file, const char* key) {
        if (auto value = env(variable); value && !value->empty()) return *value;
        auto it = file.find(key);
        return it == file.end() ? std::string() : it->second;
    };
    place.accessKey = pick("AWS_ACCESS_KEY_ID", credentials, "aws_access_key_id");
    place.secretKey = pick("AWS_SECRET_ACCESS_KEY", credentials, "aws_secret_access_key");
    place.sessionToken = pick("AWS_SESSION_TOKEN", credentials, "aws_session_token");
    std::string region = pick("AWS_REGION", config, "region");
    if (region.empty()) region = pick("AWS_DEFAULT_REGION", config, "region");
    if (!region.empty()) place.region = region;
    place.endpoint = !endpoint.empty() ? endpoint : pick("AWS_ENDPOINT_URL", config, "endpoint_url");
    if (place.endpoint.empty()) {
        place.endpoint = "https://s3." + place.region + ".amazonaws.com";
        place.pathStyle = false;  // AWS itself: the bucket in the host name
    }
    while (place.endpoint.ends_with('/')) place.endpoint.pop_back();
    if (auto style = env("AWS_S3_ADDRESSING_STYLE")) place.pathStyle = *style != "virtual";
    if (place.accessKey.empty() || place.secretKey.empty())
        throw BucketError("No credentials for the bucket: set AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, "
                          "or a profile in ~/.aws/credentials.");
    return place;
}

std::string EncodeKeyForPath(const std::string& key) {
    return percentEncode(key, kKeyPathBytes);
}

std::string Md5Hex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : md5(bytes)) {
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    return out;
}

S3Client::S3Client(BucketPlace place, std::chrono::milliseconds deadline)
    : place_(std::move(place)), deadline_(deadline) {
    globalInit();
    curl_ = curl_easy_init();
    if (!curl_) throw BucketError("Cannot start an HTTP client.");
}

S3Client::~S3Client() {
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

std::string S3Client::url(const std::string& key, const std::string& query) const {
    std::string base = place_.endpoint;
    std::string path = "/" + EncodeKeyForPath(key);
    if (place_.pathStyle) {
        path = "/" + place_.bucket + path;
    } else {
        const std::size_t host = base.find("://");
        base.insert(host == std::string::npos ? 0 : host + 3, place_.bucket + ".");
    }
    return base + path + (query.empty() ? "" : "?" + query);
}

S3Client::Response S3Client::send(const std::string& method, const std::string& key,
                                  const std::string& query, const std::string* body,
                                  const std::vector<std::string>& headers,
                                  const std::function<void(const char*, std::size_t)>* sink) {
    auto* curl = static_cast<CURL*>(curl_);
    std::chrono::milliseconds pause = firstPause;
    for (int attempt = 1;; ++attempt) {
        curl_easy_reset(curl);
        Response response;
        const std::string address = url(key, query);
        curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        // A key is data: "a/../b" is that key, not "b".
        curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline_.count()));
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
        const std::string sigv4 = "aws:amz:" + place_.region + ":s3";
        curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, sigv4.c_str());
        curl_easy_setopt(curl, CURLOPT_USERNAME, place_.accessKey.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, place_.secretKey.c_str());
        curl_slist* list = nullptr;
        // The payload is covered by Content-MD5 where there is one.
        list = curl_slist_append(list, "x-amz-content-sha256: UNSIGNED-PAYLOAD");
        if (!place_.sessionToken.empty())
            list = curl_slist_append(list, ("x-amz-security-token: " + place_.sessionToken).c_str());
        for (const std::string& h : headers) list = curl_slist_append(list, h.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        if (method == "PUT") {
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        }
        SinkCall call{sink, &response.body, &response.status, curl};
        if (sink) {
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, toSink);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &call);
        } else {
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
        }
        if (method == "HEAD") curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, +[](char* data, size_t size, size_t count, void* target) {
            std::string line(data, size * count);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            static_cast<std::vector<std::string>*>(target)->push_back(std::move(line));
            return size * count;
        });
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
        const CURLcode rc = curl_easy_perform(curl);
        curl_slist_free_all(list);
        if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
        const bool transient = rc != CURLE_OK || isTransient(response.status, response.body);
        if (!transient || attempt >= tries || call.started) {
            if (rc != CURLE_OK)
                throw BucketError("Cannot reach " + place_.endpoint + ": " + curl_easy_strerror(rc) + ".");
            if (response.status >= 300) throw BucketError(failureText(response.status, response.body, place_),
                                                          static_cast<int>(response.status));
            if (method == "PUT") response.body = replaceAll(headerValue(response.headers, "etag").value_or(""), "\"", "");
            return response;
        }
        ++counts_.retries;
        std::this_thread::sleep_for(pause);
        pause *= 2;
    }
}

BucketListPage S3Client::list(const std::string& prefix, const std::string& delimiter,
                              const std::optional<std::string>& continuation) {
    // Parameters in the order of their names, as the signature puts them.
    std::string query;
    if (continuation) query += "continuation-token=" + percentEncode(*continuation, kUnreservedBytes) + "&";
    if (!delimiter.empty()) query += "delimiter=" + percentEncode(delimiter, kUnreservedBytes) + "&";
    query += "encoding-type=url&list-type=2&prefix=" + percentEncode(prefix, kUnreservedBytes);
    ++counts_.lists;
    Response response = send("GET", "", query, nullptr, {}, nullptr);
    XmlReader reader;
    if (!reader.parse(response.body)) throw BucketError("The store's listing of `" + prefix + "` is not XML.");
    BucketListPage page = std::move(reader.page);
    if (reader.urlEncoded) {
        for (BucketObject& o : page.objects) o.key = DecodeFormKey(o.key);
        for (std::string& p : page.prefixes) p = DecodeFormKey(p);
    }
    if (!reader.truncated) page.next.reset();
    return page;
}

std::optional<std::vector<std::string>> S3Client::head(const std::string& key) {
    ++counts_.heads;
    try {
        return send("HEAD", key, "", nullptr, {}, nullptr).headers;
    } catch (const BucketError& e) {
        if (e.status() == 404) return std::nullopt;
        throw;
    }
}

std::string S3Client::put(const std::string& key, const std::string& bytes, const std::string& contentType) {
    const auto digest = md5(bytes);
    ++counts_.puts;
    Response response = send("PUT", key, "", &bytes,
                             {"Content-Type: " + contentType, std::string(kOwnMarkHeader) + ": " + kOwnMarkValue,
                              "Content-MD5: " + Base64(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()))},
                             nullptr);
    return response.body;
}

void S3Client::get(const std::string& key, const std::function<void(const char*, std::size_t)>& sink) {
    ++counts_.gets;
    send("GET", key, "", nullptr, {}, &sink);
}

}  // namespace tabulo
