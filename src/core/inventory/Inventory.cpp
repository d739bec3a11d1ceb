#include "inventory/Inventory.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <queue>
#include <system_error>

#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/ReadFile.h"
#include "checksums/FileHashes.h"
#include "common/Text.h"

namespace tabulo {

namespace {

constexpr std::size_t kManifestLimit = 64u << 20;

// The columns a row is read by.
struct Columns {
    int bucket = -1, key = -1, size = -1, modified = -1, etag = -1, latest = -1, deleteMarker = -1;
    std::size_t count = 0;
};

// The text member `name` of `object`; empty when it is missing or no text.
std::string textIn(const nlohmann::json& object, const char* name) {
    if (!object.is_object()) return "";
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

Columns columnsOf(const std::string& schema) {
    Columns c;
    int at = 0;
    for (const std::string& raw : split(schema, ',')) {
        const std::string_view name = trimBlanks(raw);
        if (name == "Bucket") c.bucket = at;
        else if (name == "Key") c.key = at;
        else if (name == "Size") c.size = at;
        else if (name == "LastModifiedDate") c.modified = at;
        else if (name == "ETag") c.etag = at;
        else if (name == "IsLatest") c.latest = at;
        else if (name == "IsDeleteMarker") c.deleteMarker = at;
        ++at;
    }
    c.count = static_cast<std::size_t>(at);
    return c;
}

// Rows of a CSV file, gzip'd or not, read block by block: fields in double quotes may hold
// commas, line ends and doubled quotes.
class CsvReader {
  public:
    // `fd` is read from where it stands; `shown` names it in messages.
    CsvReader(Descriptor fd, std::string shown) : path_(std::move(shown)) {
        file_ = gzdopen(fd.get(), "rb");
        if (!file_) throw BucketError("Cannot read the inventory file `" + toUtf8(path_) + "`.");
        fd.release();
        gzbuffer(file_, 1 << 18);
    }
    ~CsvReader() {
        if (file_) gzclose(file_);
    }
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The next row's fields; false at the end.
    bool next(std::vector<std::string>& fields) {
        fields.clear();
        std::string field;
        bool quoted = false, any = false, wasQuoted = false;
        for (;;) {
            if (at_ == size_ && !fill()) {
                if (any || !field.empty()) fields.push_back(std::move(field));
                if (quoted) throw BucketError("The inventory file `" + toUtf8(path_) + "` ends inside a quoted field.");
                return !fields.empty();
            }
            const char c = buffer_[at_++];
            any = true;
            if (quoted) {
                if (c != '"') {
                    field += c;
                } else if (at_ < size_ || fill()) {
                    if (buffer_[at_] == '"') {
                        field += '"';
                        ++at_;
                    } else {
                        quoted = false;
                    }
                } else {
                    quoted = false;
                }
            } else if (c == '"' && field.empty() && !wasQuoted) {
                quoted = wasQuoted = true;
            } else if (c == ',') {
                fields.push_back(std::move(field));
                field.clear();
                wasQuoted = false;
            } else if (c == '\n') {
                if (!field.empty() && field.back() == '\r' && !wasQuoted) field.pop_back();
                fields.push_back(std::move(field));
                if (fields.size() == 1 && fields[0].empty()) {  // a blank line
                    fields.clear();
                    any = false;
                    field.clear();
                    wasQuoted = false;
                    continue;
                }
                return true;
            } else if (c != '\r' || !wasQuoted) {
                field += c;
            }
        }
    }

  private:
    bool fill() {
        const int got = gzread(file_, buffer_, sizeof buffer_);
        if (got < 0) throw BucketError("Cannot read the inventory file `" + toUtf8(path_) + "`: it is damaged.");
        at_ = 0;
        size_ = static_cast<std::size_t>(got);
        return got > 0;
    }

    std::string path_;
    gzFile file_ = nullptr;
    char buffer_[1 << 16];
    std::size_t at_ = 0, size_ = 0;
};

// A file of the run's own in `folder`, gone when closed.
Descriptor unnamedFile(const std::string& folder) {
    Descriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        // A file system without unnamed files: a named one, gone from the folder at once.
        std::string name = folder + "/tabulo-inventory.XXXXXX";
        fd = Descriptor(::mkostemp(name.data(), O_CLOEXEC));
        if (fd.get() >= 0) ::unlink(name.c_str());
    }
    if (fd.get() < 0)
        throw BucketError("Cannot read the inventory: no file can be made in `" + toUtf8(folder) + "` (" +
                          std::error_code(errno, std::generic_category()).message() + ").");
    return fd;
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& folder) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw BucketError("Cannot read the inventory: writing in `" + toUtf8(folder) + "` failed (" +
                              std::error_code(errno, std::generic_category()).message() + ").");
        done += static_cast<std::size_t>(n);
    }
}

