// Rules shared by every reader of stored text.
#pragma once

#include <cstddef>
#include <string_view>

namespace korvo {

// The blanks of C's isspace in the "C" locale, whatever the current locale.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The start of a number as every reader takes it: leading blanks, then at
// most one '+' or '-'. Returns the position after them; *negative tells
// whether the sign was '-'.
inline size_t SkipBlanksAndSign(std::string_view text, bool* negative) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    *negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
    return i;
}

}  // namespace korvo
