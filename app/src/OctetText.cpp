#include "OctetText.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

std::optional<std::uint8_t> ParseOctetText(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == u'+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    unsigned value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 255) return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}