// A run of rows sorted by key, kept in an unnamed file until the merge reads it back.
class SpilledRun {
  public:
    SpilledRun(const std::string& folder, const std::vector<BucketObject>& rows) : fd_(unnamedFile(folder)) {
        std::string out;
        auto flush = [this, &out, &folder] {
            writeAll(fd_.get(), out.data(), out.size(), folder);
            out.clear();
        };
        for (const BucketObject& row : rows) {
            putNumber(out, row.key.size());
            out += row.key;
            putNumber(out, static_cast<std::uint64_t>(row.size));
            putNumber(out, static_cast<std::uint64_t>(row.mtime));
            putNumber(out, row.etag.size());
            out += row.etag;
            if (out.size() > (1 << 20)) flush();
        }
        flush();
        ::lseek(fd_.get(), 0, SEEK_SET);
    }

    // The next row; false at the run's end.
    bool next(BucketObject& row) {
        std::uint64_t length = 0, size = 0, mtime = 0;
        if (!number(length)) return false;
        if (!bytes(row.key, length) || !number(size) || !number(mtime) || !number(length) || !bytes(row.etag, length))
            throw BucketError("Cannot sort the inventory: a file of the sort was cut short.");
        row.size = static_cast<double>(size);
        row.mtime = static_cast<std::int64_t>(mtime);
        return true;
    }

  private:
    static void putNumber(std::string& out, std::uint64_t value) {
        char bytes[8];
        std::memcpy(bytes, &value, 8);
        out.append(bytes, 8);
    }
    bool take(char* to, std::size_t count) {
        while (count > 0) {
            if (at_ == size_) {
                const ssize_t n = ::read(fd_.get(), buffer_.get(), kBuffer);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return false;
                at_ = 0;
                size_ = static_cast<std::size_t>(n);
            }
            const std::size_t part = std::min(count, size_ - at_);
            std::memcpy(to, buffer_.get() + at_, part);
            at_ += part;
            to += part;
            count -= part;
        }
        return true;
    }
    bool number(std::uint64_t& value) {
        char bytes[8];
        if (!take(bytes, 8)) return false;
        std::memcpy(&value, bytes, 8);
        return true;
    }
    bool bytes(std::string& text, std::uint64_t length) {
        if (length > (1u << 20)) return false;
        text.resize(static_cast<std::size_t>(length));
        return take(text.data(), text.size());
    }

    static constexpr std::size_t kBuffer = 1 << 16;
    Descriptor fd_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kBuffer);
    std::size_t at_ = 0, size_ = 0;
};

std::size_t heldBytes(const BucketObject& row) {
    return sizeof(BucketObject) + row.key.capacity() + row.etag.capacity();
}

bool byKey(const BucketObject& a, const BucketObject& b) {
    return a.key < b.key;
}

