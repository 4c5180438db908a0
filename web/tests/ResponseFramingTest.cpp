#include "web/ResponseFraming.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo::web {
namespace {

using Phase = ResponseFraming::Phase;

struct FramingCase {
    const char* name;
    std::string bytes;   // everything the peer sends
    Phase phase;         // where the framing stands after all of it
    std::string header;
    std::string body;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

const std::string kOkHeader = "HTTP/1.1 200 OK\r\nServer: t\r\n";
const std::string kChunkedHeader = kOkHeader + "Transfer-Encoding: chunked\r\n\r\n";

const FramingCase kCases[] = {
    {"content length ends the body", kOkHeader + "Content-Length: 5\r\n\r\nhello", Phase::kComplete,
     kOkHeader + "Content-Length: 5\r\n\r\n", "hello"},
    {"bytes past the length are dropped", kOkHeader + "Content-Length: 2\r\n\r\nhello", Phase::kComplete,
     kOkHeader + "Content-Length: 2\r\n\r\n", "he"},
    {"zero length is complete at once", kOkHeader + "Content-Length: 0\r\n\r\n", Phase::kComplete,
     kOkHeader + "Content-Length: 0\r\n\r\n", ""},
    {"short body waits for more", kOkHeader + "Content-Length: 9\r\n\r\nhello", Phase::kBody,
     kOkHeader + "Content-Length: 9\r\n\r\n", "hello"},
    {"bare line feeds end the header", "HTTP/1.0 200 OK\nContent-Length: 3\n\nabc", Phase::kComplete,
     "HTTP/1.0 200 OK\nContent-Length: 3\n\n", "abc"},
    {"a line of carriage returns is empty", "HTTP/1.1 200 OK\n\r\r\nrest", Phase::kBody, "HTTP/1.1 200 OK\n\r\r\n",
     "rest"},
    {"a line feed first ends the header at once", "\nbody", Phase::kBody, "\n", "body"},
    {"header name and value in any case", kOkHeader + "content-LENGTH:   3  \r\n\r\nabcdef", Phase::kComplete,
     kOkHeader + "content-LENGTH:   3  \r\n\r\n", "abc"},
    {"equal repeated lengths count once", kOkHeader + "Content-Length: 3, 3\r\n\r\nabcd", Phase::kComplete,
     kOkHeader + "Content-Length: 3, 3\r\n\r\n", "abc"},
    {"differing lengths leave only the close", kOkHeader + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
     Phase::kBody, kOkHeader + "Content-Length: 3\r\nContent-Length: 4\r\n\r\n", "abcd"},
    {"a non-numeric length leaves only the close", kOkHeader + "Content-Length: 3x\r\n\r\nabcd", Phase::kBody,
     kOkHeader + "Content-Length: 3x\r\n\r\n", "abcd"},
    {"no length reads to the close", kOkHeader + "\r\nabc", Phase::kBody, kOkHeader + "\r\n", "abc"},
    {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\nxyz", Phase::kComplete, "HTTP/1.1 204 No Content\r\n\r\n",
     ""},
    {"304 has no body despite a length", "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n", Phase::kComplete,
     "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n", ""},
    {"a 1xx answer leaves only the close", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", Phase::kBody,
     "HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 200 OK\r\n\r\n"},
    {"no status line leaves only the close", "garbage\r\nContent-Length: 1\r\n\r\nabc", Phase::kBody,
     "garbage\r\nContent-Length: 1\r\n\r\n", "abc"},
    {"chunked is kept as received",
     kChunkedHeader + "5\r\nhello\r\n1;ext=1\r\n!\r\n0\r\n\r\n", Phase::kComplete, kChunkedHeader,
     "5\r\nhello\r\n1;ext=1\r\n!\r\n0\r\n\r\n"},
    {"chunked wins over a length",
     kOkHeader + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", Phase::kComplete,
     kOkHeader + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n", "3\r\nabc\r\n0\r\n\r\n"},
    {"chunk sizes are hexadecimal, trailers are kept",
     kChunkedHeader + "A\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\nafter", Phase::kComplete, kChunkedHeader,
     "A\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n"},
    {"chunk data may hold line ends and NUL", kChunkedHeader + std::string("4\r\n\r\n\0\n\r\n0\r\n\r\n", 14),
     Phase::kComplete, kChunkedHeader, std::string("4\r\n\r\n\0\n\r\n0\r\n\r\n", 14)},
    {"chunk lines with bare line feeds", "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n2\nab\n0\n\n", Phase::kComplete,
     "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n", "2\nab\n0\n\n"},
    {"waiting for the last chunk", kChunkedHeader + "2\r\nab\r\n", Phase::kBody, kChunkedHeader, "2\r\nab\r\n"},
    {"broken chunk framing falls back to the close", kChunkedHeader + "zz\r\nabc", Phase::kBody, kChunkedHeader,
     "zz\r\nabc"},
    {"gzip then chunked is chunked", kOkHeader + "Transfer-Encoding: gzip, chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n",
     Phase::kComplete, kOkHeader + "Transfer-Encoding: gzip, chunked\r\n\r\n", "1\r\nx\r\n0\r\n\r\n"},
    {"chunked then gzip reads to the close",
     kOkHeader + "Transfer-Encoding: chunked, gzip\r\nContent-Length: 1\r\n\r\nabc", Phase::kBody,
     kOkHeader + "Transfer-Encoding: chunked, gzip\r\nContent-Length: 1\r\n\r\n", "abc"},
    {"header cut short", "HTTP/1.1 200 OK\r\nServ", Phase::kHeader, "HTTP/1.1 200 OK\r\nServ", ""},
};

class ResponseFramingTest : public testing::TestWithParam<FramingCase> {};

TEST_P(ResponseFramingTest, SameResultWholeOrByteByByte) {
    const FramingCase& c = GetParam();
    ResponseFraming whole;
    EXPECT_EQ(whole.Feed(c.bytes), c.phase);
    EXPECT_EQ(whole.Header(), c.header);
    EXPECT_EQ(whole.Body(), c.body);

    ResponseFraming bytewise;
    for (char b : c.bytes) {
        bytewise.Feed(std::string_view(&b, 1));
    }
    EXPECT_EQ(bytewise.GetPhase(), c.phase);
    EXPECT_EQ(bytewise.Header(), c.header);
    EXPECT_EQ(bytewise.Body(), c.body);
}

INSTANTIATE_TEST_SUITE_P(Responses, ResponseFramingTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FramingCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(ResponseFramingLimitTest, HeaderUpToTheLimitPassesOneByteMoreFails) {
    const std::string start = "HTTP/1.1 200 OK\r\nX: ";
    const std::string end = "\r\n\r\n";
    const std::string fits = start + std::string(ResponseFraming::kMaxHeaderBytes - start.size() - end.size(), 'a') + end;
    ResponseFraming ok;
    EXPECT_EQ(ok.Feed(fits), Phase::kBody);
    EXPECT_EQ(ok.Header().size(), ResponseFraming::kMaxHeaderBytes);

    ResponseFraming tooLong;
    tooLong.Feed(fits.substr(0, 1000));
    EXPECT_EQ(tooLong.Feed(fits.substr(1000, fits.size() - 1000 - end.size()) + "b" + end), Phase::kTooLarge);
    EXPECT_EQ(tooLong.Feed("more"), Phase::kTooLarge);
}

TEST(ResponseFramingLimitTest, BodyUpToTheLimitPassesOneByteMoreFails) {
    const std::string chunk(1 << 20, 'z');
    for (const std::size_t extra : {0, 1}) {
        ResponseFraming f;
        f.Feed("HTTP/1.1 200 OK\r\n\r\n");
        for (std::size_t sent = 0; sent < ResponseFraming::kMaxBodyBytes; sent += chunk.size()) {
            f.Feed(chunk);
        }
        f.Feed(std::string(extra, 'z'));
        EXPECT_EQ(f.GetPhase(), extra == 0 ? Phase::kBody : Phase::kTooLarge) << "extra " << extra;
    }
}

TEST(ResponseFramingLimitTest, HugeChunkSizeDoesNotWrap) {
    ResponseFraming f;
    f.Feed(kChunkedHeader + "FFFFFFFFFFFFFFFFFFFFFFFF\r\nabc");
    EXPECT_EQ(f.GetPhase(), Phase::kBody);
    EXPECT_EQ(f.Feed("0\r\n\r\n"), Phase::kBody) << "the size line must not have wrapped to a small chunk";
}

TEST(ResponseFramingLimitTest, AfterTheHeaderPhaseEndsEverythingIsBodyUntilTheClose) {
    ResponseFraming f;
    f.Feed("HTTP/1.1 200 OK\r\nContent-Le");
    f.EndHeaderPhase();
    EXPECT_EQ(f.Feed("ngth: 1\r\n\r\nab"), Phase::kBody);
    EXPECT_EQ(f.Header(), "HTTP/1.1 200 OK\r\nContent-Le");
    EXPECT_EQ(f.Body(), "ngth: 1\r\n\r\nab");
}

}  // namespace
}  // namespace korvo::web
