/*
 * TQDevLink: the device SDK through which Korvo logs in to IP cameras ("IPC")
 * and video recorders ("DVR"), reads and writes their network-parameter and
 * P2P records, shows their live picture and sends them PTZ commands.
 *
 * Plain C interface. No exception ever leaves a call: a failure inside the
 * library is reported as the call's failure value. The wire protocol the
 * library speaks to devices is described in PROTOCOL.md beside this header.
 *
 * Conventions
 *  - Operations return non-zero for success and 0 for failure.
 *  - Handles are 32-bit values; 0 means "none". A handle is never reused
 *    while it is open; stale or unknown handles make calls return 0.
 *  - Every call may be made from any thread. Calls on one login are
 *    serialised by the library (one request at a time per connection).
 *  - Every wait is bounded by the values of TQ_NET_SetWaitTime: no call
 *    blocks longer than (connect wait x attempts) + reply wait, and a device
 *    that sends garbage, oversized lengths or nothing at all makes the call
 *    fail rather than hang.
 *  - Records are exchanged byte for byte; their offsets are fixed and checked
 *    at compile time below. Texts are NUL-terminated 8-bit text; a text that
 *    fills its whole field without a terminator is read up to the field's end.
 *
 * Pointer-sized fields: on this 64-bit platform the user-data and callback
 * fields of TQ_NET_LoginInfo and TQ_NET_ClientInfo are 8 bytes each (user data
 * at offset 216, callback at 224), so those records are 232 bytes long. On a
 * 32-bit platform the same fields are 4 bytes (216 and 220) and the records
 * 224 bytes. Likewise the callback's user-data and event-data arguments are
 * pointer-sized.
 */
#ifndef KORVO_TQDEVLINK_H
#define KORVO_TQDEVLINK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(TQDEVLINK_BUILDING)
#    define TQ_NET_API __declspec(dllexport)
#  else
#    define TQ_NET_API __declspec(dllimport)
#  endif
#else
#  define TQ_NET_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A login or preview handle; 0 means none. */
typedef uint32_t TQ_HANDLE;

/* ---- Event codes passed to TQ_NET_EventCallback ------------------------ */

/* The login reached the device and the device accepted the credentials. */
#define TQ_NET_EVENT_LOGIN_OK        0x600
/* The login failed: no connection within the attempts, the device refused
 * the credentials, or its answer was missing or malformed. */
#define TQ_NET_EVENT_LOGIN_FAILED    0x601
/* A preview of this login received its first frame from the device. */
#define TQ_NET_EVENT_PREVIEW_STARTED 0x500
/* A preview of this login lost its stream (the device closed it, went
 * silent for longer than the reply wait, or sent a malformed frame). Not
 * sent when the stream is ended by TQ_NET_ClientStop or TQ_NET_Cleanup. */
#define TQ_NET_EVENT_PREVIEW_LOST    0x501
/* Reserved for a future event; this library never sends it. */
#define TQ_NET_EVENT_RESERVED_502    0x502

/*
 * Event callback, named in the login record.
 *   handle    the login handle the event is about
 *   event     one of the TQ_NET_EVENT_ codes
 *   data      event data; NULL for every event this library sends
 *   user      the login record's pUserData, passed through unchanged
 * Called on a thread of the library, never on the caller's thread and never
 * after TQ_NET_Logout or TQ_NET_Cleanup has returned for that login. The
 * callback should return quickly (post a message, signal an event); it may
 * call TQ_NET_Logout for its own login.
 */
typedef void (*TQ_NET_EventCallback)(uint32_t handle, uint32_t event, void* data, void* user);

/* ---- Records ------------------------------------------------------------ */

/* Login record. Bytes not named are ignored by the library. */
typedef struct TQ_NET_LoginInfo {
    char szAddress[128];       /*   0: device IPv4 address, dotted decimal */
    int32_t nPort;             /* 128: device SDK port, 1..65535 */
    int32_t nTransport;        /* 132: 1 = TCP; the only transport there is, any value is taken as TCP */
    char szUser[32];           /* 136: user name */
    char szPassword[36];       /* 168: password, up to offset 204 */
    uint8_t byReserved204;     /* 204: 0; ignored */
    uint8_t byReserved205;     /* 205 */
    uint8_t byReserved206;     /* 206: 1; ignored */
    uint8_t byDeviceKind;      /* 207: 0 = IPC, 1 = DVR; sent to the device with the login */
    uint8_t byReserved208;     /* 208: 0; ignored */
    uint8_t byReserved209[7];  /* 209..215 */
    void* pUserData;           /* 216: handed back to the callback */
    TQ_NET_EventCallback pfnEvent; /* after pUserData: may be NULL (no events) */
} TQ_NET_LoginInfo;

