// The HTTP/1.1 pieces the emulated web device needs, kept apart from the
// device so that they can be tested on their own: finding and parsing a
// request head (RFC 9112), percent-decoding a query (RFC 3986), decoding the
// Basic credentials (RFC 7617, RFC 4648) and forming an answer.
//
// Everything here is a pure function on strings: no I/O, no state, no
// exceptions for bad input (errors are values).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devsim::http {

// Largest request head (request line and header fields) the device reads;
// a longer one is answered 431 (RFC 6585, section 5).
inline constexpr size_t kMaxHeadBytes = 8192;
// Most header fields in one request; more is answered 431 as well.
inline constexpr size_t kMaxHeaderFields = 100;
// Largest request body the device reads (and discards); more is answered 413.
inline constexpr size_t kMaxBodyBytes = 64 * 1024;

struct RequestHead {
    std::string method;  // as sent, case-sensitive (RFC 9110, section 9.1)
    std::string target;  // the request target; absolute-form is reduced to its path and query
    int minorVersion = 1;  // HTTP/1.<minorVersion>
    std::vector<std::pair<std::string, std::string>> fields;  // names as sent, values trimmed

    // The value of the first field named `name` (compared without case), or null.
    const std::string* Field(std::string_view name) const;
    // The target before any '?', and after it (empty without a '?').
    std::string_view Path() const;
    std::string_view Query() const;
};

// ASCII comparison without case, as for field names (RFC 9110, 5.1).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// True when the comma-separated list `value` holds `token` (without case),
// as in "Connection: keep-alive, Upgrade" (RFC 9110, section 5.6.1).
bool HasToken(std::string_view value, std::string_view token);

// Where the head in `buffer` ends: the offset just past the empty line that
// closes it (CR LF CR LF, or bare LF LF, which RFC 9112 section 2.2 lets a
// recipient accept), or npos while it is incomplete.
size_t FindHeadEnd(std::string_view buffer);

// Why a head is refused; kNone when it is well-formed.
enum class HeadError {
    kNone,
    kMalformed,        // 400: not a request line and header fields
    kTooManyFields,    // 431
    kVersion,          // 505: a well-formed version other than HTTP/1.0 or 1.1
};

// Parses `head` (as delimited by FindHeadEnd, the empty line included).
// Leading empty lines are skipped (RFC 9112, section 2.2). On kMalformed,
// *reason (may be null) says why.
HeadError ParseRequestHead(std::string_view head, RequestHead* out, std::string* reason = nullptr);

// Decodes %XX escapes. '+' stays '+': the device's clients send values
// unescaped, and a serial number may hold a plus sign. False on a '%' not
// followed by two hexadecimal digits.
bool PercentDecode(std::string_view text, std::string* out);

// Splits a query into name=value pairs at '&', in order, each percent-decoded.
// A part without '=' is a name with an empty value; empty parts are skipped.
// False when any part has a bad escape.
bool ParseQuery(std::string_view query, std::vector<std::pair<std::string, std::string>>* out);

// Strict Base64 (RFC 4648, standard alphabet, padding required). False on any
// character outside the alphabet, bad padding, or a length not a multiple of 4.
bool DecodeBase64(std::string_view text, std::string* out);

// The user and password of an "Authorization: Basic ..." value, or nothing
// when the value is not Basic credentials. The scheme name is matched
// without case; the password is all text after the first colon.
std::optional<std::pair<std::string, std::string>> ParseBasicCredentials(std::string_view value);

// A complete answer: status line, the given extra fields (each "Name: value"
// without line end), Content-Type when a body type is given, Content-Length,
// "Connection: close" when `close`, then the body.
std::string FormatResponse(int status, std::string_view reason, const std::vector<std::string>& extraFields,
                           std::string_view contentType, std::string_view body, bool close);

}  // namespace devsim::http
