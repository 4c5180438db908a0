// The records the window hands to TQDevLink, built from plain values, and
// the small tables around them (mechanical model codes, the window messages
// that SDK events become). No Qt and no I/O: every function here is pure.
//
// Texts are 8-bit text in the caller's code page (the window converts before
// it calls). A text longer than its record field is cut so that the field
// always ends with a terminator: a device never reads past a field, and a
// cut text shows up as a refused login or write rather than as a garbled one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "TQDevLink.h"
#include "korvo/appcore/MacAddress.h"

namespace korvo::sdk {

// Window messages posted for SDK events (WM_USER is 1024).
inline constexpr int WM_SDK_LOGIN_OK = 1024 + 15000;      // event 0x600
inline constexpr int WM_SDK_LOGIN_FAILED = 1024 + 15001;  // event 0x601
inline constexpr int WM_SDK_PREVIEW_STARTED = 1024 + 15002;  // event 0x500, default processing only
inline constexpr int WM_SDK_PREVIEW_LOST = 1024 + 15003;     // event 0x501, default processing only
inline constexpr int WM_SDK_EVENT_502 = 1024 + 15004;        // event 0x502, default processing only

// The message an SDK event code is posted as; nullopt for codes that post
// nothing.
std::optional<int> MessageForSdkEvent(uint32_t event);

// What a login and a preview are made of, as the window holds it.
struct LoginValues {
    uint32_t deviceIp = 0;     // first octet in the most significant byte
    std::string port;          // as typed: its leading decimal digits count
    std::string user;
    std::string password;
    int deviceType = 0;        // combo index: 0 "IPC", 1 "DVR", 2 "NVR", -1 none
    void* userData = nullptr;  // handed back to the callback
};

// The login record: address "%d.%d.%d.%d", the port's leading digits (0
// when there are none, saturated at the 32-bit limits), 1 at 132, user and
// password, 0 at 204, 1 at 206, 1 at 207 for a "DVR" only, 0 at 208, the
// user data and `callback`. Every other byte is zero.
TQ_NET_LoginInfo MakeLoginInfo(const LoginValues& values, TQ_NET_EventCallback callback);

// The preview record: the login record's values with no callback.
TQ_NET_ClientInfo MakeClientInfo(const LoginValues& values);

// The port text read as the device does: optional blanks and sign, then the
// leading decimal digits; 0 when there are none.
int32_t ParsePortText(std::string_view text);

// Writes `mac` as lower-case "xx:xx:xx:xx:xx:xx" into the MAC field (offset
// 82); the bytes before it stay as the device returned them.
void PutMacText(TQ_NET_NetParam& param, const MacAddress& mac);

// Writes `sn` into the serial field (offset 1), cut to 63 bytes; the flag
// byte before it stays as the device returned it.
void PutSerialText(TQ_NET_P2PInfo& info, std::string_view sn);

// The two records a provisioning writes back: each as the device returned
// it (zero-filled when a read failed; the results are not looked at), with
// `mac` and `sn` put in. Blocks for the two reads (each at most one reply
// wait of TQDevLink). The only function here that talks to a device.
struct ProvisioningRecords {
    TQ_NET_P2PInfo p2p;
    TQ_NET_NetParam net;
};
ProvisioningRecords ReadRecordsWithNewValues(TQ_HANDLE login, const MacAddress& mac, std::string_view sn);

// The lens calibration command: channel 0, code 0x0021.
TQ_NET_PtzCommand MakeCalibrationCommand();

// Model codes of the devices whose lens can be calibrated. The 8-bit code
// has no room for a larger value, so the list holds only codes up to 255.
inline constexpr std::array<uint8_t, 15> kMechanicalModelCodes = {
    0x46, 0x88, 0x89, 0xB6, 0xB7, 0xCC, 0xCD, 0xCF, 0xD0, 0xD1, 0xD4, 0xD5, 0xE0, 0xE9, 0xEA};
bool IsMechanicalModel(uint8_t modelCode);

}  // namespace korvo::sdk
