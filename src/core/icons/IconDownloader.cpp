#include "icons/IconDownloader.h"

#include <array>
#include <asio.hpp>
#include <charconv>
#include <fcntl.h>
#include <system_error>

#include "host/Host.h"
#include "host/StatusSink.h"
#include "common/Paths.h"
#include "common/PercentEncoding.h"
#include "common/Text.h"
#include "common/FolderAccess.h"
#include "icons/LocalIcons.h"
#include "options/Options.h"

namespace tabulo {

namespace {

using asio::ip::tcp;

// Everything outside letters, digits, "-", ".", "_" and "~" as %XX: a type never shapes the
// request beyond its own place in the path.
std::string encodeType(std::string_view type) {
    return percentEncode(type, kUnreservedBytes);
}

// "host:port" into its parts; the port must be a number from 1 to 65535.
bool splitHostPort(const std::string& text, std::string& host, std::string& port) {
    auto colon = text.find(':');
    host = text.substr(0, colon);
    if (colon == std::string::npos) return false;
    port = text.substr(colon + 1);
    port = port.substr(0, port.find(':'));
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int n = 0;
    std::from_chars(port.data(), port.data() + port.size(), n);  // five digits at most: fits
    return n >= 1 && n <= 65535 && !host.empty();
}

}  // namespace

// Only a successful answer counts: an error page may well mention "GIF" or even carry one.
// The headers end at the first empty line, whether lines end in CR LF or in LF alone.
std::optional<std::string> IconFromAnswer(std::string_view answer) {
    auto lineEnd = answer.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    std::string_view status = answer.substr(0, lineEnd);
    if (status.ends_with('\r')) status.remove_suffix(1);
    if (!status.starts_with("HTTP/1.0 ") && !status.starts_with("HTTP/1.1 ")) return std::nullopt;
    status.remove_prefix(9);
    if (status != "200" && !status.starts_with("200 ")) return std::nullopt;
    std::optional<std::size_t> announced;  // a length the server gave: a shorter body was cut
    for (auto at = lineEnd; at != std::string_view::npos; at = answer.find('\n', at + 1)) {
        std::string_view rest = answer.substr(at + 1);
        if (rest.starts_with('\n') || rest.starts_with("\r\n")) {
            std::string_view body = rest.substr(rest.starts_with('\n') ? 1 : 2);
            if (!body.starts_with("GIF8")) return std::nullopt;
            if (announced && body.size() != *announced) return std::nullopt;
            return std::string(body);
        }
        std::string_view header = rest.substr(0, rest.find('\n'));
        if (asciiLower(header.substr(0, 15)) == "content-length:") {
            std::string_view digits = header.substr(15);
            while (digits.starts_with(' ') || digits.starts_with('\t')) digits.remove_prefix(1);
            std::size_t n = 0;
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (ec == std::errc() && end != digits.data()) announced = n;
        }
    }
    return std::nullopt;
}

struct IconDownloader::Impl {
    Impl(Options& o, Host& h, StatusSink& s, const std::vector<std::string>& icons)
        : options(o), host(h), sink(s), neededIcons(icons) {}

    Options& options;
    Host& host;
    StatusSink& sink;
    const std::vector<std::string>& neededIcons;
    asio::io_context io;
    tcp::resolver resolver{io};
    tcp::socket socket{io};
    asio::steady_timer timer{io};
    // Apart from the silence timer, which every byte restarts: a trickling server would
    // otherwise hold the run for as long as it likes.
    asio::steady_timer deadline{io};
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds silenceTimeout{30000};
    std::chrono::milliseconds wholeTimeout{60000};

    std::string socketState = "free";
    std::string currentIconType;
    std::string receivedData;
    std::string remoteHost;
    std::string remotePath;
    std::string request;
    std::array<char, 16384> buffer{};
    unsigned attempt = 0;  // handlers of an ended attempt do nothing
    IconStore* target = nullptr;  // where the fetches under way store their icons

    void status(const std::string& text) { sink.status(text); }

