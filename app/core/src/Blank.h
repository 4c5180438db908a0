// The blanks that every reader of stored text skips: those of C's isspace in
// the "C" locale, independent of the current locale.
#pragma once

namespace korvo {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace korvo