// Where a data file of the manifest is in the local copy: its key below the folder of the
// destination bucket, which is the manifest's folder or one above it.
std::string dataFile(const std::filesystem::path& manifest, const std::string& key) {
    const std::filesystem::path relative(key);
    for (const auto& part : relative)
        if (part == "..") throw BucketError("The inventory names a file outside its folder: `" + toUtf8(key) + "`.");
    std::error_code ec;
    for (std::filesystem::path folder = manifest.parent_path();; folder = folder.parent_path()) {
        if (std::filesystem::is_regular_file(folder / relative, ec)) return (folder / relative).string();
        if (!folder.has_relative_path()) break;
    }
    const std::filesystem::path beside = manifest.parent_path() / relative.filename();
    if (std::filesystem::is_regular_file(beside, ec)) return beside.string();
    throw BucketError("The inventory's file `" + toUtf8(key) + "` is not beside its manifest `" +
                      toUtf8(manifest.string()) + "` nor in a folder above it.");
}

}  // namespace

InventorySource::InventorySource(std::string manifest, BucketPlace place, std::string tempFolder,
                                 std::function<void(const std::string&)> progress, std::size_t runBytes)
    : manifest_(std::move(manifest)), place_(std::move(place)), tempFolder_(std::move(tempFolder)),
      progress_(std::move(progress)), runBytes_(runBytes) {}

// The manifest's bytes, from this disk or from the store ("s3://BUCKET/KEY").
std::string InventorySource::readManifest() {
    const std::string shown = toUtf8(manifest_);
    if (!manifest_.starts_with("s3://")) {
        std::error_code ec;
        auto text = readRegularFile(manifest_, ec, kManifestLimit);
        if (!text) throw BucketError("Cannot read the inventory's manifest `" + shown + "`: " + ec.message() + ".");
        return std::move(*text);
    }
    const std::size_t slash = manifest_.find('/', 5);
    if (slash == std::string::npos || slash == 5 || slash + 1 == manifest_.size())
        throw BucketError("`" + shown + "` is no address of a manifest: s3://BUCKET/KEY.");
    BucketPlace there = place_;
    there.bucket = manifest_.substr(5, slash - 5);
    there.prefix.clear();
    store_ = std::make_unique<S3Client>(there);
    std::string text;
    store_->get(manifest_.substr(slash + 1), [&](const char* data, std::size_t size) {
        if (text.size() + size > kManifestLimit) throw BucketError("`" + shown + "` is too large for a manifest.");
        text.append(data, size);
    });
    return text;
}

