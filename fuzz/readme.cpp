// A README rendered for a page, and a name in the JSON listing: whatever the input, nothing in
// the output can run script or load from elsewhere, and both stay valid UTF-8.

#include <cstdint>
#include <regex>
#include <string>

#include "FuzzSupport.h"
#include "common/Encoding.h"
#include "common/Text.h"
#include "pages/JsonListing.h"
#include "pages/Markdown.h"

using namespace tabulo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string html = RenderMarkdown(text);
    FUZZ_CHECK(isValidUtf8(html));
    const std::string lower = asciiLower(html);
    FUZZ_CHECK(lower.find("<script") == std::string::npos, fuzz::Shown(html));
    FUZZ_CHECK(lower.find("<iframe") == std::string::npos, fuzz::Shown(html));
    // Attribute values as the renderer writes them: double-quoted. No address that runs or
    // comes from elsewhere; no event handler attribute.
    static const std::regex attribute("<[a-z0-9]+(\\s+[a-z-]+=\"[^\"]*\")*\\s+(on[a-z]+)=",
                                      std::regex::optimize);
    FUZZ_CHECK(!std::regex_search(lower, attribute), fuzz::Shown(html));
    static const std::regex href("(href|src)=\"\\s*(javascript|vbscript|data|file):",
                                 std::regex::optimize);
    FUZZ_CHECK(!std::regex_search(lower, href), fuzz::Shown(html));
    static const std::regex remote("src=\"([a-z][a-z0-9+.-]*:|//|\\\\\\\\)", std::regex::optimize);
    FUZZ_CHECK(!std::regex_search(lower, remote), fuzz::Shown(html));

    const std::string json = JsonListing({{text, false, 0, 1}});
    FUZZ_CHECK(isValidUtf8(json));
    FUZZ_CHECK(json.starts_with("[\n{ \"name\":\"") && json.ends_with(" }\n]\n"));
    // One line per entry, and no character that could end a string or an HTML element early.
    std::string inner = json.substr(12, json.find("\", \"type\"") - 12);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(inner[i]);
        FUZZ_CHECK(c >= 0x20 && c != '<' && c != '>' && c != '&', fuzz::Shown(json));
        if (c == '\\') ++i;
        else FUZZ_CHECK(c != '"', fuzz::Shown(json));
    }
    return 0;
}
