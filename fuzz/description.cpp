// Description files: comma-separated fields, one per page line.

#include "pages/Description.h"

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"

using namespace tabulo;

namespace {

// The text's lines; CR LF, LF and a lone CR each end a line, and a final line end adds none.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines{""};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> out = DescriptionLines(text);
    const std::vector<std::string> lines = linesOf(text);

    std::size_t commas = 0;
    for (char c : text) commas += c == ',';
    // Every line gives at least one field, and only a comma starts another.
    FUZZ_CHECK(out.size() >= lines.size() && out.size() <= lines.size() + commas);
    for (const std::string& field : out) {
        FUZZ_CHECK(field.find_first_of("\r\n") == std::string::npos, fuzz::Shown(field));
        FUZZ_CHECK(text.find(field) != std::string::npos, fuzz::Shown(field));
    }
    // Nothing to split, trim or unquote: the lines come back as they are.
    if (text.find_first_of(",\" \t") == std::string::npos) FUZZ_CHECK(out == lines);
    return 0;
}
