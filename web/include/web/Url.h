// Splitting a device URL and choosing the time-out a request to it runs with.
#pragma once

#include <string>
#include <string_view>

namespace korvo::web {

// The parts of a URL as the HTTP client sees them.
struct UrlParts {
    std::string m_strScheme;  // upper case, at most 19 characters
    std::string m_strHost;    // upper case, without the port, at most 2047 characters
    int m_nPort = 80;
    std::string m_strPath;    // the URL's own text after the host, query included
};

// Splits `url` the way device URLs have always been split, leniently:
// - the scheme is the text before the first colon ("HTTP" when there is
//   none), so "10.0.0.1:80/x" has the scheme "10.0.0.1";
// - two slashes after the scheme are skipped;
// - the host run is the longest run of ASCII letters, digits, '-', '.' and
//   ':' that follows; the path is the rest, unescaped and in its own case;
// - a colon in the host run starts the port, read as a decimal number
//   (blanks and a sign allowed, stops at the first non-digit, no digits: 0,
//   saturating at the limits of int).
// Parts that are too long are cut (scheme 19, host run 2047, path 2047
// characters). Never fails; whether the result is usable is the caller's call.
UrlParts ParseUrl(std::string_view url);

// Send and receive time-out, in milliseconds, for a request to `url`:
// 60000 for a storage format ("vb.htm?sdformat=1"), 20000 for other storage
// commands ("timefrequency=-1" or "vb.htm?sd"), 15000 for everything else.
// Case-sensitive search anywhere in the URL.
int TimeoutForUrl(std::string_view url);

}  // namespace korvo::web
