#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabulo {

// A set of byte values: the bytes a percent-encoding leaves as they are.
class ByteSet {
  public:
    // The bytes of `bytes`.
    static constexpr ByteSet of(std::string_view bytes) {
        ByteSet set;
        for (char c : bytes) set.add(static_cast<unsigned char>(c));
        return set;
    }
    // The bytes from `first` to `last`, both included.
    static constexpr ByteSet range(unsigned char first, unsigned char last) {
        ByteSet set;
        for (unsigned b = first; b <= last; ++b) set.add(static_cast<unsigned char>(b));
        return set;
    }
    // This set and the bytes of `bytes`.
    constexpr ByteSet with(std::string_view bytes) const {
        ByteSet set = *this;
        for (char c : bytes) set.add(static_cast<unsigned char>(c));
        return set;
    }
    // This set less the bytes of `bytes`.
    constexpr ByteSet without(std::string_view bytes) const {
        ByteSet set = *this;
        for (char c : bytes) {
            auto b = static_cast<unsigned char>(c);
            set.words_[b / 64] &= ~(std::uint64_t{1} << (b % 64));
        }
        return set;
    }
    constexpr bool holds(unsigned char b) const { return (words_[b / 64] >> (b % 64) & 1) != 0; }

  private:
    constexpr void add(unsigned char b) { words_[b / 64] |= std::uint64_t{1} << (b % 64); }

    std::array<std::uint64_t, 4> words_{};
};

// Letters, digits, "-", ".", "_" and "~": what an address never needs to encode.
inline constexpr ByteSet kUnreservedBytes =
    ByteSet::of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~");

// Every byte outside `keep` as "%XX", two upper-case hexadecimal digits ("%0A", "%E9").
std::string percentEncode(std::string_view bytes, const ByteSet& keep);
// The bytes of such a text ("%XX" in either case); nothing when a "%" is not followed by two
// hexadecimal digits.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace tabulo
