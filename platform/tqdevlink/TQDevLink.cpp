// TQDevLink over the wire protocol of PROTOCOL.md.
//
// Threads: each login runs one short-lived thread (connect, authenticate,
// report); each preview runs one reader thread for its whole life (frames,
// PTZ answers). Get/set calls run on the caller's thread over the login's
// connection. The library knows nothing of the program's thread library on
// purpose: it stands in for an outside SDK.
#include "TQDevLink.h"

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "TqWire.h"

namespace {

using namespace std::chrono_literals;
using tqwire::Deadline;
using tqwire::Frame;
using tqwire::IoError;
using tqwire::Kind;

struct WaitTimes {
    int connectSeconds = 3;
    int connectAttempts = 1;
    int replySeconds = 5;
    std::chrono::milliseconds Connect() const { return std::chrono::seconds(connectSeconds); }
    std::chrono::milliseconds Reply() const { return std::chrono::seconds(replySeconds); }
};

// Saying goodbye to a device is a courtesy; it must not hold up a logout.
constexpr auto kGoodbyeWait = 200ms;

// An eventfd that, once fired, ends every wait that includes it.
class CancelSignal {
public:
    CancelSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (m_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~CancelSignal() { ::close(m_fd); }
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;
    void Fire() {
        m_fired = true;
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
    }
    bool Fired() const { return m_fired; }
    int Fd() const { return m_fd; }

private:
    int m_fd;
    std::atomic<bool> m_fired{false};
};

struct Endpoint {
    std::string address;
    uint16_t port = 0;
    std::string user;
    std::string password;
    uint8_t deviceKind = 0;
    bool valid = false;
};

template <typename Record>
Endpoint EndpointOf(const Record& r) {
    Endpoint e;
    e.address = tqwire::FieldText(r.szAddress, sizeof r.szAddress);
    e.user = tqwire::FieldText(r.szUser, sizeof r.szUser);
    e.password = tqwire::FieldText(r.szPassword, sizeof r.szPassword);
    e.deviceKind = r.byDeviceKind;
    in_addr probe{};
    e.valid = r.nPort > 0 && r.nPort <= 65535 && ::inet_pton(AF_INET, e.address.c_str(), &probe) == 1;
    e.port = e.valid ? static_cast<uint16_t>(r.nPort) : 0;
    return e;
}

thread_local bool t_onLibraryThread = false;
thread_local const void* t_currentPreview = nullptr;

struct Login {
    TQ_HANDLE handle = 0;
    Endpoint endpoint;
    WaitTimes waits;
    void* userData = nullptr;
    TQ_NET_EventCallback callback = nullptr;
    CancelSignal cancel;

    // One request at a time on the connection; guards fd.
    std::mutex io;
    int fd = -1;
    std::atomic<bool> established{false};

    // Serialises events with the logout so that none follows it. Recursive:
    // a callback may log its own login out.
    std::recursive_mutex eventGate;
    bool closed = false;

    std::thread thread;

    void Emit(uint32_t event) {
        std::lock_guard<std::recursive_mutex> gate(eventGate);
        if (closed || callback == nullptr) return;
        try {
            callback(handle, event, nullptr, userData);
        } catch (...) {
            // A callback from C++ that throws must not take the library's thread down.
        }
    }
};

struct Preview {
    TQ_HANDLE handle = 0;
    std::shared_ptr<Login> login;  // for events only
    WaitTimes waits;
    CancelSignal cancel;
    int fd = -1;
    std::thread thread;

    std::mutex write;  // whole frames only
    std::mutex ptz;    // one command in flight

    std::mutex state;
    std::condition_variable changed;
    bool replyReady = false;
    uint16_t replyStatus = tqwire::kOk;
    int staleReplies = 0;  // answers to commands whose caller gave up
    bool dead = false;

    std::mutex window;  // held during a draw
    TQ_HWND target = nullptr;
};

class Library {
public:
    static Library& Get() {
        // Never destroyed: threads of logins the program did not end may
        // still run while static objects are torn down at exit.
        static Library* library = new Library;
        return *library;
    }

    WaitTimes Waits() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waits;
    }
    void SetWaits(const WaitTimes& w) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waits = w;
    }