    IconStore* store = nullptr;              // the run's, when one is set
    std::unique_ptr<LocalIcons> ownStore;    // below the www root, for fetches of our own

    bool directMode() {
        return options.text(opt("txtProxy")).empty() || !options.on(opt("chkProxy"));
    }

    void pump() {
        if (io.stopped()) io.restart();
        io.run_one_for(std::chrono::milliseconds(50));
        host.processEvents();
    }

    // The icon folder of fetches started without a run: below the www root, opened now.
    IconStore* storeBelowWwwRoot() {
        const std::string& root = options.text(opt("lblWWWroot"));
        Descriptor folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder) {
            ownStore.reset();
            return nullptr;
        }
        FolderId id = idOf(folder.get());
        ownStore = std::make_unique<LocalIcons>(options, share(std::move(folder)), root, id, "", sink);
        return ownStore.get();
    }

    void start(const std::string& type) {
        socketState = "taken";
        receivedData.clear();
        currentIconType = type;
        std::string url = replaceAll(options.text(opt("txtIcohrefDl")), "#", encodeType(type));
        auto segments = split(url, '/');
        if (segments.size() > 2 && segments[0] == "http:" && segments[1].empty())
            remoteHost = segments[2];
        remotePath.clear();
        segments = split(url + "/", '/');
        for (std::size_t k = 3; k < segments.size() && !segments[k].empty(); ++k)
            remotePath += "/" + segments[k];
        status("Selected : `" + remoteHost + "` <+> `" + remotePath + "`");

        std::string hostName, port;
        if (directMode()) {
            status("Connecting to the website...");
            // The service's address may carry its own port; plain hosts use 80.
            if (!splitHostPort(remoteHost, hostName, port))
                hostName = remoteHost.substr(0, remoteHost.find(':')), port = "80";
        } else {
            const std::string& proxy = options.text(opt("txtProxy"));
            status("Connecting to the website thru `" + proxy + "`...");
            if (!splitHostPort(proxy, hostName, port)) {
                onError(asio::error::invalid_argument,
                        "The proxy needs a host, a colon and a port from 1 to 65535");
                return;
            }
        }
        connect(hostName, port);
    }

    void armTimer(std::chrono::milliseconds after) {
        timer.expires_after(after);
        timer.async_wait([this, current = attempt](const std::error_code& ec) {
            if (ec || current != attempt) return;
            onError(asio::error::timed_out, asio::error_code(asio::error::timed_out).message());
        });
    }

    void connect(const std::string& hostName, const std::string& port) {
        unsigned current = ++attempt;
        armTimer(connectTimeout);
        deadline.expires_after(wholeTimeout);
        deadline.async_wait([this, current](const std::error_code& ec) {
            if (ec || current != attempt) return;
            onError(asio::error::timed_out, "The whole answer took too long");
        });
        resolver.async_resolve(
            hostName, port,
            [this, current](const std::error_code& ec,
                            const tcp::resolver::results_type& results) {
                if (current != attempt) return;
                if (ec) return onError(ec, ec.message());
                asio::async_connect(
                    socket, results,
                    [this, current](const std::error_code& ec2, const tcp::endpoint&) {
                        if (current != attempt) return;
                        if (ec2) return onError(ec2, ec2.message());
                        onConnect();
                    });
            });
    }

    // The request: absolute URI and "Proxy-Connection" through a proxy.
    void onConnect() {
        socketState = "taken";
        status("Requesting page from `" + remoteHost + "`");
        bool direct = directMode();
        request = "GET " + (direct ? "" : "http://" + remoteHost) + remotePath + " HTTP/1.0\r\n" +
                  "Accept: */*\r\n" + "User-Agent: Tabulo " + options.text(opt("lblVersion")) +
                  "\r\n" + "Pragma: no-cache\r\n" + "Host: " + remoteHost + "\r\n" +
                  (direct ? "" : "Proxy-") + "Connection: close\r\n\r\n";
        unsigned current = attempt;
        armTimer(silenceTimeout);
        asio::async_write(socket, asio::buffer(request),
                          [this, current](const std::error_code& ec, std::size_t) {
                              if (current != attempt) return;
                              if (ec) return onError(ec, ec.message());
                              status("Waiting for response...");
                              readMore();
                          });
    }

