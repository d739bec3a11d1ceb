// Icon answers: a picture only from a "200" answer whose body is a GIF of the length announced,
// and then the body whole.

#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "icons/IconDownloader.h"

using namespace tabulo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const auto icon = IconFromAnswer(answer);

    // Said differently from the downloader: the status is "200" when the first line is
    // exactly that or goes on with a blank; the body follows the first LF LF or LF CR LF.
    bool ok = false;
    for (const char* version : {"HTTP/1.0 200", "HTTP/1.1 200"}) {
        if (answer.starts_with(version)) {
            const std::string after = answer.substr(12, 2);
            ok = ok || after.starts_with(' ') || after.starts_with('\n') || after == "\r\n";
        }
    }
    const auto lfLf = answer.find("\n\n");
    const auto lfCrLf = answer.find("\n\r\n");
    const auto end = std::min(lfLf == std::string::npos ? lfLf : lfLf + 2,
                              lfCrLf == std::string::npos ? lfCrLf : lfCrLf + 3);
    const bool gif = end != std::string::npos && answer.compare(end, 4, "GIF8") == 0;

    FUZZ_CHECK(!icon || (ok && gif), fuzz::Shown(answer));
    if (ok && gif && !icon) {
        // Only an announced length that the body does not have keeps a GIF out.
        std::string head = answer.substr(0, end);
        std::transform(head.begin(), head.end(), head.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        FUZZ_CHECK(head.find("\ncontent-length:") != std::string::npos, fuzz::Shown(answer));
    }
    if (icon) FUZZ_CHECK(*icon == answer.substr(end), fuzz::Shown(answer));
    return 0;
}