    template <typename T>
    TQ_HANDLE Add(std::map<TQ_HANDLE, std::shared_ptr<T>>& table, std::shared_ptr<T> item) {
        std::lock_guard<std::mutex> lock(m_mutex);
        item->handle = NextHandleLocked();
        table[item->handle] = item;
        return item->handle;
    }
    template <typename T>
    std::shared_ptr<T> Find(std::map<TQ_HANDLE, std::shared_ptr<T>>& table, TQ_HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = table.find(h);
        return it == table.end() ? nullptr : it->second;
    }
    template <typename T>
    std::shared_ptr<T> Take(std::map<TQ_HANDLE, std::shared_ptr<T>>& table, TQ_HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = table.find(h);
        if (it == table.end()) return nullptr;
        auto item = it->second;
        table.erase(it);
        return item;
    }
    template <typename T>
    std::vector<std::shared_ptr<T>> TakeAll(std::map<TQ_HANDLE, std::shared_ptr<T>>& table) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::shared_ptr<T>> all;
        for (auto& [h, item] : table) all.push_back(item);
        table.clear();
        return all;
    }

    std::map<TQ_HANDLE, std::shared_ptr<Login>> logins;
    std::map<TQ_HANDLE, std::shared_ptr<Preview>> previews;

private:
    // Logins and previews share one sequence, so a preview handle handed to
    // a login call (or the reverse) is simply unknown.
    TQ_HANDLE NextHandleLocked() {
        for (;;) {
            TQ_HANDLE h = m_next++;
            if (h != 0 && !logins.count(h) && !previews.count(h)) return h;
        }
    }

    std::mutex m_mutex;
    WaitTimes m_waits;
    TQ_HANDLE m_next = 1;
};

// Connects within the login's attempts; a refused attempt waits out the rest
// of its connect wait before the next, as a device that is still booting would need.
IoError ConnectWithAttempts(const Endpoint& e, const WaitTimes& w, int cancelFd, int* fd) {
    IoError last = IoError::kSystem;
    for (int attempt = 0; attempt < w.connectAttempts; ++attempt) {
        Deadline deadline = Deadline::In(w.Connect());
        last = tqwire::Connect(e.address, e.port, deadline, cancelFd, fd);
        if (last == IoError::kNone || last == IoError::kCancelled) return last;
        if (attempt + 1 < w.connectAttempts && tqwire::Pause(deadline, cancelFd) == IoError::kCancelled)
            return IoError::kCancelled;
    }
    return last;
}

// Sends one request and reads its answer. Returns false on any transport or
// framing fault (the connection is then out of step and must be dropped);
// *status carries the device's verdict otherwise.
bool Exchange(int fd, uint16_t command, std::vector<uint8_t> payload, const WaitTimes& w, int cancelFd,
              uint16_t* status, std::vector<uint8_t>* reply) {
    Frame request;
    request.kind = Kind::kRequest;
    request.command = command;
    request.payload = std::move(payload);
    Deadline deadline = Deadline::In(w.Reply());
    if (tqwire::WriteFrame(fd, request, deadline, cancelFd) != IoError::kNone) return false;
    Frame answer;
    if (tqwire::ReadFrame(fd, &answer, tqwire::kMaxRequestPayload, deadline, cancelFd) != IoError::kNone)
        return false;
    if (answer.kind != Kind::kReply || answer.command != command) return false;
    *status = answer.status;
    if (reply) *reply = std::move(answer.payload);
    return true;
}

std::vector<uint8_t> LoginPayload(const Endpoint& e) {
    std::vector<uint8_t> p(tqwire::kLoginPayload, 0);
    tqwire::SetFieldText(&p[0], 32, e.user);
    tqwire::SetFieldText(&p[32], 36, e.password);
    p[68] = e.deviceKind;
    return p;
}

