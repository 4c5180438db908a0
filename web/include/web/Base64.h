// Base64 encoding (RFC 4648, section 4): the standard alphabet, "=" padding
// to a multiple of four characters, no line breaks. Devices read the Basic
// credentials in exactly this form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvo::web {

// Number of characters that `Base64Encode` writes for `length` input bytes,
// not counting the terminating NUL: 4 * ceil(length / 3).
constexpr std::size_t Base64EncodedLength(std::size_t length) {
    return (length + 2) / 3 * 4;
}

// Writes the encoding of the `length` bytes at `data`, followed by a NUL
// byte, to `out`, which must hold at least Base64EncodedLength(length) + 1
// bytes; writes nothing else. Bytes count as unsigned. Returns the number of
// characters written, the NUL not counted. Never fails, never allocates.
std::size_t Base64Encode(const void* data, std::size_t length, char* out);

// The same into a string.
std::string Base64Encode(std::string_view data);

}  // namespace korvo::web
