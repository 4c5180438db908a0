#include "web/Url.h"

#include <algorithm>
#include <climits>

namespace korvo::web {

namespace {

constexpr std::size_t kMaxScheme = 19;
constexpr std::size_t kMaxHostRun = 2047;
constexpr std::size_t kMaxPath = 2047;

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsHostChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == ':';
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Decimal as atoi reads it, but saturating instead of overflowing.
int ReadPort(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= INT_MAX) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

}  // namespace

UrlParts ParseUrl(std::string_view url) {
    UrlParts parts;
    std::string upper(url);
    for (char& c : upper) {
        c = AsciiUpper(c);
    }

    std::size_t rest = 0;
    if (const std::size_t colon = upper.find(':'); colon != std::string::npos) {
        parts.m_strScheme = upper.substr(0, colon);
        rest = colon + 1;
    } else {
        parts.m_strScheme = "HTTP";
    }
    if (upper.compare(rest, 2, "//") == 0) {
        rest += 2;
    }
    std::size_t runEnd = rest;
    while (runEnd < upper.size() && IsHostChar(upper[runEnd])) {
        ++runEnd;
    }
    std::string_view run = std::string_view(upper).substr(rest, runEnd - rest);
    parts.m_strPath = std::string(url.substr(runEnd, kMaxPath));
    run = run.substr(0, kMaxHostRun);
    if (const std::size_t colon = run.find(':'); colon != std::string_view::npos) {
        parts.m_nPort = ReadPort(run.substr(colon + 1));
        run = run.substr(0, colon);
    }
    parts.m_strHost = std::string(run);
    parts.m_strScheme.resize(std::min(parts.m_strScheme.size(), kMaxScheme));
    return parts;
}

int TimeoutForUrl(std::string_view url) {
    if (url.find("vb.htm?sdformat=1") != std::string_view::npos) {
        return 60000;
    }
    if (url.find("timefrequency=-1") != std::string_view::npos ||
        url.find("vb.htm?sd") != std::string_view::npos) {
        return 20000;
    }
    return 15000;
}

}  // namespace korvo::web