// Connects and authenticates; returns the connected socket or -1.
int OpenSession(const Endpoint& e, const WaitTimes& w, int cancelFd) {
    if (!e.valid) return -1;
    int fd = -1;
    if (ConnectWithAttempts(e, w, cancelFd, &fd) != IoError::kNone) return -1;
    uint16_t status = 0;
    std::vector<uint8_t> reply;
    if (!Exchange(fd, tqwire::kLogin, LoginPayload(e), w, cancelFd, &status, &reply) || status != tqwire::kOk) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void RunLogin(const std::shared_ptr<Login>& login) {
    t_onLibraryThread = true;
    int fd = OpenSession(login->endpoint, login->waits, login->cancel.Fd());
    bool ok = fd >= 0;
    {
        std::lock_guard<std::mutex> lock(login->io);
        if (ok && !login->cancel.Fired()) {
            login->fd = fd;
            login->established = true;
        } else if (fd >= 0) {
            ::close(fd);
            ok = false;
        }
    }
    login->Emit(ok ? TQ_NET_EVENT_LOGIN_OK : TQ_NET_EVENT_LOGIN_FAILED);
}

// A request over an established login. Drops the connection on any fault
// that leaves it out of step, so that later calls fail at once.
int LoginRequest(TQ_HANDLE handle, uint16_t command, std::vector<uint8_t> payload, size_t replySize,
                 std::vector<uint8_t>* reply) {
    auto login = Library::Get().Find(Library::Get().logins, handle);
    if (!login) return 0;
    std::lock_guard<std::mutex> lock(login->io);
    if (login->fd < 0) return 0;
    uint16_t status = 0;
    std::vector<uint8_t> answer;
    bool inStep = Exchange(login->fd, command, std::move(payload), login->waits, login->cancel.Fd(), &status, &answer);
    if (inStep && status == tqwire::kOk && answer.size() != replySize) inStep = false;
    if (!inStep) {
        ::close(login->fd);
        login->fd = -1;
        return 0;
    }
    if (status != tqwire::kOk) return 0;
    if (reply) *reply = std::move(answer);
    return 1;
}

// Fills *record from the device's answer; leaves it alone on failure.
template <typename Record>
int ReadRecord(TQ_HANDLE login, uint16_t command, std::vector<uint8_t> payload, Record* record) {
    if (!record) return 0;
    std::vector<uint8_t> reply;
    if (!LoginRequest(login, command, std::move(payload), sizeof *record, &reply)) return 0;
    std::memcpy(record, reply.data(), sizeof *record);
    return 1;
}

std::vector<uint8_t> ChannelPayload(int channel) {
    std::vector<uint8_t> p(tqwire::kChannelPayload);
    tqwire::PutU32(p.data(), static_cast<uint32_t>(channel));
    return p;
}

template <typename Record>
std::vector<uint8_t> BytesOf(const Record& r) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    return std::vector<uint8_t>(p, p + sizeof r);
}

void EndLogin(const std::shared_ptr<Login>& login) {
    // Closed before cancelled: a failure that the cancel itself causes is
    // never reported.
    {
        std::lock_guard<std::recursive_mutex> gate(login->eventGate);
        login->closed = true;
    }
    login->cancel.Fire();
    if (login->thread.joinable()) {
        if (login->thread.get_id() == std::this_thread::get_id())
            login->thread.detach();  // the callback is logging its own login out
        else
            login->thread.join();
    }
    std::lock_guard<std::mutex> lock(login->io);
    if (login->fd >= 0) {
        Frame bye;
        bye.command = tqwire::kLogout;
        tqwire::WriteFrame(login->fd, bye, Deadline::In(kGoodbyeWait), -1);
        ::close(login->fd);
        login->fd = -1;
    }
    login->established = false;
}

bool ParseVideoFrame(const std::vector<uint8_t>& p, TQ_NET_VideoFrame* frame) {
    if (p.size() < tqwire::kFrameHeader) return false;
    int width = tqwire::GetU16(&p[0]);
    int height = tqwire::GetU16(&p[2]);
    uint32_t stride = tqwire::GetU32(&p[4]);
    if (width <= 0 || height <= 0 || width > tqwire::kMaxFrameSide || height > tqwire::kMaxFrameSide) return false;
    if (stride < static_cast<uint32_t>(width) * 4 || stride > tqwire::kMaxPayload) return false;
    if (p.size() - tqwire::kFrameHeader != static_cast<size_t>(stride) * static_cast<size_t>(height)) return false;
    frame->pPixels = p.data() + tqwire::kFrameHeader;
    frame->nWidth = width;
    frame->nHeight = height;
    frame->nStride = static_cast<int32_t>(stride);
    frame->nSequence = tqwire::GetU32(&p[8]);
    return true;
}

