// Splits the bytes of one HTTP response, as they arrive, into the header and
// the body, and tells when the response is complete, without decoding
// anything: every byte that belongs to the response is kept as received.
//
// The header ends with its first empty line: a line feed that follows a line
// feed (or the very first byte), where carriage returns in between do not
// count. So "\r\n\r\n", "\n\n" and "\n\r\r\n" all end it, and the empty line
// is part of the header.
//
// The end of the body follows RFC 9112, section 6.3:
// - status 204 or 304: no body;
// - Transfer-Encoding whose last coding is "chunked": after the closing
//   zero-size chunk and the trailer section's empty line (section 7.1);
//   chunk-size lines and trailers stay in the body as received;
// - else a valid Content-Length: after that many bytes;
// - else (1xx, another transfer coding, no or an invalid length, a header
//   that did not end, a status line that is not HTTP): only the peer's close
//   ends the body.
// Bytes that arrive after the end of the response are dropped: no request of
// ours can own them.
//
// Limits: a header longer than kMaxHeaderBytes, or a body longer than
// kMaxBodyBytes, puts the framing into the TooLarge state, after which it
// accepts nothing more.
//
// Not thread-safe; one object per response.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvo::web {

class ResponseFraming {
public:
    static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
    static constexpr std::size_t kMaxBodyBytes = 16 * 1024 * 1024;

    enum class Phase {
        kHeader,    // the header's empty line has not come yet
        kBody,      // reading the body; more bytes may belong to it
        kComplete,  // the response is whole; further bytes are dropped
        kTooLarge,  // a limit was passed; the response is to be refused
    };

    // Takes the next bytes received. Returns the phase afterwards.
    Phase Feed(std::string_view bytes);

    // The header did not end (the peer closed or went silent): whatever
    // arrives from now on counts as body, read until the peer's close.
    void EndHeaderPhase();

    Phase GetPhase() const { return m_phase; }
    const std::string& Header() const { return m_header; }
    const std::string& Body() const { return m_body; }
    std::string TakeHeader() { return std::move(m_header); }
    std::string TakeBody() { return std::move(m_body); }

private:
    enum class Delimit { kClose, kLength, kChunked };
    enum class Chunk { kSize, kSizeTail, kData, kDataEnd, kTrailer };

    void StartBody();
    std::size_t FeedHeader(std::string_view bytes);
    void FeedBody(std::string_view bytes);
    std::size_t FeedChunked(std::string_view bytes);

    Phase m_phase = Phase::kHeader;
    std::string m_header;
    std::string m_body;
    std::size_t m_lineLength = 0;  // characters on the current line, CR not counted

    Delimit m_delimit = Delimit::kClose;
    std::uint64_t m_remaining = 0;  // of the body (kLength) or of the chunk (kData)
    Chunk m_chunk = Chunk::kSize;
    bool m_sizeHasDigit = false;
};

}  // namespace korvo::web
