#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tabulo {

// Two multiplicative hashes eight bytes at a time: enough to tell one set of inputs from the
// next, and fast enough to run over every name of a tree. Not for anything an adversary picks
// to collide: what it guards is rebuilt when it changes, never trusted for safety.
class Fingerprint {
  public:
    Fingerprint& word(std::uint64_t w) {
        a_ = (a_ ^ w) * 0x100000001B3ull;
        a_ ^= a_ >> 31;
        b_ = (b_ + w) * 0xC2B2AE3D27D4EB4Full;
        b_ ^= b_ >> 29;
        return *this;
    }
    // The bytes and their length: "ab","c" and "a","bc" differ.
    Fingerprint& bytes(std::string_view text) {
        std::size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, text.data() + i, 8);
            word(w);
        }
        std::uint64_t rest = 0;
        std::memcpy(&rest, text.data() + i, text.size() - i);
        return word(rest ^ (static_cast<std::uint64_t>(text.size()) << 56));
    }
    Fingerprint& number(double value) {
        std::uint64_t w;
        std::memcpy(&w, &value, sizeof w);
        return word(w);
    }

    std::uint64_t high() const { return a_; }
    std::uint64_t low() const { return b_; }
    // Both halves in one word, for tables keyed by it.
    std::uint64_t value() const { return a_ ^ ((b_ << 17) | (b_ >> 47)); }

  private:
    std::uint64_t a_ = 14695981039346656037ull, b_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace tabulo
