#pragma once

#include <string>

namespace tabulo {

// The files Tabulo writes beside a page, which pages and watches must know by name.
inline constexpr const char* kMd5SumsName = "MD5SUMS";
inline constexpr const char* kSha256SumsName = "SHA256SUMS";

// The JSON file's name beside a page file ("index.html" gives "index.json").
std::string JsonNameFor(const std::string& pageFile);

}  // namespace tabulo