/* Preview record: the layout of the login record. The preview opens a
 * connection of its own to szAddress:nPort with these credentials. */
typedef struct TQ_NET_ClientInfo {
    char szAddress[128];
    int32_t nPort;
    int32_t nTransport;
    char szUser[32];
    char szPassword[36];
    uint8_t byReserved204;
    uint8_t byReserved205;
    uint8_t byReserved206;
    uint8_t byDeviceKind;
    uint8_t byReserved208;
    uint8_t byReserved209[7];
    void* pUserData;           /* unused by the library */
    TQ_NET_EventCallback pfnEvent; /* unused: preview events go to the login's callback */
} TQ_NET_ClientInfo;

/* Network parameters, channel 0 of TQ_NET_GetNetParam/SetNetParam. A write
 * sends the whole record; the device takes the address texts and the MAC
 * and ignores the ports and the DHCP flag, which it only reports. */
typedef struct TQ_NET_NetParam {
    char szIp[16];             /*  0: IPv4 address */
    char szNetmask[16];        /* 16 */
    char szGateway[16];        /* 32 */
    char szDns[16];            /* 48 */
    uint16_t wSdkPort;         /* 64: little-endian; read-only */
    uint16_t wHttpPort;        /* 66: little-endian; read-only */
    uint8_t byDhcp;            /* 68: read-only */
    uint8_t byReserved69[13];  /* 69..81 */
    char szMac[18];            /* 82: "xx:xx:xx:xx:xx:xx" and the terminator */
} TQ_NET_NetParam;

/* P2P record. The device takes the serial number on a write. */
typedef struct TQ_NET_P2PInfo {
    uint8_t byEnable;          /*   0: 1 when the device's P2P service is on; read-only */
    char szSerial[64];         /*   1: serial number (SN), printable ASCII, at most 63 characters */
    uint8_t byReserved65[539]; /*  65..603 */
} TQ_NET_P2PInfo;

/* Device information, read-only. */
typedef struct TQ_NET_DeviceInfo {
    uint8_t byDeviceKind;      /*   0: 0 = IPC, 1 = DVR */
    uint8_t byModelCode;       /*   1: device model code */
    char szName[64];           /*   2: device name */
    char szFirmware[32];       /*  66: firmware version text */
    uint8_t byReserved98[368]; /*  98..465 */
} TQ_NET_DeviceInfo;

#pragma pack(push, 1)
/* PTZ command for TQ_NET_PTZCtrl. Command 0x0021 is lens calibration. */
typedef struct TQ_NET_PtzCommand {
    uint8_t byChannel;         /* 0: 0 */
    uint8_t byCommand[2];      /* 1: command code, 16-bit little-endian */
} TQ_NET_PtzCommand;
#pragma pack(pop)

#define TQ_NET_PTZ_LENS_CALIBRATION 0x0021

/* ---- Preview windows ---------------------------------------------------- */

/* One decoded picture. Each pixel is a 32-bit value 0xFFRRGGBB in host byte
 * order (the layout of QImage::Format_RGB32); rows are nStride bytes apart.
 * The pixels are valid only for the duration of the draw call. */
typedef struct TQ_NET_VideoFrame {
    const uint8_t* pPixels;
    int32_t nWidth;
    int32_t nHeight;
    int32_t nStride;
    uint32_t nSequence;        /* the device's frame counter */
} TQ_NET_VideoFrame;

/* Called on the preview's library thread for every frame. It must not call
 * TQ_NET_ClientSetWnd, TQ_NET_ClientStop or TQ_NET_Cleanup (those wait for a
 * draw in progress to end, and would refuse with 0 from here). */
typedef void (*TQ_NET_DrawFunc)(void* context, const TQ_NET_VideoFrame* frame);

/* What a "window handle" is on this platform: the program's draw function
 * and its context. The struct must stay valid until the window is replaced
 * with TQ_NET_ClientSetWnd or the preview is stopped. */
