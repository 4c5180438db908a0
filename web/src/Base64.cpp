#include "web/Base64.h"

namespace korvo::web {

namespace {
constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::size_t Base64Encode(const void* data, std::size_t length, char* out) {
    const auto* in = static_cast<const unsigned char*>(data);
    char* p = out;
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned v = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
        *p++ = kAlphabet[(v >> 18) & 0x3F];
        *p++ = kAlphabet[(v >> 12) & 0x3F];
        *p++ = kAlphabet[(v >> 6) & 0x3F];
        *p++ = kAlphabet[v & 0x3F];
    }
    const std::size_t rest = length - i;
    if (rest > 0) {
        unsigned v = unsigned{in[i]} << 16;
        if (rest == 2) {
            v |= unsigned{in[i + 1]} << 8;
        }
        *p++ = kAlphabet[(v >> 18) & 0x3F];
        *p++ = kAlphabet[(v >> 12) & 0x3F];
        *p++ = rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        *p++ = '=';
    }
    *p = '\0';
    return static_cast<std::size_t>(p - out);
}

std::string Base64Encode(std::string_view data) {
    std::string out(Base64EncodedLength(data.size()) + 1, '\0');
    out.resize(Base64Encode(data.data(), data.size(), out.data()));
    return out;
}

}  // namespace korvo::web
