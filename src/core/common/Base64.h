#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// Standard base64 ("+", "/", "=" padding).
std::string Base64(std::string_view bytes);
// Its bytes back, up to the padding or the first character that is not a digit of it.
std::string FromBase64(std::string_view text);

}  // namespace tabulo
