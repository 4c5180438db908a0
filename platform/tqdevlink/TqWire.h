// Framing of the TQDevLink wire protocol (PROTOCOL.md), shared by the
// library and the device emulator so that both sides agree on every byte.
//
// All calls work on a connected, blocking or non-blocking TCP socket and
// never block past their deadline: each wait is a poll() on the socket and,
// optionally, on a cancel descriptor (an eventfd or pipe end) whose becoming
// readable ends the wait with IoError::kCancelled. No call throws except
// std::bad_alloc from the payload buffer, which is bounded by maxPayload.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tqwire {

inline constexpr uint8_t kMagic[4] = {'T', 'Q', 'D', 'L'};
inline constexpr uint8_t kVersion = 1;
inline constexpr size_t kHeaderSize = 16;
// Largest payload either side ever sends: a 320x240 frame is 307,212 bytes.
inline constexpr uint32_t kMaxPayload = 1u << 20;
// Largest request payload a device accepts; the largest real one is 608.
inline constexpr uint32_t kMaxRequestPayload = 4096;

enum class Kind : uint8_t { kRequest = 0, kReply = 1, kPush = 2 };

enum Command : uint16_t {
    kLogin = 0x0001,
    kLogout = 0x0002,
    kGetNetParam = 0x0010,
    kSetNetParam = 0x0011,
    kGetP2P = 0x0012,
    kSetP2P = 0x0013,
    kGetDeviceInfo = 0x0014,
    kStreamStart = 0x0020,
    kStreamStop = 0x0021,
    kFrame = 0x0022,  // push only
    kPtz = 0x0030,
};

enum Status : uint16_t {
    kOk = 0,
    kAuthFailed = 1,
    kNotLoggedIn = 2,
    kRefused = 3,
    kBadRequest = 4,
    kUnknownCommand = 5,
    kTooLarge = 6,
    kBadFrame = 7,
};

// Fixed payload sizes.
inline constexpr size_t kLoginPayload = 72;       // user[32] password[36] kind u8 reserved[3]
inline constexpr size_t kChannelPayload = 4;      // u32 channel
inline constexpr size_t kNetParamSize = 100;
inline constexpr size_t kP2PSize = 604;
inline constexpr size_t kDeviceInfoSize = 466;
inline constexpr size_t kPtzSize = 3;
inline constexpr size_t kFrameHeader = 12;        // u16 width, u16 height, u32 stride, u32 sequence
inline constexpr int kMaxFrameSide = 4096;

struct Frame {
    Kind kind = Kind::kRequest;
    uint16_t command = 0;
    uint16_t status = kOk;
    std::vector<uint8_t> payload;
};

enum class IoError {
    kNone,
    kTimeout,     // the deadline passed
    kClosed,      // the peer closed the connection (or reset it)
    kCancelled,   // the cancel descriptor became readable
    kBadMagic,    // the first four bytes are not "TQDL"
    kBadVersion,  // a protocol version this side does not speak
    kBadKind,     // a kind byte other than 0, 1, 2
    kTooLarge,    // the length exceeds the caller's bound; the header was read
    kSystem,      // any other socket error
};

const char* IoErrorText(IoError error);

// A point in time after which a wait gives up.
class Deadline {
public:
    static Deadline In(std::chrono::milliseconds span) { return Deadline(Clock::now() + span); }
    // Milliseconds left for poll(): 0 when passed, capped at INT32 range.
    int RemainingMs() const;
    bool Passed() const { return Clock::now() >= m_at; }

private:
    using Clock = std::chrono::steady_clock;
    explicit Deadline(Clock::time_point at) : m_at(at) {}
    Clock::time_point m_at;
};

// Connects to ip:port (IPv4 dotted decimal). On success *fd is a connected
// socket in blocking mode with TCP_NODELAY set; the caller owns it.
IoError Connect(const std::string& ip, uint16_t port, Deadline deadline, int cancelFd, int* fd);

// Waits until fd has something to read (or the peer hung up).
IoError WaitReadable(int fd, Deadline deadline, int cancelFd);

// Waits until the cancel descriptor fires or the deadline passes; returns
// kCancelled or kTimeout. Used for deliberate delays that must stay stoppable.
IoError Pause(Deadline deadline, int cancelFd);

// Reads one whole frame. On kTooLarge, out->kind/command hold the header's
// values so that the caller can answer it; the payload is not read.
IoError ReadFrame(int fd, Frame* out, uint32_t maxPayload, Deadline deadline, int cancelFd);

// Writes one whole frame (header and payload); never raises SIGPIPE.
IoError WriteFrame(int fd, const Frame& frame, Deadline deadline, int cancelFd);

// Writes raw bytes (used by tests and by the emulator's fault behaviours).
IoError WriteAll(int fd, const void* data, size_t size, Deadline deadline, int cancelFd);

std::vector<uint8_t> EncodeHeader(Kind kind, uint16_t command, uint16_t status, uint32_t length);

inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A text field of fixed width, read up to its first NUL or its end.
inline std::string FieldText(const void* field, size_t width) {
    const char* p = static_cast<const char*>(field);
    size_t n = 0;
    while (n < width && p[n] != '\0') ++n;
    return std::string(p, n);
}

// Copies text into a fixed field, cut to width - 1 bytes and NUL-padded.
void SetFieldText(void* field, size_t width, const std::string& text);

}  // namespace tqwire
