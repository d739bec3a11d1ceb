#include "common/Paths.h"

#include <dirent.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace tabulo {

std::string normalFolder(std::string_view path) {
    // A relative path stays relative: "./site" is "site", never "/site".
    const bool given = !path.empty();
    std::string out = path.starts_with('/') ? "/" : "";
    out.reserve(path.size());
    while (!path.empty()) {
        std::size_t end = path.find('/');
        std::string_view part = path.substr(0, end);
        if (!part.empty() && part != ".") {
            if (!out.empty() && out.back() != '/') out += '/';
            out.append(part);
        }
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    return out.empty() && given ? "." : out;
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

std::optional<std::string_view> relativeTo(std::string_view path, std::string_view tree) {
    if (!isInside(path, tree)) return std::nullopt;
    path.remove_prefix(tree.size());
    while (path.starts_with('/')) path.remove_prefix(1);
    return path;
}

bool DirExists(std::string_view name) {
    std::string path(name);
    if (path.empty() || path.back() != '/') path += '/';
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

std::string applicationFolder() {
    if (const char* home = std::getenv("TABULO_HOME"); home && *home) return home;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/tabulo";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/tabulo";
}

}  // namespace tabulo
