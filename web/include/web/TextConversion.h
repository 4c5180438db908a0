// Conversion between the window's 16-bit texts and the 8-bit text that goes
// into a request or comes back in a page.
//
// The 8-bit side uses the character set of the C library's locale of the
// calling thread (nl_langinfo(CODESET)). A program that never calls
// setlocale() runs in the "C" locale, whose set is plain ASCII; there the
// conversion uses UTF-8, the character set of every device we talk to.
//
// Neither direction fails: a character that the target set cannot express
// becomes '?', and so does every 16-bit unit of a broken surrogate pair or
// every byte that does not start a valid sequence of the 8-bit set. ASCII
// maps one byte to one character both ways.
#pragma once

#include <string>
#include <string_view>

namespace korvo::web {

// 16-bit text to 8-bit text in the calling thread's locale character set.
std::string WideToAnsi(std::u16string_view text);
// 8-bit text in the calling thread's locale character set to 16-bit text.
std::u16string AnsiToWide(std::string_view text);

// The same with the character set named explicitly (an iconv name such as
// "UTF-8" or "ISO-8859-1"). A name that iconv does not know is taken as UTF-8.
std::string WideToAnsi(std::u16string_view text, std::string_view charset);
std::u16string AnsiToWide(std::string_view text, std::string_view charset);

// The character set the one-argument forms use right now on this thread.
std::string CurrentAnsiCharset();

}  // namespace korvo::web
