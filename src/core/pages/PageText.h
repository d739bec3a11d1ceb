#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// Names are data, not markup: these make them safe for their place in a page.
std::string escapeText(std::string_view utf8);       // element content
std::string escapeAttribute(std::string_view utf8);  // inside a double-quoted attribute
// The same, added to the end of `out`: rows are built without a string for each part.
void appendEscapedText(std::string& out, std::string_view utf8);
void appendEscapedAttribute(std::string& out, std::string_view utf8);

// The text an attribute value stands for: the escapes above (and numeric references) undone.
std::string attributeText(std::string_view escaped);

// The part of a link that comes from a name on disk (raw bytes), ready for an attribute.
// A name is never read as an address: "%", "?", ":" and "\" (a "/" to browsers) are encoded in
// both modes; bytes that are not printable ASCII become %XX of the name's own bytes, so the link
// resolves on a web server whatever the name's encoding. `fullEscape` is the chkUtf mode. "/" is
// kept.
std::string encodeNameForLink(std::string_view rawName, bool fullEscape);

// The first `limit` characters of a name and "...", when it is longer (chkLenght).
std::string cutName(std::string_view utf8, std::size_t limit);

}  // namespace tabulo
