#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tabulo {

// One spelling of a folder: repeated separators and "." components dropped, no trailing
// separator except for the root itself. ".." stays, as the file system resolves it.
std::string normalFolder(std::string_view path);

// The resolved path (links, "." and ".." followed), or nothing when it does not exist.
std::optional<std::string> realPath(const std::string& path);

// Whether `path` is `tree` or lies below it; both are resolved paths.
bool isInside(std::string_view path, std::string_view tree);
// The part of `path` below `tree` ("" for `tree` itself), without a leading separator; nothing
// when `path` does not lie inside it.
std::optional<std::string_view> relativeTo(std::string_view path, std::string_view tree);

// Whether a folder exists; never fails.
bool DirExists(std::string_view name);

// The folder of themes and markers: $TABULO_HOME, else $XDG_CONFIG_HOME/tabulo,
// else ~/.config/tabulo.
std::string applicationFolder();

}  // namespace tabulo