void RunPreview(const std::shared_ptr<Preview>& preview) {
    t_onLibraryThread = true;
    t_currentPreview = preview.get();
    bool lost = false;
    bool first = true;
    Frame f;
    for (;;) {
        IoError e = tqwire::ReadFrame(preview->fd, &f, tqwire::kMaxPayload, Deadline::In(preview->waits.Reply()),
                                      preview->cancel.Fd());
        if (e == IoError::kCancelled) break;
        if (e != IoError::kNone) {
            lost = true;
            break;
        }
        if (f.kind == Kind::kPush && f.command == tqwire::kFrame) {
            TQ_NET_VideoFrame frame{};
            if (!ParseVideoFrame(f.payload, &frame)) {
                lost = true;
                break;
            }
            if (first) {
                first = false;
                preview->login->Emit(TQ_NET_EVENT_PREVIEW_STARTED);
            }
            std::lock_guard<std::mutex> lock(preview->window);
            if (preview->target && preview->target->pfnDraw) {
                try {
                    preview->target->pfnDraw(preview->target->pContext, &frame);
                } catch (...) {
                    // A throwing draw function must not end the stream.
                }
            }
        } else if (f.kind == Kind::kReply && f.command == tqwire::kPtz) {
            std::lock_guard<std::mutex> lock(preview->state);
            if (preview->staleReplies > 0) {
                --preview->staleReplies;
            } else {
                preview->replyReady = true;
                preview->replyStatus = f.status;
                preview->changed.notify_all();
            }
        } else {
            lost = true;  // nothing else may arrive on a preview connection
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(preview->state);
        preview->dead = true;
        preview->changed.notify_all();
    }
    if (lost && !preview->cancel.Fired()) preview->login->Emit(TQ_NET_EVENT_PREVIEW_LOST);
}

void EndPreview(const std::shared_ptr<Preview>& preview) {
    preview->cancel.Fire();
    if (preview->thread.joinable()) preview->thread.join();
    // A PTZ call in flight sees the cancel and the dead stream and leaves;
    // only then may the descriptor go.
    std::lock_guard<std::mutex> noCommand(preview->ptz);
    ::close(preview->fd);
    preview->fd = -1;
    std::lock_guard<std::mutex> lock(preview->window);
    preview->target = nullptr;
}

int PtzCommand(TQ_HANDLE handle, const TQ_NET_PtzCommand* command) {
    auto preview = Library::Get().Find(Library::Get().previews, handle);
    if (!preview || !command) return 0;
    std::lock_guard<std::mutex> one(preview->ptz);
    {
        std::lock_guard<std::mutex> lock(preview->state);
        if (preview->dead) return 0;
        preview->replyReady = false;
    }
    Frame request;
    request.command = tqwire::kPtz;
    request.payload = BytesOf(*command);
    Deadline deadline = Deadline::In(preview->waits.Reply());
    {
        std::lock_guard<std::mutex> lock(preview->write);
        if (tqwire::WriteFrame(preview->fd, request, deadline, preview->cancel.Fd()) != IoError::kNone) return 0;
    }
    std::unique_lock<std::mutex> lock(preview->state);
    preview->changed.wait_for(lock, std::chrono::milliseconds(deadline.RemainingMs()),
                              [&] { return preview->replyReady || preview->dead; });
    if (!preview->replyReady) {
        if (!preview->dead) ++preview->staleReplies;
        return 0;
    }
    return preview->replyStatus == tqwire::kOk ? 1 : 0;
}

TQ_HANDLE StartPreview(TQ_HANDLE loginHandle, const TQ_NET_ClientInfo* info) {
    auto& lib = Library::Get();
    auto login = lib.Find(lib.logins, loginHandle);
    if (!login || !info || !login->established) return 0;
    auto preview = std::make_shared<Preview>();
    preview->login = login;
    preview->waits = lib.Waits();
    Endpoint e = EndpointOf(*info);
    int fd = OpenSession(e, preview->waits, preview->cancel.Fd());
    if (fd < 0) return 0;
    uint16_t status = 0;
    if (!Exchange(fd, tqwire::kStreamStart, {}, preview->waits, preview->cancel.Fd(), &status, nullptr) ||
        status != tqwire::kOk) {
        ::close(fd);
        return 0;
    }
    preview->fd = fd;
    TQ_HANDLE handle = lib.Add(lib.previews, preview);
    try {
        preview->thread = std::thread(RunPreview, preview);
    } catch (...) {
        lib.Take(lib.previews, handle);
        ::close(fd);
        return 0;
    }
    return handle;
}

// Every entry point runs its body through this: nothing may unwind into C callers.
template <typename F>
auto Guarded(F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

TQ_NET_API int TQ_NET_Startup(void) {
    return Guarded([&]() -> int {
        Library::Get();
        return 1;
    });
}

TQ_NET_API int TQ_NET_SetWaitTime(int connectWaitSeconds, int connectAttempts, int replyWaitSeconds) {
    return Guarded([&]() -> int {
        if (connectWaitSeconds < 1 || connectWaitSeconds > 600 || connectAttempts < 1 || connectAttempts > 10 ||
            replyWaitSeconds < 1 || replyWaitSeconds > 600) return 0;
        Library::Get().SetWaits(WaitTimes{connectWaitSeconds, connectAttempts, replyWaitSeconds});
        return 1;
    });
}

TQ_NET_API int TQ_NET_Cleanup(void) {
    return Guarded([&]() -> int {
        if (t_onLibraryThread) return 0;
        auto& lib = Library::Get();
        for (auto& p : lib.TakeAll(lib.previews)) EndPreview(p);
        for (auto& l : lib.TakeAll(lib.logins)) EndLogin(l);
        return 1;
    });
}

TQ_NET_API TQ_HANDLE TQ_NET_Login(const TQ_NET_LoginInfo* info) {
    return Guarded([&]() -> TQ_HANDLE {
        if (!info) return 0;
        auto& lib = Library::Get();
        auto login = std::make_shared<Login>();
        login->endpoint = EndpointOf(*info);
        login->waits = lib.Waits();
        login->userData = info->pUserData;
        login->callback = info->pfnEvent;
        TQ_HANDLE handle = lib.Add(lib.logins, login);
        try {
            login->thread = std::thread(RunLogin, login);
        } catch (...) {
            lib.Take(lib.logins, handle);
            return 0;
        }
        return handle;
    });
}

TQ_NET_API int TQ_NET_Logout(TQ_HANDLE login) {
    return Guarded([&]() -> int {
        auto item = Library::Get().Take(Library::Get().logins, login);
        if (!item) return 0;
        EndLogin(item);
        return 1;
    });
}

TQ_NET_API int TQ_NET_GetP2P(TQ_HANDLE login, TQ_NET_P2PInfo* info) {
    return Guarded([&]() -> int {
        return ReadRecord(login, tqwire::kGetP2P, {}, info);
    });
}

TQ_NET_API int TQ_NET_SetP2P(TQ_HANDLE login, const TQ_NET_P2PInfo* info) {
    return Guarded([&]() -> int {
        if (!info) return 0;
        return LoginRequest(login, tqwire::kSetP2P, BytesOf(*info), 0, nullptr);
    });
}

TQ_NET_API int TQ_NET_GetNetParam(TQ_HANDLE login, int channel, TQ_NET_NetParam* param) {
    return Guarded([&]() -> int {
        return ReadRecord(login, tqwire::kGetNetParam, ChannelPayload(channel), param);
    });
}

TQ_NET_API int TQ_NET_SetNetParam(TQ_HANDLE login, int channel, const TQ_NET_NetParam* param) {
    return Guarded([&]() -> int {
        if (!param) return 0;
        std::vector<uint8_t> payload = ChannelPayload(channel);
        std::vector<uint8_t> bytes = BytesOf(*param);
        payload.insert(payload.end(), bytes.begin(), bytes.end());
        return LoginRequest(login, tqwire::kSetNetParam, std::move(payload), 0, nullptr);
    });
}

TQ_NET_API int TQ_NET_GetDeviceInfo(TQ_HANDLE login, TQ_NET_DeviceInfo* info) {
    return Guarded([&]() -> int {
        return ReadRecord(login, tqwire::kGetDeviceInfo, {}, info);
    });
}

TQ_NET_API TQ_HANDLE TQ_NET_ClientStart(TQ_HANDLE login, const TQ_NET_ClientInfo* info, int reserved) {
    (void)reserved;
    return Guarded([&]() -> TQ_HANDLE { return StartPreview(login, info); });
}

TQ_NET_API int TQ_NET_ClientSetWnd(TQ_HANDLE preview, TQ_HWND window) {
    return Guarded([&]() -> int {
        auto item = Library::Get().Find(Library::Get().previews, preview);
        if (!item || t_currentPreview == item.get()) return 0;
        std::lock_guard<std::mutex> lock(item->window);
        item->target = window;
        return 1;
    });
}

TQ_NET_API int TQ_NET_PTZCtrl(TQ_HANDLE preview, const TQ_NET_PtzCommand* command) {
    return Guarded([&]() -> int { return PtzCommand(preview, command); });
}

TQ_NET_API int TQ_NET_ClientStop(TQ_HANDLE preview) {
    return Guarded([&]() -> int {
        auto& lib = Library::Get();
        auto item = lib.Find(lib.previews, preview);
        if (!item || t_currentPreview == item.get()) return 0;
        item = lib.Take(lib.previews, preview);
        if (!item) return 0;  // another thread stopped it meanwhile
        EndPreview(item);
        return 1;
    });
}

}  // extern "C"
