#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

// A file-list pattern: "*" any run of characters, "?" one character, several patterns
// separated by ";", letter case ignored; "*.*" matches every name, also one without a dot.
class Wildcard {
  public:
    explicit Wildcard(std::string_view patterns);
    bool matches(std::string_view name) const;

  private:
    std::vector<std::u32string> patterns_;
    bool all_ = false;
};

}  // namespace tabulo
