#include "HttpMessage.h"

#include <algorithm>

namespace devsim::http {

namespace {

// tchar of RFC 9110, section 5.6.2.
bool IsTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), IsTokenChar); }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool SetReason(std::string* reason, const char* text) {
    if (reason != nullptr) *reason = text;
    return false;
}

// Splits the head into lines without their CR LF (or bare LF).
std::vector<std::string_view> SplitLines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        head.remove_prefix(lf + 1);
    }
    return lines;
}

bool ParseRequestLine(std::string_view line, RequestHead* out, bool* versionUnsupported, std::string* reason) {
    // request-line = method SP request-target SP HTTP-version (RFC 9112, section 3)
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        return SetReason(reason, "request line is not: method, target, version");
    }
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    if (!IsToken(method)) return SetReason(reason, "bad method");
    if (target.empty()) return SetReason(reason, "empty target");
    for (char c : target) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) return SetReason(reason, "control character in target");
    }
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' || version[5] < '0' ||
        version[5] > '9' || version[7] < '0' || version[7] > '9') {
        return SetReason(reason, "bad HTTP version");
    }
    if (version[5] != '1' || (version[7] != '0' && version[7] != '1')) {
        *versionUnsupported = true;
        return false;
    }
    // Absolute-form (RFC 9112, section 3.2.2): keep the path and query.
    if (target.size() > 7 && EqualsIgnoreCase(target.substr(0, 7), "http://")) {
        size_t slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (target.front() != '/' && target != "*") return SetReason(reason, "target is not a path");
    out->method = std::string(method);
    out->target = std::string(target);
    out->minorVersion = version[7] - '0';
    return true;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool HasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        if (EqualsIgnoreCase(TrimBlanks(value.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

const std::string* RequestHead::Field(std::string_view name) const {
    for (const auto& [n, v] : fields) {
        if (EqualsIgnoreCase(n, name)) return &v;
    }
    return nullptr;
}

std::string_view RequestHead::Path() const {
    std::string_view t = target;
    return t.substr(0, t.find('?'));
}

std::string_view RequestHead::Query() const {
    std::string_view t = target;
    size_t q = t.find('?');
    return q == std::string_view::npos ? std::string_view() : t.substr(q + 1);
}

size_t FindHeadEnd(std::string_view buffer) {
    // Empty lines before the request line do not end anything (RFC 9112, 2.2).
    size_t start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n')) ++start;
    for (size_t i = buffer.find('\n', start); i != std::string_view::npos; i = buffer.find('\n', i + 1)) {
        // An LF closes the head when the line it ends is empty (an optional CR aside).
        size_t lineStart = i;
        if (lineStart > start && buffer[lineStart - 1] == '\r') --lineStart;
        if (lineStart > start && buffer[lineStart - 1] == '\n') return i + 1;
    }
    return std::string_view::npos;
}

HeadError ParseRequestHead(std::string_view head, RequestHead* out, std::string* reason) {
    *out = RequestHead{};
    std::vector<std::string_view> lines = SplitLines(head);
    size_t i = 0;
    while (i < lines.size() && lines[i].empty()) ++i;
    if (i == lines.size()) {
        SetReason(reason, "no request line");
        return HeadError::kMalformed;
    }
    bool versionUnsupported = false;
    if (!ParseRequestLine(lines[i], out, &versionUnsupported, reason)) {
        return versionUnsupported ? HeadError::kVersion : HeadError::kMalformed;
    }
    for (++i; i < lines.size() && !lines[i].empty(); ++i) {
        std::string_view line = lines[i];
        // Folded lines are obsolete and a way to smuggle fields (RFC 9112, 5.2).
        if (line.front() == ' ' || line.front() == '\t') {
            SetReason(reason, "folded header line");
            return HeadError::kMalformed;
        }
        size_t colon = line.find(':');
        // No blank between name and colon (RFC 9112, section 5.1).
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            SetReason(reason, "bad header field");
            return HeadError::kMalformed;
        }
        std::string_view value = TrimBlanks(line.substr(colon + 1));
        for (char c : value) {
            auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7f) {
                SetReason(reason, "control character in header value");
                return HeadError::kMalformed;
            }
        }
        if (out->fields.size() == kMaxHeaderFields) return HeadError::kTooManyFields;
        out->fields.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return HeadError::kNone;
}

bool PercentDecode(std::string_view text, std::string* out) {
    out->clear();
    out->reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int hi = HexValue(text[i + 1]);
        int lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

bool ParseQuery(std::string_view query, std::vector<std::pair<std::string, std::string>>* out) {
    out->clear();
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view part = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (part.empty()) continue;
        size_t eq = part.find('=');
        std::string name, value;
        if (!PercentDecode(part.substr(0, eq), &name)) return false;
        if (eq != std::string_view::npos && !PercentDecode(part.substr(eq + 1), &value)) return false;
        out->emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool DecodeBase64(std::string_view text, std::string* out) {
    out->clear();
    if (text.size() % 4 != 0) return false;
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                ++pad;
                v[k] = 0;
                continue;
            }
            if (pad > 0) return false;  // data after padding
            v[k] = value(c);
            if (v[k] < 0) return false;
        }
        unsigned triple = (static_cast<unsigned>(v[0]) << 18) | (static_cast<unsigned>(v[1]) << 12) |
                          (static_cast<unsigned>(v[2]) << 6) | static_cast<unsigned>(v[3]);
        out->push_back(static_cast<char>((triple >> 16) & 0xff));
        if (pad < 2) out->push_back(static_cast<char>((triple >> 8) & 0xff));
        if (pad < 1) out->push_back(static_cast<char>(triple & 0xff));
    }
    return true;
}

std::optional<std::pair<std::string, std::string>> ParseBasicCredentials(std::string_view value) {
    value = TrimBlanks(value);
    size_t sp = value.find(' ');
    if (sp == std::string_view::npos || !EqualsIgnoreCase(value.substr(0, sp), "basic")) return std::nullopt;
    std::string decoded;
    if (!DecodeBase64(TrimBlanks(value.substr(sp + 1)), &decoded)) return std::nullopt;
    size_t colon = decoded.find(':');
    if (colon == std::string::npos) return std::nullopt;
    return std::make_pair(decoded.substr(0, colon), decoded.substr(colon + 1));
}

std::string FormatResponse(int status, std::string_view reason, const std::vector<std::string>& extraFields,
                           std::string_view contentType, std::string_view body, bool close) {
    std::string r;
    r.reserve(160 + body.size());
    r += "HTTP/1.1 ";
    r += std::to_string(status);
    r += ' ';
    r += reason;
    r += "\r\n";
    for (const auto& f : extraFields) {
        r += f;
        r += "\r\n";
    }
    if (!contentType.empty()) {
        r += "Content-Type: ";
        r += contentType;
        r += "\r\n";
    }
    r += "Content-Length: ";
    r += std::to_string(body.size());
    r += "\r\n";
    if (close) r += "Connection: close\r\n";
    r += "\r\n";
    r += body;
    return r;
}

}  // namespace devsim::http
