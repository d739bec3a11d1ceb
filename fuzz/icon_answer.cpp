// Icon answers: the picture is cut from the first "GIF" up to the next one.

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "icons/IconDownloader.h"

using namespace tabulo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const auto icon = IconFromAnswer(answer);
    const auto first = answer.find("GIF");
    FUZZ_CHECK(icon.has_value() == (first != std::string::npos));
    if (!icon) return 0;

    FUZZ_CHECK(icon->size() >= 5 && icon->starts_with("GIF") && icon->ends_with("\r\n"));
    const std::string picture = icon->substr(0, icon->size() - 2);
    FUZZ_CHECK(picture.find("GIF", 1) == std::string::npos);
    // The piece starts at the first "GIF" and stops only at the end or before another.
    FUZZ_CHECK(answer.compare(first, picture.size(), picture) == 0);
    const std::string rest = answer.substr(first + picture.size());
    FUZZ_CHECK(rest.empty() || rest.starts_with("GIF"));
    return 0;
}
