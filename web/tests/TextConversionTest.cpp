#include "web/TextConversion.h"

#include <gtest/gtest.h>

namespace korvo::web {
namespace {

TEST(TextConversionTest, ProgramWithoutLocaleTalksUtf8) {
    // Tests never call setlocale(): they run in the "C" locale.
    EXPECT_EQ(CurrentAnsiCharset(), "UTF-8");
}

TEST(TextConversionTest, WideToUtf8) {
    struct Case {
        std::u16string in;
        std::string out;
    };
    const Case cases[] = {
        {u"", ""},
        {u"admin 123", "admin 123"},
        {u"\u00e9", "\xC3\xA9"},
        {u"\u4e2d\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},    // a surrogate pair is one character
        {u"a\xD800" "b", "a?b"},                 // a lone high surrogate has no mapping
        {u"\xDC00", "?"},                        // as has a lone low one
        {u"x\xD83D", "x?"},                      // a pair cut at the end
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WideToAnsi(c.in), c.out);
        EXPECT_EQ(WideToAnsi(c.in, "UTF-8"), c.out);
    }
}

TEST(TextConversionTest, Utf8ToWide) {
    struct Case {
        std::string in;
        std::u16string out;
    };
    const Case cases[] = {
        {"", u""},
        {"netip=192.0.2.10<br>", u"netip=192.0.2.10<br>"},
        {"\xC3\xA9", u"\u00e9"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xFF" "b", u"a?b"},          // not a lead byte
        {"\xC3", u"?"},                 // sequence cut at the end
        {"\xC0\xAF", u"??"},            // overlong "/" is refused byte by byte
        {"\xED\xA0\x80", u"???"},       // an encoded surrogate is not a character
        {"\xF4\x90\x80\x80", u"????"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiToWide(c.in), c.out);
    }
}

TEST(TextConversionTest, SingleByteCharsetMapsWhatItHasAndMarksTheRest) {
    EXPECT_EQ(WideToAnsi(u"caf\u00e9", "ISO-8859-1"), "caf\xE9");
    EXPECT_EQ(WideToAnsi(u"\u20ac5", "ISO-8859-1"), "?5");          // no euro sign in Latin-1
    EXPECT_EQ(WideToAnsi(u"a\U0001F600b", "ISO-8859-1"), "a?b");    // one '?' for the whole pair
    EXPECT_EQ(AnsiToWide("caf\xE9", "ISO-8859-1"), u"caf\u00e9");
    EXPECT_EQ(WideToAnsi(u"\u20ac", "CP1252"), "\x80");
    EXPECT_EQ(AnsiToWide("\x81", "CP1252"), u"?");                  // a hole in code page 1252
}

}  // namespace
}  // namespace korvo::web
