#include "web/Base64.h"

#include <gtest/gtest.h>

#include <string>

#include "web/BasicCredentials.h"
#include "web/HttpRequest.h"

namespace korvo::web {
namespace {

TEST(Base64Test, EncodesRfc4648VectorsAndHighBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFF\xFE\xFD", 3), "//79"},  // bytes count as unsigned
        {std::string("\0\0", 2), "AAA="},
        {"admin:12345", "YWRtaW46MTIzNDU="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Base64Encode(c.in), c.out) << "input of " << c.in.size() << " bytes";
    }
}

TEST(Base64Test, WritesExactlyTheEncodingAndOneTerminator) {
    for (std::size_t length = 0; length <= 7; ++length) {
        const std::string in(length, 'x');
        std::string out(32, '#');
        const std::size_t written = Base64Encode(in.data(), length, out.data());
        EXPECT_EQ(written, Base64EncodedLength(length));
        EXPECT_EQ(out[written], '\0');
        EXPECT_EQ(out.find_first_not_of('#', written + 1), std::string::npos) << "wrote past the terminator";
    }
}

TEST(BasicCredentialsTest, FormsUserColonPassword) {
    struct Case {
        std::u16string user;
        std::u16string password;
        std::string expected;
    };
    const Case cases[] = {
        {u"", u"", "Og=="},  // a lone colon still goes out
        {u"admin", u"", "YWRtaW46"},
        {u"admin", u"12345", "YWRtaW46MTIzNDU="},
        {u"op", u"a:b", "b3A6YTpi"},  // a colon in the password is not special
        {u"\u00e9", u"x", "w6k6eA=="},  // UTF-8 of e-acute, then ":x"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MakeBasicCredentials(c.user, c.password), c.expected);
    }
}

TEST(BasicCredentialsTest, LongestAcceptedUserPasswordJustFitsTheRequestLimit) {
    // "user:password" of 381 bytes encodes to 508 characters: accepted.
    // One byte more gives 512, which no request accepts.
    const std::u16string user(190, u'u');
    EXPECT_EQ(MakeBasicCredentials(user, std::u16string(190, u'p')).size(), 508u);
    EXPECT_LE(MakeBasicCredentials(user, std::u16string(190, u'p')).size(), kMaxCredentialsLength);
    EXPECT_GT(MakeBasicCredentials(user, std::u16string(191, u'p')).size(), kMaxCredentialsLength);
    EXPECT_EQ(2 * 190u + 1, kMaxUserPasswordLength);
}

}  // namespace
}  // namespace korvo::web
