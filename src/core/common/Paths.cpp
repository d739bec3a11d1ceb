#include "common/Paths.h"

#include <climits>
#include <cstdlib>
#include <memory>

namespace tabulo {

std::string normalFolder(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size()) {
        if (path[i] == '/') {
            if (out.empty() || out.back() != '/') out += '/';
            ++i;
            continue;
        }
        std::size_t end = path.find('/', i);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(i, end - i);
        if (part != ".") out.append(part);
        i = end;
    }
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    if (out.empty() && !path.empty()) out.assign(1, path.front() == '/' ? '/' : '.');
    return out;
}

std::optional<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

bool isInside(std::string_view path, std::string_view tree) {
    if (!path.starts_with(tree)) return false;
    if (path.size() == tree.size()) return true;
    return tree.ends_with('/') || path[tree.size()] == '/';
}

}  // namespace tabulo