    void readMore() {
        unsigned current = attempt;
        armTimer(silenceTimeout);
        socket.async_read_some(
            asio::buffer(buffer), [this, current](const std::error_code& ec, std::size_t n) {
                if (current != attempt) return;
                if (ec == asio::error::eof) return onClose();
                if (ec) return onError(ec, ec.message());
                receivedData.append(buffer.data(), n);
                status(std::to_string(receivedData.size()) + " bytes retrieved so far...");
                if (receivedData.size() > kMaxResponse) {
                    return onError(asio::error::message_size, "The answer is larger than 1 MiB");
                }
                readMore();
            });
    }

    void closeSocket() {
        ++attempt;
        std::error_code ignored;
        timer.cancel();
        deadline.cancel();
        resolver.cancel();
        socket.close(ignored);
    }

    void onClose() {
        closeSocket();
        status("Done with downloading.");
        std::string name = currentIconType.empty() ? "error" : currentIconType;
        if (currentIconType == "end_") {
            status("Done");
            return;
        }
        // Like every file step of the downloader, a failure is skipped and the next icon goes
        // on; the store reports it.
        if (auto icon = IconFromAnswer(receivedData); icon && target) target->storeIcon(name, *icon);
        socketState = "free";
        status("Finished icon : `" + name + ".gif`");
    }

    // An error ends this icon and frees the socket, so the remaining icons still come.
    void onError(const std::error_code& code, const std::string& description) {
        closeSocket();
        std::string number = std::to_string(code.value());
        sink.error("Error Winsock : " + number + ", `" + description + "`");
        host.ask("The following Winsock error occured : '" + description + "' (" + number +
                     ")\r\n" + "Tabulo couldn't contact the website :(",
                 "Winsock Error", Buttons::Ok);
        socketState = "free";
    }
};

IconDownloader::IconDownloader(Options& options, Host& host, StatusSink& status,
                               const std::vector<std::string>& neededIcons)
    : impl_(std::make_unique<Impl>(options, host, status, neededIcons)) {}
IconDownloader::~IconDownloader() = default;

void IconDownloader::cmdDlIcons_Click() {
    Impl& d = *impl_;
    Options& o = d.options;
    // Never under the file-system root because the all-in-one caption was empty.
    if (!o.text(opt("lblAllInOneFolder")).empty())
        o.setText(opt("lblWWWroot"), o.text(opt("lblAllInOneFolder")));
    d.target = d.store ? d.store : d.storeBelowWwwRoot();
    const auto names = d.neededIcons;  // a copy: events run while icons come
    for (const std::string& type : names) {
        if (!IsStorableIconType(type) || !d.target || d.target->hasIcon(type)) {
            d.status("Skipping icon : `" + type + ".gif`");
            continue;
        }
        while (d.socketState == "taken") d.pump();
        d.start(type);
    }
    d.status("Finished downloading icons.");
}

void IconDownloader::setStore(IconStore* store) {
    impl_->store = store;
    if (!store) impl_->target = nullptr;
}

void IconDownloader::poll() {
    if (impl_->io.stopped()) impl_->io.restart();
    impl_->io.poll();
}

void IconDownloader::finish() {
    while (impl_->socketState == "taken") impl_->pump();
    poll();
}

const std::string& IconDownloader::socketState() const {
    return impl_->socketState;
}
const std::string& IconDownloader::remoteHost() const {
    return impl_->remoteHost;
}
const std::string& IconDownloader::remotePath() const {
    return impl_->remotePath;
}

void IconDownloader::setTimeouts(std::chrono::milliseconds connect,
                                 std::chrono::milliseconds silence,
                                 std::chrono::milliseconds whole) {
    impl_->connectTimeout = connect;
    impl_->silenceTimeout = silence;
    impl_->wholeTimeout = whole;
}

}  // namespace tabulo
