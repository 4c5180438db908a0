#include "web/ResponseFraming.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace korvo::web {

namespace {

// Chunk sizes beyond this cannot fit the body limit anyway; saturating keeps
// the arithmetic from wrapping on a hostile size line.
constexpr std::uint64_t kMaxChunkSize = std::uint64_t{1} << 40;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The parts of a response header that decide where its body ends.
struct Framing {
    int status = -1;               // -1: not an HTTP status line
    bool chunked = false;          // last transfer coding is chunked
    bool otherCoding = false;      // a transfer coding, but not ending in chunked
    bool lengthInvalid = false;
    std::optional<std::uint64_t> length;
};

// RFC 9110, section 8.6: a list of identical values is the same as one.
void AddContentLength(Framing& f, std::string_view value) {
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string_view item = Trim(value.substr(0, comma));
        std::uint64_t n = 0;
        bool ok = !item.empty() && item.size() <= 15;
        for (char c : item) {
            ok = ok && c >= '0' && c <= '9';
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (!ok || (f.length && *f.length != n)) {
            f.lengthInvalid = true;
        } else {
            f.length = n;
        }
        if (comma == std::string_view::npos) {
            return;
        }
        value.remove_prefix(comma + 1);
    }
}

void AddTransferEncoding(Framing& f, std::string_view value) {
    while (true) {
        const std::size_t comma = value.find(',');
        std::string_view coding = Trim(value.substr(0, comma));
        coding = Trim(coding.substr(0, coding.find(';')));
        if (!coding.empty()) {
            f.chunked = EqualsNoCase(coding, "chunked");
            f.otherCoding = !f.chunked;
        }
        if (comma == std::string_view::npos) {
            return;
        }
        value.remove_prefix(comma + 1);
    }
}

Framing ReadFraming(std::string_view header) {
    Framing f;
    std::size_t eol = header.find('\n');
    const std::string_view statusLine = header.substr(0, eol);
    // "HTTP/1.1 200 OK": the code is the three digits after the first blank.
    if (statusLine.substr(0, 5) == "HTTP/") {
        const std::size_t sp = statusLine.find(' ');
        if (sp != std::string_view::npos && statusLine.size() >= sp + 4) {
            int code = 0;
            bool ok = true;
            for (std::size_t i = sp + 1; i < sp + 4; ++i) {
                ok = ok && statusLine[i] >= '0' && statusLine[i] <= '9';
                code = code * 10 + (statusLine[i] - '0');
            }
            f.status = ok ? code : -1;
        }
    }
    while (eol != std::string_view::npos) {
        const std::size_t start = eol + 1;
        eol = header.find('\n', start);
        const std::string_view line = header.substr(start, eol == std::string_view::npos ? eol : eol - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = line.substr(colon + 1);
        if (EqualsNoCase(name, "Content-Length")) {
            AddContentLength(f, value);
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            AddTransferEncoding(f, value);
        }
    }
    return f;
}

}  // namespace

ResponseFraming::Phase ResponseFraming::Feed(std::string_view bytes) {
    if (m_phase == Phase::kHeader) {
        const std::size_t used = FeedHeader(bytes);
        bytes.remove_prefix(used);
    }
    if (m_phase == Phase::kBody && !bytes.empty()) {
        FeedBody(bytes);
    }
    return m_phase;
}

void ResponseFraming::EndHeaderPhase() {
    if (m_phase == Phase::kHeader) {
        m_delimit = Delimit::kClose;
        m_phase = Phase::kBody;
    }
}

std::size_t ResponseFraming::FeedHeader(std::string_view bytes) {
    std::size_t i = 0;
    bool ended = false;
    for (; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            if (m_lineLength == 0) {
                ended = true;
                ++i;
                break;
            }
            m_lineLength = 0;
        } else if (c != '\r') {
            ++m_lineLength;
        }
    }
    const std::size_t room = kMaxHeaderBytes - m_header.size();
    if (i > room) {
        m_phase = Phase::kTooLarge;
        return bytes.size();
    }
    m_header.append(bytes.data(), i);
    if (ended) {
        StartBody();
    }
    return i;
}

void ResponseFraming::StartBody() {
    m_phase = Phase::kBody;
    const Framing f = ReadFraming(m_header);
    if (f.status == 204 || f.status == 304) {
        m_phase = Phase::kComplete;
    } else if (f.status < 200) {
        // An interim 1xx answer or no HTTP status line at all: nothing tells
        // where the body ends but the close.
        m_delimit = Delimit::kClose;
    } else if (f.chunked) {
        m_delimit = Delimit::kChunked;
    } else if (f.otherCoding || f.lengthInvalid || !f.length) {
        m_delimit = Delimit::kClose;
    } else {
        m_delimit = Delimit::kLength;
        m_remaining = *f.length;
        // Growing by doubling would copy a large body several times over.
        m_body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, kMaxBodyBytes)));
        if (m_remaining == 0) {
            m_phase = Phase::kComplete;
        }
    }
}

void ResponseFraming::FeedBody(std::string_view bytes) {
    std::size_t take = bytes.size();
    if (m_delimit == Delimit::kLength) {
        take = static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, take));
        m_remaining -= take;
    } else if (m_delimit == Delimit::kChunked) {
        take = FeedChunked(bytes);
        if (m_delimit == Delimit::kClose) {
            take = bytes.size();
        }
    }
    if (take > kMaxBodyBytes - m_body.size()) {
        m_phase = Phase::kTooLarge;
        return;
    }
    m_body.append(bytes.data(), take);
    if (m_delimit == Delimit::kLength && m_remaining == 0) {
        m_phase = Phase::kComplete;
    }
}

// Follows the chunked framing (RFC 9112, section 7.1) over `bytes`, leniently
// as to line ends. Returns how many of them belong to the response; sets the
// phase to kComplete at its end, or falls back to reading until the close
// when the framing is broken.
std::size_t ResponseFraming::FeedChunked(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        switch (m_chunk) {
            case Chunk::kSize:
                if (const int h = HexValue(c); h >= 0) {
                    m_remaining = std::min(m_remaining * 16 + static_cast<unsigned>(h), kMaxChunkSize);
                    m_sizeHasDigit = true;
                    ++i;
                    continue;
                }
                if (!m_sizeHasDigit) {
                    m_delimit = Delimit::kClose;
                    return bytes.size();
                }
                m_chunk = Chunk::kSizeTail;
                continue;  // the same byte again, as part of the tail
            case Chunk::kSizeTail:  // extensions and the line end
                ++i;
                if (c == '\n') {
                    m_chunk = m_remaining == 0 ? Chunk::kTrailer : Chunk::kData;
                    m_lineLength = 0;
                }
                continue;
            case Chunk::kData: {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, bytes.size() - i));
                i += n;
                m_remaining -= n;
                if (m_remaining == 0) {
                    m_chunk = Chunk::kDataEnd;
                }
                continue;
            }
            case Chunk::kDataEnd:
                if (c == '\r') {
                    ++i;
                } else if (c == '\n') {
                    ++i;
                    m_chunk = Chunk::kSize;
                    m_sizeHasDigit = false;
                    m_remaining = 0;
                } else {
                    m_delimit = Delimit::kClose;
                    return bytes.size();
                }
                continue;
            case Chunk::kTrailer:
                ++i;
                if (c == '\n') {
                    if (m_lineLength == 0) {
                        m_phase = Phase::kComplete;
                        return i;
                    }
                    m_lineLength = 0;
                } else if (c != '\r') {
                    ++m_lineLength;
                }
                continue;
        }
    }
    return i;
}

}  // namespace korvo::web
