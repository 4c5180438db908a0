// The reading of one MAC octet edit: a decimal integer from 0 to 255.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Blanks around the number and one leading '+' are accepted; an empty text,
// any other character, a minus sign or a value above 255 are refused
// (std::nullopt), so that the form never holds a silently cut octet.
std::optional<std::uint8_t> ParseOctetText(std::u16string_view text);