typedef struct TQ_NET_Window {
    TQ_NET_DrawFunc pfnDraw;
    void* pContext;
} TQ_NET_Window;

typedef TQ_NET_Window* TQ_HWND;

/* ---- Operations --------------------------------------------------------- */

/* Prepares the library. Safe to call more than once; other calls also work
 * without it. Returns 1. */
TQ_NET_API int TQ_NET_Startup(void);

/* Sets the time limits of later calls:
 *   connectWaitSeconds  how long one connection attempt may take (1..600)
 *   connectAttempts     how many attempts a login makes before it fails (1..10)
 *   replyWaitSeconds    how long the library waits for each answer of a
 *                       device, and for the next frame of a preview (1..600)
 * Defaults: 3, 1, 5. Returns 1, or 0 (and changes nothing) when a value is
 * out of range. Logins and previews already running keep their limits. */
TQ_NET_API int TQ_NET_SetWaitTime(int connectWaitSeconds, int connectAttempts, int replyWaitSeconds);

/* Ends every preview and login still open (as TQ_NET_ClientStop and
 * TQ_NET_Logout would) and waits for the library's threads. Blocks for at
 * most about one reply wait. Afterwards the library can be used again.
 * Returns 1; 0 when called from a library thread (a callback or draw call). */
TQ_NET_API int TQ_NET_Cleanup(void);

/* Starts a login and returns its handle at once (0 only when info is NULL
 * or the library cannot start a thread; then no event follows). A library
 * thread connects, authenticates and then calls info->pfnEvent exactly once
 * with TQ_NET_EVENT_LOGIN_OK or TQ_NET_EVENT_LOGIN_FAILED and
 * info->pUserData, unless the login is ended first. An address that is not
 * dotted-decimal IPv4 or a port outside 1..65535 is reported as a failed
 * login. The record is copied; the caller may reuse it at once. A failed
 * login keeps its handle until TQ_NET_Logout. */
TQ_NET_API TQ_HANDLE TQ_NET_Login(const TQ_NET_LoginInfo* info);

/* Ends a login: stops a login still in progress (its event is then not
 * sent), tells the device and closes the connection. Previews started on
 * the login keep running until TQ_NET_ClientStop. Returns 1, or 0 for an
 * unknown handle. */
TQ_NET_API int TQ_NET_Logout(TQ_HANDLE login);

/* Reads the device's P2P record into *info. Returns 1, or 0 when the login
 * is not (yet) established, the device refused or did not answer in time;
 * on 0, *info is unchanged. Blocks for at most one reply wait. */
TQ_NET_API int TQ_NET_GetP2P(TQ_HANDLE login, TQ_NET_P2PInfo* info);

/* Writes *info to the device. Returns 1 when the device took it, 0 when it
 * refused or did not answer. */
TQ_NET_API int TQ_NET_SetP2P(TQ_HANDLE login, const TQ_NET_P2PInfo* info);

/* Reads the network parameters of the channel (0 for the device itself).
 * Returns 1, or 0 as TQ_NET_GetP2P; on 0, *param is unchanged. */
TQ_NET_API int TQ_NET_GetNetParam(TQ_HANDLE login, int channel, TQ_NET_NetParam* param);

/* Writes the network parameters of the channel. Returns 1 when the device
 * took them, 0 when it refused (a refused MAC among them) or did not answer. */
TQ_NET_API int TQ_NET_SetNetParam(TQ_HANDLE login, int channel, const TQ_NET_NetParam* param);

/* Reads the device information; byte 1 is the model code. Returns 1 or 0. */
TQ_NET_API int TQ_NET_GetDeviceInfo(TQ_HANDLE login, TQ_NET_DeviceInfo* info);

/* Opens a live stream from the device of an established login, over a
 * connection of its own made with the address and credentials of *info.
 * Blocks until the device has accepted the stream (at most the connect
 * waits of its attempts plus two reply waits) and returns the preview
 * handle, or 0 when the login is unknown or not established, info is NULL
 * or the device refused.
 * reserved: pass 0; it is ignored. Frames are dropped until a window is set. */
TQ_NET_API TQ_HANDLE TQ_NET_ClientStart(TQ_HANDLE login, const TQ_NET_ClientInfo* info, int reserved);

