// The HTTP/1.1 client that talks to a device's built-in web server: one
// request per fresh TCP connection, Basic authorization always, IPv4 only,
// no redirects, no HTTPS, no decoding of chunked or compressed bodies.
//
// Callers search the returned header text for a status phrase such as
// "200 OK" themselves; the client does not judge the answer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvo::web {

// What one successful exchange returns. Every text keeps its bytes exactly as
// they went out or came in (NUL bytes included); c_str() is NUL-terminated.
struct HttpResponse {
    std::string m_strRequest;  // the bytes that were sent
    std::string m_strHeader;   // from the first byte through the header's empty line
    std::string m_strBody;     // the body as received: chunk lines, compression and all
    int m_nBodyLength = 0;     // m_strBody.size()
};

// Waits of one request. The defaults are the device protocol's; tests use
// short ones.
struct HttpTimeouts {
    // 0 or less: the default of 4000.
    int m_nConnectWaitMs = 4000;
    // Send and receive time-out; 0 or less: chosen by the URL (TimeoutForUrl).
    int m_nIoTimeoutMs = 0;
};

// Limits of one request. Past any of them SendRequest fails with 1 before it
// opens a socket.
inline constexpr std::size_t kMaxUrlLength = 511;          // bytes, without terminator
inline constexpr std::size_t kMaxCredentialsLength = 511;  // Base64 text, without terminator
inline constexpr std::size_t kMaxRequestLength = 4095;     // whole request text, body included

// Keeps nothing between requests: one object may serve any number of
// requests, also from several threads at once, as long as SetTimeouts is not
// called meanwhile.
class CHttpRequest {
public:
    CHttpRequest() = default;
    explicit CHttpRequest(const HttpTimeouts& timeouts) : m_timeouts(timeouts) {}
    virtual ~CHttpRequest() = default;

    // One complete exchange on a fresh connection. Blocks the calling thread:
    // at most the connect wait, then at most twice the send-and-receive
    // time-out for everything after the connect (host name resolution aside).
    //
    // `url`: "http://host[:port]/path?query"; any letter case of the scheme.
    // `extraHeaders`: null, or lines with their own CR LF, inserted verbatim
    //   after the Host line.
    // `body`: null for a GET; else a POST whose body is the first
    //   `bodyLength` bytes of `body`, or fewer if a NUL byte comes first. A
    //   Content-Length line states the bytes actually sent when there are any.
    // `credentials`: the text after "Authorization: Basic ", sent unchanged
    //   (see MakeBasicCredentials); null counts as empty.
    //
    // Returns 0 when the request was sent, and then fills `response` with
    // whatever came back, possibly nothing: a peer that closes or falls silent
    // still gives 0. The body ends at its Content-Length, after the closing
    // zero-size chunk of a chunked body, or at the close (RFC 9112, 6.3).
    //
    // Returns 1, and leaves `response` untouched, when: the scheme is not
    // HTTP; the URL, the credentials or the request text is over its limit;
    // the path or the credentials hold a CR or LF; `bodyLength` is negative;
    // the port is not 1..65535; the host does not resolve; the connect fails
    // or does not finish within the connect wait; the send fails or times
    // out; a response header passes 64 KiB or a body 16 MiB.
    virtual int SendRequest(const char* url, const char* extraHeaders, const char* body, int bodyLength,
                            HttpResponse& response, const char* credentials);

    const HttpTimeouts& Timeouts() const { return m_timeouts; }
    void SetTimeouts(const HttpTimeouts& timeouts) { m_timeouts = timeouts; }

private:
    HttpTimeouts m_timeouts;
};

// A GET without extra header lines or body through `request`: the way the
// program sends every request of its own. Returns 1 and sets the three texts
// on success (the body only up to its first NUL byte); returns 0 and leaves
// them as they were on failure.
int HttpGet(CHttpRequest& request, const std::string& url, const std::string& credentials,
            std::string& requestText, std::string& headerText, std::string& bodyText);

}  // namespace korvo::web
