#include "listing/OutputNames.h"

namespace tabulo {

std::string JsonNameFor(const std::string& pageFile) {
    auto slash = pageFile.rfind('/');
    auto dot = pageFile.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return pageFile + ".json";
    return pageFile.substr(0, dot) + ".json";
}

}  // namespace tabulo