/* Makes the preview draw each frame into window (NULL: stop drawing). When
 * it returns, no draw call for the previous window is in progress or will
 * follow. Returns 1, or 0 for an unknown handle or a call from a draw
 * function. */
TQ_NET_API int TQ_NET_ClientSetWnd(TQ_HANDLE preview, TQ_HWND window);

/* Sends a PTZ command over the preview's connection and waits for the
 * device's answer (at most one reply wait). Returns 1 when the device
 * accepted the command, 0 when it refused, did not answer, or the handle is
 * unknown. One command at a time per preview; concurrent calls queue. */
TQ_NET_API int TQ_NET_PTZCtrl(TQ_HANDLE preview, const TQ_NET_PtzCommand* command);

/* Ends a preview: closes its stream and waits for its thread, so that no
 * draw call follows. Returns 1, or 0 for an unknown handle or a call from a
 * draw function. */
TQ_NET_API int TQ_NET_ClientStop(TQ_HANDLE preview);

/* ---- Layout checks ------------------------------------------------------ */

#ifdef __cplusplus
#  define TQ_NET_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#  define TQ_NET_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif

#define TQ_NET_CHECK_LOGIN_LAYOUT(T)                                                        \
    TQ_NET_STATIC_ASSERT(offsetof(T, szAddress) == 0, #T ": address at 0");                \
    TQ_NET_STATIC_ASSERT(offsetof(T, nPort) == 128, #T ": port at 128");                   \
    TQ_NET_STATIC_ASSERT(offsetof(T, nTransport) == 132, #T ": transport at 132");         \
    TQ_NET_STATIC_ASSERT(offsetof(T, szUser) == 136, #T ": user at 136");                  \
    TQ_NET_STATIC_ASSERT(offsetof(T, szPassword) == 168, #T ": password at 168");          \
    TQ_NET_STATIC_ASSERT(offsetof(T, byReserved204) == 204, #T ": byte 204");              \
    TQ_NET_STATIC_ASSERT(offsetof(T, byReserved206) == 206, #T ": byte 206");              \
    TQ_NET_STATIC_ASSERT(offsetof(T, byDeviceKind) == 207, #T ": device kind at 207");     \
    TQ_NET_STATIC_ASSERT(offsetof(T, byReserved208) == 208, #T ": byte 208");              \
    TQ_NET_STATIC_ASSERT(offsetof(T, pUserData) == 216, #T ": user data at 216");          \
    TQ_NET_STATIC_ASSERT(offsetof(T, pfnEvent) == 216 + sizeof(void*), #T ": callback");  \
    TQ_NET_STATIC_ASSERT(sizeof(T) == 216 + 2 * sizeof(void*), #T ": size")

TQ_NET_CHECK_LOGIN_LAYOUT(TQ_NET_LoginInfo);
TQ_NET_CHECK_LOGIN_LAYOUT(TQ_NET_ClientInfo);
TQ_NET_STATIC_ASSERT(offsetof(TQ_NET_NetParam, wSdkPort) == 64, "NetParam: SDK port at 64");
TQ_NET_STATIC_ASSERT(offsetof(TQ_NET_NetParam, szMac) == 82, "NetParam: MAC at 82");
TQ_NET_STATIC_ASSERT(sizeof(TQ_NET_NetParam) == 100, "NetParam: 100 bytes");
TQ_NET_STATIC_ASSERT(offsetof(TQ_NET_P2PInfo, szSerial) == 1, "P2PInfo: SN at 1");
TQ_NET_STATIC_ASSERT(sizeof(TQ_NET_P2PInfo) == 604, "P2PInfo: 604 bytes");
TQ_NET_STATIC_ASSERT(offsetof(TQ_NET_DeviceInfo, byModelCode) == 1, "DeviceInfo: model code at 1");
TQ_NET_STATIC_ASSERT(sizeof(TQ_NET_DeviceInfo) == 466, "DeviceInfo: 466 bytes");
TQ_NET_STATIC_ASSERT(offsetof(TQ_NET_PtzCommand, byCommand) == 1, "PtzCommand: code at 1");
TQ_NET_STATIC_ASSERT(sizeof(TQ_NET_PtzCommand) == 3, "PtzCommand: 3 bytes");

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* KORVO_TQDEVLINK_H */
