#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// A folder's README.md as an HTML fragment that is safe inside a page: raw HTML is left out,
// links that would run script are plain text, and images from elsewhere become links to them,
// so the page loads nothing from outside its site. Text that is not valid UTF-8 is read as
// windows-1252; the fragment is always valid UTF-8.
std::string RenderMarkdown(std::string_view text);

}  // namespace tabulo
