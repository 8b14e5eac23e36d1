#pragma once
// Zero-terminated text in fixed-size byte arrays, as the records keep it.

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace orvel::view {

// Copies text, cut to N - 1 bytes, and zero-fills the rest.
template <std::size_t N>
void set_text(std::array<char, N>& field, std::string_view text) {
    static_assert(N > 0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    field.fill('\0');
    if (n > 0) std::memcpy(field.data(), text.data(), n);
}

// The text up to the first zero (or the whole array when there is none).
template <std::size_t N>
std::string_view text_of(const std::array<char, N>& field) {
    const void* zero = std::memchr(field.data(), 0, N);
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field.data()) : N;
    return {field.data(), n};
}

}  // namespace orvel::view
