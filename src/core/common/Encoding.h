#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// What to write for a character that windows-1252 cannot hold.
enum class Unmappable {
    HtmlReference,  // "&#N;" — page text
    Question,       // "?" — stylesheets and other plain text
    KeepUtf8,       // the file is written in UTF-8 instead, unchanged
};

// Whether windows-1252 holds every character of the text.
bool fitsCp1252(std::string_view utf8);

// A whole file's content: UTF-8 when valid, else windows-1252.
std::string readTextFile(const std::string& path, bool* ok = nullptr);

bool isValidUtf8(std::string_view s);

// Text as the program holds it: valid UTF-8 stays, anything else is read as windows-1252
// (the way a name that is not valid UTF-8 is shown).
std::string toUtf8(std::string_view bytes);

// UTF-8 to windows-1252 bytes; bytes that are not valid UTF-8 pass through unchanged.
std::string toCp1252(std::string_view utf8, Unmappable policy);
void appendCp1252(std::string& out, std::string_view utf8, Unmappable policy);

// The character a windows-1252 byte stands for (the five undefined bytes: the C1 control of
// that value).
char32_t cp1252Char(unsigned char byte);

// The windows-1252 byte of a code point, or -1 when the code page has none.
int cp1252Byte(char32_t cp);

// Decodes one UTF-8 sequence at s[i]; returns its length (0 when invalid).
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp);

void appendUtf8(std::string& out, char32_t cp);

}  // namespace tabulo