// A data file named by the manifest, open at its start, its MD5 checked against the
// manifest's when it gives one. From the store it is copied into an unnamed file first, never
// held whole.
Descriptor InventorySource::openDataFile(const std::string& key, const std::string& md5, std::string& shown) {
    Descriptor fd;
    std::optional<FileDigest> made;
    if (store_) {
        shown = "s3://" + store_->place().bucket + "/" + key;
        fd = unnamedFile(tempFolder_);
        DigestStream digest;
        store_->get(key, [&](const char* data, std::size_t size) {
            digest.add(data, size);
            writeAll(fd.get(), data, size, tempFolder_);
        });
        made = digest.finish();
        ::lseek(fd.get(), 0, SEEK_SET);
    } else {
        shown = dataFile(manifest_, key);
        fd = Descriptor(::open(shown.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) throw BucketError("Cannot read the inventory file `" + toUtf8(shown) + "`.");
        if (!md5.empty()) made = HashFile(shown);
    }
    if (!md5.empty() && (!made || made->md5 != md5))
        throw BucketError("The inventory file `" + toUtf8(shown) + "` is damaged: its MD5 is not the manifest's.");
    return fd;
}

BucketCounts InventorySource::counts() const {
    return store_ ? store_->counts() : BucketCounts{};
}

void InventorySource::feed(const std::function<void(BucketObject)>& take) {
    rows_ = spilled_ = 0;
    const std::string shown = toUtf8(manifest_);
    nlohmann::json manifest = nlohmann::json::parse(readManifest(), nullptr, false);
    // Members are looked up with textIn and find: a missing one is no member to read.
    if (manifest.is_discarded() || !manifest.is_object() || !manifest.contains("files") ||
        !manifest.at("files").is_array())
        throw BucketError("`" + shown + "` is no inventory manifest: no list of files in it.");
    if (const std::string format = textIn(manifest, "fileFormat"); format != "CSV")
        throw BucketError("The inventory `" + shown + "` is in " + (format.empty() ? "no format given" : format) +
                          ": only CSV inventories are read.");
    if (const std::string source = textIn(manifest, "sourceBucket"); source != place_.bucket)
        throw BucketError("The inventory `" + shown + "` lists the bucket `" + source + "`, not `" + place_.bucket + "`.");
    const Columns columns = columnsOf(textIn(manifest, "fileSchema"));
    if (columns.key < 0 || columns.size < 0 || columns.modified < 0)
        throw BucketError("The inventory `" + shown + "` has no Key, Size and LastModifiedDate columns.");

    std::vector<std::unique_ptr<SpilledRun>> runs;
    std::vector<BucketObject> held;
    std::size_t heldSize = 0;
    auto spill = [&] {
        std::sort(held.begin(), held.end(), byKey);
        runs.push_back(std::make_unique<SpilledRun>(tempFolder_, held));
        ++spilled_;
        held.clear();
        held.shrink_to_fit();
        heldSize = 0;
    };
    std::vector<std::string> fields;
    auto at = [&fields](int column) -> const std::string& { return fields[static_cast<std::size_t>(column)]; };
    for (const auto& file : manifest.at("files")) {
        const std::string key = textIn(file, "key");
        if (key.empty()) throw BucketError("`" + shown + "` names a file without its key.");
        std::string path;
        Descriptor fd = openDataFile(key, textIn(file, "MD5checksum"), path);
        CsvReader reader(std::move(fd), path);
        while (reader.next(fields)) {
            if (fields.size() < columns.count) {
                throw BucketError("The inventory file `" + toUtf8(path) + "` has a row of " + std::to_string(fields.size()) +
                                  " fields where its schema has " + std::to_string(columns.count) + ".");
            }
            if (++rows_ % 1'000'000 == 0 && progress_)
                progress_("Read " + std::to_string(rows_) + " rows of the inventory");
            if ((columns.latest >= 0 && at(columns.latest) == "false") ||
                (columns.deleteMarker >= 0 && at(columns.deleteMarker) == "true") ||
                (columns.bucket >= 0 && at(columns.bucket) != place_.bucket))
                continue;
            BucketObject row;
            row.key = DecodeFormKey(at(columns.key));
            if (!row.key.starts_with(place_.prefix)) continue;
            row.size = std::strtod(at(columns.size).c_str(), nullptr);
            row.mtime = IsoTime(at(columns.modified));
            if (columns.etag >= 0) row.etag = at(columns.etag);
            if (row.etag.size() >= 2 && row.etag.front() == '"' && row.etag.back() == '"')
                row.etag = row.etag.substr(1, row.etag.size() - 2);
            heldSize += heldBytes(row);
            held.push_back(std::move(row));
            if (heldSize >= runBytes_) spill();
        }
    }

    // One run in memory goes as it is; more are merged, each key once.
    std::string last;
    bool first = true;
    auto handOn = [&](BucketObject row) {
        if (!first && row.key == last) return;
        first = false;
        last = row.key;
        take(std::move(row));
    };
    if (runs.empty()) {
        std::sort(held.begin(), held.end(), byKey);
        for (BucketObject& row : held) handOn(std::move(row));
        return;
    }
    if (!held.empty()) spill();
    struct Head {
        BucketObject row;
        std::size_t run;
    };
    auto later = [](const Head& a, const Head& b) { return b.row.key < a.row.key; };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        Head head{{}, i};
        if (runs[i]->next(head.row)) heads.push(std::move(head));
    }
    while (!heads.empty()) {
        Head head = heads.top();
        heads.pop();
        Head following{{}, head.run};
        if (runs[head.run]->next(following.row)) heads.push(std::move(following));
        handOn(std::move(head.row));
    }
}

}  // namespace tabulo
