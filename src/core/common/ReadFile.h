#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

namespace tabulo {

// The largest file read whole for each purpose: a file above its limit is skipped, so no file
// of a site can take the machine's memory.
inline constexpr std::size_t kMaxDescription = 1 << 20;  // a folder's description
inline constexpr std::size_t kMaxReadme = 1 << 20;       // a README shown below a list
inline constexpr std::size_t kMaxTheme = 1 << 20;        // a theme file
inline constexpr std::size_t kMaxIcon = 1 << 20;         // an icon picture copied to a site
inline constexpr std::size_t kMaxSmallFile = 64 << 10;   // a marker or a remembered folder

// The bytes of an ordinary file of at most `limit` bytes. Nothing, with `ec` clear, when the
// name is something else (a folder, a pipe, a device), which is never opened for reading and
// so never blocks; nothing, with `ec` EFBIG, when the file is larger than `limit` (it is not
// read); nothing, with `ec` set, when it cannot be opened or read. Links are followed.
std::optional<std::string> readRegularFile(const std::string& path, std::error_code& ec,
                                           std::size_t limit);
// The same for the file `name` of the open folder `folder`.
std::optional<std::string> readRegularFileAt(int folder, const std::string& name,
                                             std::error_code& ec, std::size_t limit);

// The first `count` bytes (fewer when it is shorter) of the ordinary file `name` of the open
// folder, not through a link; empty when it is anything else or cannot be read.
std::string readFileStartAt(int folder, const std::string& name, std::size_t count);

// A limit as people read it: "1 MiB", "64 KiB".
std::string sizeLimitText(std::size_t limit);

// Whether something (file or folder) exists at `path`.
bool pathExists(const std::string& path);
bool isFile(const std::string& path);         // exists and is no folder
bool isRegularFile(const std::string& path);  // an ordinary file
// Whether the folder holds at least one ordinary file (false when it cannot be read).
bool holdsAFile(const std::string& folder);

}  // namespace tabulo
